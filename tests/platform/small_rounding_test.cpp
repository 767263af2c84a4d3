// The libm-free rounding the native layers use agrees with the C library's own functions, which
// the test (unlike the launcher) may load.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "platform/math/small_rounding.h"

namespace vxl::platform::math {
namespace {

bool SameBits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0 || (a != a && b != b);
}

TEST(SmallRounding, MatchesTheCLibrary) {
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<double> values = {0.0,
                                -0.0,
                                0.5,
                                1.5,
                                2.5,
                                -0.5,
                                -1.5,
                                -2.5,
                                0.49999999999999994,
                                -0.3,
                                1e300,
                                -1e300,
                                inf,
                                -inf,
                                NAN,
                                4503599627370495.5,
                                4503599627370497.0,
                                -4503599627370495.5,
                                1e-320,
                                -1e-320,
                                5e-324};
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> spread(-1e6, 1e6);
  for (int i = 0; i < 20000; ++i)
    values.push_back(spread(rng) / (1 + (i % 7) * 1000));
  for (double v : values) {
    ASSERT_TRUE(SameBits(NearbyInt(v), std::nearbyint(v))) << v;
    ASSERT_TRUE(SameBits(Floor(v), std::floor(v))) << v;
    const float f = static_cast<float>(v);
    ASSERT_TRUE(SameBits(NearbyInt(f), std::nearbyint(f))) << f;
    ASSERT_TRUE(SameBits(Floor(f), std::floor(f))) << f;
    ASSERT_EQ(IsMultipleOf(v, 256.0), std::isfinite(v) && std::fmod(v, 256.0) == 0) << v;
    if (v > 0 && std::isfinite(v)) {
      ASSERT_NEAR(Log2(v), std::log2(v), 1e-9) << v;
    }
  }
  for (int e = -1070; e < 1024; ++e)
    ASSERT_EQ(Log2(std::ldexp(1.0, e)), e);
}

}  // namespace
}  // namespace vxl::platform::math
