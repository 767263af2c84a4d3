#include "synk/synk.h"

#include "net/socket.h"
#include "system/system.h"

namespace vxl {

Ref<TSynkHost> NewSynkHost() {
  return TSynkHost::Create();
}
void ShutSynkHost(const Ref<TSynkHost>& host) {
  host->Close();
}
void SyncSynkHost(const Ref<TSynkHost>& host) {
  host->Sync();
}
bool ListenSynkHost(const Ref<TSynkHost>& host, int32_t port) {
  return host->Listen(port);
}

bool ConnectSynkHost(const Ref<TSynkHost>& host, const String& address, int32_t port,
                     int32_t timeout) {
  // Address 0 would reach this machine's own listeners, so a name that does not resolve fails.
  int32_t ip = ResolveHostAddress(address, 0);
  if (ip == 0) return false;
  return host->Connect(ip, port, timeout);
}

Ref<TList> SynkObjectList(const Ref<TSynkHost>& host, int32_t which) {
  switch (which) {
    case SYNK_LIST_ALL:
      return host->Objects();
    case SYNK_LIST_CREATED:
      return host->ObjectsCreated();
    case SYNK_LIST_MODIFIED:
      return host->ObjectsModified();
    case SYNK_LIST_CLOSED:
      return host->ObjectsClosed();
    default:
      Throw("Unknown object state");
  }
}

Ref<TList> SynkMessageList(const Ref<TSynkHost>& host) {
  return host->_messages;
}
Ref<TSynkObject> NewSynkObject(const Ref<TSynkHost>& host) {
  return host->CreateObject();
}
Ref<TSynkObject> NewSynkMessage(const Ref<TSynkHost>& host) {
  return host->CreateMessage();
}
void PostSynkMessage(const Ref<TSynkObject>& msg, const Ref<TSynkObject>& target) {
  msg->_host->SendSynkMessage(msg, target);
}
Ref<TSynkObject> SynkMessageTarget(const Ref<TSynkObject>& msg) {
  return msg->_host->_idMap[msg->_id];
}
int32_t StateOfSynkObject(const Ref<TSynkObject>& object) {
  return object->State();
}
bool IsLocalSynkObject(const Ref<TSynkObject>& object) {
  return object->_peer.IsNull();
}
bool IsRemoteSynkObject(const Ref<TSynkObject>& object) {
  return !object->_peer.IsNull();
}
void SynkSlotSetInt(const Ref<TSynkObject>& object, int32_t index, int32_t value) {
  object->SetInt(index, value);
}
void SynkSlotSetFloat(const Ref<TSynkObject>& object, int32_t index, float value) {
  object->SetFloat(index, value);
}
void SynkSlotSetString(const Ref<TSynkObject>& object, int32_t index, const String& value) {
  object->SetString(index, value);
}
int32_t SynkSlotInt(const Ref<TSynkObject>& object, int32_t index) {
  return object->GetInt(index);
}
float SynkSlotFloat(const Ref<TSynkObject>& object, int32_t index) {
  return object->GetFloat(index);
}
String SynkSlotString(const Ref<TSynkObject>& object, int32_t index) {
  return object->GetString(index);
}
void AttachSynkTarget(const Ref<TSynkObject>& object, const Ref<Object>& target) {
  object->_target = target;
}
Ref<Object> SynkTargetOf(const Ref<TSynkObject>& object) {
  return object->_target;
}
void ShutSynkObject(const Ref<TSynkObject>& object) {
  object->Close();
}

int InitSynkModule() {
  static ModuleGuard guard("synk");
  return guard.Run(
      {InitCoreModule, InitENetModule, InitSocketModule, InitListModule, InitSystemModule}, [] {
        RegisterClass<TSynkMsg>();
        RegisterClass<TSynkSlot>();
        RegisterClass<TSynkObject>();
        RegisterClass<TSynkHost>();
        RegisterClass<TSynkPeer>();
      });
}

}  // namespace vxl
