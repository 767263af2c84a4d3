#include "system/event/event.h"

#include "runtime/class_binder.h"
#include "runtime/module.h"
#include "system/event/hook.h"

namespace vxl {

VXL_DEFINE_CLASS(TEvent)

int32_t EventHookId = -1;

namespace {

struct NamedId {
  int32_t id;
  const char* name;
};

constexpr NamedId kEventNames[] = {
    {kEventAppSuspend, "AppSuspend"},
    {kEventAppResume, "AppResume"},
    {kEventAppTerminate, "AppTerminate"},
    {kEventAppOpenFile, "AppOpenFile"},
    {kEventAppIdle, "AppIdle"},
    {kEventKeyDown, "KeyDown"},
    {kEventKeyUp, "KeyUp"},
    {kEventKeyChar, "KeyChar"},
    {kEventKeyRepeat, "KeyRepeat"},
    {kEventMouseDown, "MouseDown"},
    {kEventMouseUp, "MouseUp"},
    {kEventMouseMove, "MouseMove"},
    {kEventMouseWheel, "MouseWheel"},
    {kEventMouseEnter, "MouseEnter"},
    {kEventMouseLeave, "MouseLeave"},
    {kEventTimerTick, "TimerTick"},
    {kEventHotkeyHit, "HotkeyHit"},
    {kEventGadgetAction, "GadgetAction"},
    {kEventGadgetPaint, "GadgetPaint"},
    {kEventGadgetSelect, "GadgetSelect"},
    {kEventGadgetMenu, "GadgetMenu"},
    {kEventGadgetOpen, "GadgetOpen"},
    {kEventGadgetClose, "GadgetClose"},
    {kEventGadgetDone, "GadgetDone"},
    {kEventGadgetLostFocus, "GadgetLostFocus"},
    {kEventGadgetShape, "GadgetShape"},
    {kEventWindowMove, "WindowMove"},
    {kEventWindowSize, "WindowSize"},
    {kEventWindowClose, "WindowClose"},
    {kEventWindowActivate, "WindowActivate"},
    {kEventWindowAccept, "WindowAccept"},
    {kEventMenuAction, "MenuAction"},
    {kEventStreamEof, "StreamEof"},
    {kEventStreamAvail, "StreamAvail"},
    {kEventProcessExit, "ProcessExit"},
};
static_assert(sizeof kEventNames / sizeof kEventNames[0] == 35);

constexpr uint32_t kUserIdBit = 0x80000000u;
uint32_t g_userEventId = kUserIdBit;

}  // namespace

void TEvent::Bind(ClassBinder<TEvent>& b) {
  b.Field<&TEvent::id>("id");
  b.Field<&TEvent::source>("source");
  b.Field<&TEvent::data>("data");
  b.Field<&TEvent::mods>("mods");
  b.Field<&TEvent::x>("x");
  b.Field<&TEvent::y>("y");
  b.Field<&TEvent::extra>("extra");
  b.Method<&TEvent::Emit>("Emit");
}

Ref<TEvent> TEvent::Create(int32_t id, const Ref<Object>& source, int32_t data, int32_t mods,
                           int32_t x, int32_t y, const Ref<Object>& extra) {
  Ref<TEvent> e = New<TEvent>();
  e->id = id;
  e->source = source;
  e->data = data;
  e->mods = mods;
  e->x = x;
  e->y = y;
  e->extra = extra;
  return e;
}

int32_t TEvent::Emit() {
  CallHooks(EventHookId, Ref<Object>(this));
  return 0;
}

String EventName(int32_t id) {
  for (const auto& n : kEventNames) {
    if (n.id == id) return n.name;
  }
  auto bits = static_cast<uint32_t>(id);
  if (bits & kUserIdBit) return "UserEvent" + String::FromLong(bits - kUserIdBit);
  return "Unknown Event, id=" + String::FromInt(id);
}

String TEvent::ToString() const {
  StringBuilder b;
  b.Append(EventName(id))
      .Append(String(": data="))
      .Append(String::FromInt(data))
      .Append(String(", mods="))
      .Append(String::FromInt(mods))
      .Append(String(", x="))
      .Append(String::FromInt(x))
      .Append(String(", y="))
      .Append(String::FromInt(y))
      .Append(String(", extra=\""))
      .Append(String::Of(extra))
      .Append(u'"');
  return b.ToString();
}

int32_t TEvent::AllocUserId() {
  // Counts on modulo 2^32 like the 32-bit counter it stands for, without signed overflow.
  return static_cast<int32_t>(++g_userEventId);
}

Ref<TEvent> MakeEvent(int32_t id, const Ref<Object>& source, int32_t data, int32_t mods, int32_t x,
                      int32_t y, const Ref<Object>& extra) {
  return TEvent::Create(id, source, data, mods, x, y, extra);
}

int32_t SendEvent(const Ref<TEvent>& event) {
  return event->Emit();
}

int32_t NewUserEventId() {
  return TEvent::AllocUserId();
}

int InitEventTailModule() {
  static ModuleGuard guard("event tail");
  return guard.Run({InitCoreModule, InitEventModule}, [] {});
}

int InitEventModule() {
  static ModuleGuard guard("event");
  return guard.Run({InitCoreModule, InitHookModule}, [] {
    RegisterClass<TEvent>();
    EventHookId = NewHookId();
  });
}

}  // namespace vxl
