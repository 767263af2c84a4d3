#include "platform/png/png_library.h"

#include "platform/library/lazy_library.h"

namespace vxl::platform::png {
namespace {

LazyLibrary& PngLibrary() {
  Library& table = EntryPoints<Library>();
#define VXL_PNG_SYMBOL(name) Required("png_" #name, table.name),
  // The run-time library of the libpng this was compiled against, then the development link.
  static LazyLibrary& library = LazyLibrary::Define("libpng", {"libpng16.so.16", "libpng16.so"},
                                                    {VXL_PNG_ENTRY_POINTS(VXL_PNG_SYMBOL)});
#undef VXL_PNG_SYMBOL
  return library;
}

}  // namespace

const Library* Open() {
  return PngLibrary().Load() ? &EntryPoints<Library>() : nullptr;
}

std::string OpenError() {
  return PngLibrary().Error();
}

}  // namespace vxl::platform::png
