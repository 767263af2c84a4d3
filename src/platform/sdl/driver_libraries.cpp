#include "platform/sdl/driver_libraries.h"

#include <mutex>

#include "platform/library/lazy_library.h"

namespace vxl::platform::sdl {
namespace {

// ALSA's handler type: (file, line, function, err, format, ...).
using AlsaErrorHandler = void (*)(const char*, int, const char*, int, const char*, ...);

void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

void SilenceAudioLibraries() {
  // SDL's ALSA back end shares this instance of the library (same name); it stays loaded, so the
  // handler stays set. Without ALSA on this machine there is nothing to silence, and no load is
  // tried (it would stand as the process's last library failure).
  using SetHandler = int (*)(AlsaErrorHandler);
  static SetHandler setHandler = nullptr;
  static LazyLibrary& alsa = LazyLibrary::Define(
      "libasound", {"libasound.so.2"}, {Required("snd_lib_error_set_handler", setHandler)});
  static std::once_flag once;
  std::call_once(once, [] {
    if (!alsa.Find().empty() && alsa.Load()) setHandler(IgnoreAlsaError);
  });
}

}  // namespace vxl::platform::sdl
