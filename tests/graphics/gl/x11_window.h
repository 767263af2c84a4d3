// A plain X11 window made by the test itself, for attaching to (kept apart: Xlib's macros clash
// with other headers).
#pragma once

#include <cstdint>

namespace vxl::testing {

// A mapped width x height window on the test's display; 0 when there is no display.
uint64_t MakeX11Window(int width, int height);
bool X11WindowExists(uint64_t window);
void DestroyX11Window(uint64_t window);

}  // namespace vxl::testing
