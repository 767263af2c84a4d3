// Pixel runs between formats. The plain loops are the definition; the byte-shuffling kernels
// below compute the same bytes for the pairs that texture uploads and loaders use most, on
// processors that have SSSE3 (checked once at run time).
#include <immintrin.h>

#include <cstring>

#include "pixmap/pixel_format.h"
#include "platform/cpu/cpu_id.h"

namespace vxl {

namespace {

// Pixels converted at a time through the standard format.
constexpr int32_t kChunk = 512;
// Converted images at least this large are written past the caches: they would not stay there.
constexpr int64_t kStreamBytes = 4 << 20;

void ToStandard(const uint8_t* s, uint8_t* d, int32_t format, int32_t n) {
  auto put = [&d](uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    d[0] = r;
    d[1] = g;
    d[2] = b;
    d[3] = a;
    d += 4;
  };
  switch (format) {
    case FORMAT_GREY8:
    case FORMAT_LUMINANCE8:
      for (int32_t i = 0; i < n; ++i)
        put(s[i], s[i], s[i], 255);
      break;
    case FORMAT_ALPHA8:
      for (int32_t i = 0; i < n; ++i)
        put(255, 255, 255, s[i]);
      break;
    case FORMAT_BGR24:
      for (int32_t i = 0; i < n; ++i, s += 3)
        put(s[2], s[1], s[0], 255);
      break;
    case FORMAT_RGB24:
      for (int32_t i = 0; i < n; ++i, s += 3)
        put(s[0], s[1], s[2], 255);
      break;
    case FORMAT_BGRA32:
      for (int32_t i = 0; i < n; ++i, s += 4)
        put(s[2], s[1], s[0], s[3]);
      break;
    case FORMAT_RGBA32:
      std::memcpy(d, s, size_t(n) * 4);
      break;
    case FORMAT_RED8:
      for (int32_t i = 0; i < n; ++i)
        put(s[i], 0, 0, 255);
      break;
    case FORMAT_GREEN8:
      for (int32_t i = 0; i < n; ++i)
        put(0, s[i], 0, 255);
      break;
    case FORMAT_BLUE8:
      for (int32_t i = 0; i < n; ++i)
        put(0, 0, s[i], 255);
      break;
    case FORMAT_SHADOW8:
      for (int32_t i = 0; i < n; ++i)
        put(0, 0, 0, s[i]);
      break;
    case FORMAT_INTENSITY8:
      for (int32_t i = 0; i < n; ++i)
        put(s[i], s[i], s[i], s[i]);
      break;
    default:  // no format: no colour, so nothing stale reaches a converted image
      std::memset(d, 0, size_t(n) * 4);
      break;
  }
}

void FromStandard(const uint8_t* s, uint8_t* d, int32_t format, int32_t n) {
  switch (format) {
    case FORMAT_GREY8:
    case FORMAT_LUMINANCE8:
      for (int32_t i = 0; i < n; ++i, s += 4)
        d[i] = uint8_t((s[0] + s[1] + s[2]) / 3);
      break;
    case FORMAT_ALPHA8:
    case FORMAT_SHADOW8:
      for (int32_t i = 0; i < n; ++i)
        d[i] = s[4 * i + 3];
      break;
    case FORMAT_BGR24:
      for (int32_t i = 0; i < n; ++i, s += 4, d += 3) {
        d[0] = s[2];
        d[1] = s[1];
        d[2] = s[0];
      }
      break;
    case FORMAT_RGB24:
      for (int32_t i = 0; i < n; ++i, s += 4, d += 3) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
      }
      break;
    case FORMAT_BGRA32:
      for (int32_t i = 0; i < n; ++i, s += 4, d += 4) {
        d[0] = s[2];
        d[1] = s[1];
        d[2] = s[0];
        d[3] = s[3];
      }
      break;
    case FORMAT_RGBA32:
      std::memcpy(d, s, size_t(n) * 4);
      break;
    case FORMAT_RED8:
    case FORMAT_GREEN8:
    case FORMAT_BLUE8:
      for (int32_t i = 0, c = format - FORMAT_RED8; i < n; ++i)
        d[i] = s[4 * i + c];
      break;
    case FORMAT_INTENSITY8:
      for (int32_t i = 0; i < n; ++i, s += 4)
        d[i] = uint8_t((s[0] + s[1] + s[2] + s[3]) >> 2);
      break;
    default:
      break;
  }
}

// SSSE3 kernels
// Each handles a multiple of 4 or 16 pixels and returns how many it did; the caller finishes the
// rest with the plain loops. `order` holds, for each output channel, the input byte it takes. With
// Stream set (and `d` 16-byte aligned) the stores bypass the caches, as a bulk copy's do.

template <bool Stream>
__attribute__((target("ssse3"))) inline void Store(uint8_t* d, __m128i v) {
  if constexpr (Stream) {
    _mm_stream_si128(reinterpret_cast<__m128i*>(d), v);
  } else {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), v);
  }
}

