#include "pixmap/pixmap_ops.h"

#include <algorithm>
#include <cstring>

namespace vxl {

namespace {

Ref<TPixmap> Standard(const Ref<TPixmap>& pixmap) {
  return pixmap->format == FORMAT_STANDARD ? pixmap : pixmap->Convert(FORMAT_STANDARD);
}

}  // namespace

Ref<TPixmap> MaskOutColour(const Ref<TPixmap>& pixmap, int32_t red, int32_t green, int32_t blue) {
  Ref<TPixmap> src = Standard(pixmap);
  const int32_t w = src->width, h = src->height;
  Ref<TPixmap> out = TPixmap::Create(w, h, FORMAT_STANDARD, 4);
  auto isKey = [&](const uint8_t* p) { return p[0] == red && p[1] == green && p[2] == blue; };
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* in = src->PixelPtr(0, y);
    uint8_t* o = out->PixelPtr(0, y);
    for (int32_t x = 0; x < w; ++x, in += 4, o += 4) {
      if (!isKey(in)) {
        o[0] = in[0], o[1] = in[1], o[2] = in[2], o[3] = 255;
        continue;
      }
      int32_t sum[3] = {0, 0, 0}, n = 0;
      for (int32_t ny = std::max(y - 1, 0); ny <= std::min(y + 1, h - 1); ++ny) {
        for (int32_t nx = std::max(x - 1, 0); nx <= std::min(x + 1, w - 1); ++nx) {
          const uint8_t* q = src->PixelPtr(nx, ny);
          if (isKey(q)) continue;
          sum[0] += q[0], sum[1] += q[1], sum[2] += q[2], ++n;
        }
      }
      for (int32_t c = 0; c < 3; ++c)
        o[c] = uint8_t(n ? sum[c] / n : 0);
      o[3] = 0;
    }
  }
  return out;
}

Ref<TPixmap> MirrorPixmapX(const Ref<TPixmap>& pixmap) {
  const int32_t w = pixmap->width, bytes = FormatBytes[pixmap->format];
  Ref<TPixmap> out = TPixmap::Create(w, pixmap->height, pixmap->format, 4);
  for (int32_t y = 0; y < pixmap->height; ++y) {
    const uint8_t* in = pixmap->PixelPtr(0, y);
    uint8_t* o = out->PixelPtr(0, y);
    for (int32_t x = 0; x < w; ++x)
      std::memcpy(o + x * bytes, in + (w - 1 - x) * bytes, bytes);
  }
  return out;
}

Ref<TPixmap> MirrorPixmapY(const Ref<TPixmap>& pixmap) {
  const int32_t h = pixmap->height;
  Ref<TPixmap> out = TPixmap::Create(pixmap->width, h, pixmap->format, 4);
  size_t row = size_t(pixmap->width) * FormatBytes[pixmap->format];
  for (int32_t y = 0; y < h; ++y) {
    if (row) std::memcpy(out->PixelPtr(0, y), pixmap->PixelPtr(0, h - 1 - y), row);
  }
  return out;
}

}  // namespace vxl
