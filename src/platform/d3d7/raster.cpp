#include "platform/d3d7/raster.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <vector>

#include "platform/math/small_rounding.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
// ProductPlus takes the exact product p = double(a) * double(b), so a caller can keep a product
// that stays the same over a row.
[[gnu::always_inline]] inline float ProductPlus(double p, float c) {
  double s = p + double(c);
  if (!std::isfinite(s)) return static_cast<float>(s);
  uint64_t bits = std::bit_cast<uint64_t>(s);
  // A float midpoint: the 29 bits below float precision are exactly 1000...0.
  if ((bits & 0x1FFFFFFF) == 0x10000000) {
    double back = s - p, rest = (p - (s - back)) + (double(c) - back);  // s + rest is exact
    if (rest != 0) {
      bits += ((rest > 0) == (s > 0)) ? 1 : -1;
      s = std::bit_cast<double>(bits);
    }
  }
  return static_cast<float>(s);
}

inline float FusedMultiplyAdd(float a, float b, float c) {
  return ProductPlus(double(a) * double(b), c);
}

// ProductPlus of two pairs at once: out[j] = ProductPlus(p[j], c[j]). Both sums are taken
// together; a sum on a float midpoint (rare) goes through ProductPlus.
[[gnu::always_inline]] inline void ProductPlusPair(const double p[2], const float c[2], float out[2]) {
#if defined(__SSE2__)
  __m128d pp = _mm_loadu_pd(p);
  __m128d s = _mm_add_pd(pp, _mm_cvtps_pd(_mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(c)))));
  __m128i low = _mm_and_si128(_mm_castpd_si128(s), _mm_set1_epi64x(0x1FFFFFFF));
  int same = _mm_movemask_epi8(_mm_cmpeq_epi32(low, _mm_set1_epi64x(0x10000000)));
  if ((same & 0xFF) != 0xFF && (same & 0xFF00) != 0xFF00) {
    _mm_store_sd(reinterpret_cast<double*>(out), _mm_castps_pd(_mm_cvtpd_ps(s)));
    return;
  }
#endif
  out[0] = ProductPlus(p[0], c[0]);
  out[1] = ProductPlus(p[1], c[1]);
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

// The pixel pipeline's pieces, inline so the triangle loop below can specialise them. Sampling
// takes a texture that is not empty.
[[gnu::always_inline]] inline uint32_t PointTexel(const RasterSurface& texture, float tu, float tv) {
  constexpr int32_t kExact = 1 << 24;  // sizes whose last index is a float exactly
  if (texture.width <= kExact && texture.height <= kExact) {
    // Clamping before the floor picks the same texel, and truncation floors what is not negative.
    float cx = std::min(std::max(tu, 0.0f), static_cast<float>(texture.width - 1));
    float cy = std::min(std::max(tv, 0.0f), static_cast<float>(texture.height - 1));
    return texture.pixels[static_cast<size_t>(static_cast<int32_t>(cy)) * texture.pitch +
                          static_cast<int32_t>(cx)];
  }
  int32_t x = std::clamp(FloorIndex(tu), 0, texture.width - 1);
  int32_t y = std::clamp(FloorIndex(tv), 0, texture.height - 1);
  return texture.pixels[static_cast<size_t>(y) * texture.pitch + x];
}

