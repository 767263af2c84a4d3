// Bilinear scaling. Compiled with -ffp-contract=off: every product and sum is rounded to single
// precision on its own, so the result is the same on every compiler and processor.
//
// The four channels of a pixel are interpolated together in one SSE register; the row pass of
// each source row is kept while the next output row still needs it. Both give exactly the values
// of the per-channel formula: the operations and their order are the formula's.
#include <emmintrin.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "pixmap/pixmap_ops.h"

namespace vxl {

namespace {

// One axis of the resampling: for each output index, the first and second source index and the
// weight of the second (0 at the edges, where the first stands in for the second).
struct Taps {
  std::vector<int32_t> first, second;
  std::vector<float> weight;
};

Taps AxisTaps(int32_t from, int32_t to) {
  Taps t;
  t.first.resize(to), t.second.resize(to), t.weight.resize(to);
  const float ratio = float(from) / float(to);
  for (int32_t i = 0; i < to; ++i) {
    float s = (float(i) + 0.5f) * ratio - 0.5f;
    float f = std::floor(s);
    int32_t i0 = int32_t(f);
    if (f < 0.0f) {
      t.first[i] = t.second[i] = 0, t.weight[i] = 0.0f;
    } else if (f >= float(from - 1)) {
      t.first[i] = t.second[i] = from - 1, t.weight[i] = 0.0f;
    } else {
      t.first[i] = i0, t.second[i] = i0 + 1, t.weight[i] = s - f;
    }
  }
  return t;
}

// Four channels in one register (a plain struct, so it can sit in a vector).
struct Quad {
  __m128 v;
};

inline __m128 Load(const uint8_t* p) {
  int32_t bytes;
  std::memcpy(&bytes, p, 4);
  __m128i v = _mm_cvtsi32_si128(bytes);
  __m128i zero = _mm_setzero_si128();
  return _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_unpacklo_epi8(v, zero), zero));
}

inline __m128 Lerp(__m128 a, __m128 b, __m128 w) {
  return _mm_add_ps(a, _mm_mul_ps(_mm_sub_ps(b, a), w));
}

// The row pass: top = p0 + (p1 - p0) * fx for every output column of one standard source row.
void RowPass(const uint8_t* row, const Taps& x, std::vector<Quad>& out) {
  for (size_t j = 0; j < out.size(); ++j) {
    out[j].v =
        Lerp(Load(row + 4 * x.first[j]), Load(row + 4 * x.second[j]), _mm_set1_ps(x.weight[j]));
  }
}

}  // namespace

Ref<TPixmap> ScalePixmap(const Ref<TPixmap>& pixmap, int32_t width, int32_t height) {
  Ref<TPixmap> result = TPixmap::Create(width, height, pixmap->format, 4);
  const int32_t sw = pixmap->width, sh = pixmap->height;
  if (width == 0 || height == 0 || sw <= 0 || sh <= 0) return result;

  const Taps x = AxisTaps(sw, width), y = AxisTaps(sh, height);
  const bool standard = pixmap->format == FORMAT_STANDARD;
  std::vector<uint8_t> converted(standard ? 0 : size_t(sw) * 4);
  std::vector<uint8_t> line(size_t(width) * 4);
  // The row passes of the two source rows last used, and which rows they are.
  std::vector<Quad> pass[2] = {std::vector<Quad>(width), std::vector<Quad>(width)};
  int32_t passRow[2] = {-1, -1};

  // The row pass of source row r, computed unless kept; the pass of row `keep` stays.
  auto rowPass = [&](int32_t r, int32_t keep) -> const std::vector<Quad>& {
    for (int k = 0; k < 2; ++k)
      if (passRow[k] == r) return pass[k];
    int k = passRow[0] == keep ? 1 : 0;
    const uint8_t* src = pixmap->PixelPtr(0, r);
    if (!standard) {
      PixelsToStandard(src, converted.data(), pixmap->format, sw);
      src = converted.data();
    }
    RowPass(src, x, pass[k]);
    passRow[k] = r;
    return pass[k];
  };

  for (int32_t i = 0; i < height; ++i) {
    const std::vector<Quad>& top = rowPass(y.first[i], -1);
    const std::vector<Quad>& bottom = rowPass(y.second[i], y.first[i]);
    const __m128 fy = _mm_set1_ps(y.weight[i]);
    uint8_t* out = standard ? result->PixelPtr(0, i) : line.data();
    int32_t j = 0;
    for (; j + 4 <= width; j += 4) {
      __m128i v0 = _mm_cvttps_epi32(Lerp(top[j].v, bottom[j].v, fy));
      __m128i v1 = _mm_cvttps_epi32(Lerp(top[j + 1].v, bottom[j + 1].v, fy));
      __m128i v2 = _mm_cvttps_epi32(Lerp(top[j + 2].v, bottom[j + 2].v, fy));
      __m128i v3 = _mm_cvttps_epi32(Lerp(top[j + 3].v, bottom[j + 3].v, fy));
      __m128i packed = _mm_packus_epi16(_mm_packs_epi32(v0, v1), _mm_packs_epi32(v2, v3));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * j), packed);
    }
    for (; j < width; ++j) {
      __m128i v = _mm_cvttps_epi32(Lerp(top[j].v, bottom[j].v, fy));
      v = _mm_packus_epi16(_mm_packs_epi32(v, v), v);
      int32_t bytes = _mm_cvtsi128_si32(v);
      std::memcpy(out + 4 * j, &bytes, 4);
    }
    if (!standard) PixelsFromStandard(line.data(), result->PixelPtr(0, i), pixmap->format, width);
  }
  return result;
}

}  // namespace vxl
