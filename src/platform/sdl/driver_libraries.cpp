#include "platform/sdl/driver_libraries.h"

#include <dlfcn.h>
#include <link.h>

#include <mutex>
#include <string>
#include <vector>

#include "platform/library/lazy_library.h"

namespace vxl::platform::sdl {
namespace {

int CollectName(dl_phdr_info* info, size_t, void* names) {
  if (info->dlpi_name && info->dlpi_name[0] == '/')
    static_cast<std::vector<std::string>*>(names)->emplace_back(info->dlpi_name);
  return 0;
}

// ALSA's handler type: (file, line, function, err, format, ...).
using AlsaErrorHandler = void (*)(const char*, int, const char*, int, const char*, ...);

void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

void KeepLoadedLibrariesLoaded() {
  // The names are gathered first: the loader's lock is held during the walk.
  std::vector<std::string> names;
  dl_iterate_phdr(CollectName, &names);
  for (const std::string& name : names) {
    // Only libraries already loaded are touched (NOLOAD); NODELETE keeps them until exit.
    dlopen(name.c_str(), RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
  }
}

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
