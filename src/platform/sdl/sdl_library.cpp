#include "platform/sdl/sdl_library.h"

#include <dlfcn.h>

#include <mutex>
#include <string>

namespace vxl::platform::sdl {
namespace {

// The names a distribution installs the runtime library under, most specific first.
constexpr const char* kLibraryNames[] = {"libSDL2-2.0.so.0", "libSDL2-2.0.so", "libSDL2.so"};

struct Loaded {
  Library library{};
  bool ok = false;
  std::string error;
};

// Never destroyed: exit functions of other modules may still stop subsystems.
Loaded& State() {
  static Loaded* state = new Loaded;
  return *state;
}

void Load(Loaded& state) {
  void* handle = nullptr;
  for (const char* name : kLibraryNames) {
    handle = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (handle) break;
  }
  if (!handle) {
    state.error = "SDL2 library not found (libSDL2-2.0.so.0)";
    return;
  }
#define VXL_SDL_RESOLVE(name)                                                                  \
  state.library.name = reinterpret_cast<decltype(&::SDL_##name)>(dlsym(handle, "SDL_" #name)); \
  if (!state.library.name) {                                                                   \
    state.error = "SDL2 library lacks SDL_" #name;                                             \
    return;                                                                                    \
  }
  VXL_SDL_ENTRY_POINTS(VXL_SDL_RESOLVE)
#undef VXL_SDL_RESOLVE
  // The framework handles SIGINT and SIGTERM itself; SDL's events subsystem must not take them.
  state.library.SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  state.ok = true;
}

}  // namespace

const Library* Open() {
  static std::once_flag once;
  Loaded& state = State();
  std::call_once(once, [&state] { Load(state); });
  return state.ok ? &state.library : nullptr;
}

const char* OpenError() {
  return State().error.c_str();
}

const Library* StartSubsystems(uint32_t flags) {
  const Library* sdl = Open();
  if (!sdl) return nullptr;
  if (sdl->InitSubSystem(flags) != 0) {
    State().error = std::string("SDL could not start: ") + sdl->GetError();
    return nullptr;
  }
  return sdl;
}

void StopSubsystems(uint32_t flags) {
  if (const Library* sdl = Open()) sdl->QuitSubSystem(flags);
}

}  // namespace vxl::platform::sdl
