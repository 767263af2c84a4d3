// The TGA loader: true-colour images of 15, 16, 24 and 32 bits per pixel, raw (type 2) or
// run-length encoded (type 10), 1 to 4096 pixels on each side. 16 and 32 bits load as
// FORMAT_RGBA32, 15 and 24 as FORMAT_RGB24. The first row of the file is the bottom row of the
// pixmap, or its top row when the origin bit (bit 5 of the descriptor) says so. Colour-mapped
// files, and run-length packets that run past the end of their row, give Null.
#pragma once

#include "pixmap/pixmap.h"

namespace vxl {

// The fixed 18-byte header of a TGA file, fields in file order.
class tgahdr : public Object {
 public:
  VXL_CLASS(tgahdr, Object)
  uint8_t idlen = 0, colourmaptype = 0, imgtype = 0, indexlo = 0, indexhi = 0, lenlo = 0, lenhi = 0,
          cosize = 0;
  uint16_t x0 = 0, y0 = 0, width = 0, height = 0;
  uint8_t psize = 0, attbits = 0;

  static void Bind(ClassBinder<tgahdr>& b);
};

class TPixmapLoaderTGA : public TPixmapLoader {
 public:
  VXL_CLASS(TPixmapLoaderTGA, TPixmapLoader)
  Ref<TPixmap> LoadPixmap(const Ref<TStream>& stream) override;
};

// Registers the loader class and links one loader into the chain.
int InitTgaLoaderModule();

}  // namespace vxl