uint32_t BilinearTexel(const RasterSurface& texture, float tu, float tv) {
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

template <RasterFilter kFilter>
[[gnu::always_inline]] inline uint32_t SampleAs(const RasterSurface& texture, float u, float v) {
  // The width and height are at least 1: u is finite wherever u * width is.
  float tu = u * static_cast<float>(texture.width);
  float tv = v * static_cast<float>(texture.height);
  if (!std::isfinite(tu) || !std::isfinite(tv)) return 0;
  if constexpr (kFilter == RasterFilter::kPoint) return PointTexel(texture, tu, tv);
  return BilinearTexel(texture, tu, tv);
}

[[gnu::always_inline]] inline uint32_t Modulate(uint32_t texel, uint32_t diffuse) {
  uint32_t out = 0;
  for (int shift = 24; shift >= 0; shift -= 8)
    out |= MulDiv255(Channel(texel, shift), Channel(diffuse, shift)) << shift;
  return out;
}

// Red, green and blue of a pixel in the low bytes of three 16-bit lanes, and back.
inline uint64_t Lanes(uint32_t pixel) {
  return (pixel & 0xFFu) | uint64_t(pixel & 0xFF00u) << 8 | uint64_t(pixel & 0xFF0000u) << 16;
}
inline uint32_t FromLanes(uint64_t lanes) {
  return static_cast<uint32_t>((lanes & 0xFF) | (lanes >> 8 & 0xFF00) | (lanes >> 16 & 0xFF0000));
}
// BlendMul255 of each lane and w: no lane carries into the next, as p = x w <= 65025 and
// p + (p >> 8) + 128 < 65536.
inline uint64_t LanesMul255(uint64_t lanes, uint32_t w) {
  constexpr uint64_t kLow = 0x000000FF00FF00FFull, kHalf = 0x0000008000800080ull;
  uint64_t p = lanes * w;
  return (p + (p >> 8 & kLow) + kHalf) >> 8 & kLow;
}

template <RasterBlend kBlend>
inline uint32_t BlendAs(uint32_t src, uint32_t dst) {
  uint32_t a = src >> 24;
  if constexpr (kBlend == RasterBlend::kAlpha) {
    // Each sum stays within its lane: BlendMul255(x, a) <= a and BlendMul255(y, 255 - a) <= 255 - a.
    return 0xFF000000u |
           FromLanes(LanesMul255(Lanes(src), a) + LanesMul255(Lanes(dst), 255 - a));
  }
  uint32_t out = 0xFF000000u;
  for (int shift = 16; shift >= 0; shift -= 8) {
    uint32_t s = Channel(src, shift), d = Channel(dst, shift), r = s;
    if constexpr (kBlend == RasterBlend::kAdditive) r = std::min(255u, d + BlendMul255(s, a));
    if constexpr (kBlend == RasterBlend::kMultiply) r = BlendMul255(s, d);
    out |= r << shift;
  }
  return out;
}

enum class Texturing { kNone, kPoint, kBilinear };

#if defined(__SSE2__)
// Whether any of the four sums (two per vector) lies on a float midpoint (see ProductPlus).
inline bool AnyMidpoint(__m128d a, __m128d b, __m128d c, __m128d d) {
  const __m128i mask = _mm_set1_epi64x(0x1FFFFFFF), midpoint = _mm_set1_epi64x(0x10000000);
  __m128i any = _mm_setzero_si128();
  for (__m128d s : {a, b, c, d}) {
    __m128i same = _mm_cmpeq_epi32(_mm_and_si128(_mm_castpd_si128(s), mask), midpoint);
    // Both halves of a 64-bit lane must match.
    any = _mm_or_si128(any, _mm_and_si128(same, _mm_shuffle_epi32(same, _MM_SHUFFLE(2, 3, 0, 1))));
  }
  return _mm_movemask_epi8(any) != 0;
}

// SampleAs<kPoint> for four pixels in a row, from the row's products `outer` (u, v) and the
// pixels' inner sums `innerUV` (u, v, u, v, ...), for a texture whose sizes are at most 2^24.
// False, sampling nothing, where a sum needs ProductPlus's midpoint step.
[[gnu::always_inline]] inline bool PointTexels4(const RasterSurface& texture,
                                                const double outer[2], const float* innerUV,
                                                uint32_t out[4]) {
  const __m128d p = _mm_loadu_pd(outer);
  const __m128 c01 = _mm_loadu_ps(innerUV), c23 = _mm_loadu_ps(innerUV + 4);
  const __m128d s0 = _mm_add_pd(p, _mm_cvtps_pd(c01));
  const __m128d s1 = _mm_add_pd(p, _mm_cvtps_pd(_mm_movehl_ps(c01, c01)));
  const __m128d s2 = _mm_add_pd(p, _mm_cvtps_pd(c23));
  const __m128d s3 = _mm_add_pd(p, _mm_cvtps_pd(_mm_movehl_ps(c23, c23)));
  if (AnyMidpoint(s0, s1, s2, s3)) return false;
  const __m128 uv01 = _mm_movelh_ps(_mm_cvtpd_ps(s0), _mm_cvtpd_ps(s1));  // u0 v0 u1 v1
  const __m128 uv23 = _mm_movelh_ps(_mm_cvtpd_ps(s2), _mm_cvtpd_ps(s3));
  const __m128 tu = _mm_mul_ps(_mm_shuffle_ps(uv01, uv23, _MM_SHUFFLE(2, 0, 2, 0)),
                               _mm_set1_ps(static_cast<float>(texture.width)));
  const __m128 tv = _mm_mul_ps(_mm_shuffle_ps(uv01, uv23, _MM_SHUFFLE(3, 1, 3, 1)),
                               _mm_set1_ps(static_cast<float>(texture.height)));
  const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
  const __m128 infinity = _mm_set1_ps(std::numeric_limits<float>::infinity());
  const int finite = _mm_movemask_ps(_mm_and_ps(_mm_cmplt_ps(_mm_and_ps(tu, magnitude), infinity),
                                                _mm_cmplt_ps(_mm_and_ps(tv, magnitude), infinity)));
  // As PointTexel: clamped, then truncated.
  const __m128 zero = _mm_setzero_ps();
  alignas(16) int32_t x[4], y[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(x),
                  _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(tu, zero),
                                              _mm_set1_ps(static_cast<float>(texture.width - 1)))));
  _mm_store_si128(reinterpret_cast<__m128i*>(y),
                  _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(tv, zero),
                                              _mm_set1_ps(static_cast<float>(texture.height - 1)))));
  for (int j = 0; j < 4; ++j) {
    out[j] = (finite >> j & 1) ? texture.pixels[static_cast<size_t>(y[j]) * texture.pitch + x[j]]
                               : 0;
  }
  return true;
}
#endif

