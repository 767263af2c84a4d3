// Calls brought to the main thread from other threads.
//
//   PostToMainThread(&DeliverTick, timer, id);   // any thread; runs inside the next pump
//
// The call runs on the main thread while PumpSystem or AwaitSystem runs the pump; a waiting
// AwaitSystem wakes for it.
#pragma once

#include <cstdint>

#include "runtime/object.h"

namespace vxl {

using MainThreadFunction = void (*)(Object* info, intptr_t result);

// Queues fn(info, result) for the main thread. Any thread. No reference to info is taken (other
// threads never touch reference counts): the caller keeps it alive until the call has run, or
// the call must find out that it is gone.
void PostToMainThread(MainThreadFunction fn, Object* info, intptr_t result);

// Runs worker(workerArg) on a new thread, then fn(info, worker's result) on the main thread.
// info is referenced from now until fn has run. Main thread. Returns false (and calls nothing)
// when no thread could be started.
bool RunOffThread(intptr_t (*worker)(void* workerArg), void* workerArg, MainThreadFunction fn,
                  const Ref<Object>& info);

}  // namespace vxl
