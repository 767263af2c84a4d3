#include "graphics/kor2d/degrees.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace vxl {

namespace {

// Taylor series on |x| <= pi / 4, where the first omitted term is below 1e-19.
double SinSmall(double x) {
  const double x2 = x * x;
  double term = x;
  double sum = x;
  for (int n = 2; n <= 18; n += 2) {
    term *= -x2 / (n * (n + 1));
    sum += term;
  }
  return sum;
}

double CosSmall(double x) {
  const double x2 = x * x;
  double term = 1;
  double sum = 1;
  for (int n = 1; n <= 17; n += 2) {
    term *= -x2 / (n * (n + 1));
    sum += term;
  }
  return sum;
}

}  // namespace

void SinCosDegrees(double degrees, double& sine, double& cosine) {
  if (!std::isfinite(degrees)) {
    sine = cosine = std::numeric_limits<double>::quiet_NaN();
    return;
  }
  // degrees = 90 q + r with |r| <= 45; q mod 4 picks the quadrant.
  const double q = std::floor(degrees / 90.0 + 0.5);
  double r = degrees - q * 90.0;
  if (r > 45.0 || r < -45.0) r = 0;  // only when q * 90 itself is inexact (|degrees| > 2^50)
  const int quadrant = static_cast<int>(q - 4.0 * std::floor(q / 4.0));
  const double x = r * (std::numbers::pi / 180.0);
  const double s = SinSmall(x);
  const double c = CosSmall(x);
  switch (quadrant) {
    case 0:
      sine = s, cosine = c;
      break;
    case 1:
      sine = c, cosine = -s;
      break;
    case 2:
      sine = -s, cosine = -c;
      break;
    default:
      sine = -c, cosine = s;
      break;
  }
}

void RotationScaleMatrix(float degrees, float scaleX, float scaleY, float& ix, float& iy, float& jx,
                         float& jy) {
  double sine, cosine;
  SinCosDegrees(degrees, sine, cosine);
  const float s = static_cast<float>(sine);
  const float c = static_cast<float>(cosine);
  ix = c * scaleX;
  iy = -s * scaleY;
  jx = s * scaleX;
  jy = c * scaleY;
}

int OvalSegmentCount(float rx, float ry) {
  constexpr int kMaxSegments = 65536;
  const float span = std::fabs(rx) + std::fabs(ry);
  if (!std::isfinite(span)) return 0;
  const int n = span >= kMaxSegments ? kMaxSegments : static_cast<int>(span);
  return std::max(n, 12) & ~3;
}

}  // namespace vxl
