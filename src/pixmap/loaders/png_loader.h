// The PNG loader and saver.
//
//   Ref<TPixmap> p = PixmapFromUrl(String("title.png"));
//   SaveAsPng(p, String("copy.png"), 6);
#pragma once

#include "pixmap/pixmap.h"

namespace vxl {

class TPixmapLoaderPNG : public TPixmapLoader {
 public:
  VXL_CLASS(TPixmapLoaderPNG, TPixmapLoader)
  Ref<TPixmap> LoadPixmap(const Ref<TStream>& stream) override;
};

// The PNG image at the stream's position (see DecodePng for the formats); Null when the stream
// does not hold one. The stream itself stays open.
Ref<TPixmap> ReadPngPixmap(const Ref<TStream>& stream);
// Writes the pixmap as PNG to the URL with zlib level `level` (clamped to 0..9). False when the
// URL does not open for writing, the encoder fails or the bytes do not reach the file.
bool SaveAsPng(const Ref<TPixmap>& pixmap, const Ref<Object>& url, int32_t level);
inline bool SaveAsPng(const Ref<TPixmap>& pixmap, const String& url, int32_t level) {
  return SaveAsPng(pixmap, Ref<Object>(url), level);
}

// Registers the loader class and links one loader into the chain.
int InitPngLoaderModule();

}  // namespace vxl
