#include "audio/tonmix/mixer.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include <immintrin.h>

#include "runtime/cpu_features.h"

namespace vxl::tonmix {

sampledata* NewSampleData(int32_t length, int32_t bits, int32_t channels, int32_t hertz,
                          const void* data, int32_t loop) {
  if ((bits != 8 && bits != 16) || (channels != 1 && channels != 2) || length < 0) return nullptr;
  const int32_t frameBytes = channels * bits / 8;
  // Positions count sample values in 32 bits: keep every value index (guard frame included) there.
  if (int64_t(length) + 1 > std::numeric_limits<int32_t>::max() / frameBytes) return nullptr;
  auto* r = new sampledata;
  r->hertz = hertz;
  r->channels = channels;
  r->bits = bits;
  r->bytesPerFrame = frameBytes;
  r->length = length;
  r->dataSize = length * frameBytes;
  r->loop = loop ? -1 : 0;
  r->owned = (length + 1) * frameBytes;
  r->data = new uint8_t[r->owned];
  if (length > 0 && data) std::memcpy(r->data, data, r->dataSize);
  if (length > 0 && !data) std::memset(r->data, bits == 8 ? 128 : 0, r->dataSize);
  uint8_t* guard = r->data + r->dataSize;
  if (length == 0) {
    std::memset(guard, bits == 8 ? 128 : 0, frameBytes);
  } else {
    std::memcpy(guard, r->loop ? r->data : guard - frameBytes, frameBytes);
  }
  r->writeCursor = length;
  r->write = guard;
  return r;
}

void ReleaseSampleData(sampledata* r) {
  if (r && r->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    delete[] r->data;
    delete r;
  }
}

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
bool IsPaused(const sound& v) {
  return (v.status.load(kRelaxed) & kPaused) != 0;
}
}  // namespace

void sound::SetRate(int32_t r) {
  targetRate.store(r, kRelaxed);
  if (IsPaused(*this)) rate.store(r, kRelaxed);
}
void sound::SetVolume(int16_t v) {
  targetVolume.store(v, kRelaxed);
  if (IsPaused(*this)) volume.store(v, kRelaxed);
}
void sound::SetPan(int16_t p) {
  targetPan.store(p, kRelaxed);
  if (IsPaused(*this)) pan.store(p, kRelaxed);
}
void sound::SetDepth(int16_t d) {
  targetDepth.store(d, kRelaxed);
}
int32_t sound::GetRate(int32_t target) {
  return (target ? targetRate : rate).load(kRelaxed);
}
int16_t sound::GetVolume(int32_t target) {
  return (target ? targetVolume : volume).load(kRelaxed);
}
int16_t sound::GetPan(int32_t target) {
  return (target ? targetPan : pan).load(kRelaxed);
}
int16_t sound::GetDepth(int32_t target) {
  return (target ? targetDepth : depth).load(kRelaxed);
}
int32_t sound::Position() {
  int32_t values = static_cast<int32_t>(total.load(kRelaxed) >> 32);
  return channels > 0 ? static_cast<int32_t>(uint32_t(values) / uint32_t(channels)) : 0;
}

// Mixing one voice

