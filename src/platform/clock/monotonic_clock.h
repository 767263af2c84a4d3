// Native clock: a monotonic millisecond counter and sleeping.
#pragma once

#include <cstdint>

namespace vxl::platform {

// Milliseconds of a monotonic clock, wrapping at 2^32.
uint32_t MonotonicMilliseconds() noexcept;
// Sleeps for ms milliseconds (0 yields the processor); resumes after signals until the time is up.
void SleepFor(int32_t ms) noexcept;

}  // namespace vxl::platform
