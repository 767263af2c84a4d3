// Whole-image operations on pixmaps: colour-key masking, mirroring and bilinear scaling. Each
// returns a new pixmap (align 4) and leaves its argument unchanged.
//
//   Ref<TPixmap> sprite = MaskOutColour(sheet, 255, 0, 255);   // magenta becomes transparent
//   Ref<TPixmap> thumb = ScalePixmap(photo, 160, 90);
#pragma once

#include "pixmap/pixmap.h"

namespace vxl {

// A FORMAT_RGBA32 copy where every pixel of the key colour gets alpha 0 and, as colour, the
// average of the non-key pixels among its eight neighbours and itself (0, 0, 0 when there is
// none); every other pixel keeps its colour with alpha 255.
Ref<TPixmap> MaskOutColour(const Ref<TPixmap>& pixmap, int32_t red, int32_t green, int32_t blue);
// The image mirrored left to right / top to bottom, in the same format.
Ref<TPixmap> MirrorPixmapX(const Ref<TPixmap>& pixmap);
Ref<TPixmap> MirrorPixmapY(const Ref<TPixmap>& pixmap);
// The image resampled to width x height, in the same format. Bilinear, in single precision:
// for output row i, sy = (i + 0.5) * (srcHeight / height) - 0.5 picks rows floor(sy) and the
// next with weight sy - floor(sy) (one edge row, weight 0, outside the image); columns likewise.
// Each channel is interpolated along the row first, then between the rows, and truncated.
Ref<TPixmap> ScalePixmap(const Ref<TPixmap>& pixmap, int32_t width, int32_t height);

}  // namespace vxl
