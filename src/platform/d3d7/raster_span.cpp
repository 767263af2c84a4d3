// The span path: unscaled axis-aligned quads row by row, eight pixels at a time with AVX2 where
// the processor has it, four with SSE2. It gives the very pixels of the two-triangle path (see
// raster.h); the tests hold it to that.
#include <algorithm>

#include "platform/d3d7/raster.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__SSE2__) && defined(__x86_64__)
#include <immintrin.h>

#include "platform/cpu/cpu_id.h"
#define VXL_SPAN_AVX2 1
#endif

namespace vxl::platform::d3d7 {

namespace {

uint32_t ClampedTexel(const RasterSurface& t, int64_t x, int64_t y) {
  x = std::clamp<int64_t>(x, 0, t.width - 1);
  y = std::clamp<int64_t>(y, 0, t.height - 1);
  return t.pixels[static_cast<size_t>(y) * t.pitch + x];
}

uint32_t Modulate(uint32_t texel, uint32_t diffuse) {
  uint32_t out = 0;
  for (int shift = 24; shift >= 0; shift -= 8) {
    out |= MulDiv255((texel >> shift) & 0xFF, (diffuse >> shift) & 0xFF) << shift;
  }
  return out;
}

void PlainPixel(const RasterState& state, uint32_t fragment, uint32_t& dst) {
  if (state.alphaTest && (fragment >> 24) < 128) return;
  dst = BlendPixel(state.blend, fragment, dst);
}

#if defined(__SSE2__)
// round(a * b / 255) on 16-bit lanes holding 0..255: t = a b + 127 <= 65152, and for such t
// t / 255 == (t + 1 + (t >> 8)) >> 8.
__m128i MulDiv255x8(__m128i a, __m128i b) {
  __m128i t = _mm_add_epi16(_mm_mullo_epi16(a, b), _mm_set1_epi16(127));
  t = _mm_add_epi16(_mm_add_epi16(t, _mm_set1_epi16(1)), _mm_srli_epi16(t, 8));
  return _mm_srli_epi16(t, 8);
}

// BlendMul255 on 16-bit lanes: p = a b <= 65025, and p + (p >> 8) + 128 <= 65407 stays unsigned.
__m128i BlendMul255x8(__m128i a, __m128i b) {
  __m128i p = _mm_mullo_epi16(a, b);
  p = _mm_add_epi16(_mm_add_epi16(p, _mm_srli_epi16(p, 8)), _mm_set1_epi16(128));
  return _mm_srli_epi16(p, 8);
}

// Each pixel's alpha in all four of its 16-bit lanes (pixels as B, G, R, A lanes).
__m128i BroadcastAlpha(__m128i v) {
  v = _mm_shufflelo_epi16(v, _MM_SHUFFLE(3, 3, 3, 3));
  return _mm_shufflehi_epi16(v, _MM_SHUFFLE(3, 3, 3, 3));
}

// Blends two pixels held as 16-bit lanes.
[[gnu::always_inline]] inline __m128i Blend2(RasterBlend blend, __m128i s, __m128i d) {
  switch (blend) {
    case RasterBlend::kOpaque:
      return s;
    case RasterBlend::kAlpha: {
      __m128i a = BroadcastAlpha(s);
      return _mm_add_epi16(BlendMul255x8(s, a),
                           BlendMul255x8(d, _mm_sub_epi16(_mm_set1_epi16(255), a)));
    }
    case RasterBlend::kAdditive:
      return _mm_min_epi16(_mm_set1_epi16(255),
                           _mm_add_epi16(d, BlendMul255x8(s, BroadcastAlpha(s))));
    case RasterBlend::kMultiply:
      return BlendMul255x8(s, d);
  }
  return s;
}

// Four fragments over four destination pixels.
[[gnu::always_inline]] inline __m128i Pixels4(const RasterState& state, __m128i fragment, __m128i dst) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  __m128i out;
  // Alpha 0 leaves the destination's colour (alpha and additive blends), alpha 255 is the source
  // (alpha blend): the products give exactly that, so whole groups of four skip them.
  const __m128i alpha = _mm_srli_epi32(fragment, 24);
  const bool blends = state.blend == RasterBlend::kAlpha || state.blend == RasterBlend::kAdditive;
  if (blends && _mm_movemask_epi8(_mm_cmpeq_epi32(alpha, zero)) == 0xFFFF) {
    out = _mm_or_si128(dst, opaque);
  } else if (state.blend == RasterBlend::kAlpha &&
             _mm_movemask_epi8(_mm_cmpeq_epi32(alpha, _mm_set1_epi32(255))) == 0xFFFF) {
    out = _mm_or_si128(fragment, opaque);
  } else {
    __m128i lo =
        Blend2(state.blend, _mm_unpacklo_epi8(fragment, zero), _mm_unpacklo_epi8(dst, zero));
    __m128i hi =
        Blend2(state.blend, _mm_unpackhi_epi8(fragment, zero), _mm_unpackhi_epi8(dst, zero));
    out = _mm_or_si128(_mm_packus_epi16(lo, hi), opaque);
  }
  if (!state.alphaTest) return out;
  __m128i keep = _mm_srai_epi32(fragment, 31);  // alpha >= 128
  return _mm_or_si128(_mm_and_si128(keep, out), _mm_andnot_si128(keep, dst));
}

__m128i Modulate4(__m128i texel, __m128i diffuse) {
  const __m128i zero = _mm_setzero_si128();
  __m128i lo = MulDiv255x8(_mm_unpacklo_epi8(texel, zero), _mm_unpacklo_epi8(diffuse, zero));
  __m128i hi = MulDiv255x8(_mm_unpackhi_epi8(texel, zero), _mm_unpackhi_epi8(diffuse, zero));
  return _mm_packus_epi16(lo, hi);
}
#endif

#if defined(VXL_SPAN_AVX2)
// The four-pixel steps above, eight pixels wide (unpacking and packing keep to 128-bit halves,
// so every pixel meets the same arithmetic).
__attribute__((target("avx2"))) __m256i MulDiv255x16(__m256i a, __m256i b) {
  __m256i t = _mm256_add_epi16(_mm256_mullo_epi16(a, b), _mm256_set1_epi16(127));
  t = _mm256_add_epi16(_mm256_add_epi16(t, _mm256_set1_epi16(1)), _mm256_srli_epi16(t, 8));
  return _mm256_srli_epi16(t, 8);
}

__attribute__((target("avx2"))) __m256i BlendMul255x16(__m256i a, __m256i b) {
  __m256i p = _mm256_mullo_epi16(a, b);
  p = _mm256_add_epi16(_mm256_add_epi16(p, _mm256_srli_epi16(p, 8)), _mm256_set1_epi16(128));
  return _mm256_srli_epi16(p, 8);
}

__attribute__((target("avx2"))) __m256i BroadcastAlpha16(__m256i v) {
  v = _mm256_shufflelo_epi16(v, _MM_SHUFFLE(3, 3, 3, 3));
  return _mm256_shufflehi_epi16(v, _MM_SHUFFLE(3, 3, 3, 3));
}

__attribute__((target("avx2"))) __m256i Blend4(RasterBlend blend, __m256i s, __m256i d) {
  switch (blend) {
    case RasterBlend::kOpaque:
      return s;
    case RasterBlend::kAlpha: {
      __m256i a = BroadcastAlpha16(s);
      return _mm256_add_epi16(BlendMul255x16(s, a),
                              BlendMul255x16(d, _mm256_sub_epi16(_mm256_set1_epi16(255), a)));
    }
    case RasterBlend::kAdditive:
      return _mm256_min_epi16(_mm256_set1_epi16(255),
                              _mm256_add_epi16(d, BlendMul255x16(s, BroadcastAlpha16(s))));
    case RasterBlend::kMultiply:
      return BlendMul255x16(s, d);
  }
  return s;
}

__attribute__((target("avx2"))) __m256i Pixels8(const RasterState& state, __m256i fragment,
                                                __m256i dst) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i opaque = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
  __m256i out;
  const __m256i alpha = _mm256_srli_epi32(fragment, 24);
  const bool blends = state.blend == RasterBlend::kAlpha || state.blend == RasterBlend::kAdditive;
  if (blends && _mm256_movemask_epi8(_mm256_cmpeq_epi32(alpha, zero)) == -1) {
    out = _mm256_or_si256(dst, opaque);
  } else if (state.blend == RasterBlend::kAlpha &&
             _mm256_movemask_epi8(_mm256_cmpeq_epi32(alpha, _mm256_set1_epi32(255))) == -1) {
    out = _mm256_or_si256(fragment, opaque);
  } else {
    __m256i lo =
        Blend4(state.blend, _mm256_unpacklo_epi8(fragment, zero), _mm256_unpacklo_epi8(dst, zero));
    __m256i hi =
        Blend4(state.blend, _mm256_unpackhi_epi8(fragment, zero), _mm256_unpackhi_epi8(dst, zero));
    out = _mm256_or_si256(_mm256_packus_epi16(lo, hi), opaque);
  }
  if (!state.alphaTest) return out;
  __m256i keep = _mm256_srai_epi32(fragment, 31);  // alpha >= 128
  return _mm256_or_si256(_mm256_and_si256(keep, out), _mm256_andnot_si256(keep, dst));
}

