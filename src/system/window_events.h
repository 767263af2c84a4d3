// Native window messages turned into events, and the pointer state behind them.
//
// The window procedure of every framework window passes each message here first:
//
//   TranslateWindowMessage(m.window, m.message, m.wParam, m.lParam, nullptr);
//
// or lets AttachEventWindow install a procedure that does just that with a source object. Events
// go out through MakeEvent and SendEvent on EventHookId, at once, on the main thread.
#pragma once

#include <cstdint>

#include "platform/events/event_pump.h"
#include "runtime/object.h"

namespace vxl {

using platform::events::NativeWindow;

// Emits at most one event for the message (plus MouseLeave/MouseEnter when the pointer changes
// window) with the given source; never consumes the message. Returns 0.
int32_t TranslateWindowMessage(NativeWindow window, uint32_t message, uintptr_t wParam,
                               intptr_t lParam, const Ref<Object>& source);
// The key code of a key message: the left/right codes 0xA0..0xA5 for the shift, control and alt
// keys (read from the scan code and extended flag in lParam), else the virtual key unchanged.
int32_t TranslateKeyCode(int32_t virtualKey, intptr_t lParam);

// Routes the window's messages through TranslateWindowMessage with `source` (kept alive until
// DetachEventWindow).
void AttachEventWindow(NativeWindow window, const Ref<Object>& source);
// Stops routing and forgets the window (call before closing it).
void DetachEventWindow(NativeWindow window);

// The modifier keys as last rebuilt: 1 shift, 2 control, 4 alt, 8 either Windows key.
int32_t ModifierState();
// The program's wish to see the pointer; it is hidden only over a framework window.
void SetPointerWanted(bool visible);

}  // namespace vxl
