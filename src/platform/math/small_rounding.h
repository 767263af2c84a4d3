// Rounding to whole numbers, the base-2 logarithm and a vector length without the math library,
// for native layers the launcher links (it loads nothing but the C library). Exact where the
// C library is exact: NearbyInt and Floor give the same results as nearbyint and floor in the
// default rounding mode.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

#include "platform/math/small_math.h"

namespace vxl::platform::math {

// The nearest whole number, halves to even; NaN, infinities and whole numbers as they are.
inline double NearbyInt(double x) {
  constexpr double kTwo52 = 4503599627370496.0;  // from here on every double is whole
  if (!(x > -kTwo52 && x < kTwo52) || x == 0) return x;
  // Adding 2^52 leaves no fraction bits: the addition itself rounds, halves to even.
  if (x > 0) return (x + kTwo52) - kTwo52;
  return -((-x + kTwo52) - kTwo52);
}
inline float NearbyInt(float x) {
  return static_cast<float>(NearbyInt(static_cast<double>(x)));
}

// The largest whole number not above x; NaN and infinities as they are.
inline double Floor(double x) {
  const double r = NearbyInt(x);
  return r > x ? r - 1 : r;
}
inline float Floor(float x) {
  return static_cast<float>(Floor(static_cast<double>(x)));
}

// True when x is a whole multiple of step (a power of two), as fmod(x, step) == 0.
inline bool IsMultipleOf(double x, double step) {
  if (!std::isfinite(x)) return false;
  return Floor(x / step) * step == x;
}

// log2 x for finite x > 0: exact at powers of two, else to about 1e-11.
inline double Log2(double x) {
  if (!(x > 0) || !std::isfinite(x)) return x > 0 ? x : -1e300;
  int adjust = 0;
  if (x < 2.2250738585072014e-308) {  // subnormal: scale into the normal range
    x *= 18014398509481984.0;         // 2^54
    adjust = -54;
  }
  const uint64_t bits = std::bit_cast<uint64_t>(x);
  const int e = int((bits >> 52) & 0x7FF) - 1023 + adjust;
  const double m = std::bit_cast<double>((bits & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull);
  return e + (m == 1 ? 0.0 : Log(m) / detail::kLn2);
}

}  // namespace vxl::platform::math
