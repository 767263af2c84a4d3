// The exponential, the natural logarithm, sine and cosine in double precision (to about 1e-11,
// well beyond what a float result needs), without the math library: the launcher links the
// audio code and loads nothing but the C library.
#pragma once

#include <bit>
#include <cstdint>

namespace vxl::platform::math {

namespace detail {

constexpr double kLn2 = 0.69314718055994530942;
constexpr double kPi = 3.14159265358979323846;

// 1/k! for k = 0..15.
constexpr double kInverseFactorial[] = {
    1.0,
    1.0,
    1.0 / 2,
    1.0 / 6,
    1.0 / 24,
    1.0 / 120,
    1.0 / 720,
    1.0 / 5040,
    1.0 / 40320,
    1.0 / 362880,
    1.0 / 3628800,
    1.0 / 39916800,
    1.0 / 479001600,
    1.0 / 6227020800.0,
    1.0 / 87178291200.0,
    1.0 / 1307674368000.0,
};

// 2^n for an int n in the normal range.
inline double TwoTo(int n) {
  if (n < -1022) return 0;
  if (n > 1023) return 1.0 / 0.0;
  return std::bit_cast<double>(uint64_t(n + 1023) << 52);
}

}  // namespace detail

// e^y, to about 1e-11 relative; 0 for very negative y.
inline double Exp(double y) {
  using namespace detail;
  if (y != y) return y;
  if (y < -745) return 0;
  if (y > 709) return 1.0 / 0.0;
  // y = n ln2 + r, |r| <= ln2 / 2: e^y = 2^n e^r, e^r by its series to r^10 (Estrin's scheme,
  // so that the terms do not wait for each other).
  constexpr double kInverseLn2 = 1.44269504088896340736;
  double nearest = y * kInverseLn2;
  int n = static_cast<int>(nearest < 0 ? nearest - 0.5 : nearest + 0.5);
  const double r = y - n * kLn2, r2 = r * r, r4 = r2 * r2, r8 = r4 * r4;
  const double* c = kInverseFactorial;
  double low = (c[0] + c[1] * r) + r2 * (c[2] + c[3] * r);
  double high = (c[4] + c[5] * r) + r2 * (c[6] + c[7] * r);
  double top = (c[8] + c[9] * r) + r2 * c[10];
  return (low + r4 * high + r8 * top) * TwoTo(n);
}

// ln x for x > 0, to about 1e-11 absolute; x <= 0 gives -1e300.
inline double Log(double x) {
  using namespace detail;
  if (!(x > 0)) return -1e300;
  if (x == 1.0 / 0.0) return x;
  int adjust = 0;
  if (x < 2.2250738585072014e-308) {  // subnormal: scale into the normal range
    x *= 18014398509481984.0;         // 2^54
    adjust = -54;
  }
  uint64_t bits = std::bit_cast<uint64_t>(x);
  int e = int((bits >> 52) & 0x7FF) - 1023 + adjust;
  double m = std::bit_cast<double>((bits & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull);
  if (m > 1.4142135623730951) {  // m in [sqrt(1/2), sqrt(2))
    m *= 0.5;
    ++e;
  }
  // ln m = 2 atanh z, z = (m - 1) / (m + 1), |z| < 0.172: the odd series to z^13.
  const double z = (m - 1) / (m + 1), w = z * z, w2 = w * w, w4 = w2 * w2;
  double low = (1.0 + w * (1.0 / 3)) + w2 * (1.0 / 5 + w * (1.0 / 7));
  double high = (1.0 / 9 + w * (1.0 / 11)) + w2 * (1.0 / 13);
  return 2 * z * (low + w4 * high) + e * kLn2;
}

// sin x for |x| up to about 1e6 radians (0 beyond); NaN stays NaN.
inline double Sin(double x) {
  using namespace detail;
  if (x != x) return x;
  if (x > 1e6 || x < -1e6) return 0;
  // x = q pi/2 + r, |r| <= pi/4: sin or cos of r by its series, by the quadrant q.
  double nearest = x / (kPi / 2);
  long q = static_cast<long>(nearest < 0 ? nearest - 0.5 : nearest + 0.5);
  double r = (x - q * (kPi / 2)), r2 = r * r;
  double s = 0, c = 0;
  for (int k = 15; k >= 1; k -= 2)  // r - r^3/3! + ... to r^15
    s = s * r2 + (((k - 1) / 2) % 2 ? -kInverseFactorial[k] : kInverseFactorial[k]);
  s *= r;
  for (int k = 14; k >= 0; k -= 2)  // 1 - r^2/2! + ... to r^14
    c = c * r2 + ((k / 2) % 2 ? -kInverseFactorial[k] : kInverseFactorial[k]);
  switch (q & 3) {
    case 0:
      return s;
    case 1:
      return c;
    case 2:
      return -s;
    default:
      return -c;
  }
}

inline double Cos(double x) {
  return Sin(x + detail::kPi / 2);
}

}  // namespace vxl::platform::math
