// Keys as a Windows program sees them: every key of a standard keyboard has a virtual-key code
// and a scan code that no other key shares.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <utility>

#include "platform/events/key_map.h"

namespace vxl::platform::events {
namespace {

TEST(KeyMap, EveryKeyOfAStandardKeyboardIsDistinct) {
  // Keys that are one key on the keyboards that have them.
  const std::set<std::pair<int, int>> sameKey = {
      {SDL_SCANCODE_BACKSLASH, SDL_SCANCODE_NONUSHASH},
      {SDL_SCANCODE_APPLICATION, SDL_SCANCODE_MENU},
  };
  for (bool numLock : {false, true}) {
    std::map<std::pair<int, bool>, int> byScan;  // (scan code, extended) -> SDL scan code
    int mapped = 0;
    for (int code = 0; code < SDL_NUM_SCANCODES; ++code) {
      WindowsKey key = WindowsKeyOf(static_cast<SDL_Scancode>(code), numLock);
      if (!key.virtualKey) continue;
      ++mapped;
      EXPECT_NE(key.scanCode, 0) << code;
      auto [it, added] = byScan.emplace(std::make_pair(key.scanCode, key.extended), code);
      if (!added) {
        EXPECT_TRUE(sameKey.count({it->second, code})) << it->second << " and " << code;
      }
    }
    EXPECT_EQ(mapped, 105 + 12 + 2) << "105 keys, F13 to F24, and two alternative names";
  }
}

TEST(KeyMap, CodesAndMessageBits) {
  struct Case {
    SDL_Scancode code;
    bool numLock;
    WindowsKey key;
  } cases[] = {
      {SDL_SCANCODE_A, false, {'A', 0x1E, false}},
      {SDL_SCANCODE_0, false, {'0', 0x0B, false}},
      {SDL_SCANCODE_RSHIFT, false, {0x10, 0x36, false}},
      {SDL_SCANCODE_RCTRL, false, {0x11, 0x1D, true}},
      {SDL_SCANCODE_RALT, false, {0x12, 0x38, true}},
      {SDL_SCANCODE_RGUI, false, {0x5C, 0x5C, true}},
      {SDL_SCANCODE_KP_ENTER, false, {0x0D, 0x1C, true}},
      {SDL_SCANCODE_KP_0, true, {0x60, 0x52, false}},
      {SDL_SCANCODE_KP_0, false, {0x2D, 0x52, false}},
      {SDL_SCANCODE_INSERT, false, {0x2D, 0x52, true}},
      {SDL_SCANCODE_KP_5, false, {0x0C, 0x4C, false}},
      {SDL_SCANCODE_NUMLOCKCLEAR, false, {0x90, 0x45, true}},
      {SDL_SCANCODE_PAUSE, false, {0x13, 0x45, false}},
      {SDL_SCANCODE_F12, false, {0x7B, 0x58, false}},
      {SDL_SCANCODE_GRAVE, false, {0xC0, 0x29, false}},
      {SDL_NUM_SCANCODES, true, {0, 0, false}},
  };
  for (const Case& c : cases) {
    WindowsKey k = WindowsKeyOf(c.code, c.numLock);
    EXPECT_EQ(k.virtualKey, c.key.virtualKey) << c.code;
    EXPECT_EQ(k.scanCode, c.key.scanCode) << c.code;
    EXPECT_EQ(k.extended, c.key.extended) << c.code;
  }

  WindowsKey rctrl{0x11, 0x1D, true};
  EXPECT_EQ(KeyMessageParam(rctrl, false, false, false), 0x011D0001);
  EXPECT_EQ(KeyMessageParam(rctrl, true, true, false), 0x611D0001);
  EXPECT_EQ(KeyMessageParam({'A', 0x1E, false}, false, true, true), 0xC01E0001);
}

}  // namespace
}  // namespace vxl::platform::events
