// The rasteriser against plain references: coverage by the exact perturbation rule (a centre on
// an edge counts when the centre moved by (e, e^2), e tiny, is strictly inside), points by
// rounding, and the pixel pipeline against the per-channel formulas in double precision.
#include "platform/d3d7/raster.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {

using namespace vxl::platform::d3d7;
using i128 = __int128;

constexpr int kW = 61, kH = 47;
constexpr uint32_t kCanary = 0xDEADBEEF;

// A kW x kH surface inside a larger buffer whose margins hold a canary.
struct Framed {
  static constexpr int kMargin = 3, kPitch = kW + 2 * kMargin;
  std::vector<uint32_t> buffer = std::vector<uint32_t>(kPitch * (kH + 2 * kMargin), kCanary);
  RasterSurface surface{buffer.data() + kMargin * kPitch + kMargin, kW, kH, kPitch};
  Framed() { Fill(0); }
  void Fill(uint32_t value) {
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        At(x, y) = value;
  }
  uint32_t& At(int x, int y) { return surface.pixels[y * kPitch + x]; }
  bool MarginsIntact() const {
    for (int y = 0; y < kH + 2 * kMargin; ++y)
      for (int x = 0; x < kPitch; ++x) {
        bool inside = y >= kMargin && y < kMargin + kH && x >= kMargin && x < kMargin + kW;
        if (!inside && buffer[y * kPitch + x] != kCanary) return false;
      }
    return true;
  }
};

// Coordinates on a coarse grid now and then, so centres land exactly on edges and vertices.
float RandomCoord(std::mt19937& rng, int extent) {
  int grid = std::uniform_int_distribution<int>(0, 3)(rng);
  int step = grid == 0 ? 256 : grid == 1 ? 128 : 1;
  int units = std::uniform_int_distribution<int>(-10 * 256, (extent + 10) * 256)(rng);
  return static_cast<float>(units / step * step) / 256.0f;
}

i128 SnapRef(float v) {
  return static_cast<i128>(std::nearbyint(static_cast<double>(v) * 256.0));
}

// Strictly inside after moving the centre right by 1/K and up by 1/K^2 pixel units, all scaled by
// K^2.
bool ReferenceCovers(const RasterVertex v[3], int px, int py) {
  constexpr i128 K = i128(1) << 21;
  i128 x[3], y[3];
  for (int i = 0; i < 3; ++i) {
    x[i] = SnapRef(v[i].x) * K * K;
    y[i] = SnapRef(v[i].y) * K * K;
  }
  i128 qx = i128(px) * 256 * K * K + K, qy = i128(py) * 256 * K * K - 1;
  int positive = 0, negative = 0;
  for (int i = 0; i < 3; ++i) {
    int j = (i + 1) % 3;
    i128 e = (x[j] - x[i]) * (qy - y[i]) - (y[j] - y[i]) * (qx - x[i]);
    positive += e > 0;
    negative += e < 0;
  }
  return positive == 3 || negative == 3;
}

TEST(RasterTest, TrianglesCoverExactlyTheReferencePixels) {
  std::mt19937 rng(7);
  Framed f;
  RasterState state;
  int covered = 0;
  for (int n = 0; n < 3000; ++n) {
    RasterVertex v[3];
    for (auto& p : v) {
      p.x = RandomCoord(rng, kW);
      p.y = RandomCoord(rng, kH);
      p.diffuse = 0xFF123456;
    }
    f.Fill(0);
    DrawTriangle(f.surface, state, v);
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        bool expect = ReferenceCovers(v, x, y);
        covered += expect;
        ASSERT_EQ(f.At(x, y), expect ? 0xFF123456u : 0u)
            << "triangle " << n << " at " << x << "," << y;
      }
    ASSERT_TRUE(f.MarginsIntact());
  }
  EXPECT_GT(covered, 100000);  // the random triangles do cover pixels
}

