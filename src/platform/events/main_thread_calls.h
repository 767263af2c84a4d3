// The main-thread call queue: any thread posts a call; the main thread runs the posted calls while
// it pumps its events, and its event wait wakes when one arrives.
//
//   PostCall(&Deliver, record, id);     // from a timer thread: queued, the waiting main thread
//                                       // wakes
//   ...
//   RunPostedCalls();                   // main thread, inside the pump: Deliver(timer, id)
//
// Posting never blocks for long (one short lock) and never allocates while the queue's storage
// is large enough. Only the C library is used here. The framework posts through
// system/main_thread.h, which carries weak handles to objects over this queue.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vxl::platform::events {

using PostedFunction = void (*)(void* info, intptr_t result);

// Appends fn(info, result) to the queue and wakes the main thread's wait. Any thread.
void PostCall(PostedFunction fn, void* info, intptr_t result);

// Runs the posted calls, oldest first; while the running calls post more, those run too (with
// what other threads posted meanwhile), until the queue is empty or only other threads' new posts
// wait (they run in the next pump, so a fast timer cannot hold the pump for ever). When a call
// throws, the calls not yet run stay queued, in order, and the exception propagates. Main thread.
void RunPostedCalls();

// True when a posted call is waiting. Any thread.
bool HasPostedCalls();

// Blocks until a call is posted (returns at once when one is waiting). Main thread.
void WaitForPostedCall();

// A function run, after each post, on the posting thread, to wake a wait that is not
// WaitForPostedCall (the event pump's native wait). Null removes it. Main thread.
void SetPostWaker(void (*waker)());

// Runs worker(workerArg) on a new thread, then posts fn(info, result of worker). Returns false
// when no thread could be started (nothing is posted then).
bool RunOffThread(intptr_t (*worker)(void* workerArg), void* workerArg, PostedFunction fn,
                  void* info);

}  // namespace vxl::platform::events
