// Timers and main-thread calls on a machine without any display: ticks arrive through the
// main-thread call queue, which wakes AwaitSystem.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "platform/events/main_thread_calls.h"
#include "platform/timer/periodic_timer.h"
#include "runtime/class_binder.h"
#include "runtime/exceptions.h"
#include "system/event/hook.h"
#include "system/main_thread.h"
#include "system/system.h"
#include "system/timer/timer.h"

namespace vxl {
namespace {

std::vector<Ref<TEvent>> g_seen;
Ref<Object> Watch(int32_t, Ref<Object> data, Ref<Object>) {
  if (Ref<TEvent> e = data.As<TEvent>()) g_seen.push_back(e);
  return data;
}

class Timers : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    InitTimerModule();
    g_seen.clear();
    InsertHook(EventHookId, &Watch, nullptr, 0);
  }
  void TearDown() override { DetachHook(EventHookId, &Watch, nullptr); }
};

TEST_F(Timers, TicksArriveAsEventsThroughTheWait) {
  Ref<TTimer> t = NewTimer(200, nullptr);
  ASSERT_TRUE(t);
  int32_t total = 0;
  while (total < 3)
    total += AwaitTimer(t);
  EXPECT_EQ(TicksOfTimer(t), total);
  ASSERT_GE(g_seen.size(), 3u);
  for (size_t i = 0; i < g_seen.size(); ++i) {
    EXPECT_EQ(g_seen[i]->id, kEventTimerTick);
    EXPECT_EQ(g_seen[i]->source, t);
    EXPECT_EQ(g_seen[i]->data, static_cast<int32_t>(i + 1));
  }
  HaltTimer(t);
  EXPECT_EQ(AwaitTimer(t), 0);  // stopped: at once
  EXPECT_EQ(t->Fire(), 0);
}

TEST_F(Timers, ATimerWithAnEventEmitsThatSameObjectUnchanged) {
  Ref<TEvent> mine = MakeEvent(kEventGadgetPaint, nullptr, 77, 0, 0, 0, nullptr);
  Ref<TTimer> t = NewTimer(500, mine);
  ASSERT_TRUE(t);
  while (t->Ticks() < 2)
    t->Wait();
  t->Stop();
  ASSERT_GE(g_seen.size(), 2u);
  for (const Ref<TEvent>& e : g_seen) {
    EXPECT_EQ(e, mine);
    EXPECT_EQ(e->data, 77);
  }
}

TEST_F(Timers, StopDropsTicksAlreadyPosted) {
  Ref<TTimer> t = NewTimer(1000, nullptr);
  ASSERT_TRUE(t);
  platform::events::WaitForPostedCall();  // a tick is on its way to the main thread
  t->Stop();
  PumpSystem();
  EXPECT_EQ(t->Ticks(), 0);
  EXPECT_TRUE(g_seen.empty());
}

// A main thread busy elsewhere holds one posted call per timer, however many ticks pass.
TEST_F(Timers, TicksOfABusyMainThreadWaitAsOnePostedCall) {
  PumpSystem();  // whatever earlier tests left
  Ref<TTimer> t = NewTimer(1000, nullptr);
  ASSERT_TRUE(t);
  platform::events::WaitForPostedCall();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));  // busy: no pump
  PumpSystem();
  EXPECT_GE(t->Ticks(), 1);
  EXPECT_EQ(g_seen.size(), static_cast<size_t>(t->Ticks()));
  t->Stop();
}

// The timer thread counts ticks and notifies once until they are taken; ticks handed back (a
// delivery cut short) notify again and come with the next take.
std::atomic<int> g_notified{0};
void Notified(void*, int32_t) {
  ++g_notified;
  g_notified.notify_all();
}

TEST(PeriodicTimer, NotifiesOncePerTakeAndKeepsReturnedTicks) {
  namespace pt = platform::timer;
  int32_t id = pt::StartPeriodicTimer(1, &Notified, nullptr);
  ASSERT_NE(id, 0);
  g_notified.wait(0);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the receiver is busy
  EXPECT_EQ(g_notified, 1);
  EXPECT_GE(pt::TakeTicks(id), 1);
  pt::ReturnTicks(id, 5);  // notifies, unless a new tick already did
  g_notified.wait(1);
  EXPECT_GE(pt::TakeTicks(id), 5);
  pt::StopPeriodicTimer(id);
  int notified = g_notified;
  pt::ReturnTicks(id, 5);
  EXPECT_EQ(pt::TakeTicks(id), 0);
  EXPECT_EQ(g_notified, notified);
}