namespace {

// 32-bit accumulation that wraps instead of overflowing.
inline void Add(int32_t& acc, int32_t x) {
  acc = static_cast<int32_t>(static_cast<uint32_t>(acc) + static_cast<uint32_t>(x));
}

struct Gains {
  int32_t left, right;
};

inline Gains GainsOf(int32_t v, int32_t pan, int32_t depth) {
  Gains g{v, v};
  if (pan > 0) g.left = (v * (4096 - pan)) >> 12;
  if (pan < 0) g.right = (v * (pan + 4096)) >> 12;
  if (depth < 0) g.right = -g.right;
  return g;
}

// The sample value(s) at a position, by width and channel count.
template <int Bits>
inline int32_t Interpolate(const uint8_t* d, uint32_t i, uint32_t next, uint32_t frac) {
  if constexpr (Bits == 8) {
    int32_t a = d[i], b = d[i + next];
    return a * 256 - 32768 + (((b - a) * int32_t(frac)) >> 8);
  } else {
    const int16_t* w = reinterpret_cast<const int16_t*>(d);
    int32_t a = w[i], b = w[i + next];
    return a + static_cast<int32_t>((int64_t(b - a) * frac) >> 16);
  }
}

// A mono value and its successor with one load (this platform is little-endian; the guard frame
// keeps the second inside the record).
template <int Bits>
inline int32_t InterpolateMono(const uint8_t* d, uint32_t i, uint32_t frac) {
  if constexpr (Bits == 8) {
    uint16_t pair;
    std::memcpy(&pair, d + i, 2);
    int32_t a = pair & 0xFF, b = pair >> 8;
    return a * 256 - 32768 + (((b - a) * int32_t(frac)) >> 8);
  } else {
    int32_t pair;
    std::memcpy(&pair, d + 2 * size_t(i), 4);
    int32_t a = static_cast<int16_t>(pair), b = pair >> 16;
    return a + static_cast<int32_t>((int64_t(b - a) * frac) >> 16);
  }
}

// The left and right values at a position (the same value twice for mono).
template <int Bits, int Channels>
inline void Values(const uint8_t* d, uint64_t pos, int32_t& left, int32_t& right) {
  uint32_t ip = static_cast<uint32_t>(pos >> 32);
  uint32_t frac = static_cast<uint32_t>(pos >> 16) & 0xFFFF;
  if constexpr (Channels == 1) {
    left = right = InterpolateMono<Bits>(d, ip, frac);
  } else {
    uint32_t pair = ip & ~1u;
    uint32_t f = (((ip & 1) << 16) + frac) >> 1;
    left = Interpolate<Bits>(d, pair, 2, f);
    right = Interpolate<Bits>(d, pair + 1, 2, f);
  }
}

template <int Bits, int Channels>
inline void MixFrame(const uint8_t* d, uint64_t pos, int32_t* acc, Gains g) {
  int32_t left, right;
  Values<Bits, Channels>(d, pos, left, right);
  // 64-bit products: a pan far outside -1 .. 1 makes a gain wider than 16 bits.
  Add(acc[0], static_cast<int32_t>((int64_t(left) * g.left) >> 8));
  Add(acc[1], static_cast<int32_t>((int64_t(right) * g.right) >> 8));
}

// AVX2: eight frames of a 16-bit voice per step
// The same integer operations as Values and MixFrame, lane by lane. The 16.16 interpolation
// (b - a) * frac >> 16 needs 33 bits; it is taken in two 8-bit halves of frac, which gives the
// same floor: (d * fh + (d * fl >> 8)) >> 8.

#define VXL_AVX2 __attribute__((target("avx2")))

// Lane k of the eight-frame vectors holds frame kLaneFrame[k]: unpacking two of them (left with
// right, or a mono value with itself) then gives frames 0-3 and 4-7 in output order without
// moving values across the 128-bit halves.
constexpr int32_t kLaneFrame[8] = {0, 1, 4, 5, 2, 3, 6, 7};

// The positions of eight frames from a start p, in 1/65536 values past p's whole value `base`
// in 32-bit lanes (a step's low 16 bits are zero, so the bits of p below those play no part), and
// frame 0's beside them in a scalar. Fit(n, step) tells whether n frames from p stay in range.
struct Positions {
  __m256i rel, advance;
  uint32_t base, relFirst, advanceFirst;

