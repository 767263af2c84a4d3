#include "platform/timer/periodic_timer.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/thread/thread.h"

namespace vxl::platform::timer {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kMaxCatchUp = std::chrono::seconds(1);

struct Timer {
  int32_t id;
  Clock::duration period;
  Clock::time_point due;
  TickCallback callback;
  void* user;
  TickMode mode;
  int32_t untaken = 0;  // counted ticks since the last TakeTicks
};

struct Call {
  TickCallback callback;
  void* user;
  int32_t id;
};

// Two locks, always taken in this order: `lifecycle` (starting and joining the thread; never
// taken by the thread itself) before `mutex` (the schedule).
struct TimerThread {
  std::mutex lifecycle;
  std::mutex mutex;
  std::condition_variable changed;  // the schedule changed, or the thread must stop
  std::condition_variable ran;      // the calls of one round have returned
  std::vector<Timer> timers;
  std::vector<Call> running;  // the calls of the round now running without the lock
  int32_t lastId = 0;
  thread::Thread thread;
  bool stopping = false;
};

// Never destroyed: the timer thread may run until the process ends.
TimerThread& TheTimerThread() {
  static auto* timerThread = new TimerThread;
  return *timerThread;
}

// Collects the calls of every timer that is due, advancing their schedules. Under the lock.
void CollectDue(TimerThread& t, Clock::time_point now, std::vector<Call>& calls) {
  for (Timer& tm : t.timers) {
    if (tm.due > now) continue;
    if (tm.mode == TickMode::kEveryTick || tm.untaken == 0)
      calls.push_back({tm.callback, tm.user, tm.id});
    if (tm.mode == TickMode::kCounted && tm.untaken < INT32_MAX) ++tm.untaken;
    tm.due += tm.period;
    // Late ticks are made up one after another; after a long stall (a suspended machine) the
    // schedule starts again from now instead.
    if (tm.due + std::max<Clock::duration>(kMaxCatchUp, tm.period) <= now) tm.due = now + tm.period;
  }
}

void Run() {
  TimerThread& t = TheTimerThread();
  std::vector<Call> calls;
  std::unique_lock lock(t.mutex);
  while (!t.stopping) {
    if (t.timers.empty()) {
      t.changed.wait(lock);
      continue;
    }
    Clock::time_point next = t.timers.front().due;
    for (const Timer& tm : t.timers)
      next = std::min(next, tm.due);
    if (Clock::now() < next) {
      t.changed.wait_until(lock, next);
      continue;  // the set may have changed; look again
    }
    CollectDue(t, Clock::now(), calls);
    if (calls.empty()) continue;
    // The calls run without the lock: a callback posts to the main thread or refills an audio
    // buffer, and neither may wait for, or be waited for under, the schedule's lock.
    t.running = calls;
    lock.unlock();
    for (const Call& c : calls)
      c.callback(c.user, c.id);
    calls.clear();
    lock.lock();
    t.running.clear();
    t.ran.notify_all();
  }
}

bool IsRunning(const TimerThread& t, int32_t id) {
  return std::any_of(t.running.begin(), t.running.end(),
                     [id](const Call& c) { return c.id == id; });
}

}  // namespace

int32_t StartPeriodicTimer(int32_t periodMs, TickCallback callback, void* user, TickMode mode) {
  if (periodMs < 1) return 0;
  TimerThread& t = TheTimerThread();
  std::lock_guard started(t.lifecycle);
  std::lock_guard lock(t.mutex);
  if (!t.thread.Started()) {
    t.stopping = false;
    if (!t.thread.Start("vxl timer", Run)) return 0;
  }
  if (t.lastId == INT32_MAX) return 0;
  auto period = std::chrono::milliseconds(periodMs);
  int32_t id = ++t.lastId;
  t.timers.push_back({id, period, Clock::now() + period, callback, user, mode});
  t.changed.notify_one();
  return id;
}

int32_t TakeTicks(int32_t id) {
  TimerThread& t = TheTimerThread();
  std::lock_guard lock(t.mutex);
  for (Timer& tm : t.timers) {
    if (tm.id == id) return std::exchange(tm.untaken, 0);
  }
  return 0;
}

void ReturnTicks(int32_t id, int32_t count) {
  if (count <= 0) return;
  TimerThread& t = TheTimerThread();
  Call call{};
  {
    std::lock_guard lock(t.mutex);
    for (Timer& tm : t.timers) {
      if (tm.id != id) continue;
      if (tm.untaken == 0) call = {tm.callback, tm.user, tm.id};
      tm.untaken = count > INT32_MAX - tm.untaken ? INT32_MAX : tm.untaken + count;
      break;
    }
  }
  if (call.callback) call.callback(call.user, call.id);
}

void StopPeriodicTimer(int32_t id) {
  TimerThread& t = TheTimerThread();
  std::unique_lock lock(t.mutex);
  std::erase_if(t.timers, [id](const Timer& tm) { return tm.id == id; });
  t.changed.notify_one();
  // A callback of this timer may be running now; it finishes before Stop returns, unless it is
  // the caller.
  if (!t.thread.IsCurrent()) t.ran.wait(lock, [&t, id] { return !IsRunning(t, id); });
}

void StopTimerThread() {
  TimerThread& t = TheTimerThread();
  std::lock_guard stopped(t.lifecycle);
  {
    std::lock_guard lock(t.mutex);
    t.timers.clear();
    t.stopping = true;
  }
  t.changed.notify_one();
  if (!t.thread.IsCurrent()) t.thread.Join();
}

}  // namespace vxl::platform::timer
