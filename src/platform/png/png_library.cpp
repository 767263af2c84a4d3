#include "platform/png/png_library.h"

#include <dlfcn.h>

#include <mutex>

namespace vxl::platform::png {
namespace {

// The run-time library of the libpng this was compiled against, then the development link.
constexpr const char* kLibraryNames[] = {"libpng16.so.16", "libpng16.so"};

const Library* Load() {
  void* handle = nullptr;
  for (const char* name : kLibraryNames) {
    handle = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (handle) break;
  }
  if (!handle) return nullptr;
  // Never destroyed: the library stays loaded for the whole process.
  auto* library = new Library{};
#define VXL_PNG_RESOLVE(name)                                                             \
  library->name = reinterpret_cast<decltype(&::png_##name)>(dlsym(handle, "png_" #name)); \
  if (!library->name) return nullptr;
  VXL_PNG_ENTRY_POINTS(VXL_PNG_RESOLVE)
#undef VXL_PNG_RESOLVE
  return library;
}

}  // namespace

const Library* Open() {
  static std::once_flag once;
  static const Library* library = nullptr;
  std::call_once(once, [] { library = Load(); });
  return library;
}

}  // namespace vxl::platform::png
