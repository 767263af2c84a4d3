// Events: the record every input and timer happening is reported with, and its emission.
//
//   Ref<TEvent> e = MakeEvent(kEventKeyDown, window, 65, 0, 0, 0, nullptr);
//   SendEvent(e);            // runs every hook on EventHookId at once, on this thread
//   e->ToString();           // "KeyDown: data=65, mods=0, x=0, y=0, extra=\"\""
//
// Consumers (polled input, the event queue) keep whatever they need from the events they see.
#pragma once

#include <cstdint>

#include "runtime/object.h"
#include "runtime/string.h"

namespace vxl {

template <class T>
class ClassBinder;

// The event ids. Each family has a single-bit base; user ids have bit 31 set.
enum : int32_t {
  kEventAppSuspend = 0x101,
  kEventAppResume = 0x102,
  kEventAppTerminate = 0x103,
  kEventAppOpenFile = 0x104,
  kEventAppIdle = 0x105,
  kEventKeyDown = 0x201,
  kEventKeyUp = 0x202,
  kEventKeyChar = 0x203,
  kEventKeyRepeat = 0x204,
  kEventMouseDown = 0x401,
  kEventMouseUp = 0x402,
  kEventMouseMove = 0x403,
  kEventMouseWheel = 0x404,
  kEventMouseEnter = 0x405,
  kEventMouseLeave = 0x406,
  kEventTimerTick = 0x801,
  kEventHotkeyHit = 0x1001,
  kEventGadgetAction = 0x2001,
  kEventGadgetPaint = 0x2002,
  kEventGadgetSelect = 0x2003,
  kEventGadgetMenu = 0x2004,
  kEventGadgetOpen = 0x2005,
  kEventGadgetClose = 0x2006,
  kEventGadgetDone = 0x2007,
  kEventGadgetLostFocus = 0x2008,
  kEventGadgetShape = 0x2009,
  kEventWindowMove = 0x4001,
  kEventWindowSize = 0x4002,
  kEventWindowClose = 0x4003,
  kEventWindowActivate = 0x4004,
  kEventWindowAccept = 0x4005,
  kEventMenuAction = 0x8001,
  kEventStreamEof = 0x10001,
  kEventStreamAvail = 0x10002,
  kEventProcessExit = 0x20001,
};

class TEvent : public Object {
 public:
  VXL_CLASS(TEvent, Object)
  // The fields in their fixed order: producers fill them positionally.
  int32_t id = 0;
  Ref<Object> source;
  int32_t data = 0;
  int32_t mods = 0;
  int32_t x = 0;
  int32_t y = 0;
  Ref<Object> extra;

  static Ref<TEvent> Create(int32_t id, const Ref<Object>& source, int32_t data, int32_t mods,
                            int32_t x, int32_t y, const Ref<Object>& extra);
  // Runs the hooks of EventHookId with this event; their result is dropped. Returns 0.
  int32_t Emit();
  // "<name>: data=<data>, mods=<mods>, x=<x>, y=<y>, extra=\"<extra if a string>\"".
  String ToString() const override;
  // The next user event id: 0x80000001 first.
  static int32_t AllocUserId();

  static void Bind(ClassBinder<TEvent>& b);
};

// The name ToString prints for an id: the listed name, "UserEvent<n>" for ids with bit 31 set,
// else "Unknown Event, id=<id>".
String EventName(int32_t id);

// The hook id every event is emitted on; allocated by the event module's initialiser.
extern int32_t EventHookId;

Ref<TEvent> MakeEvent(int32_t id, const Ref<Object>& source, int32_t data, int32_t mods, int32_t x,
                      int32_t y, const Ref<Object>& extra);
int32_t SendEvent(const Ref<TEvent>& event);
int32_t NewUserEventId();

int InitEventModule();
// A step with no content of its own that follows the event module in the start-up order.
int InitEventTailModule();

}  // namespace vxl