  static bool Fit(int32_t n, uint64_t step) {
    return (step & 0xFFFF) == 0 && (step >> 16) < (uint64_t(1) << 27) &&
           uint64_t(n) * (step >> 16) + 0x10000 < (uint64_t(1) << 31);
  }
  VXL_AVX2 Positions(uint64_t p, uint64_t step) {
    const uint32_t step16 = uint32_t(step >> 16), start = uint32_t(p >> 16) & 0xFFFF;
    alignas(32) uint32_t lanes[8];
    for (int k = 0; k < 8; ++k)
      lanes[k] = start + uint32_t(kLaneFrame[k]) * step16;
    rel = _mm256_load_si256(reinterpret_cast<const __m256i*>(lanes));
    advance = _mm256_set1_epi32(int32_t(8 * step16));
    base = uint32_t(p >> 32);
    relFirst = start;
    advanceFirst = 8 * step16;
  }
  // Whole values past base, and the 16-bit fractions used for interpolation.
  VXL_AVX2 __m256i Whole() const { return _mm256_srli_epi32(rel, 16); }
  VXL_AVX2 __m256i Frac16() const { return _mm256_and_si256(rel, _mm256_set1_epi32(0xFFFF)); }
  // Frame 0's whole value index.
  uint32_t First() const { return base + (relFirst >> 16); }
  VXL_AVX2 void Advance() {
    rel = _mm256_add_epi32(rel, advance);
    relFirst += advanceFirst;
  }
};

// a + (d * frac >> 16), d being the step to the next value.
VXL_AVX2 inline __m256i LerpStep16(__m256i a, __m256i d, __m256i frac) {
  __m256i high = _mm256_mullo_epi32(d, _mm256_srli_epi32(frac, 8));
  __m256i low =
      _mm256_srai_epi32(_mm256_mullo_epi32(d, _mm256_and_si256(frac, _mm256_set1_epi32(0xFF))), 8);
  return _mm256_add_epi32(a, _mm256_srai_epi32(_mm256_add_epi32(high, low), 8));
}

VXL_AVX2 inline __m256i Lerp16(__m256i a, __m256i b, __m256i frac) {
  return LerpStep16(a, _mm256_sub_epi32(b, a), frac);
}

VXL_AVX2 inline __m256i Low16(__m256i v) {
  return _mm256_srai_epi32(_mm256_slli_epi32(v, 16), 16);
}

// The values of type T at bytes d + scale x index[k] for the lanes k = first ...: eight 32-bit or
// four 64-bit ones. Plain loads: the gather instruction is slower than they are on processors
// that guard it against leaking data.
template <class T>
VXL_AVX2 inline __m256i LoadAt(const uint8_t* d, __m256i index, int scale, int first = 0) {
  alignas(32) uint32_t at[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(at), index);
  alignas(32) T v[32 / sizeof(T)];
  for (size_t k = 0; k < 32 / sizeof(T); ++k)
    std::memcpy(&v[k], d + size_t(scale) * at[first + k], sizeof(T));
  return _mm256_load_si256(reinterpret_cast<const __m256i*>(v));
}

// Adds (left x gain >> 8, right x gain >> 8) of eight frames to acc[0 .. 15]. The gains come
// interleaved (left, right) for frames 0-1 | 2-3 and 4-5 | 6-7 in the low 16 bits of each 32-bit
// lane, the high bits clear: one 16-bit multiply-add per product (every value fits 16 bits).
VXL_AVX2 inline void Accumulate(int32_t* acc, __m256i left, __m256i right, __m256i gainsLow,
                                __m256i gainsHigh) {
  __m256i lo = _mm256_unpacklo_epi32(left, right), hi = _mm256_unpackhi_epi32(left, right);
  lo = _mm256_srai_epi32(_mm256_madd_epi16(lo, gainsLow), 8);
  hi = _mm256_srai_epi32(_mm256_madd_epi16(hi, gainsHigh), 8);
  __m256i* o = reinterpret_cast<__m256i*>(acc);
  _mm256_storeu_si256(o, _mm256_add_epi32(_mm256_loadu_si256(o), lo));
  _mm256_storeu_si256(o + 1, _mm256_add_epi32(_mm256_loadu_si256(o + 1), hi));
}

// A volume ramp within a block: the 8.8 volume of the next frame and its change per frame, with
// the pan and depth that turn it into gains.
struct VolumeRamp {
  int32_t vol, volInc, pan, depth;
};

// The gains of eight frames whose volumes are vol >> 8, as GainsOf gives them, interleaved for
// Accumulate.
VXL_AVX2 inline void RampGains(__m256i vol, const VolumeRamp& r, __m256i& gainsLow,
                               __m256i& gainsHigh) {
  __m256i v = _mm256_srai_epi32(vol, 8);
  __m256i gl =
      r.pan > 0 ? _mm256_srai_epi32(_mm256_mullo_epi32(v, _mm256_set1_epi32(4096 - r.pan)), 12) : v;
  __m256i gr =
      r.pan < 0 ? _mm256_srai_epi32(_mm256_mullo_epi32(v, _mm256_set1_epi32(r.pan + 4096)), 12) : v;
  if (r.depth < 0) gr = _mm256_sub_epi32(_mm256_setzero_si256(), gr);
  const __m256i low16 = _mm256_set1_epi32(0xFFFF);
  gainsLow = _mm256_and_si256(_mm256_unpacklo_epi32(gl, gr), low16);
  gainsHigh = _mm256_and_si256(_mm256_unpackhi_epi32(gl, gr), low16);
}

// The 32-bit values at dword `half` (0 ... 15) of the 16 from `at`; `upper` marks half >= 8.
VXL_AVX2 inline __m256i DwordsAt(const int16_t* at, __m256i half, __m256i upper) {
  __m256i low =
      _mm256_permutevar8x32_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)), half);
  __m256i high = _mm256_permutevar8x32_epi32(
      _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 16)), half);
  return _mm256_blendv_epi8(low, high, upper);
}