template <bool Stream>
__attribute__((target("ssse3"))) int32_t Shuffle3To4(const uint8_t* s, uint8_t* d, int32_t n,
                                                     const int8_t order[3]) {
  const __m128i mask = _mm_setr_epi8(order[0], order[1], order[2], -1, order[0] + 3, order[1] + 3,
                                     order[2] + 3, -1, order[0] + 6, order[1] + 6, order[2] + 6, -1,
                                     order[0] + 9, order[1] + 9, order[2] + 9, -1);
  const __m128i alpha = _mm_set1_epi32(int32_t(0xFF000000u));
  int32_t i = 0;
  for (; i + 16 <= n; i += 16, s += 48, d += 64) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
    __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 32));
    __m128i p0 = _mm_shuffle_epi8(a, mask);
    __m128i p1 = _mm_shuffle_epi8(_mm_alignr_epi8(b, a, 12), mask);
    __m128i p2 = _mm_shuffle_epi8(_mm_alignr_epi8(c, b, 8), mask);
    __m128i p3 = _mm_shuffle_epi8(_mm_srli_si128(c, 4), mask);
    Store<Stream>(d, _mm_or_si128(p0, alpha));
    Store<Stream>(d + 16, _mm_or_si128(p1, alpha));
    Store<Stream>(d + 32, _mm_or_si128(p2, alpha));
    Store<Stream>(d + 48, _mm_or_si128(p3, alpha));
  }
  return i;
}

template <bool Stream>
__attribute__((target("ssse3"))) int32_t Shuffle4To4(const uint8_t* s, uint8_t* d, int32_t n,
                                                     const int8_t order[3]) {
  const __m128i mask = _mm_setr_epi8(order[0], order[1], order[2], 3, order[0] + 4, order[1] + 4,
                                     order[2] + 4, 7, order[0] + 8, order[1] + 8, order[2] + 8, 11,
                                     order[0] + 12, order[1] + 12, order[2] + 12, 15);
  int32_t i = 0;
  for (; i + 4 <= n; i += 4, s += 16, d += 16) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    Store<Stream>(d, _mm_shuffle_epi8(a, mask));
  }
  return i;
}

template <bool Stream>
__attribute__((target("ssse3"))) int32_t Shuffle4To3(const uint8_t* s, uint8_t* d, int32_t n,
                                                     const int8_t order[3]) {
  const __m128i mask = _mm_setr_epi8(order[0], order[1], order[2], order[0] + 4, order[1] + 4,
                                     order[2] + 4, order[0] + 8, order[1] + 8, order[2] + 8,
                                     order[0] + 12, order[1] + 12, order[2] + 12, -1, -1, -1, -1);
  int32_t i = 0;
  for (; i + 16 <= n; i += 16, s += 64, d += 48) {
    __m128i p0 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)), mask);
    __m128i p1 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16)), mask);
    __m128i p2 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 32)), mask);
    __m128i p3 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 48)), mask);
    Store<Stream>(d, _mm_or_si128(p0, _mm_slli_si128(p1, 12)));
    Store<Stream>(d + 16, _mm_or_si128(_mm_srli_si128(p1, 4), _mm_slli_si128(p2, 8)));
    Store<Stream>(d + 32, _mm_or_si128(_mm_srli_si128(p2, 8), _mm_slli_si128(p3, 4)));
  }
  return i;
}

// Sixteen pixels (48 bytes, three registers) per step: each output register gathers its bytes from
// the input registers they lie in. All three are loaded before any is stored, so this also works
// in place (s == d).
__attribute__((target("ssse3"))) int32_t Shuffle3To3(const uint8_t* s, uint8_t* d, int32_t n,
                                                     const int8_t order[3]) {
  alignas(16) int8_t masks[3][3][16];  // [output register][input register][byte]
  for (int k = 0; k < 48; ++k) {
    int from = k / 3 * 3 + order[k % 3];
    for (int in = 0; in < 3; ++in)
      masks[k / 16][in][k % 16] = int8_t(from / 16 == in ? from % 16 : -1);
  }
  // The small loops are unrolled whole so that the nine masks stay in registers (without the
  // pragmas -O2 keeps them in memory and the kernel runs at half speed).
  __m128i m[3][3];
#pragma GCC unroll 3
  for (int out = 0; out < 3; ++out)
#pragma GCC unroll 3
    for (int in = 0; in < 3; ++in)
      m[out][in] = _mm_load_si128(reinterpret_cast<const __m128i*>(masks[out][in]));
  int32_t i = 0;
  for (; i + 16 <= n; i += 16, s += 48, d += 48) {
    __m128i v[3] = {_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)),
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16)),
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 32))};
    __m128i r[3];
#pragma GCC unroll 3
    for (int out = 0; out < 3; ++out)
      r[out] = _mm_or_si128(
          _mm_or_si128(_mm_shuffle_epi8(v[0], m[out][0]), _mm_shuffle_epi8(v[1], m[out][1])),
          _mm_shuffle_epi8(v[2], m[out][2]));
#pragma GCC unroll 3
    for (int out = 0; out < 3; ++out)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16 * out), r[out]);
  }
  return i;
}

