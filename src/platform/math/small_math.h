// The exponential, the natural logarithm, sine and cosine in double precision, without the math
// library: the launcher links the audio code and loads nothing but the C library.
#pragma once

namespace vxl::platform::math {

// e^y, to about 1e-15 relative; 0 for very negative y.
inline double Exp(double y) {
  constexpr double kLn2 = 0.69314718055994530942;
  if (y < -745) return 0;
  int n = 0;
  for (; y > 0.5; y -= kLn2)
    ++n;
  for (; y < -0.5; y += kLn2)
    --n;
  double term = 1, sum = 1;
  for (int k = 1; k < 20; ++k) {
    term *= y / k;
    sum += term;
  }
  for (; n > 0; --n)
    sum *= 2;
  for (; n < 0; ++n)
    sum *= 0.5;
  return sum;
}

// ln x for x > 0, to about 1e-15; x <= 0 gives a large negative number (-1e300).
inline double Log(double x) {
  constexpr double kLn2 = 0.69314718055994530942;
  if (!(x > 0)) return -1e300;
  int e = 0;
  for (; x >= 1; x *= 0.5)
    ++e;
  for (; x < 0.5; x *= 2)
    --e;
  // x in [0.5, 1): ln x = 2 atanh(z), z = (x - 1) / (x + 1) in [-1/3, 0).
  const double z = (x - 1) / (x + 1), z2 = z * z;
  double power = z, sum = 0;
  for (int k = 1; k < 40; k += 2) {
    sum += power / k;
    power *= z2;
  }
  return 2 * sum + e * kLn2;
}

// sin x, to about 1e-15 for |x| up to a few thousand radians; NaN stays NaN.
inline double Sin(double x) {
  constexpr double kPi = 3.14159265358979323846, kTwoPi = 2 * kPi;
  if (x != x) return x;
  if (x > 1e6 || x < -1e6) return 0;
  long turns = static_cast<long>(x / kTwoPi);
  x -= turns * kTwoPi;
  if (x > kPi) x -= kTwoPi;
  if (x < -kPi) x += kTwoPi;
  // x in [-pi, pi]: the Taylor series converges fast enough in 30 terms.
  double term = x, sum = x;
  const double x2 = x * x;
  for (int k = 1; k < 30; ++k) {
    term *= -x2 / ((2 * k) * (2 * k + 1));
    sum += term;
  }
  return sum;
}

inline double Cos(double x) {
  constexpr double kHalfPi = 1.57079632679489661923;
  return Sin(x + kHalfPi);
}

}  // namespace vxl::platform::math
