// Periodic timers, all on one timer thread, each on an absolute schedule: the one periodic
// facility of the framework (the system's TTimer ticks and the mixer's waveOut refill both run
// here).
//
//   int32_t id = StartPeriodicTimer(16, &OnTick, user);   // counted ticks every 16 ms
//   int32_t n = TakeTicks(id);                             // ticks since the last take
//   StopPeriodicTimer(id);                                 // no call for id after this returns
//
//   int32_t refill = StartPeriodicTimer(5, &Refill, device, TickMode::kEveryTick);
//
// Counted ticks (TickMode::kCounted) are counted, not queued: OnTick(user, id) runs for the
// first tick after a take (or the start) only, and TakeTicks collects every tick since. A
// receiver that falls behind thus holds one notification per timer however long it stalls, and
// loses no tick. With TickMode::kEveryTick the callback runs on every tick and nothing is
// counted (for work done on the timer thread itself).
//
// Each timer keeps an absolute schedule (start + n * period on the monotonic clock), so late
// wake-ups do not accumulate drift, and ticks that come late are made up at once. After a stall
// of more than a second (a suspended machine) the schedule starts again from then rather than
// making up every tick. Only the C library.
//
// Locks: the timer lock guards the schedule only. Callbacks run after it is released, so a
// callback may post to the main thread (which takes the main-thread queue's lock) or lock an
// audio device without ever holding the two locks at once; see platform/thread/thread.h for the
// order of every lock in the framework.
#pragma once

#include <cstdint>

namespace vxl::platform::timer {

// Runs on the timer thread; keep it short (other timers wait behind it). It may start, stop,
// take from and return ticks to timers, its own included.
using TickCallback = void (*)(void* user, int32_t id);

enum class TickMode {
  kCounted,    // the callback runs for the first tick after a take
  kEveryTick,  // the callback runs on every tick
};

// Starts ticking every periodMs milliseconds (periodMs >= 1). Returns the timer's id, never
// reused in the process, or 0 when no timer thread could be started.
int32_t StartPeriodicTimer(int32_t periodMs, TickCallback callback, void* user,
                           TickMode mode = TickMode::kCounted);
// The ticks of a counted timer since the last take (0 for an unknown or stopped timer); the next
// tick runs the callback again.
int32_t TakeTicks(int32_t id);
// Puts back ticks that were taken but not delivered (a delivery cut short by an exception): the
// next take returns them too, and the callback runs at once if no tick was waiting.
void ReturnTicks(int32_t id, int32_t count);
// Stops the timer; once this returns its callback is not running (unless the caller is that
// callback) and never runs again. Unknown ids are ignored.
void StopPeriodicTimer(int32_t id);
// Stops every timer and ends the timer thread (for an exit function). A later start begins a
// new thread.
void StopTimerThread();

}  // namespace vxl::platform::timer