bool HaveSsse3() {
  return platform::cpu::Get().ssse3;
}

// Colour channel order of a 3- or 4-byte format: the input byte of red, green and blue.
const int8_t kRgbOrder[3] = {0, 1, 2};
const int8_t kBgrOrder[3] = {2, 1, 0};

bool IsColour3(int32_t f) {
  return f == FORMAT_RGB24 || f == FORMAT_BGR24;
}
bool IsColour4(int32_t f) {
  return f == FORMAT_RGBA32 || f == FORMAT_BGRA32;
}
bool RedFirst(int32_t f) {
  return f == FORMAT_RGB24 || f == FORMAT_RGBA32;
}

// Conversions among the four 3- and 4-byte colour formats are byte moves: every channel keeps its
// value, alpha becomes 255 when it is added and is dropped when it is removed. Returns false for
// any other pair.
bool MoveColourBytes(const uint8_t* s, int32_t sf, uint8_t* d, int32_t df, int32_t n,
                     bool stream = false) {
  int32_t sb = IsColour3(sf) ? 3 : IsColour4(sf) ? 4 : 0;
  int32_t db = IsColour3(df) ? 3 : IsColour4(df) ? 4 : 0;
  if (sb == 0 || db == 0) return false;
  const int8_t* order = RedFirst(sf) == RedFirst(df) ? kRgbOrder : kBgrOrder;
  int32_t done = 0;
  if (HaveSsse3()) {
    stream = stream && reinterpret_cast<uintptr_t>(d) % 16 == 0;
    if (sb == 3 && db == 4)
      done = stream ? Shuffle3To4<true>(s, d, n, order) : Shuffle3To4<false>(s, d, n, order);
    if (sb == 4 && db == 4)
      done = stream ? Shuffle4To4<true>(s, d, n, order) : Shuffle4To4<false>(s, d, n, order);
    if (sb == 4 && db == 3)
      done = stream ? Shuffle4To3<true>(s, d, n, order) : Shuffle4To3<false>(s, d, n, order);
    if (sb == 3 && db == 3) done = Shuffle3To3(s, d, n, order);
  }
  s += done * sb;
  d += done * db;
  for (int32_t i = done; i < n; ++i, s += sb, d += db) {
    uint8_t c0 = s[order[0]], c1 = s[order[1]], c2 = s[order[2]];
    d[0] = c0;
    d[1] = c1;
    d[2] = c2;
    if (db == 4) d[3] = sb == 4 ? s[3] : 255;
  }
  return true;
}

}  // namespace

void CopyPixelRun(const uint8_t* src, uint8_t* dst, int32_t format, int32_t count) {
  if (count > 0) std::memmove(dst, src, size_t(count) * size_t(FormatBytes[format]));
}

void PixelsToStandard(const uint8_t* src, uint8_t* dst, int32_t format, int32_t count) {
  if (MoveColourBytes(src, format, dst, FORMAT_RGBA32, count)) return;
  ToStandard(src, dst, format, count);
}

void PixelsFromStandard(const uint8_t* src, uint8_t* dst, int32_t format, int32_t count) {
  if (MoveColourBytes(src, FORMAT_RGBA32, dst, format, count)) return;
  FromStandard(src, dst, format, count);
}

void TranslatePixels(const uint8_t* src, int32_t srcFormat, uint8_t* dst, int32_t dstFormat,
                     int32_t count) {
  if (srcFormat == dstFormat) return CopyPixelRun(src, dst, srcFormat, count);
  if (srcFormat == FORMAT_STANDARD) return PixelsFromStandard(src, dst, dstFormat, count);
  if (dstFormat == FORMAT_STANDARD) return PixelsToStandard(src, dst, srcFormat, count);
  if (MoveColourBytes(src, srcFormat, dst, dstFormat, count)) return;
  alignas(16) uint8_t standard[kChunk * 4];
  for (int32_t done = 0; done < count; done += kChunk) {
    int32_t n = count - done < kChunk ? count - done : kChunk;
    ToStandard(src + size_t(done) * FormatBytes[srcFormat], standard, srcFormat, n);
    FromStandard(standard, dst + size_t(done) * FormatBytes[dstFormat], dstFormat, n);
  }
}

void TranslatePixelRows(const uint8_t* src, int32_t srcPitch, int32_t srcFormat, uint8_t* dst,
                        int32_t dstPitch, int32_t dstFormat, int32_t width, int32_t height) {
  const bool stream = int64_t(width) * FormatBytes[dstFormat] * height >= kStreamBytes &&
                      srcFormat != dstFormat && HaveSsse3();
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* s = src + int64_t(y) * srcPitch;
    uint8_t* d = dst + int64_t(y) * dstPitch;
    if (!stream || !MoveColourBytes(s, srcFormat, d, dstFormat, width, true))
      TranslatePixels(s, srcFormat, d, dstFormat, width);
  }
  if (stream) _mm_sfence();  // the bypassing stores are seen before anything written after
}

}  // namespace vxl
