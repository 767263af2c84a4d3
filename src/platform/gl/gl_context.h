// OpenGL contexts on framework windows: the native side of the OpenGL graphics driver.
//
// Every context shares its textures with one shared context that sits on a hidden 1x1 window,
// made on first need and kept for the life of the process. Windows are titled by the caller,
// have a fixed size, and show their client area at (32, 32); full-screen windows switch the
// display mode while they hold the keyboard focus and give it back (and minimise) when they
// lose it.
//
//   platform::gl::SetWindowHandlers(&Translate, &ModeFailed);
//   NativeContext* c = platform::gl::CreateContext("Game", 640, 480, 0, 60, 2);  // nullptr: none
//   platform::gl::MakeCurrent(c);
//   ... draw through platform::gl::GL() ...
//   platform::gl::Flip(1);
//   platform::gl::CloseContext(c);
//
// Main thread only.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/events/event_pump.h"

namespace vxl::platform::gl {

// A live context (opaque).
struct NativeContext;

// What a context is made on.
enum ContextKind : int32_t { kShared = 0, kAttached = 1, kWindow = 2, kFullScreen = 3 };

struct ContextSettings {
  int32_t kind, width, height, depth, hertz, flags;
};

struct DisplayMode {
  int32_t width, height, depth, hertz;
};

// Called with every message of a context's window before the context handles it (the
// framework's event translation). May throw; the message then ends there.
using MessageTranslator = void (*)(const events::WindowMessage& message);
// Called when a full-screen window that got the focus could not switch the display mode. Meant
// to throw, so that the failure comes out of the event pump.
using DisplayModeFailure = void (*)();
void SetWindowHandlers(MessageTranslator translator, DisplayModeFailure failure);

// Graphics flag bits that choose the pixel format: 2 double buffer, 4 alpha, 8 depth,
// 16 stencil, 32 accumulation buffer.

// Makes the shared context if it does not exist yet. False without a display, without SDL2 or
// OpenGL, or when the context could not be made; a later call tries again.
bool EnsureSharedContext();
// A new window with a context: depth 0 is a window at (32, 32), anything else full screen at
// that many bits per pixel (the display mode switches at once, as the window gets the focus).
// nullptr when the shared context, the window, the pixel format or the context fails, or a
// full-screen mode is refused (the window is closed again).
NativeContext* CreateContext(const char* title, int32_t width, int32_t height, int32_t depth,
                             int32_t hertz, int32_t flags);
// A context on an existing window (on X11 its window id). nullptr when that fails.
NativeContext* AttachContext(uintptr_t window, int32_t flags);
// Closes the context (none is current afterwards if it was) and its window, unless attached.
void CloseContext(NativeContext* context);
// Makes the context current (nullptr: none). Nothing when it already is.
void MakeCurrent(NativeContext* context);
// The context made current last, or nullptr.
NativeContext* CurrentContext();
// The record's settings; an attached context's size is read from its window first.
ContextSettings SettingsOf(NativeContext* context);
// Presents the current context's back buffer. sync is reduced to 0 or 1 and sent as the swap
// interval only when it differs from the last one sent. Nothing without a current context.
void Flip(int32_t sync);
// Switches between the shared context and the current one; called in pairs around work that
// must happen in the shared context.
void SwapSharedContext();
// The first display's modes as SDL lists them (at most 1024; under 16 bits per pixel skipped).
// Depth is 8 times the bytes per pixel, so 24-bit visuals list as 32.
std::vector<DisplayMode> DisplayModes();

// Seams for tests: the window of a context, whether it holds the display mode, and the swap
// interval sent last (-1 before any).
events::NativeWindow WindowOf(NativeContext* context);
bool HoldsDisplayMode(NativeContext* context);
int32_t LastSwapInterval();
// Makes the next `count` attempts at switching to a display mode the display has fail, as a
// display that refuses a mode it listed would (0 stops refusing). A full-screen window tries its
// refresh rate first, then any rate.
void RefuseDisplayModeSwitches(int32_t count);

}  // namespace vxl::platform::gl
