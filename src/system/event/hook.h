// Hooks: 256 prioritised callback chains, each named by a hook id.
//
//   int32_t id = NewHookId();
//   InsertHook(id, [](int32_t, Ref<Object> data, Ref<Object>) { return data; }, nullptr, 10);
//   Ref<Object> out = CallHooks(id, someObject);   // runs the chain, highest priority first
//
// Every hook receives the data the previous hook returned; CallHooks returns what the last one
// gave back (the argument itself for an empty chain). Ids come from NewHookId only; an id outside
// 0..255 raises a runtime error and touches no table. Main thread only.
#pragma once

#include <cstdint>

#include "runtime/function.h"
#include "runtime/object.h"

namespace vxl {

template <class T>
class ClassBinder;

// func(hook id, data, context) -> the data for the next hook.
using HookFunction = Function<Ref<Object>(int32_t, Ref<Object>, Ref<Object>)>;

// One link of a chain.
class THook : public Object {
 public:
  VXL_CLASS(THook, Object)
  Ref<THook> succ;
  int32_t priority = 0;
  HookFunction func;  // unassigned: calling it throws TNullFunctionException
  Ref<Object> context;

  static void Bind(ClassBinder<THook>& b);
};

// Hands out the next hook id, 0 first; the 257th call and every later one throw the string
// "Too many hook ids".
int32_t NewHookId();
// Links a new hook into chain `id`: after every hook of greater or equal priority. Returns 0.
int32_t InsertHook(int32_t id, HookFunction func, const Ref<Object>& context, int32_t priority);
// Runs chain `id` from its head and returns the data left by the last hook. An exception from a
// hook ends the run and propagates; the chain is unchanged by it.
Ref<Object> CallHooks(int32_t id, Ref<Object> data);
// Unlinks the first hook of chain `id` with this very function and context object. Returns 0.
int32_t DetachHook(int32_t id, HookFunction func, const Ref<Object>& context);
// The head of chain `id` (Null when empty).
Ref<THook> HookChain(int32_t id);

int InitHookModule();

}  // namespace vxl
