// X11 questions and settings for windows, asked through libX11 (opened on first use) without
// disturbing the process: wrapping a window that does not exist would make Xlib end the program.
#pragma once

#include <cstdint>

#include "platform/events/event_pump.h"

namespace vxl::platform::events {

// The X11 id of a framework window; 0 when it is not an X11 window.
uintptr_t X11WindowId(NativeWindow window);
// SDL's X11 connection of a framework window (0 when it is not an X11 window), and a round trip
// on it: every request sent on it has reached the server (for windows another program part
// may destroy next).
uintptr_t X11ConnectionOf(NativeWindow window);
void SyncX11Connection(uintptr_t connection);

// True when the X server knows the window. False for any other id, and without a display or
// libX11.
bool ForeignWindowExists(uintptr_t window);
// Gives the window the X11 class `name` (both the instance and the class name). False without
// a display or libX11.
bool SetX11WindowClass(uintptr_t window, const char* name);
// The window's X11 class name ("" when it has none or cannot be read), for tests.
const char* X11WindowClass(uintptr_t window);

}  // namespace vxl::platform::events
