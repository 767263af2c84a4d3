// Windows for the Direct3D 7 graphics driver: titled, of a fixed size, the client area at
// (32, 32) (full screen: a borderless window at (0, 0) the size of the mode), X11 class
// "VXDX7Device Window Class", or an existing X11 window attached by id. Every message of these
// windows goes to the translator first (the framework's event translation); focus changes are
// reported after it. A close request is only translated: the window stays until destroyed.
//
//   SetDeviceWindowHandlers(&Translate, &FocusChanged);
//   WindowId w = CreateDeviceWindow("Game", 640, 480, false);   // 0: no display
//   ... IDirectDraw7::SetCooperativeLevel(w, ...), a clipper bound to w ...
//   DestroyDeviceWindow(w);
//
// Main thread only.
#pragma once

#include <cstdint>

#include "platform/d3d7/ddraw7.h"
#include "platform/events/event_pump.h"

namespace vxl::platform::d3d7 {

// Receives every message of a device window. May throw; the message then ends there.
using DeviceWindowTranslator = void (*)(const events::WindowMessage& message);
// Called after the translator when a device window gets (true) or loses (false) the focus.
using DeviceWindowFocus = void (*)(WindowId window, bool focused);
void SetDeviceWindowHandlers(DeviceWindowTranslator translator, DeviceWindowFocus focus);

// A shown window with the given client size and title: windowed with its client area at
// (32, 32), or full screen (a borderless window at (0, 0); the display mode switches when
// DirectDraw's SetDisplayMode asks). 0 without a display or when the window cannot be made.
WindowId CreateDeviceWindow(const char* title, int32_t width, int32_t height, bool fullScreen);
// An existing window (on X11 its window id). 0 when it does not exist. Destroying it later
// only lets go of it.
WindowId AttachDeviceWindow(uintptr_t nativeId);
// Client size; false for a window that is not open.
bool DeviceWindowClientSize(WindowId window, int32_t* width, int32_t* height);
// The client area's top-left corner in screen coordinates; false for a window not open.
bool DeviceWindowClientOrigin(WindowId window, int32_t* x, int32_t* y);
// Closes the window (nothing for 0 or a window not open).
void DestroyDeviceWindow(WindowId window);
// The framework window behind a device window (nullptr when not open).
events::NativeWindow DeviceWindowHandle(WindowId window);

}  // namespace vxl::platform::d3d7