// Pixels px.. of one row in groups of eight while they fit before `right` (and, textured, their
// texels before the texture's right edge); returns where it stopped.
__attribute__((target("avx2"))) int64_t Row8(const RasterState& state, uint32_t* row,
                                             const uint32_t* texRow, int64_t texWidth, int64_t px,
                                             int64_t right, int64_t texX, uint32_t diffuse,
                                             uint32_t flat) {
  const __m256i diffuse8 = _mm256_set1_epi32(static_cast<int>(diffuse));
  const bool modulate = texRow && state.modulate && diffuse != 0xFFFFFFFFu;
  for (; px + 8 <= right; px += 8, texX += 8) {
    __m256i fragment = _mm256_set1_epi32(static_cast<int>(flat));
    if (texRow) {
      if (texX + 8 > texWidth) break;
      fragment = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(texRow + texX));
      if (modulate) {
        const __m256i zero = _mm256_setzero_si256();
        __m256i lo = MulDiv255x16(_mm256_unpacklo_epi8(fragment, zero),
                                  _mm256_unpacklo_epi8(diffuse8, zero));
        __m256i hi = MulDiv255x16(_mm256_unpackhi_epi8(fragment, zero),
                                  _mm256_unpackhi_epi8(diffuse8, zero));
        fragment = _mm256_packus_epi16(lo, hi);
      }
    }
    __m256i* out = reinterpret_cast<__m256i*>(row + px);
    _mm256_storeu_si256(out, Pixels8(state, fragment, _mm256_loadu_si256(out)));
  }
  return px;
}