// A running timer whose self-reference is cleared from outside goes with its last reference and
// stops: no tick reaches it afterwards and its place among the 16 is free again.
TEST_F(Timers, ATimerLetGoWhileRunningStops) {
  Ref<TTimer> t = NewTimer(1000, nullptr);
  ASSERT_TRUE(t);
  platform::events::WaitForPostedCall();  // a tick is on its way to it
  t->_cycle = nullptr;
  t = nullptr;
  PumpSystem();
  EXPECT_TRUE(g_seen.empty());
  std::vector<Ref<TTimer>> running;
  for (int i = 0; i < 16; ++i)
    running.push_back(NewTimer(1000, nullptr));
  EXPECT_TRUE(running.back());
  for (auto& r : running)
    if (r) r->Stop();
}

// The tick count is a 32-bit counter: it wraps (after some 50 days at 1000 Hz) and Wait still
// counts the ticks across the wrap.
TEST_F(Timers, TickCountWrapsAround) {
  Ref<TTimer> t = NewTimer(1000, nullptr);
  ASSERT_TRUE(t);
  t->_ticks = t->_wticks = INT32_MAX;
  t->Fire();
  t->Fire();
  EXPECT_EQ(t->Ticks(), INT32_MIN + 1);
  EXPECT_EQ(g_seen.back()->data, INT32_MIN + 1);
  EXPECT_GE(t->Wait(), 2);
  t->Stop();
}

TEST_F(Timers, FrequencyAndCountLimits) {
  const std::pair<float, int32_t> periods[] = {
      {60, 16},  {1000, 1}, {999.9f, 1}, {100, 10}, {3, 333},    {0.5f, 2000},  {1001, 0},
      {5000, 0}, {0, 0},    {-10, 0},    {NAN, 0},  {1e-12f, 0}, {INFINITY, 0},
  };
  for (auto [hertz, period] : periods) {
    EXPECT_EQ(TickPeriod(hertz), period) << hertz;
    if (period == 0) {
      EXPECT_FALSE(NewTimer(hertz, nullptr)) << hertz;
    }
  }
  std::vector<Ref<TTimer>> running;
  for (int i = 0; i < 16; ++i) {
    running.push_back(NewTimer(1000, nullptr));  // 1000 Hz is the fastest: a 1 ms period
    ASSERT_TRUE(running.back()) << i;
  }
  EXPECT_FALSE(NewTimer(1, nullptr));  // the seventeenth
  running[3]->Stop();
  Ref<TTimer> again = NewTimer(1, nullptr);
  EXPECT_TRUE(again);
  for (auto& t : running)
    t->Stop();
  again->Stop();
}

// Inside the pump no tick can be delivered: Wait must come back, with what it already had.
Ref<TTimer> g_timer;
int32_t g_innerWait = -1;
void WaitFromInsideThePump(const Ref<Object>&, intptr_t) {
  EXPECT_TRUE(SystemPumpBusy());
  g_innerWait = g_timer->Wait();
}

TEST_F(Timers, WaitWhileThePumpIsBusyReturnsWithoutWaiting) {
  g_timer = NewTimer(100, nullptr);
  ASSERT_TRUE(g_timer);
  while (g_timer->Ticks() == 0)
    AwaitSystem();
  int32_t undelivered = g_timer->Ticks();  // delivered, not yet waited for
  PostToMainThread(&WaitFromInsideThePump, 0, 0);
  while (g_innerWait < 0)
    AwaitSystem();
  EXPECT_GE(g_innerWait, undelivered);
  g_timer->Stop();
  g_timer = nullptr;
}

struct Order {
  std::vector<intptr_t> ran;
};
Order g_order;
void Note(const Ref<Object>&, intptr_t value) {
  g_order.ran.push_back(value);
  if (value == 2) Throw("call 2 failed");
}

