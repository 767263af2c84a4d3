// Integer handles for objects, for code that can only keep numbers.
//
//   int32_t h = ObjectHandle(window);   // 1, 2, ... the same number for the same object each time
//   Ref<Object> w = HandleObject(h);    // the object again
//
// A numbered object stays alive for the rest of the process; handles are never reused.
// Main thread only.
#pragma once

#include <cstdint>

#include "runtime/object.h"

namespace vxl {

// 0 for Null; otherwise the object's handle, assigned from 1 upward on its first request.
int32_t ObjectHandle(const Ref<Object>& object);
// The object numbered `handle`; Null for 0 and for numbers never handed out.
Ref<Object> HandleObject(int32_t handle);

}  // namespace vxl
