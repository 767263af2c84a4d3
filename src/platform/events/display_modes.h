// The display's modes and full-screen windows, over SDL's display modes.
//
//   for (ScreenMode m : ListDisplayModes()) ...            // starts SDL's video
//   if (!EnterFullScreen(window, 800, 600, 32, 60)) ...    // the display refused the mode
//   LeaveFullScreen(window, true);
//
// Main thread only.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/events/event_pump.h"

namespace vxl::platform::events {

struct ScreenMode {
  int32_t width, height, depth, hertz;
};

// The first display's modes as SDL lists them (at most 1024), depth 8 times the bytes per pixel
// (so 24-bit visuals list as 32), those under 16 bits skipped. Starts SDL's video; empty without
// a display.
std::vector<ScreenMode> ListDisplayModes();
// Switches the window to full screen in the first listed mode of that size and depth with that
// refresh rate (hertz 0: any). False when no mode fits or the display refuses it.
bool EnterFullScreen(NativeWindow window, int32_t width, int32_t height, int32_t depth,
                     int32_t hertz);
// The refresh rate of the first display's current mode in hertz; 0 when unknown or without a
// display (does not start SDL's video).
int32_t CurrentRefreshRate();
// Takes the window out of full screen (giving the desktop its mode back) and minimises it when
// asked.
void LeaveFullScreen(NativeWindow window, bool minimise);

}  // namespace vxl::platform::events