TEST(MainThreadCalls, PostedCallsRunInOrderAndSurviveAThrow) {
  InitSystemModule();
  g_order.ran.clear();
  std::thread poster([] {
    for (intptr_t i = 1; i <= 4; ++i)
      PostToMainThread(&Note, 0, i);
  });
  poster.join();
  EXPECT_THROW(PumpSystem(), Thrown);
  EXPECT_FALSE(SystemPumpBusy());  // the throw did not leave the pump switched off
  EXPECT_EQ(g_order.ran, (std::vector<intptr_t>{1, 2}));
  PumpSystem();
  EXPECT_EQ(g_order.ran, (std::vector<intptr_t>{1, 2, 3, 4}));
}

class TResult : public Object {
 public:
  VXL_CLASS(TResult, Object)
  intptr_t value = 0;
  bool done = false;
};
VXL_DEFINE_CLASS(TResult)

intptr_t Square(void* arg) {
  auto n = reinterpret_cast<intptr_t>(arg);
  return n * n;
}
void Store(const Ref<Object>& info, intptr_t result) {
  auto* r = static_cast<TResult*>(info.Get());
  r->value = result;
  r->done = true;
}

TEST(MainThreadCalls, RunOffThreadDeliversTheWorkersResultAndHoldsTheInfo) {
  InitSystemModule();
  Ref<TResult> result = New<TResult>();
  ASSERT_TRUE(RunOffThread(&Square, reinterpret_cast<void*>(intptr_t{12}), &Store, result));
  EXPECT_EQ(result->RefCount(), 2);  // held until the call has run
  while (!result->done)
    AwaitSystem();
  EXPECT_EQ(result->value, 144);
  EXPECT_EQ(result->RefCount(), 1);
}

}  // namespace
}  // namespace vxl

namespace vxl {
namespace {

std::vector<std::pair<Object*, intptr_t>> g_received;
void Receive(const Ref<Object>& target, intptr_t value) {
  g_received.push_back({target.Get(), value});
}

// A post names its target by weak handle; the receiver gets the object while it is there, and
// Null once its handle was revoked, for no handle, or for a number no handle ever was.
TEST(MainThreadCalls, PostsReachTheirTargetOrNull) {
  InitSystemModule();
  PumpSystem();
  g_received.clear();
  Ref<TResult> gone = New<TResult>(), kept = New<TResult>();
  WeakHandle goneHandle = NewWeakHandle(gone.Get());
  WeakHandle keptHandle = NewWeakHandle(kept.Get());
  RevokeWeakHandle(goneHandle);
  gone = nullptr;
  // The freed slot is used again under a new generation: the old number still names nothing.
  Ref<TResult> reused = New<TResult>();
  WeakHandle reusedHandle = NewWeakHandle(reused.Get());
  EXPECT_EQ(reusedHandle & 0xFFFFFFFFu, goneHandle & 0xFFFFFFFFu);
  EXPECT_NE(reusedHandle, goneHandle);

  struct Case {
    WeakHandle handle;
    Object* expected;
  } cases[] = {
      {goneHandle, nullptr},
      {keptHandle, kept.Get()},
      {reusedHandle, reused.Get()},
      {0, nullptr},
      {keptHandle + (uint64_t{1} << 32), nullptr},  // another generation of kept's slot
      {uint64_t{1} << 40 | 0xFFFFFF, nullptr},      // a slot that was never made
  };
  std::thread poster([&cases] {
    for (intptr_t i = 0; i < intptr_t(std::size(cases)); ++i)
      PostToMainThread(&Receive, cases[i].handle, i);
  });
  poster.join();
  PumpSystem();
  ASSERT_EQ(g_received.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(g_received[i].first, cases[i].expected);
    EXPECT_EQ(g_received[i].second, intptr_t(i));
  }
  RevokeWeakHandle(keptHandle);
  RevokeWeakHandle(reusedHandle);
  EXPECT_FALSE(ResolveWeakHandle(keptHandle));
}

// A call posted by a running call runs in the same pump, however deep the chain.
void Chain(const Ref<Object>&, intptr_t depth) {
  g_received.push_back({nullptr, depth});
  if (depth < 5) PostToMainThread(&Chain, 0, depth + 1);
}

TEST(MainThreadCalls, CallsPostedByRunningCallsRunInTheSamePump) {
  InitSystemModule();
  PumpSystem();
  g_received.clear();
  PostToMainThread(&Chain, 0, 1);
  PumpSystem();
  ASSERT_EQ(g_received.size(), 5u);
  for (intptr_t i = 0; i < 5; ++i)
    EXPECT_EQ(g_received[size_t(i)].second, i + 1);
}

}  // namespace
}  // namespace vxl
