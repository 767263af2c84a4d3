// Periodic timers on one timer thread, for ticks that the main thread receives later.
//
//   int32_t id = StartPeriodicTimer(16, &OnTick, user);   // OnTick(user, id) every 16 ms
//   StopPeriodicTimer(id);                                 // no call for id after this returns
//
// Each timer keeps an absolute schedule (start + n * period on the monotonic clock), so late
// wake-ups do not accumulate drift, and ticks that come late are made up at once. After a stall
// of more than a second (a suspended machine) the schedule starts again from then rather than
// making up every tick. Only the C library.
#pragma once

#include <cstdint>

namespace vxl::platform::timer {

// Runs on the timer thread; it must be short and must not stop timers.
using TickCallback = void (*)(void* user, int32_t id);

// Starts calling callback(user, id) every periodMs milliseconds (periodMs >= 1). Returns the
// timer's id, never reused in the process, or 0 when no timer thread could be started.
int32_t StartPeriodicTimer(int32_t periodMs, TickCallback callback, void* user);
// Stops the timer; once this returns its callback is not running and never runs again. Unknown
// ids are ignored.
void StopPeriodicTimer(int32_t id);
// Stops every timer and ends the timer thread (for an exit function). A later start begins a
// new thread.
void StopTimerThread();

}  // namespace vxl::platform::timer