// Neighbouring triangles (a fan around a shared centre, and a triangle split by a clip plane and
// its opposite) never draw a pixel twice.
TEST(RasterTest, SharedEdgesDrawEachPixelOnce) {
  std::mt19937 rng(11);
  Framed f;
  RasterState add;
  add.blend = RasterBlend::kAdditive;
  for (int n = 0; n < 500; ++n) {
    f.Fill(0xFF000000);
    RasterVertex centre{RandomCoord(rng, kW), RandomCoord(rng, kH), 0, 0xFF000001, 0, 0};
    RasterVertex ring[5];
    for (int i = 0; i < 5; ++i) {
      float angle = static_cast<float>(i) * 1.2566371f;
      float radius = std::uniform_real_distribution<float>(3, 40)(rng);
      ring[i] = {centre.x + radius * std::cos(angle),
                 centre.y + radius * std::sin(angle),
                 0,
                 0xFF000001,
                 0,
                 0};
    }
    for (int i = 0; i < 5; ++i) {
      RasterVertex tri[3] = {centre, ring[i], ring[(i + 1) % 5]};
      DrawTriangle(f.surface, add, tri);
    }
    RasterVertex whole[3] = {ring[0], ring[2], ring[4]};
    whole[0].diffuse = whole[1].diffuse = whole[2].diffuse = 0xFF000100;
    RasterState half = add;
    half.clipPlaneMask = 1u << 3;
    float a = std::uniform_real_distribution<float>(-1, 1)(rng), d = -a * centre.x;
    half.planes[3] = {a, 0.5f, 0, d - 0.5f * centre.y};
    DrawTriangle(f.surface, half, whole);
    half.planes[3] = {-a, -0.5f, 0, -(d - 0.5f * centre.y)};
    DrawTriangle(f.surface, half, whole);
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        uint32_t p = f.At(x, y);
        ASSERT_LE(p & 0xFF, 1u) << "fan overlaps at " << x << "," << y;
        ASSERT_LE((p >> 8) & 0xFF, 1u) << "clipped halves overlap at " << x << "," << y;
      }
  }
}

TEST(RasterTest, ClipPlanesRemoveTheRejectedSide) {
  std::mt19937 rng(5);
  Framed f;
  for (int n = 0; n < 500; ++n) {
    RasterState state;
    float a = std::uniform_real_distribution<float>(-1, 1)(rng);
    float b = std::uniform_real_distribution<float>(-1, 1)(rng);
    float d = std::uniform_real_distribution<float>(-40, 40)(rng);
    int slot = n % kRasterClipPlanes;
    state.clipPlaneMask = 1u << slot;
    state.planes[slot] = {a, b, 0, d};
    RasterVertex v[3];
    for (auto& p : v)
      p = {RandomCoord(rng, kW), RandomCoord(rng, kH), 0, 0xFFFFFFFF, 0, 0};
    f.Fill(0);
    DrawTriangle(f.surface, state, v);
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        double side = double(a) * x + double(b) * y + d;
        if (f.At(x, y) != 0) {
          ASSERT_GT(side, -0.01) << n;
        }
      }
  }
}

// Diamond exit by brute force: the segment, both ends moved by (-1/K, 1/K^2) pixel units (the
// centres right and up, as the fill rule has it) and all scaled by K^2, is tested against each
// open diamond by separating axes.
bool ReferenceLineDraws(const RasterVertex& a, const RasterVertex& b, int px, int py) {
  constexpr i128 K = i128(1) << 21;
  i128 ax = SnapRef(a.x) * K * K - K, ay = SnapRef(a.y) * K * K + 1;
  i128 bx = SnapRef(b.x) * K * K - K, by = SnapRef(b.y) * K * K + 1;
  i128 cx = i128(px) * 256 * K * K, cy = i128(py) * 256 * K * K, h = 128 * K * K;
  auto inside = [&](i128 x, i128 y) {
    i128 dx = x - cx, dy = y - cy;
    return (dx < 0 ? -dx : dx) + (dy < 0 ? -dy : dy) < h;
  };
  if (inside(bx, by)) return false;
  // Axes (1, 1) and (1, -1): the diamond spans centre +- h.
  for (int sgn : {1, -1}) {
    i128 pa = ax + sgn * ay, pb = bx + sgn * by, c = cx + sgn * cy;
    if (std::max(pa, pb) <= c - h || std::min(pa, pb) >= c + h) return false;
  }
  // The segment's normal: the diamond spans its centre +- h max(|nx|, |ny|).
  i128 nx = -(by - ay), ny = bx - ax;
  i128 s = nx * ax + ny * ay, c = nx * cx + ny * cy;
  i128 reach = h * std::max(nx < 0 ? -nx : nx, ny < 0 ? -ny : ny);
  if (nx == 0 && ny == 0) return inside(ax, ay);
  return s > c - reach && s < c + reach;
}

