// Native events: framework windows, the event pump and the event wait, over SDL2.
//
// SDL starts on first need: the first OpenWindow starts its video subsystem (SDL's events come
// with it). Until then the pump only runs posted calls and the wait only waits for one, so
// timers and main-thread calls work on a machine without any display.
//
//   NativeWindow w = OpenWindow("Game", 640, 480);       // nullptr: no display (or no SDL2)
//   SetWindowProcedure(w, &MyProcedure, context);        // receives the window's messages
//   for (;;) { WaitForEvent(); PumpEvents(); }           // main thread
//
// Native input reaches a window procedure as the messages a Windows window procedure receives
// (same numbers, same wParam/lParam layout): key messages carry the virtual-key code and the
// set-1 scan code bits, characters arrive one UTF-16 unit per message, mouse messages carry the
// client position and the held buttons. The framework's event translation reads these.
#pragma once

#include <cstdint>

namespace vxl::platform::events {

// A framework window. On this platform it is the SDL_Window itself.
struct NativeWindowHandle;
using NativeWindow = NativeWindowHandle*;

// Window messages, numbered as the translation reads them.
enum : uint32_t {
  kMsgSetFocus = 0x0007,   // the window got the keyboard focus
  kMsgKillFocus = 0x0008,  // the window lost it
  kMsgClose = 0x0010,
  kMsgActivateApp = 0x001C,  // wParam 1 when the application became active, 0 when it lost it
  kMsgKeyDown = 0x0100,
  kMsgKeyUp = 0x0101,
  kMsgChar = 0x0102,
  kMsgSysKeyDown = 0x0104,  // a key pressed while Alt is held
  kMsgSysKeyUp = 0x0105,
  kMsgMouseMove = 0x0200,
  kMsgLButtonDown = 0x0201,
  kMsgLButtonUp = 0x0202,
  kMsgRButtonDown = 0x0204,
  kMsgRButtonUp = 0x0205,
  kMsgMButtonDown = 0x0207,
  kMsgMButtonUp = 0x0208,
  kMsgMouseWheel = 0x020A,  // wParam high word: signed delta, 120 per step; lParam: screen point
  kMsgMouseLeave = 0x02A3,
};
// Held-button bits in the wParam of mouse messages.
enum : uintptr_t { kMkLButton = 0x01, kMkRButton = 0x02, kMkMButton = 0x10 };

struct WindowMessage {
  NativeWindow window;
  uint32_t message;
  uintptr_t wParam;
  intptr_t lParam;  // mouse messages: x in the low 16 bits, y in the next 16, both signed
};
using WindowProcedure = void (*)(const WindowMessage& message, void* context);

// True when a display is configured for this process (an X11 or Wayland display).
bool HasDisplay();

// Opens a shown window of the given client size, starting SDL's video on first use. nullptr
// when there is no display, the display named cannot be reached, or there is no SDL2. A headless
// video driver (SDL's offscreen or dummy, for tests) is used only when SDL_VIDEODRIVER names it,
// never as a fall-back. Main thread.
NativeWindow OpenWindow(const char* title, int width, int height);
// How OpenWindowWith makes a window.
struct WindowOptions {
  bool openGL = false;  // drawable with OpenGL (the attributes set before the call apply)
  bool hidden = false;  // not shown
  bool placed = false;  // the client area's top-left corner at (x, y) on the screen
  int x = 0, y = 0;
  const char* windowClass = nullptr;  // the X11 class (nullptr: the one SDL gives)
  bool borderless = false;            // no frame or title bar (a pop-up)
};
// OpenWindow with options; nullptr as there.
NativeWindow OpenWindowWith(const char* title, int width, int height, const WindowOptions& options);
// Wraps a window another program part made (on X11 its window id) so that it can be drawn with
// OpenGL and its messages reach a procedure. nullptr when there is no display or no such window.
// CloseWindow releases the wrapper and leaves the window itself alone.
NativeWindow AdoptWindow(uintptr_t nativeId);
// Starts SDL's video subsystem (once; later calls only report). False without a display.
bool StartVideo();
// Closes the window; its messages no longer reach any procedure.
void CloseWindow(NativeWindow window);
// Routes the window's messages to `procedure` (nullptr drops them).
void SetWindowProcedure(NativeWindow window, WindowProcedure procedure, void* context);
// The window with the keyboard focus, or nullptr.
NativeWindow FocusedWindow();
// Raises the window and gives it the keyboard focus (nothing for nullptr).
void FocusWindow(NativeWindow window);
// Client width and height; false for a window that is not open.
bool ClientSize(NativeWindow window, int* width, int* height);

// Delivers every pending native event to the window procedures (in arrival order), then runs
// the calls posted to the main thread. Main thread.
void PumpEvents();
// Blocks until a native event or a posted call is waiting (at once when one already is).
// Without an open window only a posted call ends the wait (a condition variable). With one, SDL
// waits on the display connection and a post pushes an event to end that wait; SDL's headless
// drivers (offscreen, dummy) and a display with every window hidden have nothing to wait on, and
// there SDL itself looks at its queue every millisecond. Main thread.
void WaitForEvent();

// Whether a key was down as of the key message most recently delivered, for the modifier keys:
// 0x10 shift, 0x11 control, 0x12 alt, 0x5B and 0x5C the left and right Windows keys.
bool IsKeyDown(int virtualKey);

// The last known pointer position, in the window's client coordinates.
void PointerPosition(NativeWindow window, int* x, int* y);
// Converts a screen point into the window's client coordinates.
void ScreenToClient(NativeWindow window, int* x, int* y);
// Keeps mouse input while a button is held outside the window (true) or stops doing so.
void CaptureMouse(bool capture);
// Shows or hides the pointer over the framework's windows (idempotent).
void ShowCursor(bool show);
bool IsCursorShown();
// Moves the pointer to a point in the focused window's client coordinates, or to a screen point
// when no window has the focus. Nothing without a display.
void WarpPointer(int x, int y);

// Closes every window and stops what this layer started (for the system module's exit function).
void ShutdownEvents();

}  // namespace vxl::platform::events
