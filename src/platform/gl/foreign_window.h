// Whether a native window id names a window that exists, asked without disturbing the process:
// wrapping a window that does not exist would make Xlib end the program.
#pragma once

#include <cstdint>

namespace vxl::platform::gl {

// True when the X server knows the window. False for any other id, and without a display or
// libX11.
bool ForeignWindowExists(uintptr_t window);

}  // namespace vxl::platform::gl
