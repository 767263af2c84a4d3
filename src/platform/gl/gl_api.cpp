#include "platform/gl/gl_api.h"

#include "platform/library/lazy_library.h"

namespace vxl::platform::gl {
namespace {

LazyLibrary& GLLibrary() {
  Api& table = EntryPoints<Api>();
#define VXL_GL_SYMBOL(name) Required("gl" #name, table.name),
  static LazyLibrary& library = LazyLibrary::Define("libGL", {"libGL.so.1", "libGL.so"},
                                                    {VXL_GL_ENTRY_POINTS(VXL_GL_SYMBOL)});
#undef VXL_GL_SYMBOL
  return library;
}

}  // namespace

bool LoadApi() {
  return GLLibrary().Load();
}

std::string LoadError() {
  return GLLibrary().Error();
}

std::string LibraryFile() {
  return GLLibrary().Find();
}

const Api& GL() {
  return EntryPoints<Api>();
}

Api& MutableGL() {
  return EntryPoints<Api>();
}

}  // namespace vxl::platform::gl
