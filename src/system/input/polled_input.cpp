#include "system/input/polled_input.h"

#include <array>
#include <utility>

#include "runtime/exceptions.h"
#include "runtime/module.h"
#include "runtime/never_destroyed.h"
#include "system/event/event.h"
#include "system/event/hook.h"
#include "system/system.h"

namespace vxl {
namespace {

constexpr int32_t kKeys = 256;
constexpr int32_t kButtons = 4;
constexpr uint32_t kCharRing = 256;

struct InputState {
  std::array<int32_t, kKeys> keyStates{};
  std::array<int32_t, kKeys> keyHits{};
  std::array<int32_t, kCharRing> chars{};
  uint32_t charPut = 0, charGet = 0;
  std::array<int32_t, kButtons> mouseStates{};
  std::array<int32_t, kButtons> mouseHits{};
  int32_t mouseX = 0, mouseY = 0, mouseZ = 0;
  int32_t suspended = 0, terminate = 0;
  Ref<Object> filter;
  bool enabled = false;
  bool autoPoll = true;
};

// Never destroyed: the source filter is a framework object.
InputState& In() {
  static NeverDestroyed<InputState> state;
  return *state;
}

int32_t& KeySlot(std::array<int32_t, kKeys>& table, int32_t key) {
  if (key < 0 || key >= kKeys)
    RaiseRuntimeError("Key index " + String::FromInt(key) + " is outside 0..255");
  return table[key];
}
int32_t& ButtonSlot(std::array<int32_t, kButtons>& table, int32_t button) {
  if (button < 0 || button >= kButtons)
    RaiseRuntimeError("Mouse button index " + String::FromInt(button) + " is outside 0..3");
  return table[button];
}

void AutoPoll() {
  if (In().autoPoll) PumpSystem();
}

// Records a press unless the key is already held (auto-repeat and doubled downs count once).
void Press(int32_t& state, int32_t& hits) {
  if (state == 0) {
    state = 1;
    ++hits;
  }
}

bool IsKey(int32_t code) {
  return code >= 0 && code < kKeys;
}
bool IsButton(int32_t code) {
  return code >= 0 && code < kButtons;
}

// Events are not callers: a key or button code that no table holds is left out, not an error.
Ref<Object> InputHook(int32_t, Ref<Object> data, Ref<Object>) {
  TEvent* e = dynamic_cast<TEvent*>(data.Get());
  InputState& s = In();
  if (!e || (s.filter && e->source != s.filter)) return data;
  const int32_t code = e->data;
  switch (e->id) {
    case kEventAppSuspend:
      ResetKeys();
      ResetMouse();
      s.suspended = 1;
      break;
    case kEventAppResume:
      ResetKeys();
      ResetMouse();
      s.suspended = 0;
      break;
    case kEventAppTerminate:
      s.terminate = 1;
      break;
    case kEventKeyDown:
      if (IsKey(code)) Press(s.keyStates[code], s.keyHits[code]);
      break;
    case kEventKeyUp:
      if (IsKey(code)) s.keyStates[code] = 0;
      break;
    case kEventKeyChar:
      if (s.charPut - s.charGet < kCharRing) s.chars[s.charPut++ % kCharRing] = code;
      break;
    case kEventMouseDown:
      if (IsButton(code)) Press(s.mouseStates[code], s.mouseHits[code]);
      break;
    case kEventMouseUp:
      if (IsButton(code)) s.mouseStates[code] = 0;
      break;
    case kEventMouseMove:
      s.mouseX = e->x;
      s.mouseY = e->y;
      break;
    case kEventMouseWheel:
      s.mouseZ =
          static_cast<int32_t>(static_cast<uint32_t>(s.mouseZ) + static_cast<uint32_t>(code));
      break;
    default:
      break;
  }
  return data;
}

}  // namespace

// The resets pump, and a call or hook run by that pump may start or stop polling itself: the
// state is therefore looked at again after them (start), or settled before them (stop), so the
// hook is never inserted twice and the last request wins.
void StartInputPolling(const Ref<Object>& source) {
  InputState& s = In();
  if (s.enabled) return;
  ResetKeys();
  ResetMouse();
  if (s.enabled) return;
  s.filter = source;
  InsertHook(EventHookId, &InputHook, nullptr, 0);
  s.enabled = true;
}

void StopInputPolling() {
  InputState& s = In();
  if (!s.enabled) return;
  DetachHook(EventHookId, &InputHook, nullptr);
  s.filter = nullptr;
  s.enabled = false;
  ResetKeys();
  ResetMouse();
}

int32_t IsAppSuspended() {
  AutoPoll();
  return In().suspended;
}

int32_t TakeAppTerminate() {
  AutoPoll();
  return std::exchange(In().terminate, 0);
}

int32_t KeyHitCount(int32_t key) {
  AutoPoll();
  return std::exchange(KeySlot(In().keyHits, key), 0);
}

int32_t IsKeyDown(int32_t key) {
  AutoPoll();
  return KeySlot(In().keyStates, key);
}

int32_t NextChar() {
  AutoPoll();
  InputState& s = In();
  if (s.charPut == s.charGet) return 0;
  return s.chars[s.charGet++ % kCharRing];
}

int32_t MousePosX() {
  AutoPoll();
  return In().mouseX;
}
int32_t MousePosY() {
  AutoPoll();
  return In().mouseY;
}
int32_t MouseWheelPos() {
  AutoPoll();
  return In().mouseZ;
}

int32_t MouseHitCount(int32_t button) {
  AutoPoll();
  return std::exchange(ButtonSlot(In().mouseHits, button), 0);
}

int32_t IsMouseDown(int32_t button) {
  AutoPoll();
  return ButtonSlot(In().mouseStates, button);
}

void ResetKeys() {
  PumpSystem();
  InputState& s = In();
  s.charPut = s.charGet = 0;
  s.keyStates.fill(0);
  s.keyHits.fill(0);
}

void ResetMouse() {
  PumpSystem();
  InputState& s = In();
  s.mouseStates.fill(0);
  s.mouseHits.fill(0);
  s.mouseZ = 0;
}

int32_t AwaitKey() {
  if (SystemPumpBusy()) return 0;  // nothing can arrive while the pump is busy
  ResetKeys();
  for (;;) {
    AwaitSystem();
    for (int32_t key = 1; key < kKeys; ++key) {
      if (KeyHitCount(key)) return key;
    }
  }
}

int32_t AwaitChar() {
  if (SystemPumpBusy()) return 0;  // nothing can arrive while the pump is busy
  ResetKeys();
  for (;;) {
    AwaitSystem();
    if (int32_t c = NextChar()) return c;
  }
}

int32_t AwaitMouse() {
  if (SystemPumpBusy()) return 0;  // nothing can arrive while the pump is busy
  ResetMouse();
  for (;;) {
    AwaitSystem();
    for (int32_t button = 1; button < kButtons; ++button) {
      if (MouseHitCount(button)) return button;
    }
  }
}

int InitPolledInputModule() {
  static ModuleGuard guard("polled input");
  return guard.Run({InitCoreModule, InitEventModule, InitSystemModule}, [] { In(); });
}

}  // namespace vxl
