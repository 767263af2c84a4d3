// Hostile bytes through PixmapFromUrl on an in-memory stream, with one image loader in the chain
// (the build picks it: VXL_FUZZ_LOADER_INIT names its module initialiser). Loading may give Null
// or a pixmap, never a crash, a read or write out of bounds, a hang or an allocation far beyond
// the input. A loaded pixmap is whole: its rows lie inside its memory and convert and scale.
#include <cstdint>
#include <string>

#include "pixmap/loaders/bmp_loader.h"
#include "pixmap/loaders/jpeg_loader.h"
#include "pixmap/loaders/png_loader.h"
#include "pixmap/loaders/tga_loader.h"
#include "pixmap/pixmap_ops.h"
#include "support/test_streams.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

bool Setup() {
  vxl::VXL_FUZZ_LOADER_INIT();
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vxl;
  static bool ready = Setup();
  (void)ready;
  auto stream = test::TMemoryStream::Of(std::string(reinterpret_cast<const char*>(data), size));
  Ref<TPixmap> p = PixmapFromUrl(Ref<Object>(stream));
  if (!p) return 0;
  Check(p->width > 0 && p->height > 0 && IsPixelFormat(p->format));
  Check(int64_t(p->pitch) * p->height <= p->capacity);
  Ref<TPixmap> small = ScalePixmap(p, 3, 2);
  Check(small->width == 3 && small->ReadPixel(2, 1) == small->ReadPixel(2, 1));
  return 0;
}
