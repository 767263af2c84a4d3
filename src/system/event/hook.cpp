#include "system/event/hook.h"

#include <array>

#include "runtime/class_binder.h"
#include "runtime/exceptions.h"
#include "runtime/module.h"
#include "runtime/never_destroyed.h"

namespace vxl {

VXL_DEFINE_CLASS(THook)

void THook::Bind(ClassBinder<THook>& b) {
  b.ReadOnlyField<&THook::succ>("succ");
  b.Field<&THook::priority>("priority");
  b.ReadOnlyField<&THook::func>("func");
  b.Field<&THook::context>("context");
}

namespace {

constexpr int32_t kHookSlots = 256;

// Module globals in storage that is never destroyed: chains keep their context objects alive
// for the whole process, and no static destructor releases framework objects.
Ref<THook>* Table() {
  static NeverDestroyed<std::array<Ref<THook>, kHookSlots>> table;
  return table->data();
}
int32_t g_hookIdCounter = -1;

Ref<THook>& Slot(int32_t id) {
  if (id < 0 || id >= kHookSlots)
    RaiseRuntimeError("Hook id " + String::FromInt(id) + " is outside 0..255");
  return Table()[id];
}

}  // namespace

int32_t NewHookId() {
  if (g_hookIdCounter < kHookSlots) ++g_hookIdCounter;  // stops counting once past the end
  if (g_hookIdCounter > kHookSlots - 1) Throw("Too many hook ids");
  return g_hookIdCounter;
}

int32_t InsertHook(int32_t id, HookFunction func, const Ref<Object>& context, int32_t priority) {
  Ref<THook>& head = Slot(id);
  Ref<THook> hook = New<THook>();
  hook->priority = priority;
  hook->func = func;
  hook->context = context;
  THook* after = nullptr;
  for (THook* h = head.Get(); h && h->priority >= priority; h = h->succ.Get())
    after = h;
  Ref<THook>& link = after ? after->succ : head;
  hook->succ = link;
  link = hook;
  return 0;
}

Ref<Object> CallHooks(int32_t id, Ref<Object> data) {
  // The running hook is held, so a hook that detaches itself is not destroyed under its own call;
  // its succ link as it stands afterwards leads on.
  for (Ref<THook> hook = Slot(id); hook; hook = hook->succ)
    data = hook->func(id, data, hook->context);
  return data;
}

int32_t DetachHook(int32_t id, HookFunction func, const Ref<Object>& context) {
  Ref<THook>* link = &Slot(id);
  while (THook* h = link->Get()) {
    if (h->func == func && h->context == context) {
      Ref<THook> keep = *link;  // released only after the chain is relinked
      *link = h->succ;
      break;
    }
    link = &h->succ;
  }
  return 0;
}

Ref<THook> HookChain(int32_t id) {
  return Slot(id);
}

int InitHookModule() {
  static ModuleGuard guard("hook");
  return guard.Run({InitCoreModule}, [] { RegisterClass<THook>(); });
}

}  // namespace vxl
