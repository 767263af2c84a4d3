// The JPEG loader and saver.
//
//   Ref<TPixmap> photo = PixmapFromUrl(String("holiday.jpg"));   // FORMAT_RGB24 or FORMAT_GREY8
//   SaveAsJpeg(ScalePixmap(photo, 320, 240), String("thumb.jpg"), 85);
#pragma once

#include "pixmap/pixmap.h"

namespace vxl {

class TPixmapLoaderJPG : public TPixmapLoader {
 public:
  VXL_CLASS(TPixmapLoaderJPG, TPixmapLoader)
  Ref<TPixmap> LoadPixmap(const Ref<TStream>& stream) override;
};

// The JPEG image at the stream's position (see JpegDecode); Null when the stream does not hold
// one. The stream itself stays open.
Ref<TPixmap> ReadJpegPixmap(const Ref<TStream>& stream);
// Writes the pixmap (converted to RGB) as a baseline JPEG of the given quality (1 to 100) to
// the URL. False when the URL does not open for writing, the encoder fails or the bytes do not
// reach the file.
bool SaveAsJpeg(const Ref<TPixmap>& pixmap, const Ref<Object>& url, int32_t quality);
inline bool SaveAsJpeg(const Ref<TPixmap>& pixmap, const String& url, int32_t quality) {
  return SaveAsJpeg(pixmap, Ref<Object>(url), quality);
}

// Registers the loader class and links one loader into the chain.
int InitJpegLoaderModule();

}  // namespace vxl
