#include "system/main_thread.h"

#include <memory>

#include "platform/events/main_thread_calls.h"

namespace vxl {
namespace {

// The main-thread call record; allocated by the poster, freed on the main thread after the call.
struct CallRecord {
  MainThreadFunction fn;
  Object* info;
  bool ownsInfo;  // RunOffThread: a reference to release after the call
};

void RunRecord(void* record, intptr_t result) {
  std::unique_ptr<CallRecord> r(static_cast<CallRecord*>(record));
  Ref<Object> owned = r->ownsInfo ? Ref<Object>::Adopt(r->info) : Ref<Object>();
  r->fn(r->info, result);
}

}  // namespace

void PostToMainThread(MainThreadFunction fn, Object* info, intptr_t result) {
  platform::events::PostCall(&RunRecord, new CallRecord{fn, info, false}, result);
}

bool RunOffThread(intptr_t (*worker)(void* workerArg), void* workerArg, MainThreadFunction fn,
                  const Ref<Object>& info) {
  Ref<Object> held = info;
  auto* record = new CallRecord{fn, held.Get(), true};
  if (!platform::events::RunOffThread(worker, workerArg, &RunRecord, record)) {
    delete record;
    return false;
  }
  held.Leak();  // released by RunRecord on the main thread
  return true;
}

}  // namespace vxl
