#include "system/timer/timer.h"

#include <algorithm>
#include <array>

#include "platform/timer/periodic_timer.h"
#include "runtime/class_binder.h"
#include "runtime/module.h"
#include "system/main_thread.h"
#include "system/system.h"

namespace vxl {

VXL_DEFINE_CLASS(TTimer)

void TTimer::Bind(ClassBinder<TTimer>& b) {
  b.Field<&TTimer::_ticks>("_ticks");
  b.Field<&TTimer::_wticks>("_wticks");
  b.ReadOnlyField<&TTimer::_cycle>("_cycle");
  b.Field<&TTimer::_event>("_event");
  b.ReadOnlyField<&TTimer::_handle>("_handle");
  b.Method<&TTimer::Ticks>("Ticks");
  b.Method<&TTimer::Stop>("Stop");
  b.Method<&TTimer::Fire>("Fire");
  b.Method<&TTimer::Wait>("Wait");
}

namespace {

constexpr int32_t kMaxTimers = 16;

// The running timers' ids, owners and the weak handles their ticks are posted with. Changed and
// read on the main thread only; the timer thread sees only the handle. Stopping revokes the
// handle, so a tick posted before its timer stopped reaches nobody.
struct TimerTable {
  std::array<int32_t, kMaxTimers> ids{};
  std::array<TTimer*, kMaxTimers> users{};
  std::array<WeakHandle, kMaxTimers> handles{};
  int32_t count = 0;
};
TimerTable g_table;

bool IsRunning(int32_t id) {
  return std::find(g_table.ids.begin(), g_table.ids.begin() + g_table.count, id) !=
         g_table.ids.begin() + g_table.count;
}

// Main thread, inside the pump: every tick since the last delivery, one Fire each, for a timer
// that still runs (Null otherwise). A Fire may stop the timer, so each one first checks that it
// still runs; when one throws, the ticks after it go back to be delivered by a later pump.
void Deliver(const Ref<Object>& target, intptr_t id) {
  if (!target) return;
  auto timerId = static_cast<int32_t>(id);
  Ref<TTimer> timer(static_cast<TTimer*>(target.Get()));
  int32_t n = platform::timer::TakeTicks(timerId);
  try {
    for (; n > 0 && IsRunning(timerId); --n)
      timer->Fire();
  } catch (...) {
    if (IsRunning(timerId)) platform::timer::ReturnTicks(timerId, n - 1);
    throw;
  }
}

// Timer thread: only the post, once for all the ticks that arrive until the delivery takes them.
void OnTick(void* handle, int32_t id) {
  PostToMainThread(&Deliver, reinterpret_cast<WeakHandle>(handle), id);
}

// The timer module's exit function: every running timer stops (and is let go), then the timer
// thread ends.
void StopAllTimers() {
  while (g_table.count > 0)
    g_table.users[g_table.count - 1]->Stop();
  platform::timer::StopTimerThread();
}

}  // namespace

int32_t TickPeriod(float hertz) {
  float period = 1000.0f / hertz;
  if (!(period >= 1.0f && period < 2147483648.0f)) return 0;
  return static_cast<int32_t>(period);
}

int32_t StartTickTimer(float hertz, TTimer* user) {
  if (g_table.count == kMaxTimers) return 0;
  int32_t period = TickPeriod(hertz);
  if (period == 0) return 0;
  // The timer thread starts with the first timer; so does the exit function that stops it.
  static bool exitRegistered = false;
  if (!exitRegistered) {
    exitRegistered = true;
    RegisterExitFunction(&StopAllTimers);
  }
  WeakHandle handle = NewWeakHandle(user);
  static_assert(sizeof(WeakHandle) <= sizeof(void*), "the handle travels as the timer's user");
  int32_t id =
      platform::timer::StartPeriodicTimer(period, &OnTick, reinterpret_cast<void*>(handle));
  if (id == 0) {
    RevokeWeakHandle(handle);
    return 0;
  }
  g_table.ids[g_table.count] = id;
  g_table.handles[g_table.count] = handle;
  g_table.users[g_table.count++] = user;
  return id;
}

void StopTickTimer(int32_t id) {
  auto* end = g_table.ids.begin() + g_table.count;
  auto* it = std::find(g_table.ids.begin(), end, id);
  if (it == end) return;
  auto slot = it - g_table.ids.begin();
  --g_table.count;
  RevokeWeakHandle(g_table.handles[slot]);
  g_table.ids[slot] = g_table.ids[g_table.count];
  g_table.users[slot] = g_table.users[g_table.count];
  g_table.handles[slot] = g_table.handles[g_table.count];
  platform::timer::StopPeriodicTimer(id);
}

TTimer::~TTimer() {
  if (_handle != 0) StopTickTimer(_handle);
}

int32_t TTimer::Ticks() {
  return _ticks;
}

int32_t TTimer::Stop() {
  if (_handle == 0) return 0;
  StopTickTimer(_handle);
  _handle = 0;
  _event = nullptr;
  Ref<TTimer> self = std::move(_cycle);  // the timer may go when this returns, not before
  return 0;
}

int32_t TTimer::Fire() {
  if (_handle == 0) return 0;
  _ticks = static_cast<int32_t>(static_cast<uint32_t>(_ticks) + 1);  // wraps after 2^32 ticks
  if (!_event) {
    SendEvent(MakeEvent(kEventTimerTick, Ref<Object>(this), _ticks, 0, 0, 0, nullptr));
  } else {
    Ref<TEvent> event = _event;
    SendEvent(event);
  }
  return 0;
}

int32_t TTimer::Wait() {
  if (_handle == 0) return 0;
  if (!SystemPumpBusy()) {
    do {
      AwaitSystem();
    } while (_ticks == _wticks && _handle != 0);
  }
  auto n = static_cast<int32_t>(static_cast<uint32_t>(_ticks) - static_cast<uint32_t>(_wticks));
  _wticks = _ticks;
  return n;
}

Ref<TTimer> TTimer::Create(float hertz, const Ref<TEvent>& event) {
  Ref<TTimer> timer = New<TTimer>();
  int32_t id = StartTickTimer(hertz, timer.Get());
  if (id == 0) return nullptr;
  timer->_cycle = timer;
  timer->_event = event;
  timer->_handle = id;
  return timer;
}

Ref<TTimer> NewTimer(float hertz, const Ref<TEvent>& event) {
  return TTimer::Create(hertz, event);
}
int32_t TicksOfTimer(const Ref<TTimer>& timer) {
  return timer->Ticks();
}
int32_t AwaitTimer(const Ref<TTimer>& timer) {
  return timer->Wait();
}
int32_t HaltTimer(const Ref<TTimer>& timer) {
  return timer->Stop();
}

int InitTimerModule() {
  static ModuleGuard guard("timer");
  return guard.Run({InitCoreModule, InitSystemModule}, [] { RegisterClass<TTimer>(); });
}

}  // namespace vxl
