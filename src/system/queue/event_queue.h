// The event queue: every emitted event, kept in a 256-entry ring for a main loop to take.
//
//   while (QueueWait() != kEventAppTerminate) {
//     if (CurrentEventId() == kEventKeyDown) Press(CurrentEventData());
//   }
//
// Timer ticks, gadget actions, window moves and window sizes from the same source merge into the
// one already queued (which takes the newest values) instead of piling up. A full ring drops new
// events. Main thread only.
#pragma once

#include <cstdint>

#include "runtime/object.h"
#include "runtime/string.h"
#include "system/event/event.h"

namespace vxl {

// Appends the event (merged into a queued one of the same id and source when merge is set).
// A Null event raises the null-object error and leaves the queue as it was.
void QueuePost(const Ref<TEvent>& event, bool merge);
// The oldest queued event without taking it (pumps once when empty); Null when none.
Ref<TEvent> QueuePeek();
// Takes the oldest event and makes it current (pumps once when empty); returns its id, or 0 with
// the blank event current when none is waiting.
int32_t QueuePoll();
// Waits until an event is queued, then takes it as QueuePoll does. Called while the pump is busy
// (from an event hook) with nothing queued, it cannot wait and returns 0 like QueuePoll.
int32_t QueueWait();

int32_t CurrentEventId();
int32_t CurrentEventData();
int32_t CurrentEventMods();
int32_t CurrentEventX();
int32_t CurrentEventY();
Ref<Object> CurrentEventExtra();
// The current event's extra when it is a string, else "".
String CurrentEventText();
Ref<Object> CurrentEventSource();
// The source's handle in the runtime's handle registry; 0 for Null.
int32_t CurrentEventSourceHandle();

int InitEventQueueModule();

}  // namespace vxl
