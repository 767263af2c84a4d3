#include "runtime/library_failure.h"

#include "platform/library/lazy_library.h"

namespace vxl {

String LastLibraryFailure() {
  return String(std::string_view(platform::LastLibraryFailure()));
}

}  // namespace vxl