// The 32-bit pairs (value, successor) at the value offsets `offset` (0 ... 25) from w, from four
// loads of the 33 values from w, each pair taken from the loads where it starts on a 4-byte
// boundary.
VXL_AVX2 inline __m256i PairsInWideWindow(const int16_t* w, __m256i offset) {
  __m256i half = _mm256_srli_epi32(offset, 1);
  __m256i upper = _mm256_cmpgt_epi32(half, _mm256_set1_epi32(7));
  __m256i isOdd =
      _mm256_sub_epi32(_mm256_setzero_si256(), _mm256_and_si256(offset, _mm256_set1_epi32(1)));
  return _mm256_blendv_epi8(DwordsAt(w, half, upper), DwordsAt(w + 1, half, upper), isOdd);
}

// Mixes whole groups of eight of the n frames from position p into acc (gains within 16 bits
// throughout; `end` values in the record); returns the frames done, with p (and the ramp's
// volume) moved past them.
template <int Channels, bool Ramp>
VXL_AVX2 int32_t MixSteady16Avx2(const uint8_t* d, int32_t* acc, int32_t n, uint64_t& p,
                                 uint64_t step, uint64_t end, Gains g, VolumeRamp& ramp) {
  __m256i gainsLow = _mm256_set1_epi64x(
      int64_t(uint64_t(uint32_t(g.right) & 0xFFFF) << 32 | (uint32_t(g.left) & 0xFFFF)));
  __m256i gainsHigh = gainsLow;
  alignas(32) int32_t laneVolume[8];
  for (int k = 0; k < 8; ++k)
    laneVolume[k] = ramp.vol + kLaneFrame[k] * ramp.volInc;
  __m256i vol = _mm256_load_si256(reinterpret_cast<const __m256i*>(laneVolume));
  const __m256i volStep = _mm256_set1_epi32(8 * ramp.volInc);
  const __m256i one = _mm256_set1_epi32(1);
  if (!Positions::Fit(n, step)) return 0;
  Positions at(p, step);
  const __m256i base = _mm256_set1_epi32(int32_t(at.base));
  const bool narrow = step <= (uint64_t(7) << 30);  // 1.75 values per frame
  const bool wide = step <= (uint64_t(7) << 31);    // 3.5
  int32_t f = 0;
  for (; f + 8 <= n; f += 8, acc += 16) {
    if constexpr (Ramp) {
      RampGains(vol, ramp, gainsLow, gainsHigh);
      vol = _mm256_add_epi32(vol, volStep);
    }
    const __m256i whole = at.Whole(), frac = at.Frac16();
    const uint32_t first = at.First();
    at.Advance();
    if constexpr (Channels == 1) {
      // Each value with its successor. Eight frames a step of at most 1.75 values apart lie in
      // the 17 values from the first: two loads of that window, each position's pair picked
      // from the one where it starts on a 4-byte boundary. At most 3.5 apart they lie in 33.
      const int16_t* w = reinterpret_cast<const int16_t*>(d) + first;
      __m256i offset =
          _mm256_sub_epi32(whole, _mm256_permutevar8x32_epi32(whole, _mm256_setzero_si256()));
      __m256i pairs;
      if (narrow && uint64_t(first) + 17 <= end) {
        __m256i half = _mm256_srli_epi32(offset, 1);
        __m256i even = _mm256_permutevar8x32_epi32(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w)), half);
        __m256i odd = _mm256_permutevar8x32_epi32(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + 1)), half);
        // An odd offset (its low bit moved to the sign) takes the pair from the second load.
        pairs = _mm256_castps_si256(
            _mm256_blendv_ps(_mm256_castsi256_ps(even), _mm256_castsi256_ps(odd),
                             _mm256_castsi256_ps(_mm256_slli_epi32(offset, 31))));
      } else if (wide && uint64_t(first) + 33 <= end) {
        pairs = PairsInWideWindow(w, offset);
      } else {
        pairs = LoadAt<int32_t>(d, _mm256_add_epi32(whole, base), 2);
      }
      // Each pair's value (weights 1, 0) and its step to the successor (-1, 1) by multiply-adds.
      __m256i a = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00000001));
      __m256i d = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x0001FFFF));
      __m256i v = LerpStep16(a, d, frac);
      Accumulate(acc, v, v, gainsLow, gainsHigh);
    } else {
      // The frame holding value `index` starts at index & ~1; an odd index is half-way on.
      const __m256i index = _mm256_add_epi32(whole, base);
      __m256i pair = _mm256_andnot_si256(one, index);
      __m256i half = _mm256_srli_epi32(
          _mm256_add_epi32(_mm256_slli_epi32(_mm256_and_si256(index, one), 16), frac), 1);
      __m256i q0 = LoadAt<int64_t>(d, pair, 2, 0), q1 = LoadAt<int64_t>(d, pair, 2, 4);
      // Each 64-bit lane holds left, right of this frame and of the next; split by halves.
      const __m256i halves = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
      __m256i a = _mm256_permutevar8x32_epi32(q0, halves);
      __m256i b = _mm256_permutevar8x32_epi32(q1, halves);
      __m256i now = _mm256_permute2x128_si256(a, b, 0x20);
      __m256i next = _mm256_permute2x128_si256(a, b, 0x31);
      __m256i left = Lerp16(Low16(now), Low16(next), half);
      __m256i right = Lerp16(_mm256_srai_epi32(now, 16), _mm256_srai_epi32(next, 16), half);
      Accumulate(acc, left, right, gainsLow, gainsHigh);
    }
  }
  p += uint64_t(f) * step;
  if constexpr (Ramp) ramp.vol += f * ramp.volInc;
  return f;
}

