// Tour: events, timers and polled input.
#include <cstdio>

#include "startup/startup.h"
#include "system/event/event.h"
#include "system/queue/event_queue.h"
#include "system/timer/timer.h"

using namespace vxl;

int main() {
  InitFrameworkModules();
  // tour:begin
  Ref<TTimer> timer = NewTimer(100, nullptr);               // a "TimerTick" event per tick
  int32_t ticks = 0;
  while (ticks < 10) {
    if (QueueWait() == kEventTimerTick) ++ticks;             // keys, mouse and windows come here too
  }
  HaltTimer(timer);
  std::printf("%d ticks\n", ticks);
  // tour:end
}
