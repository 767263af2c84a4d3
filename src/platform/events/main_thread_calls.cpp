#include "platform/events/main_thread_calls.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/thread/thread.h"

namespace vxl::platform::events {
namespace {

struct Call {
  PostedFunction fn;
  void* info;
  intptr_t result;
};

struct Queue {
  std::mutex mutex;
  std::condition_variable posted;
  std::deque<Call> calls;
  void (*waker)() = nullptr;
  std::thread::id runner;  // the thread inside RunPostedCalls, if any
  size_t nested = 0;       // calls it posted since it took its last batch
};

// Never destroyed: timer and worker threads may still post while the process exits.
Queue& TheQueue() {
  static auto* queue = new Queue;
  return *queue;
}

}  // namespace

void PostCall(PostedFunction fn, void* info, intptr_t result) {
  Queue& q = TheQueue();
  void (*waker)();
  {
    std::lock_guard lock(q.mutex);
    q.calls.push_back({fn, info, result});
    if (q.runner == std::this_thread::get_id()) ++q.nested;
    waker = q.waker;
  }
  q.posted.notify_one();
  if (waker) waker();
}

void RunPostedCalls() {
  Queue& q = TheQueue();
  std::vector<Call> batch;
  // Batch after batch while the running calls post more: a call posted by a running call runs in
  // this pump too, with whatever other threads posted before it. Posts of other threads alone
  // start no new batch, so a timer that ticks faster than its calls run cannot hold the pump.
  for (bool first = true;; first = false) {
    {
      std::lock_guard lock(q.mutex);
      if (q.calls.empty() || (!first && q.nested == 0)) {
        q.runner = std::thread::id();
        return;
      }
      batch.assign(q.calls.begin(), q.calls.end());
      q.calls.clear();
      q.nested = 0;
      q.runner = std::this_thread::get_id();
    }
    size_t next = 0;
    try {
      for (; next < batch.size(); ++next) {
        const Call& c = batch[next];
        c.fn(c.info, c.result);
      }
    } catch (...) {
      // The failed call is done; the ones after it go back to the front, before any newer post.
      std::lock_guard lock(q.mutex);
      q.calls.insert(q.calls.begin(), batch.begin() + next + 1, batch.end());
      q.runner = std::thread::id();
      throw;
    }
  }
}

bool HasPostedCalls() {
  Queue& q = TheQueue();
  std::lock_guard lock(q.mutex);
  return !q.calls.empty();
}

void WaitForPostedCall() {
  Queue& q = TheQueue();
  std::unique_lock lock(q.mutex);
  q.posted.wait(lock, [&q] { return !q.calls.empty(); });
}

void SetPostWaker(void (*waker)()) {
  Queue& q = TheQueue();
  std::lock_guard lock(q.mutex);
  q.waker = waker;
}

bool RunOffThread(intptr_t (*worker)(void* workerArg), void* workerArg, PostedFunction fn,
                  void* info) {
  return thread::StartDetached("vxl worker", [=] { PostCall(fn, info, worker(workerArg)); });
}

}  // namespace vxl::platform::events
