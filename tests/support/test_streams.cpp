#include "support/test_streams.h"

#include "runtime/class_binder.h"

namespace vxl::test {

VXL_DEFINE_CLASS(TMemoryStream)
VXL_DEFINE_CLASS(TOneWayStream)

}  // namespace vxl::test