// Away from its ends a line draws what the diamond-exit rule says, but where it passes within
// 1/64 pixel of a diamond's edge (its ends are moved and snapped before the pixels are found);
// each end pixel is decided by llvmpipe's own diamond test, which the display tests hold against
// llvmpipe itself.
TEST(RasterTest, LinesDrawThePixelsTheyExitAwayFromTheirEnds) {
  std::mt19937 rng(17);
  Framed f;
  RasterState state;
  int drawnTotal = 0;
  for (int n = 0; n < 6000; ++n) {
    RasterVertex a{RandomCoord(rng, kW), RandomCoord(rng, kH), 0, 0xFF00FF00, 0, 0};
    RasterVertex b{RandomCoord(rng, kW), RandomCoord(rng, kH), 0, 0xFF00FF00, 0, 0};
    if (n % 4 == 0) {  // short lines, diagonals and axis-parallel ones
      int kind = n / 4 % 4;
      float len = float(std::uniform_int_distribution<int>(-6 * 2, 6 * 2)(rng)) / 2;
      b = a;
      if (kind != 1) b.x += len;
      if (kind != 0) b.y += kind == 3 ? -len : len;
    }
    f.Fill(0);
    DrawLine(f.surface, state, a, b);
    bool xMajor = std::fabs(b.x - a.x) >= std::fabs(b.y - a.y);
    float am = xMajor ? a.x : a.y, bm = xMajor ? b.x : b.y;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        float m = float(xMajor ? x : y);
        if (std::fabs(m - am) <= 1.0f || std::fabs(m - bm) <= 1.0f) continue;
        bool expect = ReferenceLineDraws(a, b, x, y);
        drawnTotal += expect;
        if (f.At(x, y) != (expect ? 0xFF00FF00u : 0u)) {
          // The line's minor coordinate at this pixel's major centre, against the diamond's edge.
          double t = (m - am) / double(bm - am);
          double minor = (xMajor ? a.y : a.x) + t * ((xMajor ? b.y : b.x) - (xMajor ? a.y : a.x));
          double off = std::fabs(minor - (xMajor ? y : x));
          if (std::fabs(off - 0.5) < 1.0 / 64) continue;
        }
        ASSERT_EQ(f.At(x, y), expect ? 0xFF00FF00u : 0u)
            << "line " << n << " (" << a.x << "," << a.y << ")-(" << b.x << "," << b.y << ") at "
            << x << "," << y;
      }
    ASSERT_TRUE(f.MarginsIntact());
  }
  EXPECT_GT(drawnTotal, 50000);
}

TEST(RasterTest, PointsCoverThePixelTheyRoundTo) {
  std::mt19937 rng(3);
  Framed f;
  RasterState state;
  for (int n = 0; n < 20000; ++n) {
    RasterVertex p{RandomCoord(rng, kW), RandomCoord(rng, kH), 0, 0xFFABCDEF, 0, 0};
    double sx = std::nearbyint(double(p.x) * 256) / 256,
           sy = std::nearbyint(double(p.y) * 256) / 256;
    // Halves go right and up.
    int ex = static_cast<int>(std::floor(sx + 0.5)), ey = static_cast<int>(std::ceil(sy - 0.5));
    f.Fill(0);
    DrawPoint(f.surface, state, p);
    int drawn = 0;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        drawn += f.At(x, y) != 0;
    bool inside = ex >= 0 && ey >= 0 && ex < kW && ey < kH;
    ASSERT_EQ(drawn, inside ? 1 : 0) << p.x << "," << p.y;
    if (inside) {
      ASSERT_EQ(f.At(ex, ey), 0xFFABCDEFu);
    }
    ASSERT_TRUE(f.MarginsIntact());
  }
}

