#include "system/queue/event_queue.h"

#include <array>

#include "runtime/handle_registry.h"
#include "runtime/module.h"
#include "runtime/never_destroyed.h"
#include "system/event/hook.h"
#include "system/system.h"

namespace vxl {
namespace {

constexpr uint32_t kRing = 256;

struct Queue {
  std::array<Ref<TEvent>, kRing> ring;
  uint32_t put = 0;  // events ever appended; slot = counter mod 256
  uint32_t get = 0;  // events ever taken
  Ref<TEvent> blank;
  Ref<TEvent> current;
};

// Never destroyed: queued events and the current one stay until the process ends.
Queue& EventRing() {
  static NeverDestroyed<Queue> queue;
  return *queue;
}

bool Empty() {
  return EventRing().put == EventRing().get;
}

int32_t Take() {
  Queue& q = EventRing();
  Ref<TEvent>& slot = q.ring[q.get % kRing];
  q.current = std::move(slot);
  ++q.get;
  return q.current->id;
}

bool MergesById(int32_t id) {
  return id == kEventTimerTick || id == kEventGadgetAction || id == kEventWindowMove ||
         id == kEventWindowSize;
}

Ref<Object> QueueHook(int32_t, Ref<Object> data, Ref<Object>) {
  Ref<TEvent> event = data.As<TEvent>();
  if (!event) return nullptr;
  QueuePost(event, MergesById(event->id));
  return data;
}

}  // namespace

void QueuePost(const Ref<TEvent>& event, bool merge) {
  // Null is no event: queued, it would be read as one by every later merge and take.
  if (!event) ThrowNullObject();
  Queue& q = EventRing();
  if (merge) {
    for (uint32_t i = q.get; i != q.put; ++i) {
      TEvent* queued = q.ring[i % kRing].Get();
      if (queued->id == event->id && queued->source == event->source) {
        queued->data = event->data;
        queued->mods = event->mods;
        queued->x = event->x;
        queued->y = event->y;
        queued->extra = event->extra;
        return;
      }
    }
  }
  if (q.put - q.get == kRing) return;
  q.ring[q.put % kRing] = event;
  ++q.put;
}

Ref<TEvent> QueuePeek() {
  if (Empty()) PumpSystem();
  if (Empty()) return nullptr;
  return EventRing().ring[EventRing().get % kRing];
}

int32_t QueuePoll() {
  if (Empty()) PumpSystem();
  if (Empty()) {
    EventRing().current = EventRing().blank;
    return 0;
  }
  return Take();
}

int32_t QueueWait() {
  while (Empty() && !SystemPumpBusy())
    AwaitSystem();
  if (Empty()) {
    EventRing().current = EventRing().blank;
    return 0;
  }
  return Take();
}

int32_t CurrentEventId() {
  return EventRing().current->id;
}
int32_t CurrentEventData() {
  return EventRing().current->data;
}
int32_t CurrentEventMods() {
  return EventRing().current->mods;
}
int32_t CurrentEventX() {
  return EventRing().current->x;
}
int32_t CurrentEventY() {
  return EventRing().current->y;
}
Ref<Object> CurrentEventExtra() {
  return EventRing().current->extra;
}
String CurrentEventText() {
  return String::Of(EventRing().current->extra);
}
Ref<Object> CurrentEventSource() {
  return EventRing().current->source;
}
int32_t CurrentEventSourceHandle() {
  return ObjectHandle(EventRing().current->source);
}

int InitEventQueueModule() {
  static ModuleGuard guard("event queue");
  return guard.Run({InitCoreModule, InitEventModule, InitSystemModule}, [] {
    Queue& q = EventRing();
    InsertHook(EventHookId, &QueueHook, nullptr, -10000);
    q.blank = New<TEvent>();
    q.current = q.blank;
  });
}

}  // namespace vxl
