// Calls brought to the main thread from other threads: the one main-thread queue.
//
//   WeakHandle h = NewWeakHandle(timer);           // main thread: a number that names the timer
//   PostToMainThread(&DeliverTick, h, id);         // any thread; runs inside the next pump
//   void DeliverTick(const Ref<Object>& timer, intptr_t id) {
//     if (!timer) return;                          // the timer went before the call ran
//     ...
//   }
//   RevokeWeakHandle(h);                           // main thread, before the timer goes
//
// Other threads never hold a framework object (reference counts are not atomic): they carry a
// weak handle, a generation-tagged number, and the queue turns it back into the object on the
// main thread, or into Null when the object has revoked it. So no receiver checks for itself
// whether its object still exists.
//
// A call runs on the main thread while PumpSystem or AwaitSystem runs the pump; a waiting
// AwaitSystem wakes for it. A call posted by a running call runs in the same pump.
#pragma once

#include <cstdint>

#include "runtime/object.h"

namespace vxl {

// Names an object for other threads; 0 names nothing. A revoked handle is never given out again.
using WeakHandle = uint64_t;

// A handle for `object` (main thread). The owner revokes it before the object goes.
WeakHandle NewWeakHandle(Object* object);
// From now on the handle resolves to Null (main thread). 0 and revoked handles are ignored.
void RevokeWeakHandle(WeakHandle handle);
// The object the handle names, or Null for 0, a revoked or a forged handle (main thread).
Ref<Object> ResolveWeakHandle(WeakHandle handle);

// Receives the object the post named (Null when it is gone, or when the post named none).
using MainThreadFunction = void (*)(const Ref<Object>& target, intptr_t value);

// Queues fn(object of target, value) for the main thread. Any thread.
void PostToMainThread(MainThreadFunction fn, WeakHandle target, intptr_t value);

// Runs worker(workerArg) on a new thread, then fn(info, worker's result) on the main thread.
// info is referenced from now until fn has run. Main thread. Returns false (and calls nothing)
// when no thread could be started.
bool RunOffThread(intptr_t (*worker)(void* workerArg), void* workerArg, MainThreadFunction fn,
                  const Ref<Object>& info);

}  // namespace vxl
