#include "runtime/clock.h"

#include "platform/clock/monotonic_clock.h"

namespace vxl {

void SleepMilliseconds(int32_t ms) {
  if (ms >= 0) platform::SleepFor(ms);
}

uint32_t MillisecondTimer() {
  return platform::MonotonicMilliseconds();
}

}  // namespace vxl