TEST(RasterTest, NonFiniteOrHugeVerticesStayInside) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    float x0, y0, x1, y1, x2, y2;
    bool draws;
  } cases[] = {
      {nan, 0, 40, 0, 0, 40, false},         {0, 0, inf, 0, 0, 40, false},
      {0, 0, 40, 0, 0, -inf, false},         {-1e30f, -1e30f, 1e30f, 0, 0, 1e30f, true},
      {-3e9f, 10, 3e9f, 10.5f, 0, 30, true}, {1e30f, 1e30f, 2e30f, 1e30f, 1e30f, 2e30f, false},
  };
  for (const Case& c : cases) {
    Framed f;
    RasterVertex v[3] = {{c.x0, c.y0, 0, 0xFFFFFFFF, 0, 0},
                         {c.x1, c.y1, 0, 0xFFFFFFFF, 0, 0},
                         {c.x2, c.y2, 0, 0xFFFFFFFF, 0, 0}};
    DrawTriangle(f.surface, RasterState{}, v);
    auto drawn = [&f] {
      int count = 0;
      for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
          count += f.At(x, y) != 0;
      return count;
    };
    int triangle = drawn();
    EXPECT_EQ(triangle > 0, c.draws) << c.x0 << " " << c.x1;
    for (const RasterVertex& p : v) {
      if (!std::isfinite(p.x) || !std::isfinite(p.y) || std::fabs(p.x) > 1e6f) {
        DrawPoint(f.surface, RasterState{}, p);
      }
    }
    EXPECT_EQ(drawn(), triangle);
    EXPECT_TRUE(f.MarginsIntact());
  }
}

void SpanQuadsAgainstTriangles() {
  std::mt19937 rng(23);
  std::uniform_int_distribution<uint32_t> any;
  auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  Framed spans, triangles;
  for (int n = 0; n < 4000; ++n) {
    int tw = pick(1, 12), th = pick(1, 9);
    std::vector<uint32_t> texels(tw * th);
    for (auto& t : texels) {
      t = any(rng);
      if (pick(0, 3) == 0) t &= 0x00FFFFFF;
      if (pick(0, 3) == 0) t |= 0xFF000000;
    }
    RasterSurface tex{texels.data(), tw, th, tw};
    RasterState state;
    state.texture = pick(0, 4) == 0 ? nullptr : &tex;
    state.filter = pick(0, 5) == 0 ? RasterFilter::kBilinear : RasterFilter::kPoint;
    state.modulate = pick(0, 2) != 0;
    state.alphaTest = pick(0, 1) != 0;
    state.blend = static_cast<RasterBlend>(pick(0, 3));
    int x = pick(-15, kW + 2), y = pick(-15, kH + 2), w = pick(0, 40), h = pick(0, 20);
    int tx = pick(-5, tw + 3), ty = pick(-3, th + 3);
    uint32_t diffuse = pick(0, 2) == 0 ? 0xFFFFFFFF : any(rng);
    for (int py = 0; py < kH; ++py)
      for (int px = 0; px < kW; ++px)
        spans.At(px, py) = triangles.At(px, py) = any(rng);
    DrawSpanQuad(spans.surface, state, x, y, w, h, tx, ty, diffuse);
    float u0 = float(tx) / tw, u1 = float(tx + w) / tw, v0 = float(ty) / th,
          v1 = float(ty + h) / th;
    RasterVertex a{x - 0.5f, y - 0.5f, 0, diffuse, u0, v0},
        b{x + w - 0.5f, y - 0.5f, 0, diffuse, u1, v0};
    RasterVertex c{x + w - 0.5f, y + h - 0.5f, 0, diffuse, u1, v1},
        d{x - 0.5f, y + h - 0.5f, 0, diffuse, u0, v1};
    RasterVertex first[3] = {a, b, c}, second[3] = {a, c, d};
    DrawTriangle(triangles.surface, state, first);
    DrawTriangle(triangles.surface, state, second);
    for (int py = 0; py < kH; ++py)
      for (int px = 0; px < kW; ++px)
        ASSERT_EQ(spans.At(px, py), triangles.At(px, py))
            << "quad " << n << " at " << px << "," << py;
    ASSERT_TRUE(spans.MarginsIntact());
  }
}

