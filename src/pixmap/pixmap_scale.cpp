// Bilinear scaling. Compiled with -ffp-contract=off: every product and sum is rounded to single
// precision on its own, so the result is the same on every compiler and processor.
//
// The four channels of a pixel are interpolated together in one SSE register, or two pixels in one
// AVX2 register where the processor has it; the row pass of each source row is kept while the
// next output row still needs it. All give exactly the values of the per-channel formula: the
// operations and their order are the formula's.
#include <immintrin.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "pixmap/pixmap_ops.h"
#include "runtime/cpu_features.h"

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

// The row pass: top = p0 + (p1 - p0) * fx for output columns [from, out.size()) of one standard
// source row.
void RowPass(const uint8_t* row, const Taps& x, std::vector<Quad>& out, size_t from = 0) {
  for (size_t j = from; j < out.size(); ++j) {
    out[j].v =
        Lerp(Load(row + 4 * x.first[j]), Load(row + 4 * x.second[j]), _mm_set1_ps(x.weight[j]));
  }
}

// The column pass of output columns [from, width): top + (bottom - top) * fy, truncated and
// saturated to bytes.
void ColumnPass(const Quad* top, const Quad* bottom, __m128 fy, uint8_t* out, int32_t width,
                int32_t from = 0) {
  int32_t j = from;
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
}

// AVX2: two pixels per register, the same operations lane by lane

#define VXL_AVX2 __attribute__((target("avx2")))

VXL_AVX2 inline __m256 Lerp8(__m256 a, __m256 b, __m256 w) {
  return _mm256_add_ps(a, _mm256_mul_ps(_mm256_sub_ps(b, a), w));
}

VXL_AVX2 inline int32_t Bytes4(const uint8_t* p) {
  int32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

VXL_AVX2 void RowPassAvx2(const uint8_t* row, const Taps& x, std::vector<Quad>& out) {
  const size_t n = out.size();
  size_t j = 0;
  for (; j + 2 <= n; j += 2) {
    // first[j], first[j + 1], second[j], second[j + 1]: one register of bytes, widened by halves.
    __m128i px = _mm_setr_epi32(Bytes4(row + 4 * x.first[j]), Bytes4(row + 4 * x.first[j + 1]),
                                Bytes4(row + 4 * x.second[j]), Bytes4(row + 4 * x.second[j + 1]));
    __m256 p0 = _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(px));
    __m256 p1 = _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(_mm_unpackhi_epi64(px, px)));
    __m256 w = _mm256_set_m128(_mm_set1_ps(x.weight[j + 1]), _mm_set1_ps(x.weight[j]));
    _mm256_storeu_ps(reinterpret_cast<float*>(&out[j]), Lerp8(p0, p1, w));
  }
  RowPass(row, x, out, j);
}

VXL_AVX2 inline __m256i Column2(const Quad* top, const Quad* bottom, __m256 fy) {
  __m256 t = _mm256_loadu_ps(reinterpret_cast<const float*>(top));
  __m256 b = _mm256_loadu_ps(reinterpret_cast<const float*>(bottom));
  return _mm256_cvttps_epi32(Lerp8(t, b, fy));
}

VXL_AVX2 void ColumnPassAvx2(const Quad* top, const Quad* bottom, float weight, uint8_t* out,
                             int32_t width) {
  const __m256 fy = _mm256_set1_ps(weight);
  // The packs work within each 128-bit half: pixels 0 2 4 6 | 1 3 5 7 come out, and are put back
  // in order by one permutation.
  const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  int32_t j = 0;
  for (; j + 8 <= width; j += 8) {
    __m256i v01 = Column2(top + j, bottom + j, fy), v23 = Column2(top + j + 2, bottom + j + 2, fy);
    __m256i v45 = Column2(top + j + 4, bottom + j + 4, fy);
    __m256i v67 = Column2(top + j + 6, bottom + j + 6, fy);
    __m256i packed =
        _mm256_packus_epi16(_mm256_packs_epi32(v01, v23), _mm256_packs_epi32(v45, v67));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * j),
                        _mm256_permutevar8x32_epi32(packed, order));
  }
  ColumnPass(top, bottom, _mm_set1_ps(weight), out, width, j);
}

#undef VXL_AVX2

}  // namespace

Ref<TPixmap> ScalePixmap(const Ref<TPixmap>& pixmap, int32_t width, int32_t height) {
  Ref<TPixmap> result = TPixmap::Create(width, height, pixmap->format, 4);
  const int32_t sw = pixmap->width, sh = pixmap->height;
  if (width == 0 || height == 0 || sw <= 0 || sh <= 0) return result;

  const Taps x = AxisTaps(sw, width), y = AxisTaps(sh, height);
  const bool standard = pixmap->format == FORMAT_STANDARD;
  const bool avx2 = SimdLevel() >= kSimdAvx2;
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
    if (avx2)
      RowPassAvx2(src, x, pass[k]);
    else
      RowPass(src, x, pass[k]);
    passRow[k] = r;
    return pass[k];
  };

  for (int32_t i = 0; i < height; ++i) {
    const std::vector<Quad>& top = rowPass(y.first[i], -1);
    const std::vector<Quad>& bottom = rowPass(y.second[i], y.first[i]);
    uint8_t* out = standard ? result->PixelPtr(0, i) : line.data();
    if (avx2)
      ColumnPassAvx2(top.data(), bottom.data(), y.weight[i], out, width);
    else
      ColumnPass(top.data(), bottom.data(), _mm_set1_ps(y.weight[i]), out, width);
    if (!standard) PixelsFromStandard(line.data(), result->PixelPtr(0, i), pixmap->format, width);
  }
  return result;
}

}  // namespace vxl
