// Keys as a Windows program sees them: the virtual-key code and the set-1 scan code with its
// extended flag, for every key of a standard 104/105-key keyboard. The framework's key
// translation reads these, so the left/right modifier codes come out as on that system.
#pragma once

#include <SDL2/SDL_scancode.h>

#include <cstdint>

namespace vxl::platform::events {

struct WindowsKey {
  uint8_t virtualKey;  // 0: a key this keyboard layout has no code for
  uint8_t scanCode;    // set-1 make code, without the 0xE0 prefix
  bool extended;  // the 0xE0 prefix: right-hand modifiers, navigation block, keypad Enter and /
};

// The key for an SDL scan code. Keypad digits and the keypad point give the navigation keys
// (End, Down, ..., Insert, Delete; 5 gives Clear) when Num Lock is off, as they do on Windows.
WindowsKey WindowsKeyOf(SDL_Scancode scancode, bool numLock);

// The lParam of a key message: repeat count 1, scan code in bits 16-23, extended flag in bit 24,
// Alt in bit 29, the previous key state in bit 30 and the transition (1 when released) in bit 31.
intptr_t KeyMessageParam(const WindowsKey& key, bool altDown, bool wasDown, bool released);

}  // namespace vxl::platform::events