// The span path against the two triangles it stands for, on random quads, textures and states,
// with its eight-pixel steps (where the processor has them) and with its four-pixel ones.
TEST(RasterTest, SpanQuadsMatchTheirTwoTriangles) {
  for (bool wide : {true, false}) {
    SCOPED_TRACE(wide ? "wide" : "four at a time");
    UseWideSpans(wide);
    SpanQuadsAgainstTriangles();
  }
  UseWideSpans(true);
}

// Rectangle fans at any position, on the 1/256 grid and off it, with ends on pixel edges,
// centres and halves between: drawn whole (or refused) they must be the very pixels of their two
// triangles; most of the unscaled, point-sampled ones must take the fast way.
TEST(RasterTest, RectangleFansMatchTheirTwoTriangles) {
  std::mt19937 rng(29);
  std::uniform_int_distribution<uint32_t> any;
  auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto coord = [&](int lo, int hi) {
    float whole = float(pick(lo, hi));
    switch (pick(0, 4)) {
      case 0:
        return whole;
      case 1:
        return whole + 0.5f;
      case 2:
        return whole + float(pick(0, 255)) / 256;
      default:
        return whole + std::uniform_real_distribution<float>(0, 1)(rng);
    }
  };
  Framed fast, triangles;
  int taken = 0, unscaled = 0;
  for (int n = 0; n < 4000; ++n) {
    int tw = 1 << pick(0, 5), th = 1 << pick(0, 4);
    std::vector<uint32_t> texels(tw * th);
    for (auto& t : texels)
      t = any(rng);
    RasterSurface tex{texels.data(), tw, th, tw};
    RasterState state;
    state.texture = pick(0, 4) == 0 ? nullptr : &tex;
    state.modulate = pick(0, 2) != 0;
    state.alphaTest = pick(0, 1) != 0;
    state.blend = static_cast<RasterBlend>(pick(0, 3));
    float x0 = coord(-10, kW), y0 = coord(-10, kH);
    bool scaled = pick(0, 5) == 0;
    float w = float(pick(1, 24)), h = float(pick(1, 16));
    float x1 = x0 + (scaled ? w * 1.5f : w), y1 = y0 + (scaled ? h * 0.75f : h);
    float u0 = float(pick(-3, tw)) / tw, v0 = float(pick(-3, th)) / th;
    if (pick(0, 3) == 0) u0 += 0.3f / tw;
    float u1 = u0 + w / tw, v1 = v0 + h / th;
    uint32_t diffuse = pick(0, 2) == 0 ? 0xFFFFFFFF : any(rng);
    RasterVertex a{x0, y0, 0, diffuse, u0, v0}, b{x1, y0, 0, diffuse, u1, v0};
    RasterVertex c{x1, y1, 0, diffuse, u1, v1}, d{x0, y1, 0, diffuse, u0, v1};
    if (pick(0, 1)) std::swap(b, d);  // the other winding
    for (int py = 0; py < kH; ++py)
      for (int px = 0; px < kW; ++px)
        fast.At(px, py) = triangles.At(px, py) = any(rng);
    const RasterVertex fan[4] = {a, b, c, d};
    bool drawn = DrawRectangleFan(fast.surface, state, fan);
    unscaled += !scaled && state.texture;
    taken += drawn && !scaled && state.texture;
    if (!drawn) {
      RasterVertex first[3] = {a, b, c}, second[3] = {a, c, d};
      DrawTriangle(fast.surface, state, first);
      DrawTriangle(fast.surface, state, second);
    }
    RasterVertex first[3] = {a, b, c}, second[3] = {a, c, d};
    DrawTriangle(triangles.surface, state, first);
    DrawTriangle(triangles.surface, state, second);
    for (int py = 0; py < kH; ++py)
      for (int px = 0; px < kW; ++px)
        ASSERT_EQ(fast.At(px, py), triangles.At(px, py))
            << "fan " << n << " at " << px << "," << py << (drawn ? " (fast)" : "");
    ASSERT_TRUE(fast.MarginsIntact());
  }
  EXPECT_GT(taken, unscaled * 3 / 4);
}

