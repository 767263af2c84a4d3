#include "platform/d3d7/raster.h"

#include <algorithm>
#include <cmath>

#include "platform/math/small_rounding.h"

namespace vxl::platform::d3d7 {

namespace {

constexpr float kGuardBand = 1048576.0f;  // 2^20 pixels
constexpr int kMaxClipped = 3 + kRasterClipPlanes + 4;

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
  for (int i = 0; i < 4; ++i) out.c[i] = static_cast<float>((v.diffuse >> (24 - 8 * i)) & 0xFF);
  return out;
}

float Distance(const RasterClipPlane& p, const ClipVertex& v) {
  return p.a * v.x + p.b * v.y + p.c * v.z + p.d;
}

ClipVertex Lerp(const ClipVertex& a, const ClipVertex& b, float t) {
  auto mix = [t](float p, float q) { return p + (q - p) * t; };
  ClipVertex out{mix(a.x, b.x), mix(a.y, b.y), mix(a.z, b.z), {}, mix(a.u, b.u), mix(a.v, b.v)};
  for (int i = 0; i < 4; ++i) out.c[i] = mix(a.c[i], b.c[i]);
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

int64_t Snap(float value) { return static_cast<int64_t>(math::NearbyInt(value * 256.0f)); }

uint32_t Channel(uint32_t pixel, int shift) { return (pixel >> shift) & 0xFF; }

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

// Texel coordinate floor of value, kept in int range (the texel index is clamped afterwards).
int32_t FloorIndex(float value) {
  float f = math::Floor(value);
  if (!(f > -1e9f)) return -1;
  if (f > 1e9f) return 1000000000;
  return static_cast<int32_t>(f);
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

bool TopLeft(Snapped a, Snapped b) {
  int64_t dx = b.x - a.x, dy = b.y - a.y;
  return dy < 0 || (dy == 0 && dx > 0);
}

// Within the guard band (with slack for rounding while clipping), so snapped values stay small.
bool Snappable(const ClipVertex& v) {
  return std::fabs(v.x) <= 2 * kGuardBand && std::fabs(v.y) <= 2 * kGuardBand;
}

void RasteriseTriangle(const RasterSurface& target, const RasterState& state, ClipVertex a,
                       ClipVertex b, ClipVertex c) {
  if (!Snappable(a) || !Snappable(b) || !Snappable(c)) return;
  Snapped s[3] = {{Snap(a.x), Snap(a.y)}, {Snap(b.x), Snap(b.y)}, {Snap(c.x), Snap(c.y)}};
  int64_t area = Edge(s[0], s[1], s[2].x, s[2].y);
  if (area == 0) return;
  const ClipVertex* v[3] = {&a, &b, &c};
  if (area < 0) {  // make the edge functions positive inside
    std::swap(s[1], s[2]);
    std::swap(v[1], v[2]);
    area = -area;
  }
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
    bias[i] = TopLeft(ea[i], eb[i]) ? 0 : -1;
    stepX[i] = -(eb[i].y - ea[i].y) * 256;
    stepY[i] = (eb[i].x - ea[i].x) * 256;
    row[i] = Edge(ea[i], eb[i], x0 * 256, y0 * 256);
  }
  float areaF = static_cast<float>(area);
  for (int64_t py = y0; py <= y1; ++py) {
    int64_t e[3] = {row[0], row[1], row[2]};
    for (int64_t px = x0; px <= x1; ++px) {
      if (e[0] + bias[0] >= 0 && e[1] + bias[1] >= 0 && e[2] + bias[2] >= 0) {
        float w[3];
        for (int i = 0; i < 3; ++i) w[i] = static_cast<float>(e[i]) / areaF;
        auto at = [&](auto field) {
          return field(*v[0]) * w[0] + field(*v[1]) * w[1] + field(*v[2]) * w[2];
        };
        uint32_t diffuse = 0;
        for (int k = 0; k < 4; ++k) {
          diffuse = diffuse << 8 | RoundChannel(at([k](const ClipVertex& q) { return q.c[k]; }));
        }
        float u = at([](const ClipVertex& q) { return q.u; });
        float vv = at([](const ClipVertex& q) { return q.v; });
        WritePixel(target, state, static_cast<int32_t>(px), static_cast<int32_t>(py),
                   ShadeFragment(state, diffuse, u, vv));
      }
      for (int i = 0; i < 3; ++i) e[i] += stepX[i];
    }
    for (int i = 0; i < 3; ++i) row[i] += stepY[i];
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

// Lines. Positions are in 1/256 pixel; the diamond of pixel (px, py) is the open set
// |x - 256 px| + |y - 256 py| < 128. Ties are broken as if every position were moved by
// (e, e^2) for an infinitely small e > 0.

// Whether the moved point (x, y) lies in the diamond of pixel (px, py).
bool InDiamond(int64_t x, int64_t y, int64_t px, int64_t py) {
  int64_t dx = x - px * 256, dy = y - py * 256;
  int64_t s = (dx < 0 ? -dx : dx) + (dy < 0 ? -dy : dy) - 128;
  return s < 0 || (s == 0 && dx < 0);  // on the border the move by e in x decides
}

// The pixel whose diamond holds the moved point, if any.
bool DiamondPixel(int64_t x, int64_t y, int64_t& px, int64_t& py) {
  int64_t fx = x >> 8, fy = y >> 8;
  for (int64_t cy = fy; cy <= fy + 1; ++cy)
    for (int64_t cx = fx; cx <= fx + 1; ++cx)
      if (InDiamond(x, y, cx, cy)) {
        px = cx;
        py = cy;
        return true;
      }
  return false;
}

// A line in major (m) and minor (n) coordinates: the axis along which it runs further is the
// major one (x on a tie).
struct LineFrame {
  bool xMajor;
  int64_t am, an, dm, dn, sign, length;  // length = |dm|
  int64_t e1, e2;                          // the moved line's first- and second-order terms
};

// The minor pixel where the moved line crosses the centre of major pixel f, if it crosses it
// inside the diamond there: -128 D < V < 128 D with V = (minor - 256 g) D, D = |dm|.
bool CrossingPixel(const LineFrame& l, int64_t f, int64_t& g) {
  int64_t F = f * 256;
  int64_t D = l.length;
  int64_t y = l.an * D + l.dn * l.sign * (F - l.am);  // the minor coordinate times D
  int64_t guess = (y + 128 * D) >= 0 ? (y + 128 * D) / (256 * D) : -((-(y + 128 * D) + 256 * D - 1) / (256 * D));
  for (int64_t c = guess - 1; c <= guess + 1; ++c) {
    int64_t v = y - c * 256 * D;
    int64_t hi = v - 128 * D, lo = v + 128 * D;
    bool below = hi < 0 || (hi == 0 && (l.e1 < 0 || (l.e1 == 0 && l.e2 < 0)));
    bool above = lo > 0 || (lo == 0 && (l.e1 > 0 || (l.e1 == 0 && l.e2 > 0)));
    if (below && above) {
      g = c;
      return true;
    }
  }
  return false;
}

void RasteriseLine(const RasterSurface& target, const RasterState& state, const ClipVertex& a,
                   const ClipVertex& b) {
  if (!Snappable(a) || !Snappable(b)) return;
  int64_t ax = Snap(a.x), ay = Snap(a.y), bx = Snap(b.x), by = Snap(b.y);
  int64_t dx = bx - ax, dy = by - ay;
  LineFrame l;
  l.xMajor = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
  l.am = l.xMajor ? ax : ay;
  l.an = l.xMajor ? ay : ax;
  l.dm = l.xMajor ? dx : dy;
  l.dn = l.xMajor ? dy : dx;
  if (l.dm == 0) return;  // no length: the end point's diamond holds the whole line
  l.sign = l.dm > 0 ? 1 : -1;
  l.length = l.dm * l.sign;
  // The move by (e, e^2) shifts V by D e_n - dn sign e_m: x major has e_m = e, y major e_n = e.
  l.e1 = l.xMajor ? -l.dn * l.sign : l.length;
  l.e2 = l.xMajor ? l.length : -l.dn * l.sign;
  int64_t endX = 0, endY = 0, startX = 0, startY = 0;
  bool endIn = DiamondPixel(bx, by, endX, endY);
  bool startIn = DiamondPixel(ax, ay, startX, startY);
  int64_t majorSize = l.xMajor ? target.width : target.height;
  int64_t minorSize = l.xMajor ? target.height : target.width;
  auto emit = [&](int64_t px, int64_t py) {
    if (endIn && px == endX && py == endY) return;
    if (px < 0 || py < 0 || px >= target.width || py >= target.height) return;
    float t = (static_cast<float>((l.xMajor ? px : py) * 256 - l.am)) /
              static_cast<float>(l.dm);
    t = std::clamp(t, 0.0f, 1.0f);
    ClipVertex at = Lerp(a, b, t);
    uint32_t diffuse = 0;
    for (int k = 0; k < 4; ++k) diffuse = diffuse << 8 | RoundChannel(at.c[k]);
    WritePixel(target, state, static_cast<int32_t>(px), static_cast<int32_t>(py),
               ShadeFragment(state, diffuse, at.u, at.v));
  };
  // Centres 256 f in (lo, hi], within the surface.
  int64_t lo = std::min(l.am, l.am + l.dm), hi = std::max(l.am, l.am + l.dm);
  int64_t first = std::max<int64_t>(0, (lo >> 8) + 1), last = std::min(majorSize - 1, hi >> 8);
  bool startDrawn = false;
  for (int64_t f = first; f <= last; ++f) {
    int64_t g;
    if (!CrossingPixel(l, f, g) || g < 0 || g >= minorSize) continue;
    int64_t px = l.xMajor ? f : g, py = l.xMajor ? g : f;
    startDrawn |= startIn && px == startX && py == startY;
    emit(px, py);
  }
  if (startIn && !startDrawn) emit(startX, startY);
}

}  // namespace

uint32_t SampleTexture(const RasterSurface& texture, RasterFilter filter, float u, float v) {
  if (Empty(texture) || !std::isfinite(u) || !std::isfinite(v)) return 0;
  float tu = u * static_cast<float>(texture.width);
  float tv = v * static_cast<float>(texture.height);
  if (!std::isfinite(tu) || !std::isfinite(tv)) return 0;
  if (filter == RasterFilter::kPoint) return Texel(texture, FloorIndex(tu), FloorIndex(tv));
  tu -= 0.5f;
  tv -= 0.5f;
  int32_t ix = FloorIndex(tu), iy = FloorIndex(tv);
  uint32_t fx = static_cast<uint32_t>((tu - math::Floor(tu)) * 256.0f);
  uint32_t fy = static_cast<uint32_t>((tv - math::Floor(tv)) * 256.0f);
  fx = std::min(fx, 255u);
  fy = std::min(fy, 255u);
  int32_t ix1 = ix == 1000000000 ? ix : ix + 1, iy1 = iy == 1000000000 ? iy : iy + 1;
  uint32_t t00 = Texel(texture, ix, iy), t10 = Texel(texture, ix1, iy);
  uint32_t t01 = Texel(texture, ix, iy1), t11 = Texel(texture, ix1, iy1);
  uint32_t out = 0;
  for (int shift = 24; shift >= 0; shift -= 8) {
    uint32_t sum = Channel(t00, shift) * (256 - fx) * (256 - fy) +
                   Channel(t10, shift) * fx * (256 - fy) + Channel(t01, shift) * (256 - fx) * fy +
                   Channel(t11, shift) * fx * fy;
    out |= ((sum + 32768) >> 16) << shift;
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
      case RasterBlend::kOpaque: break;
      case RasterBlend::kAlpha: r = MulDiv255(s, a) + MulDiv255(d, 255 - a); break;
      case RasterBlend::kAdditive: r = std::min(255u, d + MulDiv255(s, a)); break;
      case RasterBlend::kMultiply: r = MulDiv255(s, d); break;
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
  ClipVertex buffers[2][kMaxClipped];
  int count = 3;
  for (int i = 0; i < 3; ++i) buffers[0][i] = ToClip(vertices[i]);
  RasterClipPlane planes[4 + kRasterClipPlanes];
  int planeCount = ActivePlanes(state, planes);
  int current = 0;
  for (int p = 0; p < planeCount && count >= 3; ++p) {
    count = ClipPolygon(planes[p], buffers[current], count, buffers[1 - current]);
    current = 1 - current;
  }
  const ClipVertex* poly = buffers[current];
  for (int i = 1; i + 1 < count; ++i) RasteriseTriangle(target, state, poly[0], poly[i], poly[i + 1]);
}

void DrawLine(const RasterSurface& target, const RasterState& state, const RasterVertex& from,
              const RasterVertex& to) {
  if (Empty(target) || !Finite(from) || !Finite(to)) return;
  RasterClipPlane planes[4 + kRasterClipPlanes];
  int planeCount = ActivePlanes(state, planes);
  ClipVertex a = ToClip(from), b = ToClip(to);
  for (int p = 0; p < planeCount; ++p) {
    float da = Distance(planes[p], a), db = Distance(planes[p], b);
    bool keepA = da >= 0, keepB = db >= 0;
    if (!keepA && !keepB) return;
    if (keepA && keepB) continue;
    float t = da / (da - db);
    t = t >= 0.0f ? std::min(t, 1.0f) : 0.0f;
    (keepA ? b : a) = Lerp(a, b, t);
  }
  RasteriseLine(target, state, a, b);
}

void DrawPoint(const RasterSurface& target, const RasterState& state, const RasterVertex& vertex) {
  if (Empty(target) || !Finite(vertex)) return;
  RasterClipPlane planes[4 + kRasterClipPlanes];
  int planeCount = ActivePlanes(state, planes);
  ClipVertex v = ToClip(vertex);
  for (int p = 0; p < planeCount; ++p) {
    if (!(Distance(planes[p], v) >= 0)) return;
  }
  int64_t px = (Snap(v.x) + 128) >> 8, py = (Snap(v.y) + 128) >> 8;
  if (px < 0 || py < 0 || px >= target.width || py >= target.height) return;
  WritePixel(target, state, static_cast<int32_t>(px), static_cast<int32_t>(py),
             ShadeFragment(state, vertex.diffuse, vertex.u, vertex.v));
}

}  // namespace vxl::platform::d3d7
