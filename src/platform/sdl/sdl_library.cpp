#include "platform/sdl/sdl_library.h"

#include <mutex>
#include <string>

#include "platform/library/lazy_library.h"

namespace vxl::platform::sdl {
namespace {

// Why a subsystem did not start: SDL's own text, kept until the next failure. Never destroyed:
// exit functions of other modules may still stop subsystems.
struct StartFailure {
  std::mutex mutex;
  std::string text;
};

StartFailure& LastStartFailure() {
  static StartFailure* failure = new StartFailure;
  return *failure;
}

LazyLibrary& SdlLibrary() {
  Library& table = EntryPoints<Library>();
#define VXL_SDL_SYMBOL(name) Required("SDL_" #name, table.name),
  static LazyLibrary& library = LazyLibrary::Define(
      "libSDL2", {"libSDL2-2.0.so.0", "libSDL2-2.0.so", "libSDL2.so"},
      {VXL_SDL_ENTRY_POINTS(VXL_SDL_SYMBOL)});
#undef VXL_SDL_SYMBOL
  return library;
}

}  // namespace

const Library* Open() {
  static const bool ready = [] {
    if (!SdlLibrary().Load()) return false;
    // The framework handles SIGINT and SIGTERM itself; SDL's events subsystem must not take them.
    EntryPoints<Library>().SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    return true;
  }();
  return ready ? &EntryPoints<Library>() : nullptr;
}

std::string OpenError() {
  std::string error = Open() ? "" : SdlLibrary().Error();
  if (!error.empty()) return error;
  StartFailure& failure = LastStartFailure();
  std::lock_guard<std::mutex> lock(failure.mutex);
  return failure.text;
}

const Library* StartSubsystems(uint32_t flags) {
  const Library* sdl = Open();
  if (!sdl) return nullptr;
  if (sdl->InitSubSystem(flags) != 0) {
    StartFailure& failure = LastStartFailure();
    std::lock_guard<std::mutex> lock(failure.mutex);
    failure.text = std::string("SDL could not start: ") + sdl->GetError();
    return nullptr;
  }
  return sdl;
}

void StopSubsystems(uint32_t flags) {
  if (const Library* sdl = Open()) sdl->QuitSubSystem(flags);
}

}  // namespace vxl::platform::sdl