// A triangle's covered pixels, row by row: the integer edge functions at the first column of each
// row, and the columns the row covers found from them.
struct EdgeWalk {
  int64_t x0, x1, y0, y1;
  int64_t bias[3], stepX[3], stepY[3], row[3];

  // The covered columns x0 + first .. x0 + last of the current row (first > last: none): the
  // columns k where row + bias + stepX k >= 0 for all three edges.
  void Span(int64_t* first, int64_t* last) const {
    int64_t lo = 0, hi = x1 - x0;
    for (int i = 0; i < 3; ++i) {
      int64_t t = row[i] + bias[i], step = stepX[i];
      if (step > 0) {
        if (t < 0) lo = std::max(lo, (-t + step - 1) / step);
      } else if (t < 0) {
        hi = -1;
      } else if (step < 0) {
        hi = std::min(hi, t / -step);
      }
    }
    *first = lo;
    *last = hi;
  }
  void NextRow() {
    for (int i = 0; i < 3; ++i)
      row[i] += stepY[i];
  }
};

// a0 + dadx px for every column of the box, per attribute: the inner half of each plane
// evaluation, the same on every row.
std::vector<float>& ColumnCache() {
  static thread_local std::vector<float> cache;
  return cache;
}

// Fills the walk's rows: a row's fragments take the same arithmetic as ShadeFragment, a few dozen
// at a time, then go to BlendFragments. `fixed` gives the one colour of a flat triangle.
template <Texturing kTexturing>
void FillTriangle(const RasterSurface& target, const RasterState& state, EdgeWalk walk,
                  const AttributePlanes& attributes, bool flat, uint32_t fixed) {
  constexpr bool kTextured = kTexturing != Texturing::kNone;
  const int64_t columns = walk.x1 - walk.x0 + 1;
  // Attributes evaluated per pixel: the colour channels unless flat, u and v when textured.
  const int firstAttribute = flat ? 4 : 0, endAttribute = kTextured ? kAttributes : 4;
  std::vector<float>& cache = ColumnCache();
  if (cache.size() < static_cast<size_t>(columns) * kAttributes)
    cache.resize(static_cast<size_t>(columns) * kAttributes);
  // The colour channels one after the other, then u and v side by side.
  float* inner[4] = {};
  for (int k = firstAttribute; k < std::min(endAttribute, 4); ++k) {
    inner[k] = cache.data() + static_cast<size_t>(k) * columns;
    for (int64_t i = 0; i < columns; ++i)
      inner[k][i] =
          FusedMultiplyAdd(attributes.dadx[k], static_cast<float>(walk.x0 + i), attributes.a0[k]);
  }
  float* innerUV = cache.data() + 4 * static_cast<size_t>(columns);
  if constexpr (kTextured) {
    for (int64_t i = 0; i < columns; ++i) {
      for (int k = 4; k < kAttributes; ++k)
        innerUV[2 * i + k - 4] =
            FusedMultiplyAdd(attributes.dadx[k], static_cast<float>(walk.x0 + i), attributes.a0[k]);
    }
  }
  const RasterSurface* texture = state.texture;
  // Modulating by white changes nothing: (t 255 + 127) / 255 = t.
  const bool modulate = state.modulate && !(flat && fixed == 0xFFFFFFFFu);
  // Point sampling four at a time takes sizes whose last index is a float exactly.
  const bool fourAtATime =
      kTextured && texture->width <= (1 << 24) && texture->height <= (1 << 24);
  constexpr int64_t kBatch = 64;
  uint32_t fragments[kBatch + 3];
  for (int64_t py = walk.y0; py <= walk.y1; ++py, walk.NextRow()) {
    int64_t first, last;
    walk.Span(&first, &last);
    if (first > last) continue;
    double outer[kAttributes] = {};
    const double fy = static_cast<double>(static_cast<float>(py));
    for (int k = firstAttribute; k < endAttribute; ++k)
      outer[k] = double(attributes.dady[k]) * fy;
    uint32_t* line = target.pixels + static_cast<size_t>(py) * target.pitch + walk.x0;
    for (int64_t batch = first; batch <= last; batch += kBatch) {
      const int64_t end = std::min(last + 1, batch + kBatch);
      int64_t i = batch;
#if defined(__SSE2__)
      if constexpr (kTexturing == Texturing::kPoint) {
        if (flat && fourAtATime) {
          // The last group may reach past the span, within the box: its extra lanes go unused.
          for (; i < end && i + 4 <= columns; i += 4) {
            uint32_t* out = fragments + (i - batch);
            if (!PointTexels4(*texture, outer + 4, innerUV + 2 * i, out)) break;
            if (modulate) {
              for (int j = 0; j < 4; ++j)
                out[j] = Modulate(out[j], fixed);
            }
          }
        }
      }
#endif
      for (; i < end; ++i) {
        uint32_t diffuse = fixed;
        if (!flat) {
          diffuse = 0;
          for (int k = 0; k < 4; ++k)
            diffuse = diffuse << 8 | RoundChannel(ProductPlus(outer[k], inner[k][i]));
        }
        uint32_t fragment = diffuse;
        if constexpr (kTextured) {
          float uv[2];
          ProductPlusPair(outer + 4, innerUV + 2 * i, uv);
          const float u = uv[0], v = uv[1];
          constexpr RasterFilter kFilter =
              kTexturing == Texturing::kPoint ? RasterFilter::kPoint : RasterFilter::kBilinear;
          uint32_t texel = SampleAs<kFilter>(*texture, u, v);
          fragment = modulate ? Modulate(texel, diffuse) : texel;
        }
        fragments[i - batch] = fragment;
      }
      BlendFragments(state, fragments, line + batch, static_cast<int32_t>(end - batch));
    }
  }
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
  EdgeWalk walk;
  walk.x0 = std::max<int64_t>(0, (minX + 255) >> 8);
  walk.x1 = std::min<int64_t>(target.width - 1, maxX >> 8);
  walk.y0 = std::max<int64_t>(0, (minY + 255) >> 8);
  walk.y1 = std::min<int64_t>(target.height - 1, maxY >> 8);
  if (walk.x0 > walk.x1 || walk.y0 > walk.y1) return;
  // Edge i is opposite vertex i; its function weighs vertex i.
  Snapped ea[3] = {s[1], s[2], s[0]}, eb[3] = {s[2], s[0], s[1]};
  for (int i = 0; i < 3; ++i) {
    walk.bias[i] = CoversTies(ea[i], eb[i]) ? 0 : -1;
    walk.stepX[i] = -(eb[i].y - ea[i].y) * 256;
    walk.stepY[i] = (eb[i].x - ea[i].x) * 256;
    walk.row[i] = Edge(ea[i], eb[i], walk.x0 * 256, walk.y0 * 256);
  }
  // One colour over the whole triangle (its planes are flat: a0 is the colour exactly).
  bool flat = true;
  uint32_t flatDiffuse = 0;
  for (int k = 0; k < 4; ++k) {
    flat = flat && attributes.dadx[k] == 0 && attributes.dady[k] == 0;
    flatDiffuse = flatDiffuse << 8 | RoundChannel(attributes.a0[k]);
  }
  const RasterSurface* texture = state.texture;
  if (texture == nullptr)
    return FillTriangle<Texturing::kNone>(target, state, walk, attributes, flat,
                                                 flatDiffuse);
  // An empty texture samples transparent black, which modulates to transparent black.
  if (Empty(*texture))
    return FillTriangle<Texturing::kNone>(target, state, walk, attributes, true, 0);
  if (state.filter == RasterFilter::kPoint)
    return FillTriangle<Texturing::kPoint>(target, state, walk, attributes, flat,
                                                  flatDiffuse);
  FillTriangle<Texturing::kBilinear>(target, state, walk, attributes, flat, flatDiffuse);
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
  if (Empty(texture)) return 0;
  return filter == RasterFilter::kPoint ? SampleAs<RasterFilter::kPoint>(texture, u, v)
                                        : SampleAs<RasterFilter::kBilinear>(texture, u, v);
}

uint32_t ShadeFragment(const RasterState& state, uint32_t diffuse, float u, float v) {
  if (state.texture == nullptr) return diffuse;
  uint32_t texel = SampleTexture(*state.texture, state.filter, u, v);
  return state.modulate ? Modulate(texel, diffuse) : texel;
}

uint32_t BlendPixel(RasterBlend blend, uint32_t src, uint32_t dst) {
  switch (blend) {
    case RasterBlend::kOpaque:
      return BlendAs<RasterBlend::kOpaque>(src, dst);
    case RasterBlend::kAlpha:
      return BlendAs<RasterBlend::kAlpha>(src, dst);
    case RasterBlend::kAdditive:
      return BlendAs<RasterBlend::kAdditive>(src, dst);
    case RasterBlend::kMultiply:
      return BlendAs<RasterBlend::kMultiply>(src, dst);
  }
  return BlendAs<RasterBlend::kOpaque>(src, dst);
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
