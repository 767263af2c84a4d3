#include "pixmap/loaders/png_loader.h"

#include "pixmap/loaders/loader_io.h"
#include "pixmap/loaders/png_codec.h"
#include "runtime/class_binder.h"

namespace vxl {

VXL_DEFINE_CLASS(TPixmapLoaderPNG)

Ref<TPixmap> TPixmapLoaderPNG::LoadPixmap(const Ref<TStream>& stream) {
  return ReadPngPixmap(stream);
}

Ref<TPixmap> ReadPngPixmap(const Ref<TStream>& source) {
  // A wrapper: Close keeps the source.
  Ref<TStream> stream = OpenStreamUrl(Ref<Object>(WithKnownSize(source)), 1, 0);
  if (!stream) return nullptr;
  return WithClosing(stream, [&]() -> Ref<TPixmap> {
    uint8_t signature[8];
    if (ReadOrZero(*stream, signature, 8) < 8 || !IsPngSignature(signature)) return nullptr;
    return DecodePng(stream);
  });
}

bool SaveAsPng(const Ref<TPixmap>& pixmap, const Ref<Object>& url, int32_t level) {
  Ref<TStream> stream = OpenStreamUrl(url, 0, 1);
  if (!stream) return false;
  return WriteAndClose(stream, [&] { return EncodePng(pixmap, stream, level); });
}

int InitPngLoaderModule() {
  static ModuleGuard guard("PNG loader");
  return guard.Run({InitCoreModule, InitPixmapModule, InitPngCodecModule}, [] {
    RegisterClass<TPixmapLoaderPNG>();
    New<TPixmapLoaderPNG>();
  });
}

}  // namespace vxl
