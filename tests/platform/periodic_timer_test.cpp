// The periodic timer's callbacks run without the schedule's lock: a callback may stop its own
// timer or take its ticks, and Stop called elsewhere waits for a running callback to return.
#include "platform/timer/periodic_timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/thread/thread.h"

namespace vxl::platform::timer {
namespace {

struct Rendezvous {
  std::mutex mutex;
  std::condition_variable changed;
  int calls = 0;
  int taken = 0;
  bool entered = false, release = false, finished = false;

  template <class Predicate>
  void Await(Predicate done) {
    std::unique_lock lock(mutex);
    changed.wait(lock, done);
  }
};

TEST(PeriodicTimer, CallbacksMayStopOrTakeFromTheirOwnTimer) {
  struct Case {
    TickMode mode;
    TickCallback callback;
  } cases[] = {
      // Every tick: the third call stops its own timer.
      {TickMode::kEveryTick,
       [](void* user, int32_t id) {
         auto* r = static_cast<Rendezvous*>(user);
         std::lock_guard lock(r->mutex);
         if (++r->calls == 3) StopPeriodicTimer(id);
         r->changed.notify_all();
       }},
      // Counted: the callback takes its own ticks, so it runs again on the next tick.
      {TickMode::kCounted,
       [](void* user, int32_t id) {
         auto* r = static_cast<Rendezvous*>(user);
         int32_t n = TakeTicks(id);
         std::lock_guard lock(r->mutex);
         r->taken += n;
         if (++r->calls == 3) StopPeriodicTimer(id);
         r->changed.notify_all();
       }},
  };
  for (const Case& c : cases) {
    Rendezvous r;
    int32_t id = StartPeriodicTimer(1, c.callback, &r, c.mode);
    ASSERT_NE(id, 0);
    r.Await([&r] { return r.calls >= 3; });
    StopPeriodicTimer(id);
    std::lock_guard lock(r.mutex);
    EXPECT_EQ(r.calls, 3) << "no call after the timer stopped itself";
    if (c.mode == TickMode::kCounted) {
      EXPECT_GE(r.taken, 3);
    }
  }
}

TEST(PeriodicTimer, StopReturnsOnlyAfterARunningCallback) {
  Rendezvous r;
  int32_t id = StartPeriodicTimer(
      1,
      [](void* user, int32_t) {
        auto* r = static_cast<Rendezvous*>(user);
        std::unique_lock lock(r->mutex);
        if (r->entered) return;
        r->entered = true;
        r->changed.notify_all();
        r->changed.wait(lock, [r] { return r->release; });
        r->finished = true;
      },
      &r, TickMode::kEveryTick);
  ASSERT_NE(id, 0);
  r.Await([&r] { return r.entered; });
  std::atomic<bool> finishedWhenStopped{false};
  thread::Thread stopper;
  ASSERT_TRUE(stopper.Start("test stopper", [&] {
    StopPeriodicTimer(id);
    std::lock_guard lock(r.mutex);
    finishedWhenStopped = r.finished;
  }));
  {
    std::lock_guard lock(r.mutex);
    r.release = true;
    r.changed.notify_all();
  }
  stopper.Join();
  EXPECT_TRUE(finishedWhenStopped);
  StopTimerThread();
}

}  // namespace
}  // namespace vxl::platform::timer