bool HasAvx2() {
  return platform::cpu::Get().avx2;
}
#endif

bool wideSpans = true;

}  // namespace

void UseWideSpans(bool on) {
  wideSpans = on;
}

void DrawSpanQuad(const RasterSurface& target, const RasterState& state, int32_t x, int32_t y,
                  int32_t w, int32_t h, int32_t tx, int32_t ty, uint32_t diffuse) {
  const RasterSurface* texture = state.texture;
  if (texture != nullptr && state.filter == RasterFilter::kBilinear) {
    float x0 = static_cast<float>(x) - 0.5f, y0 = static_cast<float>(y) - 0.5f;
    float x1 = static_cast<float>(static_cast<int64_t>(x) + w) - 0.5f;
    float y1 = static_cast<float>(static_cast<int64_t>(y) + h) - 0.5f;
    float tw = static_cast<float>(texture->width), th = static_cast<float>(texture->height);
    float u0 = static_cast<float>(tx) / tw, v0 = static_cast<float>(ty) / th;
    float u1 = static_cast<float>(static_cast<int64_t>(tx) + w) / tw;
    float v1 = static_cast<float>(static_cast<int64_t>(ty) + h) / th;
    RasterVertex a{x0, y0, 0, diffuse, u0, v0}, b{x1, y0, 0, diffuse, u1, v0};
    RasterVertex c{x1, y1, 0, diffuse, u1, v1}, d{x0, y1, 0, diffuse, u0, v1};
    RasterState plain = state;
    plain.clipPlaneMask = 0;
    RasterVertex first[3] = {a, b, c}, second[3] = {a, c, d};
    DrawTriangle(target, plain, first);
    DrawTriangle(target, plain, second);
    return;
  }
  if (target.pixels == nullptr || target.width <= 0 || target.height <= 0 ||
      target.pitch < target.width || w <= 0 || h <= 0) {
    return;
  }
  bool textured = texture != nullptr && texture->pixels != nullptr && texture->width > 0 &&
                  texture->height > 0 && texture->pitch >= texture->width;
  int64_t left = std::max<int64_t>(x, 0), right = std::min<int64_t>(int64_t(x) + w, target.width);
  int64_t top = std::max<int64_t>(y, 0), bottom = std::min<int64_t>(int64_t(y) + h, target.height);
  // Without usable texels the two triangles sample transparent black.
  uint32_t flat = texture == nullptr ? diffuse : (state.modulate ? Modulate(0, diffuse) : 0);
  for (int64_t py = top; py < bottom; ++py) {
    uint32_t* row = target.pixels + static_cast<size_t>(py) * target.pitch;
    int64_t texY = int64_t(ty) + (py - y);
    auto fragmentAt = [&](int64_t px) {
      if (!textured) return flat;
      uint32_t texel = ClampedTexel(*texture, int64_t(tx) + (px - x), texY);
      return state.modulate ? Modulate(texel, diffuse) : texel;
    };
    int64_t px = left;
    // Texels clamped at the texture's left edge: pixel by pixel.
    while (textured && px < right && int64_t(tx) + (px - x) < 0) {
      PlainPixel(state, fragmentAt(px), row[px]);
      ++px;
    }
#if defined(__SSE2__)
    const uint32_t* texRow = textured ? texture->pixels + static_cast<size_t>(std::clamp<int64_t>(
                                                              texY, 0, texture->height - 1)) *
                                                              texture->pitch
                                      : nullptr;
    const __m128i diffuse4 = _mm_set1_epi32(static_cast<int>(diffuse));
    const __m128i flat4 = _mm_set1_epi32(static_cast<int>(flat));
#if defined(VXL_SPAN_AVX2)
    if (wideSpans && HasAvx2() && (!textured || int64_t(tx) + (px - x) >= 0)) {
      px = Row8(state, row, texRow, textured ? texture->width : 0, px, right,
                int64_t(tx) + (px - x), diffuse, flat);
    }
#endif
    for (; px + 4 <= right; px += 4) {
      int64_t texX = int64_t(tx) + (px - x);
      __m128i fragment = flat4;
      if (textured) {
        if (texX + 4 > texture->width) break;  // clamped at the right edge: pixel by pixel
        fragment = _mm_loadu_si128(reinterpret_cast<const __m128i*>(texRow + texX));
        // White and opaque modulates every texel to itself.
        if (state.modulate && diffuse != 0xFFFFFFFFu) fragment = Modulate4(fragment, diffuse4);
      }
      __m128i* out = reinterpret_cast<__m128i*>(row + px);
      _mm_storeu_si128(out, Pixels4(state, fragment, _mm_loadu_si128(out)));
    }
#endif
    for (; px < right; ++px)
      PlainPixel(state, fragmentAt(px), row[px]);
  }
}

