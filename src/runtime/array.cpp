#include "runtime/array.h"

#include "runtime/class_binder.h"

namespace vxl {

VXL_DEFINE_CLASS(ArrayObject)

// Never destroyed, so references still held during static destruction stay valid.
ArrayObject& ArrayObject::Empty() noexcept {
  static ArrayObject* empty = new ArrayObject(ImmortalTag{});
  return *empty;
}

}  // namespace vxl
