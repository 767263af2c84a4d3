// Time services of the runtime.
#pragma once

#include <cstdint>

namespace vxl {

// Sleeps for ms milliseconds; nothing for a negative value.
void SleepMilliseconds(int32_t ms);
// Milliseconds since an arbitrary start, wrapping at 2^32.
uint32_t MillisecondTimer();

}  // namespace vxl
