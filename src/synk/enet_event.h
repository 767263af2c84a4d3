// The ENet wrapper module: one transport event as an object, and the library's start and end.
#pragma once

#include <cstdint>

#include "platform/enet/enet.h"
#include "runtime/runtime.h"

namespace vxl {

// A transport event as the library reports it. A receive event's packet belongs to whoever takes
// the event; it is released with platform::EnetPacketDestroy.
class ENetEvent : public Object {
 public:
  VXL_CLASS(ENetEvent, Object)
  int32_t event = 0;  // 0 none, 1 connect, 2 disconnect, 3 receive
  platform::EnetPeer* peer = nullptr;
  int32_t channel = 0;
  platform::EnetPacket* packet = nullptr;

  static void Bind(ClassBinder<ENetEvent>& b);
};

// The ENet wrapper module: registers ENetEvent and the library's exit function. The library
// itself is loaded and initialised on first use (the start-up loads no shared library), and
// deinitialised at exit when it was.
int InitENetModule();

}  // namespace vxl
