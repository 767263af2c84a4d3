#include "runtime/array.h"

#include "runtime/class_binder.h"

namespace vxl {

VXL_DEFINE_CLASS(ArrayObject)

ArrayObject& ArrayObject::Empty() noexcept {
  static ArrayObject empty{ImmortalTag{}};
  return empty;
}

}  // namespace vxl
