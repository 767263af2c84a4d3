// The BMP loader: uncompressed Windows bitmaps of 1, 4, 8, 24 and 32 bits per pixel, bottom-up.
// 32-bit files load as FORMAT_BGRA32 with the fourth byte as alpha, all others as FORMAT_BGR24;
// 32-bit bit fields load too when their masks give that same byte order (as image editors write
// images with alpha). Top-down (negative height), compressed, 16-bit and damaged files give Null.
#pragma once

#include "pixmap/pixmap.h"

namespace vxl {

class TPixmapLoaderBMP : public TPixmapLoader {
 public:
  VXL_CLASS(TPixmapLoaderBMP, TPixmapLoader)
  Ref<TPixmap> LoadPixmap(const Ref<TStream>& stream) override;
};

// Registers the loader class and links one loader into the chain.
int InitBmpLoaderModule();

}  // namespace vxl