#undef VXL_AVX2

// Frames (at most `frames`) from pos until the position reaches `endPos`, stepping `step`: more
// than `frames` when the end lies beyond them, found without dividing.
inline uint64_t FramesToEnd(uint64_t pos, uint64_t endPos, uint64_t step, int32_t frames) {
  uint64_t span;
  if (!step) return ~uint64_t{0};
  if (!__builtin_mul_overflow(uint64_t(frames), step, &span) && endPos - pos > span)
    return uint64_t(frames) + 1;
  return (endPos - pos + step - 1) / step;
}

// Steady rate: runs of frames up to the end of the data without a per-frame test, at a steady
// level or (Ramp) with the volume moving frame by frame. Returns 1 when a one-shot voice reached
// its end, else 0.
template <int Bits, int Channels, bool Ramp = false>
int32_t MixSteady(const uint8_t* d, int32_t* acc, int32_t frames, uint64_t& pos, uint64_t& total,
                  uint64_t step, uint64_t end, bool loop, Gains g, VolumeRamp ramp = {}) {
  const uint64_t endPos = end << 32;
  const bool avx2 = SimdLevel() >= kSimdAvx2;
  while (frames > 0) {
    uint64_t toEnd = FramesToEnd(pos, endPos, step, frames);
    int32_t n = static_cast<int32_t>(std::min<uint64_t>(toEnd, uint64_t(frames)));
    uint64_t p = pos;
    int32_t f = 0;
    // Two frames at a time: the four products s x gain with one multiply-add on 16-bit halves
    // (every sample value and, at ordinary settings, every gain fits 16 bits; the products are the
    // same 32-bit values as below). Eight at a time with AVX2 for 16-bit values. A ramp is mixed
    // so only when its gains fit 16 bits from end to end.
    if (Ramp || (g.left >= -32768 && g.left <= 32767 && g.right >= -32768 && g.right <= 32767)) {
      if constexpr (Bits == 16) {
        if (avx2) {
          f = MixSteady16Avx2<Channels, Ramp>(d, acc, n, p, step, end, g, ramp);
          acc += 2 * f;
        }
      }
      if constexpr (!Ramp) {
        const __m128i gains =
            _mm_set_epi32(g.right & 0xFFFF, g.left & 0xFFFF, g.right & 0xFFFF, g.left & 0xFFFF);
        auto two = [&](int32_t* out, uint64_t at) {
          int32_t l0, r0, l1, r1;
          Values<Bits, Channels>(d, at, l0, r0);
          Values<Bits, Channels>(d, at + step, l1, r1);
          __m128i s;
          if constexpr (Channels == 1) {
            s = _mm_unpacklo_epi32(_mm_cvtsi32_si128(l0), _mm_cvtsi32_si128(l1));
            s = _mm_shuffle_epi32(s, _MM_SHUFFLE(1, 1, 0, 0));
          } else {
            s = _mm_set_epi32(r1, l1, r0, l0);
          }
          __m128i products = _mm_srai_epi32(_mm_madd_epi16(s, gains), 8);
          __m128i* o = reinterpret_cast<__m128i*>(out);
          _mm_storeu_si128(o, _mm_add_epi32(_mm_loadu_si128(o), products));
        };
        for (; f + 4 <= n; f += 4, acc += 8) {
          two(acc, p);
          two(acc + 4, p + 2 * step);
          p += 4 * step;
        }
        for (; f + 2 <= n; f += 2, acc += 4) {
          two(acc, p);
          p += 2 * step;
        }
      }
    }
    for (; f < n; ++f, acc += 2) {
      if constexpr (Ramp) {
        MixFrame<Bits, Channels>(d, p, acc, GainsOf(ramp.vol >> 8, ramp.pan, ramp.depth));
        ramp.vol += ramp.volInc;
      } else {
        MixFrame<Bits, Channels>(d, p, acc, g);
      }
      p += step;
    }
    pos = p;
    total += uint64_t(n) * step;
    frames -= n;
    if (uint64_t(n) == toEnd) {
      if (!loop) return 1;
      pos = ((pos >> 32) % end) << 32 | (pos & 0xFFFFFFFFu);
    }
  }
  return 0;
}

