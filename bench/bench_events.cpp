// Events: the cost of emitting an event through a hook chain into the queue and taking it out,
// the latency of a call posted from another thread to the main thread waiting in AwaitSystem,
// and the jitter of a 100 Hz timer's ticks on the main thread.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "bench_util.h"
#include "system/event/hook.h"
#include "system/main_thread.h"
#include "system/queue/event_queue.h"
#include "system/system.h"
#include "system/timer/timer.h"

namespace {

using namespace vxl;
using Clock = std::chrono::steady_clock;

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

Ref<Object> PassOn(int32_t, Ref<Object> data, Ref<Object>) {
  return data;
}

void EmitQueuePoll(int rounds) {
  for (int32_t p = 1; p <= 4; ++p)
    InsertHook(EventHookId, &PassOn, nullptr, p);
  Ref<TEvent> event = MakeEvent(kEventKeyDown, nullptr, 65, 0, 0, 0, nullptr);
  auto run = [&] {
    for (int i = 0; i < rounds; ++i) {
      SendEvent(event);
      if (QueuePoll() != kEventKeyDown) std::abort();
    }
  };
  auto runMaking = [&] {
    for (int i = 0; i < rounds; ++i) {
      SendEvent(MakeEvent(kEventKeyDown, nullptr, i, 0, 0, 0, nullptr));
      if (QueuePoll() != kEventKeyDown) std::abort();
    }
  };
  auto [reuse, make] = bench::MedianPairMs(7, run, runMaking);
  bench::Print("emit_queue_poll_ns", reuse * 1e6 / rounds, "ns");
  bench::Print("make_emit_queue_poll_ns", make * 1e6 / rounds, "ns");
  for (int32_t p = 1; p <= 4; ++p)
    DetachHook(EventHookId, &PassOn, nullptr);
}

std::atomic<bool> g_ran{false};
Clock::time_point g_posted;
std::vector<double> g_latencies;

void Arrived(const Ref<Object>&, intptr_t) {
  g_latencies.push_back(std::chrono::duration<double, std::micro>(Clock::now() - g_posted).count());
  g_ran.store(true, std::memory_order_release);
}

void PostLatency(int samples) {
  std::atomic<bool> done{false};
  std::thread poster([&] {
    for (int i = 0; i < samples; ++i) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));  // the main thread is waiting
      g_ran.store(false, std::memory_order_relaxed);
      g_posted = Clock::now();
      PostToMainThread(&Arrived, 0, 0);
      while (!g_ran.load(std::memory_order_acquire))
        std::this_thread::yield();
    }
    done = true;
    PostToMainThread(&Arrived, 0, 0);  // wakes the last wait
  });
  while (!done)
    AwaitSystem();
  poster.join();
  g_latencies.resize(samples);
  bench::Print("post_to_main_latency_us_p50", Percentile(g_latencies, 0.5), "us");
  bench::Print("post_to_main_latency_us_p99", Percentile(g_latencies, 0.99), "us");
}

std::vector<Clock::time_point> g_ticks;
Ref<Object> RecordTick(int32_t, Ref<Object> data, Ref<Object>) {
  if (Ref<TEvent> e = data.As<TEvent>(); e && e->id == kEventTimerTick)
    g_ticks.push_back(Clock::now());
  return data;
}

void TimerJitter(double seconds) {
  Ref<TTimer> warmUp = NewTimer(100, nullptr);  // the timer thread starts with the first timer
  warmUp->Wait();
  warmUp->Stop();
  InsertHook(EventHookId, &RecordTick, nullptr, 100);
  Clock::time_point start = Clock::now();
  Ref<TTimer> timer = NewTimer(100, nullptr);
  if (!timer) std::abort();
  int32_t wanted = static_cast<int32_t>(seconds * 100);
  while (timer->Ticks() < wanted) {
    timer->Wait();
    while (QueuePoll()) {
    }
  }
  timer->Stop();
  DetachHook(EventHookId, &RecordTick, nullptr);
  std::vector<double> jitter;
  for (size_t n = 0; n < g_ticks.size(); ++n) {
    Clock::time_point ideal = start + std::chrono::milliseconds(10 * (n + 1));
    jitter.push_back(std::chrono::duration<double, std::micro>(g_ticks[n] - ideal).count());
  }
  bench::Print("timer_jitter_us_p50", Percentile(jitter, 0.5), "us");
  bench::Print("timer_jitter_us_p99", Percentile(jitter, 0.99), "us");
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  InitEventQueueModule();
  InitTimerModule();
  EmitQueuePoll(200000);
  PostLatency(2000);
  TimerJitter(seconds);
  return 0;
}
