// Timers: ticks at a fixed frequency, delivered on the main thread while it pumps.
//
//   Ref<TTimer> t = NewTimer(60, nullptr);   // a "TimerTick" event per tick (period 16 ms)
//   for (;;) {
//     int32_t n = AwaitTimer(t);             // ticks since the last wait, at least 1
//     Update(n);
//   }
//   HaltTimer(t);
//
// A running timer keeps itself alive; Stop lets it go. At most 16 timers run at once; a
// frequency whose period (1000 / hertz, truncated to whole milliseconds) is 0 gives Null.
#pragma once

#include <cstdint>

#include "runtime/object.h"
#include "system/event/event.h"

namespace vxl {

template <class T>
class ClassBinder;

class TTimer : public Object {
 public:
  VXL_CLASS(TTimer, Object)
  int32_t _ticks = 0;
  int32_t _wticks = 0;
  Ref<TTimer> _cycle;   // the timer itself while it runs
  Ref<TEvent> _event;   // emitted on every tick, or Null for a new "TimerTick" per tick
  int32_t _handle = 0;  // the native timer id, 0 when stopped

  // A timer let go while it runs (its self-reference cleared from outside) stops first, so no
  // tick reaches it afterwards.
  ~TTimer() override;
  virtual int32_t Ticks();
  virtual int32_t Stop();
  // Delivers one tick: counts it and emits the event. Main thread.
  virtual int32_t Fire();
  // Blocks until at least one tick arrived since the last Wait; returns how many did. A stopped
  // timer returns 0 at once. Called while the pump is busy (from an event hook), when no tick
  // can be delivered, it returns the ticks already delivered since the last Wait, possibly 0,
  // without waiting.
  virtual int32_t Wait();
  static Ref<TTimer> Create(float hertz, const Ref<TEvent>& event);

  static void Bind(ClassBinder<TTimer>& b);
};

Ref<TTimer> NewTimer(float hertz, const Ref<TEvent>& event);
int32_t TicksOfTimer(const Ref<TTimer>& timer);
int32_t AwaitTimer(const Ref<TTimer>& timer);
int32_t HaltTimer(const Ref<TTimer>& timer);

// The tick period for a frequency: 1000 / hertz in single precision, truncated to whole
// milliseconds; 0 when that is not at least 1 ms (above 1000 Hz, zero, negative or not a number)
// or does not fit an int.
int32_t TickPeriod(float hertz);

// The native side: starts ticking `user` (its Fire runs on the main thread) at hertz; returns the
// timer id, or 0 when 16 timers run, the period is not at least 1 ms, or no timer can start.
int32_t StartTickTimer(float hertz, TTimer* user);
void StopTickTimer(int32_t id);

int InitTimerModule();

}  // namespace vxl