// A ramp: the step and the volume move linearly from their current to their target values.
template <int Bits, int Channels>
int32_t MixRamp(const uint8_t* d, int32_t* acc, int32_t frames, uint64_t& pos, uint64_t& total,
                int64_t step, int64_t stepInc, int32_t vol, int32_t volInc, uint64_t end, bool loop,
                int32_t pan, int32_t depth) {
  for (int32_t f = 0; f < frames; ++f, acc += 2) {
    MixFrame<Bits, Channels>(d, pos, acc, GainsOf(vol >> 8, pan, depth));
    pos += uint64_t(step);
    total += uint64_t(step);
    if ((pos >> 32) >= end) {
      if (!loop) return 1;
      pos = ((pos >> 32) % end) << 32 | (pos & 0xFFFFFFFFu);
    }
    step += stepInc;
    vol += volInc;
  }
  return 0;
}

using SteadyFn = int32_t (*)(const uint8_t*, int32_t*, int32_t, uint64_t&, uint64_t&, uint64_t,
                             uint64_t, bool, Gains, VolumeRamp);
using SteadyRampFn = SteadyFn;
using RampFn = int32_t (*)(const uint8_t*, int32_t*, int32_t, uint64_t&, uint64_t&, int64_t,
                           int64_t, int32_t, int32_t, uint64_t, bool, int32_t, int32_t);

// Source values per output frame as 32.32 for a 16.16 rate. Negative rates hold the voice still
// and absurd ones are capped, so a position never runs backwards or past 32 bits per frame.
uint64_t StepOf(int32_t rate, int32_t hertz, int32_t channels, int32_t outputRate) {
  int64_t s = int64_t(std::max(rate, 0)) * std::max(hertz, 0) / outputRate;
  s = std::min<int64_t>(s, 0x7FFFFFFF);
  return uint64_t(s * channels) << 16;
}

}  // namespace

