#include "pixmap/loaders/jpeg_loader.h"

#include "pixmap/loaders/jpeg_codec.h"
#include "pixmap/loaders/loader_io.h"
#include "runtime/class_binder.h"

namespace vxl {

VXL_DEFINE_CLASS(TPixmapLoaderJPG)

Ref<TPixmap> TPixmapLoaderJPG::LoadPixmap(const Ref<TStream>& stream) {
  return ReadJpegPixmap(stream);
}

Ref<TPixmap> ReadJpegPixmap(const Ref<TStream>& source) {
  // A wrapper: Close keeps the source.
  Ref<TStream> stream = OpenStreamUrl(Ref<Object>(WithKnownSize(source)), 1, 0);
  if (!stream) return nullptr;
  return WithClosing(stream, [&] { return JpegDecode(stream); });
}

bool SaveAsJpeg(const Ref<TPixmap>& pixmap, const Ref<Object>& url, int32_t quality) {
  Ref<TStream> stream = OpenStreamUrl(url, 0, 1);
  if (!stream) return false;
  Ref<TPixmap> rgb = pixmap->format == FORMAT_RGB24 ? pixmap : pixmap->Convert(FORMAT_RGB24);
  return WriteAndClose(stream, [&] { return JpegEncode(rgb, stream, quality); });
}

int InitJpegLoaderModule() {
  static ModuleGuard guard("JPEG loader");
  return guard.Run({InitCoreModule, InitPixmapModule, InitJpegCodecModule}, [] {
    RegisterClass<TPixmapLoaderJPG>();
    New<TPixmapLoaderJPG>();
  });
}

}  // namespace vxl
