#include "platform/d3d7/raster.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "platform/math/small_rounding.h"

namespace vxl::platform::d3d7 {

namespace {

constexpr float kGuardBand = 1048576.0f;  // 2^20 pixels
constexpr int kMaxClipped = 4 + kRasterClipPlanes + 4;

bool Empty(const RasterSurface& s) {
  return s.pixels == nullptr || s.width <= 0 || s.height <= 0 || s.pitch < s.width;
}

// A vertex while clipping: position and the attributes interpolated across the triangle.
struct ClipVertex {
  float x, y, z;
  float c[4];  // a, r, g, b
  float u, v;
};

ClipVertex ToClip(const RasterVertex& v) {
  ClipVertex out{v.x, v.y, v.z, {}, v.u, v.v};
  for (int i = 0; i < 4; ++i)
    out.c[i] = static_cast<float>((v.diffuse >> (24 - 8 * i)) & 0xFF);
  return out;
}

float Distance(const RasterClipPlane& p, const ClipVertex& v) {
  return p.a * v.x + p.b * v.y + p.c * v.z + p.d;
}

ClipVertex Lerp(const ClipVertex& a, const ClipVertex& b, float t) {
  auto mix = [t](float p, float q) { return p + (q - p) * t; };
  ClipVertex out{mix(a.x, b.x), mix(a.y, b.y), mix(a.z, b.z), {}, mix(a.u, b.u), mix(a.v, b.v)};
  for (int i = 0; i < 4; ++i)
    out.c[i] = mix(a.c[i], b.c[i]);
  return out;
}

// Sutherland-Hodgman against one plane; returns the new vertex count.
int ClipPolygon(const RasterClipPlane& plane, const ClipVertex* in, int count, ClipVertex* out) {
  int n = 0;
  for (int i = 0; i < count; ++i) {
    const ClipVertex& a = in[i];
    const ClipVertex& b = in[(i + 1) % count];
    float da = Distance(plane, a);
    float db = Distance(plane, b);
    if (da >= 0) out[n++] = a;
    if ((da >= 0) != (db >= 0)) {
      // Huge or NaN distances (from huge plane coefficients) give a t outside 0..1: keep it there.
      float t = da / (da - db);
      out[n++] = Lerp(a, b, t >= 0.0f ? std::min(t, 1.0f) : 0.0f);
    }
  }
  return n;
}

bool Finite(const RasterVertex& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

int64_t Snap(float value) {
  return static_cast<int64_t>(math::NearbyInt(value * 256.0f));
}

uint32_t Channel(uint32_t pixel, int shift) {
  return (pixel >> shift) & 0xFF;
}

uint32_t RoundChannel(float value) {
  float r = math::NearbyInt(value);
  if (!(r >= 0.0f)) return 0;
  return r > 255.0f ? 255u : static_cast<uint32_t>(r);
}

uint32_t Texel(const RasterSurface& t, int32_t x, int32_t y) {
  x = std::clamp(x, 0, t.width - 1);
  y = std::clamp(y, 0, t.height - 1);
  return t.pixels[static_cast<size_t>(y) * t.pitch + x];
}

// round(t * 256) - 128 for a texel coordinate t, kept far inside int32 range after the shift (the
// texel index is clamped afterwards).
int64_t FixedTexel(float t) {
  float s = math::NearbyInt(t * 256.0f);
  if (!(s > -1e11f)) return -(int64_t(1) << 37);
  if (s > 1e11f) return int64_t(1) << 37;
  return static_cast<int64_t>(s) - 128;
}

// Texel coordinate floor of value, kept in int range (the texel index is clamped afterwards).
int32_t FloorIndex(float value) {
  if (!(value > -1e9f)) return -1;  // NaN too
  if (value > 1e9f) return 1000000000;
  int32_t i = static_cast<int32_t>(value);  // towards zero, then down for negative fractions
  return static_cast<float>(i) > value ? i - 1 : i;
}

void WritePixel(const RasterSurface& target, const RasterState& state, int32_t x, int32_t y,
                uint32_t fragment) {
  if (state.alphaTest && (fragment >> 24) < 128) return;
  uint32_t& dst = target.pixels[static_cast<size_t>(y) * target.pitch + x];
  dst = BlendPixel(state.blend, fragment, dst);
}

struct Snapped {
  int64_t x, y;
};

// e(p) = (b - a) x (p - a): positive on the inside of a counter-clockwise (in y-down screen
// space: clockwise-looking) edge.
int64_t Edge(Snapped a, Snapped b, int64_t px, int64_t py) {
  return (b.x - a.x) * (py - a.y) - (b.y - a.y) * (px - a.x);
}

// A left edge or a bottom edge (see raster.h) of a triangle whose edge functions are positive
// inside.
bool CoversTies(Snapped a, Snapped b) {
  int64_t dx = b.x - a.x, dy = b.y - a.y;
  return dy < 0 || (dy == 0 && dx < 0);
}

// Within the guard band (with slack for rounding while clipping), so snapped values stay small.
bool Snappable(const ClipVertex& v) {
  return std::fabs(v.x) <= 2 * kGuardBand && std::fabs(v.y) <= 2 * kGuardBand;
}

// Colour channels, u and v as planes a0 + dadx x + dady y over pixel positions, set up from a
// triangle's float vertices as llvmpipe sets them up (vertex order, operations and their order),
// so both interpolate to the same bits.
constexpr int kAttributes = 6;  // a, r, g, b, u, v

// a b + c rounded once, as a fused multiply-add gives it, without the math library: the product
// is exact in double; the sum is rounded to double and then to float, and where that second
// rounding meets a tie the first one made, the sum's exact remainder breaks it.
float FusedMultiplyAdd(float a, float b, float c) {
  double p = double(a) * double(b), s = p + double(c);
  if (!std::isfinite(s)) return static_cast<float>(s);
  double back = s - p, rest = (p - (s - back)) + (double(c) - back);  // s + rest is exact
  uint64_t bits = std::bit_cast<uint64_t>(s);
  // A float midpoint: the 29 bits below float precision are exactly 1000...0.
  if (rest != 0 && (bits & 0x1FFFFFFF) == 0x10000000) {
    bits += ((rest > 0) == (s > 0)) ? 1 : -1;
    s = std::bit_cast<double>(bits);
  }
  return static_cast<float>(s);
}

struct AttributePlanes {
  float a0[kAttributes], dadx[kAttributes], dady[kAttributes];

  float At(int i, float px, float py) const {
    return FusedMultiplyAdd(dady[i], py, FusedMultiplyAdd(dadx[i], px, a0[i]));
  }
};

float Attribute(const ClipVertex& v, int i) {
  return i < 4 ? v.c[i] : i == 4 ? v.u : v.v;
}

AttributePlanes PlanesOf(const ClipVertex& p0, const ClipVertex& p1, const ClipVertex& p2) {
  // llvmpipe keeps the order of a triangle whose vertices run clockwise on the screen and swaps
  // the first two otherwise.
  const ClipVertex* v[3] = {&p0, &p1, &p2};
  float cross = (p1.x - p0.x) * (p2.y - p0.y) - (p1.y - p0.y) * (p2.x - p0.x);
  if (cross > 0) std::swap(v[0], v[1]);
  float dx01 = v[0]->x - v[1]->x, dy01 = v[0]->y - v[1]->y;
  float dx20 = v[2]->x - v[0]->x, dy20 = v[2]->y - v[0]->y;
  float ef0 = dx01 * dy20, ef1 = dy01 * dx20;
  float ooa = 1.0f / (ef0 - ef1);
  float dx20o = dx20 * ooa, dy20o = dy20 * ooa, dx01o = dx01 * ooa, dy01o = dy01 * ooa;
  AttributePlanes planes;
  for (int i = 0; i < kAttributes; ++i) {
    float a0 = Attribute(*v[0], i);
    float da01 = a0 - Attribute(*v[1], i), da20 = Attribute(*v[2], i) - a0;
    float t1 = da01 * dy20o, t2 = da20 * dy01o;
    planes.dadx[i] = t1 - t2;
    float t3 = da20 * dx01o, t4 = da01 * dx20o;
    planes.dady[i] = t3 - t4;
    float t5 = planes.dadx[i] * v[0]->x, t6 = planes.dady[i] * v[0]->y;
    planes.a0[i] = a0 - (t5 + t6);
  }
  return planes;
}

// Covers the triangle's pixels; their colour and texture coordinates come from `attributes`.
void RasteriseTriangle(const RasterSurface& target, const RasterState& state, const ClipVertex& a,
                       const ClipVertex& b, const ClipVertex& c,
                       const AttributePlanes& attributes) {
  if (!Snappable(a) || !Snappable(b) || !Snappable(c)) return;
  Snapped s[3] = {{Snap(a.x), Snap(a.y)}, {Snap(b.x), Snap(b.y)}, {Snap(c.x), Snap(c.y)}};
  int64_t area = Edge(s[0], s[1], s[2].x, s[2].y);
  if (area == 0) return;
  if (area < 0) std::swap(s[1], s[2]);  // make the edge functions positive inside
  int64_t minX = std::min({s[0].x, s[1].x, s[2].x}), maxX = std::max({s[0].x, s[1].x, s[2].x});
  int64_t minY = std::min({s[0].y, s[1].y, s[2].y}), maxY = std::max({s[0].y, s[1].y, s[2].y});
  // Pixel centres px * 256 within the box, clamped to the surface.
  int64_t x0 = std::max<int64_t>(0, (minX + 255) >> 8);
  int64_t x1 = std::min<int64_t>(target.width - 1, maxX >> 8);
  int64_t y0 = std::max<int64_t>(0, (minY + 255) >> 8);
  int64_t y1 = std::min<int64_t>(target.height - 1, maxY >> 8);
  if (x0 > x1 || y0 > y1) return;
  // Edge i is opposite vertex i; its function weighs vertex i.
  Snapped ea[3] = {s[1], s[2], s[0]}, eb[3] = {s[2], s[0], s[1]};
  int64_t bias[3], stepX[3], stepY[3], row[3];
  for (int i = 0; i < 3; ++i) {
    bias[i] = CoversTies(ea[i], eb[i]) ? 0 : -1;
    stepX[i] = -(eb[i].y - ea[i].y) * 256;
    stepY[i] = (eb[i].x - ea[i].x) * 256;
    row[i] = Edge(ea[i], eb[i], x0 * 256, y0 * 256);
  }
  // One colour over the whole triangle (its planes are flat: a0 is the colour exactly).
  bool flat = true;
  uint32_t flatDiffuse = 0;
  for (int k = 0; k < 4; ++k) {
    flat = flat && attributes.dadx[k] == 0 && attributes.dady[k] == 0;
    flatDiffuse = flatDiffuse << 8 | RoundChannel(attributes.a0[k]);
  }
  for (int64_t py = y0; py <= y1; ++py) {
    int64_t e[3] = {row[0], row[1], row[2]};
    for (int64_t px = x0; px <= x1; ++px) {
      if (e[0] + bias[0] >= 0 && e[1] + bias[1] >= 0 && e[2] + bias[2] >= 0) {
        float fx = static_cast<float>(px), fy = static_cast<float>(py);
        uint32_t diffuse = flatDiffuse;
        if (!flat) {
          diffuse = 0;
          for (int k = 0; k < 4; ++k)
            diffuse = diffuse << 8 | RoundChannel(attributes.At(k, fx, fy));
        }
        float u = 0, v = 0;
        if (state.texture) {
          u = attributes.At(4, fx, fy);
          v = attributes.At(5, fx, fy);
        }
        WritePixel(target, state, static_cast<int32_t>(px), static_cast<int32_t>(py),
                   ShadeFragment(state, diffuse, u, v));
      }
      for (int i = 0; i < 3; ++i)
        e[i] += stepX[i];
    }
    for (int i = 0; i < 3; ++i)
      row[i] += stepY[i];
  }
}

// The guard band as four planes, then the enabled user planes.
int ActivePlanes(const RasterState& state, RasterClipPlane* planes) {
  int n = 0;
  planes[n++] = {1, 0, 0, kGuardBand};
  planes[n++] = {-1, 0, 0, kGuardBand};
  planes[n++] = {0, 1, 0, kGuardBand};
  planes[n++] = {0, -1, 0, kGuardBand};
  for (int i = 0; i < kRasterClipPlanes; ++i) {
    if (state.clipPlaneMask & (1u << i)) planes[n++] = state.planes[i];
  }
  return n;
}

// Lines. A width-1 line becomes the parallelogram Mesa's llvmpipe draws for it: one pixel wide
// across its minor axis, its ends moved along the line where llvmpipe's diamond test wants the
// end pixels drawn or left out. The tests below follow llvmpipe's, in its positions (pixel
// centres at +0.5); the corners are snapped to 1/256 pixel and go back to centres at integers.

float Frac(float f) {
  return f - math::Floor(f);
}

// Line corners snap halves away from zero (triangle vertices to even), in single precision.
int64_t SnapLine(float value) {
  float f = value * 256.0f;
  return f >= 0.0f ? static_cast<int64_t>(f + 0.5f) : static_cast<int64_t>(f - 0.5f);
}
float Sign(float f) {
  return f < 0.0f ? -1.0f : 1.0f;
}

// The parallelogram's corners, in order around it; false when the line has no length.
bool LineCorners(const ClipVertex& from, const ClipVertex& to, ClipVertex corner[4]) {
  const ClipVertex* v1 = &from;
  const ClipVertex* v2 = &to;
  float x1 = from.x + 0.5f, y1 = from.y + 0.5f, x2 = to.x + 0.5f, y2 = to.y + 0.5f;
  float dx = x1 - x2, dy = y1 - y2;
  if (dx == 0.0f && dy == 0.0f) return false;
  float x1d = x1 - math::Floor(x1) - 0.5f, y1d = y1 - math::Floor(y1) - 0.5f;
  float x2d = x2 - math::Floor(x2) - 0.5f, y2d = y2 - math::Floor(y2) - 0.5f;
  float xo = 0, yo = 0, xoEnd = 0, yoEnd = 0;
  const bool xMajor = std::fabs(dx) >= std::fabs(dy);
  bool drawStart, drawEnd, willDrawStart, willDrawEnd;
  if (xMajor) {
    const float dydx = dy / dx;
    if (y2d == -0.5f && dy < 0) y2d = 0.5f;
    if (std::fabs(x1d) + std::fabs(y1d) < 0.5f) {
      drawStart = true;
    } else if (Sign(x1d) == Sign(-dx)) {
      drawStart = false;
    } else if (Sign(-y1d) != Sign(dy)) {
      drawStart = true;
    } else {
      float cross = Frac(y1) + x1d * dydx;
      drawStart = cross < 1.0f && cross > 0.0f;
    }
    if (std::fabs(x2d) + std::fabs(y2d) < 0.5f) {
      drawEnd = false;
    } else if (Sign(x2d) != Sign(-dx)) {
      drawEnd = false;
    } else if (Sign(-y2d) == Sign(dy)) {
      drawEnd = true;
    } else {
      float cross = Frac(y2) + x2d * dydx;
      drawEnd = cross < 1.0f && cross > 0.0f;
    }
    willDrawStart = Sign(-x1d) != Sign(dx);
    willDrawEnd = Sign(x2d) == Sign(-dx) || x2d == 0.0f;
    if (dx < 0) {  // from the right end to the left one
      std::swap(v1, v2);
      std::swap(x1, x2);
      std::swap(y1, y2);
      if (willDrawStart != drawStart) {
        xoEnd = -x1d - 0.5f;
        yoEnd = xoEnd * dydx;
      }
      if (willDrawEnd != drawEnd) {
        xo = -x2d - 0.5f;
        yo = xo * dydx;
      }
    } else {
      if (willDrawStart != drawStart) {
        xo = -x1d + 0.5f;
        yo = xo * dydx;
      }
      if (willDrawEnd != drawEnd) {
        xoEnd = -x2d + 0.5f;
        yoEnd = xoEnd * dydx;
      }
    }
  } else {
    const float dxdy = dx / dy;
    if (x2d == -0.5f && dx < 0) x2d = 0.5f;
    if (std::fabs(x1d) + std::fabs(y1d) < 0.5f) {
      drawStart = true;
    } else if (Sign(-y1d) == Sign(dy)) {
      drawStart = false;
    } else if (Sign(x1d) != Sign(-dx)) {
      drawStart = true;
    } else {
      float cross = Frac(x1) + y1d * dxdy;
      drawStart = cross < 1.0f && cross > 0.0f;
    }
    if (std::fabs(x2d) + std::fabs(y2d) < 0.5f) {
      drawEnd = false;
    } else if (Sign(-y2d) != Sign(dy)) {
      drawEnd = false;
    } else if (Sign(x2d) == Sign(-dx)) {
      drawEnd = true;
    } else {
      float cross = Frac(x2) + y2d * dxdy;
      drawEnd = cross < 1.0f && cross >= 0.0f;
    }
    willDrawStart = Sign(y1d) == Sign(dy);
    willDrawEnd = Sign(-y2d) == Sign(dy) || y2d == 0.0f;
    if (dy > 0) {
      std::swap(v1, v2);
      std::swap(x1, x2);
      std::swap(y1, y2);
      if (willDrawStart != drawStart) {
        yoEnd = -y1d + 0.5f;
        xoEnd = yoEnd * dxdy;
      }
      if (willDrawEnd != drawEnd) {
        yo = -y2d + 0.5f;
        xo = yo * dxdy;
      }
    } else {
      if (willDrawStart != drawStart) {
        yo = -y1d - 0.5f;
        xo = yo * dxdy;
      }
      if (willDrawEnd != drawEnd) {
        yoEnd = -y2d - 0.5f;
        xoEnd = yoEnd * dxdy;
      }
    }
  }
  // Snapped ends, half a pixel either side across the minor axis.
  int64_t sx1 = SnapLine(x1 + xo - 0.5f), sy1 = SnapLine(y1 + yo - 0.5f);
  int64_t sx2 = SnapLine(x2 + xoEnd - 0.5f), sy2 = SnapLine(y2 + yoEnd - 0.5f);
  int64_t across[4] = {-128, -128, 128, 128};
  const ClipVertex* ends[4] = {v1, v2, v2, v1};
  int64_t ex[4] = {sx1, sx2, sx2, sx1}, ey[4] = {sy1, sy2, sy2, sy1};
  for (int i = 0; i < 4; ++i) {
    corner[i] = *ends[i];
    corner[i].x = static_cast<float>(ex[i] + (xMajor ? 0 : across[i])) / 256.0f;
    corner[i].y = static_cast<float>(ey[i] + (xMajor ? across[i] : 0)) / 256.0f;
  }
  return true;
}

// Clips a convex polygon by the enabled planes and the guard band and draws it as a fan, its
// colour and texture coordinates from `attributes` (the unclipped shape's planes, so clipping
// changes no pixel inside).
void DrawClippedPolygon(const RasterSurface& target, const RasterState& state,
                        const ClipVertex* polygon, int count, const AttributePlanes& attributes) {
  ClipVertex buffers[2][kMaxClipped];
  std::copy(polygon, polygon + count, buffers[0]);
  RasterClipPlane planes[4 + kRasterClipPlanes];
  int planeCount = ActivePlanes(state, planes);
  int current = 0;
  for (int p = 0; p < planeCount && count >= 3; ++p) {
    count = ClipPolygon(planes[p], buffers[current], count, buffers[1 - current]);
    current = 1 - current;
  }
  const ClipVertex* poly = buffers[current];
  for (int i = 1; i + 1 < count; ++i)
    RasteriseTriangle(target, state, poly[0], poly[i], poly[i + 1], attributes);
}

}  // namespace

uint32_t SampleTexture(const RasterSurface& texture, RasterFilter filter, float u, float v) {
  if (Empty(texture) || !std::isfinite(u) || !std::isfinite(v)) return 0;
  float tu = u * static_cast<float>(texture.width);
  float tv = v * static_cast<float>(texture.height);
  if (!std::isfinite(tu) || !std::isfinite(tv)) return 0;
  if (filter == RasterFilter::kPoint) return Texel(texture, FloorIndex(tu), FloorIndex(tv));
  // Texel positions in 1/256 texel, rounded, with texel centres at +0.5: the integer part picks
  // the texels, the low 8 bits weigh them.
  int64_t sx = FixedTexel(tu), sy = FixedTexel(tv);
  int32_t ix = static_cast<int32_t>(sx >> 8), iy = static_cast<int32_t>(sy >> 8);
  uint32_t fx = static_cast<uint32_t>(sx & 0xFF), fy = static_cast<uint32_t>(sy & 0xFF);
  uint32_t t00 = Texel(texture, ix, iy), t10 = Texel(texture, ix + 1, iy);
  uint32_t t01 = Texel(texture, ix, iy + 1), t11 = Texel(texture, ix + 1, iy + 1);
  // Across first, then down, each step rounded.
  auto lerp = [](uint32_t a, uint32_t b, uint32_t w) { return (a * (256 - w) + b * w + 128) >> 8; };
  uint32_t out = 0;
  for (int shift = 24; shift >= 0; shift -= 8) {
    uint32_t top = lerp(Channel(t00, shift), Channel(t10, shift), fx);
    uint32_t bottom = lerp(Channel(t01, shift), Channel(t11, shift), fx);
    out |= lerp(top, bottom, fy) << shift;
  }
  return out;
}

uint32_t ShadeFragment(const RasterState& state, uint32_t diffuse, float u, float v) {
  if (state.texture == nullptr) return diffuse;
  uint32_t texel = SampleTexture(*state.texture, state.filter, u, v);
  if (!state.modulate) return texel;
  uint32_t out = 0;
  for (int shift = 24; shift >= 0; shift -= 8) {
    out |= MulDiv255(Channel(texel, shift), Channel(diffuse, shift)) << shift;
  }
  return out;
}

uint32_t BlendPixel(RasterBlend blend, uint32_t src, uint32_t dst) {
  uint32_t a = src >> 24;
  uint32_t out = 0xFF000000u;
  for (int shift = 16; shift >= 0; shift -= 8) {
    uint32_t s = Channel(src, shift), d = Channel(dst, shift), r = s;
    switch (blend) {
      case RasterBlend::kOpaque:
        break;
      case RasterBlend::kAlpha:
        r = BlendMul255(s, a) + BlendMul255(d, 255 - a);
        break;
      case RasterBlend::kAdditive:
        r = std::min(255u, d + BlendMul255(s, a));
        break;
      case RasterBlend::kMultiply:
        r = BlendMul255(s, d);
        break;
    }
    out |= r << shift;
  }
  return out;
}

void DrawTriangle(const RasterSurface& target, const RasterState& state,
                  const RasterVertex vertices[3]) {
  if (Empty(target)) return;
  for (int i = 0; i < 3; ++i) {
    if (!Finite(vertices[i])) return;
  }
  ClipVertex corners[3] = {ToClip(vertices[0]), ToClip(vertices[1]), ToClip(vertices[2])};
  DrawClippedPolygon(target, state, corners, 3, PlanesOf(corners[0], corners[1], corners[2]));
}

void DrawLine(const RasterSurface& target, const RasterState& state, const RasterVertex& from,
              const RasterVertex& to) {
  if (Empty(target) || !Finite(from) || !Finite(to)) return;
  // Ends far outside come in to the guard band first, so the corners stay exact.
  RasterClipPlane planes[4 + kRasterClipPlanes];
  ActivePlanes(RasterState{}, planes);
  ClipVertex a = ToClip(from), b = ToClip(to);
  for (int p = 0; p < 4; ++p) {
    float da = Distance(planes[p], a), db = Distance(planes[p], b);
    bool keepA = da >= 0, keepB = db >= 0;
    if (!keepA && !keepB) return;
    if (keepA && keepB) continue;
    float t = da / (da - db);
    t = t >= 0.0f ? std::min(t, 1.0f) : 0.0f;
    (keepA ? b : a) = Lerp(a, b, t);
  }
  ClipVertex corners[4];
  if (LineCorners(a, b, corners))
    DrawClippedPolygon(target, state, corners, 4, PlanesOf(corners[0], corners[1], corners[2]));
}

namespace {

// floor(x) for |x| < 1e9.
int64_t WholeFloor(float x) {
  return FloorIndex(x);
}

// Whether floor(a(p) size) - p is one whole number for every p from first to last, where a is
// attribute `attribute` of the planes along x (or y; the other coordinate 0); sets *offset to it.
// Where the ends keep clear of texel edges a proof from the ends serves: a(p) size is the line
// e(p) (each plane evaluation rounds once) moved by less than 1/1024 while |a size| < 2048, so
// if e(p) - p lies at both ends inside the same cell by more than 1/256, it does everywhere
// between. Otherwise every position is evaluated.
bool ConstantTexelOffset(const AttributePlanes& planes, int attribute, bool alongX, float size,
                         int64_t first, int64_t last, int64_t* offset) {
  auto texelPosition = [&](int64_t p) {
    float at = static_cast<float>(p);
    return (alongX ? planes.At(attribute, at, 0) : planes.At(attribute, 0, at)) * size;
  };
  float g0 = texelPosition(first), g1 = texelPosition(last);
  if (!(std::fabs(g0) < 1e9f && std::fabs(g1) < 1e9f)) return false;
  int64_t f0 = WholeFloor(g0), f1 = WholeFloor(g1);
  *offset = f0 - first;
  if (f1 - last != *offset) return false;
  constexpr float kClear = 1.0f / 256;
  float r0 = g0 - static_cast<float>(f0), r1 = g1 - static_cast<float>(f1);
  if (std::fabs(g0) < 2048 && std::fabs(g1) < 2048 && r0 >= kClear && r0 <= 1 - kClear &&
      r1 >= kClear && r1 <= 1 - kClear) {
    return true;
  }
  for (int64_t p = first + 1; p < last; ++p) {
    float g = texelPosition(p);
    if (!(std::fabs(g) < 1e9f) || WholeFloor(g) - p != *offset) return false;
  }
  return true;
}

}  // namespace

bool DrawRectangleFan(const RasterSurface& target, const RasterState& state,
                      const RasterVertex v[4]) {
  if (Empty(target) || state.clipPlaneMask != 0) return false;
  const RasterSurface* texture = state.texture;
  if (texture && (state.filter != RasterFilter::kPoint || Empty(*texture))) return false;
  ClipVertex c[4];
  Snapped s[4];
  for (int i = 0; i < 4; ++i) {
    if (!Finite(v[i]) || v[i].diffuse != v[0].diffuse) return false;
    c[i] = ToClip(v[i]);
    if (!Snappable(c[i])) return false;
    s[i] = {Snap(c[i].x), Snap(c[i].y)};
  }
  // Consecutive corners differ in exactly one coordinate.
  for (int i = 0; i < 4; ++i) {
    const Snapped& a = s[i];
    const Snapped& b = s[(i + 1) % 4];
    if ((a.x == b.x) == (a.y == b.y)) return false;
  }
  int64_t left = std::min(s[0].x, s[2].x), right = std::max(s[0].x, s[2].x);
  int64_t top = std::min(s[0].y, s[2].y), bottom = std::max(s[0].y, s[2].y);
  // The centres the triangles cover: left and bottom edges included (see CoversTies).
  int64_t x0 = std::max<int64_t>(0, (left + 255) >> 8);
  int64_t x1 = std::min<int64_t>(target.width - 1, (right - 1) >> 8);
  int64_t y0 = std::max<int64_t>(0, (top >> 8) + 1);
  int64_t y1 = std::min<int64_t>(target.height - 1, bottom >> 8);
  if (x0 > x1 || y0 > y1) return true;
  int32_t tx = 0, ty = 0;
  if (texture) {
    // Each triangle's u must follow x alone and v y alone, one texel per pixel, the same texels.
    const AttributePlanes planes[2] = {PlanesOf(c[0], c[1], c[2]), PlanesOf(c[0], c[2], c[3])};
    const float tw = static_cast<float>(texture->width), th = static_cast<float>(texture->height);
    int64_t offsetX = 0, offsetY = 0;
    for (int t = 0; t < 2; ++t) {
      const AttributePlanes& p = planes[t];
      if (!(p.dady[4] == 0 && p.dadx[5] == 0)) return false;
      int64_t ox, oy;
      if (!ConstantTexelOffset(p, 4, true, tw, x0, x1, &ox) ||
          !ConstantTexelOffset(p, 5, false, th, y0, y1, &oy)) {
        return false;
      }
      if (t == 1 && (ox != offsetX || oy != offsetY)) return false;
      offsetX = ox;
      offsetY = oy;
    }
    if (std::abs(offsetX + x0) > (int64_t(1) << 30) || std::abs(offsetY + y0) > (int64_t(1) << 30))
      return false;
    tx = static_cast<int32_t>(x0 + offsetX);
    ty = static_cast<int32_t>(y0 + offsetY);
  }
  RasterState plain = state;
  DrawSpanQuad(target, plain, static_cast<int32_t>(x0), static_cast<int32_t>(y0),
               static_cast<int32_t>(x1 - x0 + 1), static_cast<int32_t>(y1 - y0 + 1), tx, ty,
               v[0].diffuse);
  return true;
}

void DrawPoint(const RasterSurface& target, const RasterState& state, const RasterVertex& vertex) {
  if (Empty(target) || !Finite(vertex)) return;
  RasterClipPlane planes[4 + kRasterClipPlanes];
  int planeCount = ActivePlanes(state, planes);
  ClipVertex v = ToClip(vertex);
  for (int p = 0; p < planeCount; ++p) {
    if (!(Distance(planes[p], v) >= 0)) return;
  }
  // Halves go right and up.
  int64_t px = (Snap(v.x) + 128) >> 8, py = (Snap(v.y) + 127) >> 8;
  if (px < 0 || py < 0 || px >= target.width || py >= target.height) return;
  WritePixel(target, state, static_cast<int32_t>(px), static_cast<int32_t>(py),
             ShadeFragment(state, vertex.diffuse, vertex.u, vertex.v));
}

}  // namespace vxl::platform::d3d7