int32_t MixVoice(sound& v, int32_t* accum, int32_t frames, int32_t outputRate) {
  const int32_t status = v.status.load(kRelaxed);
  if (status == kStopped) return 1;
  if (status & kPaused) return -2;
  if (status == kReleased) return -1;
  if (v.startDelay >= frames) {
    v.startDelay -= frames;
    return 0;
  }
  frames -= v.startDelay;
  accum += 2 * v.startDelay;
  v.startDelay = 0;

  const sampledata& d = *v.data;
  const int32_t rate = v.rate.load(kRelaxed), targetRate = v.targetRate.load(kRelaxed);
  // The step of the rate mixed last is kept: most blocks play on at the same rate.
  if (rate != v.stepRate || d.hertz != v.stepHertz || d.channels != v.stepChannels ||
      outputRate != v.stepOutputRate) {
    v.stepValue = StepOf(rate, d.hertz, d.channels, outputRate);
    v.stepRate = rate;
    v.stepHertz = d.hertz;
    v.stepChannels = d.channels;
    v.stepOutputRate = outputRate;
  }
  const uint64_t step = v.stepValue;
  const uint64_t targetStep =
      targetRate == rate ? step : StepOf(targetRate, d.hertz, d.channels, outputRate);
  const int32_t v0 = v.volume.load(kRelaxed), v1 = v.targetVolume.load(kRelaxed);
  const int32_t pan = v.targetPan.load(kRelaxed), depth = v.targetDepth.load(kRelaxed);
  const uint64_t end = uint64_t(d.channels) * uint64_t(d.length);
  const bool loop = (status & kPlayingLoop) != 0;
  uint64_t pos = v.position.load(kRelaxed), total = v.total.load(kRelaxed);
  const int kind = (d.bits == 16 ? 2 : 0) + (d.channels == 2 ? 1 : 0);
  int32_t result;

  if (step == targetStep && v0 == v1) {
    if (v1 == 0) {
      // Silent: only the position moves.
      v.volume.store(0, kRelaxed);
      pos += uint64_t(frames) * step;
      total += uint64_t(frames) * step;
      result = 0;
      if ((pos >> 32) >= end) {
        if (loop) {
          pos = ((pos >> 32) % end) << 32 | (pos & 0xFFFFFFFFu);
        } else {
          result = 1;
        }
      }
    } else {
      static constexpr SteadyFn kSteady[4] = {MixSteady<8, 1>, MixSteady<8, 2>, MixSteady<16, 1>,
                                              MixSteady<16, 2>};
      result = kSteady[kind](d.data, accum, frames, pos, total, step, end, loop,
                             GainsOf(v0, pan, depth), VolumeRamp{});
    }
  } else {
    v.volume.store(static_cast<int16_t>(v1), kRelaxed);
    v.rate.store(targetRate, kRelaxed);
    const int64_t stepInc = (int64_t(targetStep) - int64_t(step)) / frames;
    const int32_t volInc = (v1 - v0) * 256 / frames;
    // A ramp of the volume alone over 16-bit values goes eight frames at a time when every gain
    // on the way fits 16 bits (they move monotonically, so both ends tell).
    auto fits = [](Gains g) {
      return g.left >= -32768 && g.left <= 32767 && g.right >= -32768 && g.right <= 32767;
    };
    const int32_t lastVolume = (v0 * 256 + (frames - 1) * volInc) >> 8;
    if (stepInc == 0 && d.bits == 16 && SimdLevel() >= kSimdAvx2 && fits(GainsOf(v0, pan, depth)) &&
        fits(GainsOf(lastVolume, pan, depth))) {
      static constexpr SteadyRampFn kVolumeRamp[2] = {MixSteady<16, 1, true>,
                                                      MixSteady<16, 2, true>};
      result = kVolumeRamp[d.channels - 1](d.data, accum, frames, pos, total, step, end, loop,
                                           Gains{}, VolumeRamp{v0 * 256, volInc, pan, depth});
    } else {
      static constexpr RampFn kRamp[4] = {MixRamp<8, 1>, MixRamp<8, 2>, MixRamp<16, 1>,
                                          MixRamp<16, 2>};
      result = kRamp[kind](d.data, accum, frames, pos, total, int64_t(step), stepInc, v0 * 256,
                           volInc, end, loop, pan, depth);
    }
  }
  v.position.store(pos, kRelaxed);
  v.total.store(total, kRelaxed);
  return result;
}

mixer::mixer(int32_t fragmentLength, int32_t outputRate, int32_t outputChannels)
    : fragmentLength(std::max(fragmentLength, 2)),
      outputRate(outputRate),
      outputChannels(outputChannels),
      accum_(new int32_t[std::max(fragmentLength, 2)]()) {}

mixer::~mixer() = default;

sound* mixer::TakeVoice(sound* templ, int32_t* reused) {
  sound* v = nullptr;
  if (reused) *reused = 0;
  uint32_t r = releaseRead_.load(kRelaxed);
  if (r != releaseWrite_.load(std::memory_order_acquire)) {
    v = releaseRing_[r % kRingSize];
    releaseRead_.store(r + 1, std::memory_order_release);
    if (reused) *reused = v->handle;
  } else if (!spare_.empty()) {
    v = spare_.back();
    spare_.pop_back();
  } else {
    all_.push_back(std::make_unique<sound>(this));
    v = all_.back().get();
  }
  v->status.store(kStopped, kRelaxed);
  v->handle = 0;
  v->autoRelease.store(0, kRelaxed);
  v->data = nullptr;
  v->channels = 0;
  v->started = false;
  v->position.store(0, kRelaxed);
  v->total.store(0, kRelaxed);
  const int32_t rate = templ ? templ->targetRate.load(kRelaxed) : 0x10000;
  const int16_t volume = templ ? templ->targetVolume.load(kRelaxed) : int16_t{4096};
  const int16_t pan = templ ? templ->targetPan.load(kRelaxed) : int16_t{0};
  const int16_t depth = templ ? templ->targetDepth.load(kRelaxed) : int16_t{0};
  v->rate.store(rate, kRelaxed);
  v->targetRate.store(rate, kRelaxed);
  v->volume.store(volume, kRelaxed);
  v->targetVolume.store(volume, kRelaxed);
  v->pan.store(pan, kRelaxed);
  v->targetPan.store(pan, kRelaxed);
  v->depth.store(depth, kRelaxed);
  v->targetDepth.store(depth, kRelaxed);
  return v;
}

