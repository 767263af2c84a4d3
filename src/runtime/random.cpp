#include "runtime/random.h"

#include <cmath>

#include "runtime/module.h"

namespace vxl {

namespace {

constexpr int32_t kStartSeed = 4660;
int32_t g_seed = kStartSeed;

void Advance() {
  g_seed = 48271 * (g_seed % 44488) - 3399 * (g_seed / 44488);
  if (g_seed < 0) g_seed += 2147483647;
}

// Rounding to the nearest int and then moving one step toward zero if rounding went away from
// zero is truncation toward zero.
int64_t TruncateTowardZero(double x) {
  return static_cast<int64_t>(x);
}

}  // namespace

float RandomFloat() {
  Advance();
  return static_cast<float>((g_seed & 0x0FFFFFF0) / 268435456.0);
}

double RandomDouble() {
  Advance();
  double a = g_seed & 0x1FFFFFFC;
  Advance();
  double b = g_seed & 0x1FFFFFF8;
  return (a + b / 134217728.0) / 536870912.0;
}

double RandomInRange(double x, double y) {
  double lo = x < y ? x : y;
  double hi = x < y ? y : x;
  double r = RandomDouble();
  double span = hi - lo;
  // Bounds further apart than the largest double: weigh them instead, which stays inside them.
  if (std::isinf(span) && std::isfinite(lo) && std::isfinite(hi)) return lo * (1 - r) + hi * r;
  return lo + r * span;
}

int32_t RandomIntInRange(int32_t x, int32_t y) {
  // The distance in 64 bits: bounds further apart than INT32_MAX (INT32_MIN to INT32_MAX) must
  // not wrap into a small or negative range. Within that, the sequence of results is the same.
  int64_t d = int64_t(y) - x;
  if (d > 0) return static_cast<int32_t>(x + TruncateTowardZero(RandomDouble() * double(d + 1)));
  return static_cast<int32_t>(y + TruncateTowardZero(RandomDouble() * double(1 - d)));
}

int32_t SetRandomSeed(int32_t value) {
  g_seed = value & 0x7FFFFFFF;
  if (g_seed == 0 || g_seed == 0x7FFFFFFF) g_seed = kStartSeed;
  return 0;
}

int32_t RandomSeed() {
  return g_seed;
}

int InitRandomModule() {
  static ModuleGuard guard("random");
  return guard.Run({InitCoreModule}, [] {});
}

}  // namespace vxl
