#include "synk/enet_event.h"

#include <cstdlib>

#include "runtime/class_binder.h"
#include "stream/stream.h"

namespace vxl {

VXL_DEFINE_CLASS(ENetEvent)

void ENetEvent::Bind(ClassBinder<ENetEvent>& b) {
  b.ReadOnlyField<&ENetEvent::event>("event");
  b.ReadOnlyField<&ENetEvent::channel>("channel");
}

namespace {

void ENetExit() {
  RecordExitFunction("ENet deinitialise");
  platform::EnetShutdown();
}

}  // namespace

int InitENetModule() {
  static ModuleGuard guard("ENet wrapper");
  return guard.Run({InitCoreModule, InitStreamModule}, [] {
    RegisterClass<ENetEvent>();
    std::atexit(ENetExit);
  });
}

}  // namespace vxl
