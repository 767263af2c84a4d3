// A brute-force reference for image collision, worked out independently of the scan converter:
// every screen pixel of the overlapping boxes is mapped back into both masks through the inverse
// of each placement's affine map (computed here in double with the C maths library).
//
//   Placement a{mask, 100, 80, 16, 16, 30, 1, 1};           // handle (16, 16), 30 degrees
//   bool hit = BruteForceHit(a, b);                           // pixel centres, as drawn
//   Bounds r = ReferenceBounds(a, b);                         // a hit that rounding cannot miss,
//                                                             // a miss that rounding cannot hit
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

#include "pixmap/pixmap.h"
#include "pixmap/pixmap_ops.h"

namespace vxl::test {

struct Placement {
  Ref<TPixmap> mask;  // alpha of 128 or more is solid; Null or a format without alpha: solid
  float x = 0, y = 0;
  float handleX = 0, handleY = 0;
  float degrees = 0, scaleX = 1, scaleY = 1;
  int32_t width = 0, height = 0;  // the placed size (the mask's size for images)
};

// A placement's map from screen back to texture space, and its solid texels as a summed-area
// table, so any texel rectangle is counted in constant time.
class PlacedMask {
 public:
  explicit PlacedMask(const Placement& p) : p_(p), w_(p.width), h_(p.height) {
    const double r = double(p.degrees) * 3.14159265358979323846 / 180;
    const double s = std::sin(r), c = std::cos(r);
    const double ix = c * p.scaleX, iy = -s * p.scaleY, jx = s * p.scaleX, jy = c * p.scaleY;
    const double det = ix * jy - iy * jx;
    inv_[0] = jy / det;
    inv_[1] = -iy / det;
    inv_[2] = -jx / det;
    inv_[3] = ix / det;
    const bool masked = p.mask && FormatAlphaBits[p.mask->format] != 0;
    // Alpha read through the conversion to the standard format, not through the mask's bytes.
    Ref<TPixmap> standard = masked ? PixmapToFormat(p.mask, FORMAT_RGBA32) : Ref<TPixmap>();
    sat_.assign(size_t(w_ + 1) * (h_ + 1), 0);
    for (int32_t y = 0; y < h_; ++y) {
      for (int32_t x = 0; x < w_; ++x) {
        const bool solid = !masked || (standard->ReadPixel(x, y) >> 24) >= 128;
        At(x + 1, y + 1) = int(solid) + At(x, y + 1) + At(x + 1, y) - At(x, y);
      }
    }
    // Corners of the placement on screen, for the bounding box.
    minX_ = minY_ = 1e300;
    maxX_ = maxY_ = -1e300;
    for (int k = 0; k < 4; ++k) {
      const double lx = (k == 1 || k == 2 ? w_ : 0) - p.handleX;
      const double ly = (k >= 2 ? h_ : 0) - p.handleY;
      const double sx = lx * ix + ly * iy + p.x, sy = lx * jx + ly * jy + p.y;
      minX_ = std::min(minX_, sx), maxX_ = std::max(maxX_, sx);
      minY_ = std::min(minY_, sy), maxY_ = std::max(maxY_, sy);
    }
  }