bool mixer::StartVoice(sound* v, sampledata* record, int32_t status, uint32_t nowMs) {
  if (!record || record->channels == 0 || record->length <= 0 || outputRate == 0) return false;
  uint32_t w = startWrite_.load(kRelaxed);
  if (w - startRead_.load(std::memory_order_acquire) >= uint32_t(kRingSize)) return false;
  record->refs.fetch_add(1, kRelaxed);
  v->data = record;
  v->channels = record->channels;
  v->status.store(status, kRelaxed);
  v->position.store(0, kRelaxed);
  v->total.store(0, kRelaxed);
  v->startTime = nowMs;
  v->startDelay = 0;
  v->started = true;
  startRing_[w % kRingSize] = v;
  startWrite_.store(w + 1, std::memory_order_release);
  return true;
}

void mixer::Recycle(sound* v) {
  v->status.store(kReleased, kRelaxed);
  spare_.push_back(v);
}

void mixer::ReleaseVoice(sound* v) {
  ReleaseSampleData(v->data);
  releaseOverflow_.push_back(v);
}

void mixer::MixBlock(int16_t* out, int32_t count, uint32_t nowMs) {
  while (count > 0) {
    int32_t piece = std::min(count, fragmentLength) & ~1;
    if (piece <= 0) break;
    MixPiece(out, piece, nowMs);
    out += piece;
    count -= piece;
  }
}

void mixer::MixPiece(int16_t* out, int32_t count, uint32_t nowMs) {
  const int32_t frames = count / 2;
  // New voices go to the head of the active list, waiting 20 ms after their play call.
  uint32_t r = startRead_.load(kRelaxed);
  const uint32_t w = startWrite_.load(std::memory_order_acquire);
  for (; r != w; ++r) {
    sound* v = startRing_[r % kRingSize];
    v->next = active_;
    active_ = v;
    int64_t wait = std::max<int64_t>(0, int64_t(int32_t(v->startTime - nowMs)) + 20);
    v->startDelay = static_cast<int32_t>(wait * outputRate / 1000);
  }
  startRead_.store(r, std::memory_order_release);

  for (sound** link = &active_; sound* v = *link;) {
    int32_t result = MixVoice(*v, accum_.get(), frames, outputRate);
    if (result == -1 || (result == 1 && v->autoRelease.load(kRelaxed))) {
      v->status.store(kReleased, kRelaxed);
      *link = v->next;
      ReleaseVoice(v);
      continue;
    }
    if (result == 1) v->status.store(kStopped, kRelaxed);
    link = &v->next;
  }

  // Clipping to 16 bits is the saturating pack; eight values a step.
  int32_t* acc = accum_.get();
  int32_t i = 0;
  for (; i + 8 <= count; i += 8) {
    __m128i* a = reinterpret_cast<__m128i*>(acc + i);
    __m128i low = _mm_srai_epi32(_mm_loadu_si128(a), 4);
    __m128i high = _mm_srai_epi32(_mm_loadu_si128(a + 1), 4);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packs_epi32(low, high));
    _mm_storeu_si128(a, _mm_setzero_si128());
    _mm_storeu_si128(a + 1, _mm_setzero_si128());
  }
  for (; i < count; ++i) {
    out[i] = static_cast<int16_t>(std::clamp(acc[i] >> 4, -32768, 32767));
    acc[i] = 0;
  }

  // Released voices go back to the caller's thread as the ring has room.
  uint32_t rw = releaseWrite_.load(kRelaxed);
  const uint32_t rr = releaseRead_.load(std::memory_order_acquire);
  size_t moved = 0;
  for (; moved < releaseOverflow_.size() && rw - rr < uint32_t(kRingSize); ++moved, ++rw) {
    releaseRing_[rw % kRingSize] = releaseOverflow_[moved];
  }
  releaseWrite_.store(rw, std::memory_order_release);
  releaseOverflow_.erase(releaseOverflow_.begin(), releaseOverflow_.begin() + moved);
}

void mixer::ReleaseAll() {
  uint32_t r = startRead_.load(kRelaxed);
  const uint32_t w = startWrite_.load(std::memory_order_acquire);
  for (; r != w; ++r) {
    sound* v = startRing_[r % kRingSize];
    v->next = active_;
    active_ = v;
  }
  startRead_.store(r, std::memory_order_release);
  while (sound* v = active_) {
    active_ = v->next;
    v->status.store(kReleased, kRelaxed);
    ReleaseSampleData(v->data);
    v->data = nullptr;
  }
}

}  // namespace vxl::tonmix
