#include "platform/gl/gl_api.h"

#include "platform/library/lazy_library.h"

namespace vxl::platform::gl {
namespace {

LazyLibrary& GLLibrary() {
  Api& table = EntryPoints<Api>();
#define VXL_GL_SYMBOL(name) Required("gl" #name, table.name),
  // No file of its own to open: SDL opens the library, and LoadApi adopts it.
  static LazyLibrary& library =
      LazyLibrary::Define("libGL", {}, {VXL_GL_ENTRY_POINTS(VXL_GL_SYMBOL)});
#undef VXL_GL_SYMBOL
  return library;
}

}  // namespace

bool LoadApi(const std::string& file, ProcLookup lookup, const std::string& openError) {
  return GLLibrary().LoadFrom(file, lookup, openError);
}

std::string LoadError() {
  return GLLibrary().Error();
}

const Api& GL() {
  return EntryPoints<Api>();
}

Api& MutableGL() {
  return EntryPoints<Api>();
}

}  // namespace vxl::platform::gl
