#include "system/main_thread.h"

#include <memory>
#include <vector>

#include "platform/events/main_thread_calls.h"

namespace vxl {
namespace {

// The weak handles: slot index + 1 in the low 32 bits, the slot's generation in the high ones.
// Main thread only; never destroyed (posts may still arrive while the process exits).
struct HandleSlot {
  Object* object = nullptr;
  uint32_t generation = 1;
};

struct HandleTable {
  std::vector<HandleSlot> slots;
  std::vector<uint32_t> free;
};

HandleTable& Handles() {
  static auto* table = new HandleTable;
  return *table;
}

HandleSlot* SlotOf(WeakHandle handle) {
  HandleTable& table = Handles();
  uint64_t index = (handle & 0xFFFFFFFFu) - 1;
  if ((handle & 0xFFFFFFFFu) == 0 || index >= table.slots.size()) return nullptr;
  HandleSlot& slot = table.slots[index];
  return slot.generation == uint32_t(handle >> 32) && slot.object ? &slot : nullptr;
}

// A posted call: by weak handle, or (RunOffThread) holding a reference to its info.
struct CallRecord {
  MainThreadFunction fn;
  WeakHandle target;
  Object* held;  // a reference to release after the call, or null
};

void RunRecord(void* record, intptr_t value) {
  std::unique_ptr<CallRecord> r(static_cast<CallRecord*>(record));
  Ref<Object> target = r->held ? Ref<Object>::Adopt(r->held) : ResolveWeakHandle(r->target);
  r->fn(target, value);
}

}  // namespace

WeakHandle NewWeakHandle(Object* object) {
  if (!object) return 0;
  HandleTable& table = Handles();
  uint32_t index;
  if (!table.free.empty()) {
    index = table.free.back();
    table.free.pop_back();
  } else {
    index = uint32_t(table.slots.size());
    table.slots.emplace_back();
  }
  table.slots[index].object = object;
  return (uint64_t(table.slots[index].generation) << 32) | (uint64_t(index) + 1);
}

void RevokeWeakHandle(WeakHandle handle) {
  HandleSlot* slot = SlotOf(handle);
  if (!slot) return;
  slot->object = nullptr;
  // A slot whose generations are used up is retired rather than reused.
  if (++slot->generation != 0) Handles().free.push_back(uint32_t(handle & 0xFFFFFFFFu) - 1);
}

Ref<Object> ResolveWeakHandle(WeakHandle handle) {
  HandleSlot* slot = SlotOf(handle);
  return slot ? TryRef(slot->object) : Ref<Object>();
}

void PostToMainThread(MainThreadFunction fn, WeakHandle target, intptr_t value) {
  platform::events::PostCall(&RunRecord, new CallRecord{fn, target, nullptr}, value);
}

bool RunOffThread(intptr_t (*worker)(void* workerArg), void* workerArg, MainThreadFunction fn,
                  const Ref<Object>& info) {
  Ref<Object> held = info;
  auto* record = new CallRecord{fn, 0, held.Get()};
  if (!platform::events::RunOffThread(worker, workerArg, &RunRecord, record)) {
    delete record;
    return false;
  }
  held.Leak();  // released by RunRecord on the main thread
  return true;
}

}  // namespace vxl
