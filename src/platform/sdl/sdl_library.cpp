#include "platform/sdl/sdl_library.h"

#include <mutex>
#include <string>
#include <utility>

#include "platform/library/lazy_library.h"
#include "platform/sdl/driver_libraries.h"

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

// The real entry points behind the two that load drivers; see platform::KeepLoadedLibrariesLoaded().
decltype(&::SDL_GL_CreateContext) createContext;
decltype(&::SDL_OpenAudioDevice) openAudioDevice;

SDL_GLContext CreateContextKeepingDriver(SDL_Window* window) {
  SDL_GLContext context = createContext(window);
  if (context) platform::KeepLoadedLibrariesLoaded();
  return context;
}

SDL_AudioDeviceID OpenAudioDeviceKeepingDriver(const char* device, int capture,
                                               const SDL_AudioSpec* desired,
                                               SDL_AudioSpec* obtained, int allowedChanges) {
  SDL_AudioDeviceID id = openAudioDevice(device, capture, desired, obtained, allowedChanges);
  if (id != 0) platform::KeepLoadedLibrariesLoaded();
  return id;
}

}  // namespace

const Library* Open() {
  static const bool ready = [] {
    if (!SdlLibrary().Load()) return false;
    Library& table = EntryPoints<Library>();
    // The framework handles SIGINT and SIGTERM itself; SDL's events subsystem must not take them.
    table.SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    createContext = std::exchange(table.GL_CreateContext, &CreateContextKeepingDriver);
    openAudioDevice = std::exchange(table.OpenAudioDevice, &OpenAudioDeviceKeepingDriver);
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
  if (flags & SDL_INIT_AUDIO) SilenceAudioLibraries();
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
