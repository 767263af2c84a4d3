// Synk: replicated objects and one-shot messages between programs, and its module functions.
//
//   Ref<TSynkHost> host = NewSynkHost();
//   if (!ConnectSynkHost(host, "localhost", 7777, 2000)) return;
//   Ref<TSynkObject> me = NewSynkObject(host);
//   SynkSlotSetString(me, 0, "Ada");
//   for (;;) {
//     SyncSynkHost(host);
//     for (Ref<Object> o : SynkObjectList(host, SYNK_LIST_CREATED)) { ... }
//     for (Ref<Object> m : SynkMessageList(host)) { ... SynkMessageTarget(m) ... }
//   }
#pragma once

#include "synk/synk_host.h"

namespace vxl {

constexpr int32_t SYNK_LIST_ALL = 0;
constexpr int32_t SYNK_LIST_CREATED = 1;
constexpr int32_t SYNK_LIST_MODIFIED = 2;
constexpr int32_t SYNK_LIST_CLOSED = 3;

Ref<TSynkHost> NewSynkHost();
void ShutSynkHost(const Ref<TSynkHost>& host);
void SyncSynkHost(const Ref<TSynkHost>& host);
bool ListenSynkHost(const Ref<TSynkHost>& host, int32_t port);
// Connects to the first address of a host name; false when it does not resolve.
bool ConnectSynkHost(const Ref<TSynkHost>& host, const String& address, int32_t port,
                     int32_t timeout);
// One of the SYNK_LIST_ lists; other values raise "Unknown object state".
Ref<TList> SynkObjectList(const Ref<TSynkHost>& host, int32_t which);
// The messages received during the last sync.
Ref<TList> SynkMessageList(const Ref<TSynkHost>& host);
Ref<TSynkObject> NewSynkObject(const Ref<TSynkHost>& host);
Ref<TSynkObject> NewSynkMessage(const Ref<TSynkHost>& host);
void PostSynkMessage(const Ref<TSynkObject>& msg, const Ref<TSynkObject>& target);
// The local object a received message is addressed to.
Ref<TSynkObject> SynkMessageTarget(const Ref<TSynkObject>& msg);
int32_t StateOfSynkObject(const Ref<TSynkObject>& object);
bool IsLocalSynkObject(const Ref<TSynkObject>& object);
bool IsRemoteSynkObject(const Ref<TSynkObject>& object);
void SynkSlotSetInt(const Ref<TSynkObject>& object, int32_t index, int32_t value);
void SynkSlotSetFloat(const Ref<TSynkObject>& object, int32_t index, float value);
void SynkSlotSetString(const Ref<TSynkObject>& object, int32_t index, const String& value);
int32_t SynkSlotInt(const Ref<TSynkObject>& object, int32_t index);
float SynkSlotFloat(const Ref<TSynkObject>& object, int32_t index);
String SynkSlotString(const Ref<TSynkObject>& object, int32_t index);
void AttachSynkTarget(const Ref<TSynkObject>& object, const Ref<Object>& target);
Ref<Object> SynkTargetOf(const Ref<TSynkObject>& object);
void ShutSynkObject(const Ref<TSynkObject>& object);

// The Synk module: registers its classes after the ENet wrapper, socket, list and system modules.
int InitSynkModule();

}  // namespace vxl
