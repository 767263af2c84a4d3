#include "platform/clock/monotonic_clock.h"

#include <sched.h>
#include <cerrno>
#include <ctime>

namespace vxl::platform {

uint32_t MonotonicMilliseconds() noexcept {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t ms = uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

void SleepFor(int32_t ms) noexcept {
  if (ms <= 0) {
    sched_yield();
    return;
  }
  timespec left{ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) == -1 && errno == EINTR) {
  }
}

}  // namespace vxl::platform