uint32_t Ch(uint32_t p, int shift) {
  return (p >> shift) & 0xFF;
}
uint32_t RoundRef(double v) {
  return static_cast<uint32_t>(std::lround(v));
}

// The products Mesa's llvmpipe blends one lower than round(a b / 255), found by drawing every
// pair with it.
uint32_t BlendRef(uint32_t a, uint32_t b) {
  static const std::pair<uint32_t, uint32_t> lower[] = {
      {152, 229}, {169, 212}, {173, 241}, {188, 196}, {191, 253}, {194, 232},
      {197, 244}, {208, 236}, {214, 227}, {223, 251}, {226, 233}, {239, 247}};
  for (auto [p, q] : lower)
    if ((a == p && b == q) || (a == q && b == p)) return RoundRef(a * b / 255.0) - 1;
  return RoundRef(a * b / 255.0);
}

TEST(RasterTest, BlendsAndModulateFollowTheChannelFormulas) {
  std::mt19937 rng(9);
  std::uniform_int_distribution<uint32_t> any;
  for (int n = 0; n < 200000; ++n) {
    uint32_t src = any(rng), dst = any(rng);
    if (n % 7 == 0) src = (src & 0x00FFFFFF) | (n % 2 ? 0xFF000000u : 0u);
    double a = Ch(src, 24);
    for (int shift = 0; shift <= 16; shift += 8) {
      double s = Ch(src, shift), d = Ch(dst, shift);
      ASSERT_EQ(Ch(BlendPixel(RasterBlend::kOpaque, src, dst), shift), s);
      ASSERT_EQ(Ch(BlendPixel(RasterBlend::kAlpha, src, dst), shift),
                BlendRef(s, a) + BlendRef(d, 255 - a));
      ASSERT_EQ(Ch(BlendPixel(RasterBlend::kAdditive, src, dst), shift),
                std::min<uint32_t>(255, d + BlendRef(s, a)));
      ASSERT_EQ(Ch(BlendPixel(RasterBlend::kMultiply, src, dst), shift), BlendRef(s, d));
    }
    for (auto mode : {RasterBlend::kOpaque, RasterBlend::kAlpha, RasterBlend::kAdditive,
                      RasterBlend::kMultiply})
      ASSERT_EQ(BlendPixel(mode, src, dst) >> 24, 0xFFu);
    // Modulate: a 1x1 texture of src under diffuse dst.
    uint32_t texel = src;
    RasterSurface tex{&texel, 1, 1, 1};
    RasterState state;
    state.texture = &tex;
    uint32_t shaded = ShadeFragment(state, dst, 0.3f, 0.7f);
    for (int shift = 0; shift <= 24; shift += 8)
      ASSERT_EQ(Ch(shaded, shift), RoundRef(double(Ch(src, shift)) * Ch(dst, shift) / 255));
    state.modulate = false;
    ASSERT_EQ(ShadeFragment(state, dst, 0.3f, 0.7f), src);
  }
}