  // The texel coordinates (in texels, not 0..1) of a screen point.
  void ToTexels(double sx, double sy, double& tx, double& ty) const {
    const double dx = sx - p_.x, dy = sy - p_.y;
    tx = inv_[0] * dx + inv_[1] * dy + p_.handleX;
    ty = inv_[2] * dx + inv_[3] * dy + p_.handleY;
  }
  // Solid texels in columns [x0, x1) and rows [y0, y1), clamped to the mask.
  int Count(int x0, int y0, int x1, int y1) const {
    x0 = std::clamp(x0, 0, w_), x1 = std::clamp(x1, 0, w_);
    y0 = std::clamp(y0, 0, h_), y1 = std::clamp(y1, 0, h_);
    if (x0 >= x1 || y0 >= y1) return 0;
    return At(x1, y1) - At(x0, y1) - At(x1, y0) + At(x0, y0);
  }
  bool SolidAtCentre(int px, int py) const {
    double tx, ty;
    ToTexels(px + 0.5, py + 0.5, tx, ty);
    if (!(tx >= 0 && ty >= 0 && tx < w_ && ty < h_)) return false;
    return Count(int(tx), int(ty), int(tx) + 1, int(ty) + 1) == 1;
  }
  // The texel box covering the pixel grown by one on every side.
  void GrownBox(int px, int py, int& x0, int& y0, int& x1, int& y1) const {
    double lo[2] = {1e300, 1e300}, hi[2] = {-1e300, -1e300};
    for (int k = 0; k < 4; ++k) {
      double tx, ty;
      ToTexels(px - 1.0 + (k & 1) * 3.0, py - 1.0 + (k >> 1) * 3.0, tx, ty);
      lo[0] = std::min(lo[0], tx), hi[0] = std::max(hi[0], tx);
      lo[1] = std::min(lo[1], ty), hi[1] = std::max(hi[1], ty);
    }
    x0 = int(std::floor(std::max(lo[0], -1.0))), y0 = int(std::floor(std::max(lo[1], -1.0)));
    x1 = int(std::floor(std::min(hi[0], w_ + 1.0))) + 1;
    y1 = int(std::floor(std::min(hi[1], h_ + 1.0))) + 1;
  }
  // Every texel the grown pixel touches is inside the mask and solid.
  bool SurelySolid(int px, int py) const {
    int x0, y0, x1, y1;
    GrownBox(px, py, x0, y0, x1, y1);
    if (x0 < 0 || y0 < 0 || x1 > w_ || y1 > h_) return false;
    return Count(x0, y0, x1, y1) == (x1 - x0) * (y1 - y0);
  }
  // Some texel the grown pixel touches is solid.
  bool PossiblySolid(int px, int py) const {
    int x0, y0, x1, y1;
    GrownBox(px, py, x0, y0, x1, y1);
    return Count(x0, y0, x1, y1) > 0;
  }
  double minX_, minY_, maxX_, maxY_;

 private:
  int& At(int x, int y) { return sat_[size_t(y) * (w_ + 1) + x]; }
  int At(int x, int y) const { return sat_[size_t(y) * (w_ + 1) + x]; }
  Placement p_;
  int w_, h_;
  double inv_[4];
  std::vector<int> sat_;
};

// Calls f(px, py) for every pixel of the overlap of both bounding boxes (grown by `grow`) until
// it returns true.
template <class F>
bool AnyPixel(const PlacedMask& a, const PlacedMask& b, int grow, F f) {
  const int x0 = int(std::floor(std::max(a.minX_, b.minX_))) - grow;
  const int x1 = int(std::floor(std::min(a.maxX_, b.maxX_))) + grow;
  const int y0 = int(std::floor(std::max(a.minY_, b.minY_))) - grow;
  const int y1 = int(std::floor(std::min(a.maxY_, b.maxY_))) + grow;
  for (int py = y0; py <= y1; ++py) {
    for (int px = x0; px <= x1; ++px) {
      if (f(px, py)) return true;
    }
  }
  return false;
}

// A common solid pixel, sampled at pixel centres.
inline bool BruteForceHit(const PlacedMask& a, const PlacedMask& b) {
  return AnyPixel(a, b, 0,
                  [&](int x, int y) { return a.SolidAtCentre(x, y) && b.SolidAtCentre(x, y); });
}

struct Bounds {
  bool surelyHit;    // a common solid pixel at least one pixel from every edge and texel border
  bool possiblyHit;  // a common solid pixel with both masks grown by one pixel
};

inline Bounds ReferenceBounds(const PlacedMask& a, const PlacedMask& b) {
  Bounds r;
  r.surelyHit =
      AnyPixel(a, b, 0, [&](int x, int y) { return a.SurelySolid(x, y) && b.SurelySolid(x, y); });
  r.possiblyHit = AnyPixel(
      a, b, 2, [&](int x, int y) { return a.PossiblySolid(x, y) && b.PossiblySolid(x, y); });
  return r;
}

}  // namespace vxl::test
