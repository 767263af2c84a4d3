// Threads of the framework: every thread it runs besides the main thread is started, named and
// joined here (the timer thread, the mixer's DirectSound worker, the workers of RunOffThread).
//
//   platform::thread::Thread worker;
//   if (!worker.Start("vxl mixer", [this] { Work(); })) return kError;   // no thread to be had
//   ...
//   worker.Join();                                                       // waits for Work()
//
// A name shows in debuggers and in /proc/<pid>/task/<tid>/comm (at most 15 characters are kept).
// Only the C library.
//
// The threads and what they touch:
//   main thread      every framework object (reference counts are not atomic)
//   "vxl timer"      the periodic timers' schedule; runs their callbacks (platform/timer)
//   "vxl worker"     one per RunOffThread call; hands its result over through the main-thread queue
//   "vxl dsound mix" the mixer's DirectSound device refill (audio/tonmix)
//   SDL's audio      the audio callbacks of the waveOut output and the software DirectSound
//
// Lock order. A thread holds at most one of these locks at a time, except along an arrow, taken
// from left to right; nothing is posted, signalled or called back while a lock is held unless the
// callee takes only locks further right.
//   timer lifecycle -> timer schedule            (platform/timer; callbacks run with neither)
//   library state -> library registry            (platform/library)
//   SDL audio device lock -> DirectSound device  (the audio callback mixes under both)
//   main-thread queue                            (a leaf: its waker runs after it is released)
//   DirectSound event                            (a leaf)
// So the timer thread never posts to the main thread under its lock, and a main-thread call
// never waits for the timer's lock while holding the queue's.
#pragma once

#include <functional>
#include <memory>

namespace vxl::platform::thread {

class Thread {
 public:
  Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  // Joins a thread still running: a body must not outlive what it works on.
  ~Thread();

  // Starts `body` on a new thread named `name`. False when the system has no thread to give, or
  // when this Thread already runs one that has not been joined.
  bool Start(const char* name, std::function<void()> body);
  // Waits for the body to return. Nothing happens when no thread was started or it was joined.
  // Never call it from the body itself.
  void Join();
  // True between a successful Start and the Join.
  bool Started() const;
  // True when the caller is this thread's body.
  bool IsCurrent() const;

 private:
  struct Native;
  std::unique_ptr<Native> native_;
};

// Starts `body` on a new thread named `name` that nobody joins: it ends by itself, and must not
// touch anything that may be gone by then (hand results over through the main-thread queue).
// False when the system has no thread to give.
bool StartDetached(const char* name, std::function<void()> body);

// Names the calling thread (at most 15 characters are kept).
void NameCurrentThread(const char* name);

}  // namespace vxl::platform::thread
