// The process-wide pseudo-random generator: the minimal standard generator with multiplier
// 48271 (Schrage's method, 32-bit arithmetic). The same seed gives the same sequence; the seed at
// start-up is 4660.
#pragma once

#include <cstdint>

namespace vxl {

// A float in [0, 1); advances the generator once.
float RandomFloat();
// A double in [0, 1); advances the generator twice.
double RandomDouble();
// A double in [min(x, y), max(x, y)), also for bounds further apart than the largest double.
double RandomInRange(double x, double y);
// An int between x and y, both included, in either order.
int32_t RandomIntInRange(int32_t x, int32_t y);
// Sets the seed to value AND 0x7FFFFFFF (4660 if that is 0 or 0x7FFFFFFF); returns 0.
int32_t SetRandomSeed(int32_t value);
int32_t RandomSeed();

// The random-number module's initialiser (its body is empty: the seed is static).
int InitRandomModule();

}  // namespace vxl