void BlendFragments(const RasterState& state, const uint32_t* fragments, uint32_t* dst,
                    int32_t count) {
  int32_t i = 0;
#if defined(__SSE2__)
  for (; i + 4 <= count; i += 4) {
    __m128i* out = reinterpret_cast<__m128i*>(dst + i);
    __m128i fragment = _mm_loadu_si128(reinterpret_cast<const __m128i*>(fragments + i));
    _mm_storeu_si128(out, Pixels4(state, fragment, _mm_loadu_si128(out)));
  }
  if (i < count) {  // the last one to three through a four-pixel step of their own
    alignas(16) uint32_t f[4] = {}, d[4] = {};
    const int32_t n = count - i;
    for (int32_t j = 0; j < n; ++j) {
      f[j] = fragments[i + j];
      d[j] = dst[i + j];
    }
    __m128i* out = reinterpret_cast<__m128i*>(d);
    _mm_store_si128(out, Pixels4(state, _mm_load_si128(reinterpret_cast<const __m128i*>(f)),
                                 _mm_load_si128(out)));
    for (int32_t j = 0; j < n; ++j)
      dst[i + j] = d[j];
    return;
  }
#endif
  for (; i < count; ++i)
    PlainPixel(state, fragments[i], dst[i]);
}

}  // namespace vxl::platform::d3d7