TEST(RasterTest, SamplingUsesTexelCentresClampedWithEightBitSteps) {
  std::mt19937 rng(13);
  std::uniform_int_distribution<uint32_t> any;
  constexpr int tw = 5, th = 3;
  uint32_t texels[tw * th];
  for (auto& t : texels)
    t = any(rng);
  RasterSurface tex{texels, tw, th, tw};
  auto at = [&](long x, long y) {
    x = std::clamp(x, 0L, long(tw - 1));
    y = std::clamp(y, 0L, long(th - 1));
    return texels[y * tw + x];
  };
  std::uniform_real_distribution<float> coord(-0.5f, 1.5f);
  for (int n = 0; n < 50000; ++n) {
    float u = coord(rng), v = coord(rng);
    if (n % 5 == 0) u = float(std::uniform_int_distribution<int>(-4, 12)(rng)) / (2 * tw);
    float tu = u * tw, tv = v * th;  // single precision, as the rules say
    ASSERT_EQ(SampleTexture(tex, RasterFilter::kPoint, u, v),
              at(long(std::floor(tu)), long(std::floor(tv))));
    // Positions rounded to 1/256 texel, centres at +0.5; across, then down, each step rounded.
    double bu = std::nearbyint(double(tu) * 256) / 256 - 0.5,
           bv = std::nearbyint(double(tv) * 256) / 256 - 0.5;
    long ix = long(std::floor(bu)), iy = long(std::floor(bv));
    double fx = (bu - ix) * 256, fy = (bv - iy) * 256;
    auto lerp = [](double a, double b, double w) {
      return std::floor((a * (256 - w) + b * w + 128) / 256);
    };
    uint32_t expect = 0;
    for (int shift = 0; shift <= 24; shift += 8) {
      double top = lerp(Ch(at(ix, iy), shift), Ch(at(ix + 1, iy), shift), fx);
      double bottom = lerp(Ch(at(ix, iy + 1), shift), Ch(at(ix + 1, iy + 1), shift), fx);
      expect |= uint32_t(lerp(top, bottom, fy)) << shift;
    }
    ASSERT_EQ(SampleTexture(tex, RasterFilter::kBilinear, u, v), expect) << u << "," << v;
  }
}

// The alpha test drops fragments below 128 before any blending: a textured quad over a marked
// surface keeps the mark wherever the texel's alpha is below 128.
TEST(RasterTest, AlphaTestDropsLowAlphaBeforeBlending) {
  uint32_t texels[4] = {0x7FFFFFFF, 0x80FFFFFF, 0x00FFFFFF, 0xFF000000};
  RasterSurface tex{texels, 2, 2, 2};
  Framed f;
  f.Fill(0xFF202020);
  RasterState state;
  state.texture = &tex;
  state.alphaTest = true;
  state.blend = RasterBlend::kAdditive;
  RasterVertex quad[4] = {{-0.5f, -0.5f, 0, 0xFFFFFFFF, 0, 0},
                          {1.5f, -0.5f, 0, 0xFFFFFFFF, 1, 0},
                          {1.5f, 1.5f, 0, 0xFFFFFFFF, 1, 1},
                          {-0.5f, 1.5f, 0, 0xFFFFFFFF, 0, 1}};
  RasterVertex t0[3] = {quad[0], quad[1], quad[2]}, t1[3] = {quad[0], quad[2], quad[3]};
  DrawTriangle(f.surface, state, t0);
  DrawTriangle(f.surface, state, t1);
  EXPECT_EQ(f.At(0, 0), 0xFF202020u);  // alpha 127: dropped
  EXPECT_EQ(f.At(1, 0), 0xFFA0A0A0u);  // alpha 128: 0x20 + round(255 * 128 / 255)
  EXPECT_EQ(f.At(0, 1), 0xFF202020u);
  EXPECT_EQ(f.At(1, 1), 0xFF202020u);  // black added
  EXPECT_EQ(f.At(2, 0), 0xFF202020u);  // outside the quad
}

}  // namespace
