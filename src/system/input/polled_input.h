// Polled input: whether a key or mouse button is down, how often it was hit, typed characters and
// the pointer position, kept from the events by a hook on EventHookId.
//
//   StartInputPolling(nullptr);          // every source counts (the graphics module does this)
//   if (KeyHitCount(0x20)) Jump();       // presses of space since the last call
//   while (int32_t c = NextChar()) text += c;
//
// Every query runs PumpSystem first, so the state is current. Key indexes outside 0..255 and
// button indexes outside 0..3 raise a runtime error; events with such codes are left out.
#pragma once

#include <cstdint>

#include "runtime/object.h"

namespace vxl {

// Starts keeping state from events of `source` (Null: from every source); nothing when started.
void StartInputPolling(const Ref<Object>& source);
void StopInputPolling();

int32_t IsAppSuspended();
// The terminate request flag; reading it clears it.
int32_t TakeAppTerminate();
// Presses of key since the last call (then 0).
int32_t KeyHitCount(int32_t key);
int32_t IsKeyDown(int32_t key);
// The next typed character, 0 when none is waiting.
int32_t NextChar();
int32_t MousePosX();
int32_t MousePosY();
int32_t MouseWheelPos();
// Presses of button (1 left, 2 right, 3 middle) since the last call (then 0).
int32_t MouseHitCount(int32_t button);
int32_t IsMouseDown(int32_t button);
// Clears held keys, key hits and typed characters.
void ResetKeys();
// Clears held buttons, button hits and the wheel position; x and y stay.
void ResetMouse();
// Wait for input (AwaitSystem in between): the first key hit (lowest code), the next character,
// the first mouse button hit. Called from inside the pump (an event hook), where no input can
// arrive, they return 0 at once.
int32_t AwaitKey();
int32_t AwaitChar();
int32_t AwaitMouse();

int InitPolledInputModule();

}  // namespace vxl
