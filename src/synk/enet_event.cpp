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
    // ENet initialises with its library, on first use (its socket layer needs no start-up
    // here); the exit slot is taken now, so that deinitialising keeps its place at exit.
    std::atexit(ENetExit);
  });
}

}  // namespace vxl
