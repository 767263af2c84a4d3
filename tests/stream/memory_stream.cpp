#include "memory_stream.h"

#include "runtime/class_binder.h"

namespace vxl::test {

VXL_DEFINE_CLASS(TMemoryStream)
VXL_DEFINE_CLASS(TTrickleStream)

}  // namespace vxl::test
