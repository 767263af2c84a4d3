#include "platform/timer/tick_timer.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

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
  int32_t untaken = 0;  // ticks since the last TakeTicks
};

struct Thread {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<Timer> timers;
  int32_t lastId = 0;
  std::thread thread;
  bool stopping = false;
};

// Never destroyed: the timer thread may run until the process ends.
Thread& T() {
  static auto* thread = new Thread;
  return *thread;
}

void Run() {
  Thread& t = T();
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
    Clock::time_point now = Clock::now();
    // Callbacks run under the lock, so a stopped timer's callback has finished when Stop returns.
    for (Timer& tm : t.timers) {
      if (tm.due > now) continue;
      if (tm.untaken == 0) tm.callback(tm.user, tm.id);
      if (tm.untaken < INT32_MAX) ++tm.untaken;
      tm.due += tm.period;
      // Late ticks are made up one after another; after a long stall (a suspended machine) the
      // schedule starts again from now instead.
      if (tm.due + std::max<Clock::duration>(kMaxCatchUp, tm.period) <= now)
        tm.due = now + tm.period;
    }
  }
}

}  // namespace

int32_t StartPeriodicTimer(int32_t periodMs, TickCallback callback, void* user) {
  if (periodMs < 1) return 0;
  Thread& t = T();
  std::lock_guard lock(t.mutex);
  if (!t.thread.joinable()) {
    try {
      t.stopping = false;
      t.thread = std::thread(Run);
    } catch (const std::system_error&) {
      return 0;
    }
  }
  if (t.lastId == INT32_MAX) return 0;
  auto period = std::chrono::milliseconds(periodMs);
  int32_t id = ++t.lastId;
  t.timers.push_back({id, period, Clock::now() + period, callback, user});
  t.changed.notify_one();
  return id;
}

int32_t TakeTicks(int32_t id) {
  Thread& t = T();
  std::lock_guard lock(t.mutex);
  for (Timer& tm : t.timers) {
    if (tm.id == id) return std::exchange(tm.untaken, 0);
  }
  return 0;
}

void ReturnTicks(int32_t id, int32_t count) {
  if (count <= 0) return;
  Thread& t = T();
  std::lock_guard lock(t.mutex);
  for (Timer& tm : t.timers) {
    if (tm.id != id) continue;
    if (tm.untaken == 0) tm.callback(tm.user, tm.id);
    tm.untaken = count > INT32_MAX - tm.untaken ? INT32_MAX : tm.untaken + count;
    return;
  }
}

void StopPeriodicTimer(int32_t id) {
  Thread& t = T();
  std::lock_guard lock(t.mutex);
  std::erase_if(t.timers, [id](const Timer& tm) { return tm.id == id; });
  t.changed.notify_one();
}

void StopTimerThread() {
  Thread& t = T();
  std::thread thread;
  {
    std::lock_guard lock(t.mutex);
    t.timers.clear();
    t.stopping = true;
    thread = std::move(t.thread);
  }
  t.changed.notify_one();
  if (thread.joinable()) thread.join();
}

}  // namespace vxl::platform::timer
