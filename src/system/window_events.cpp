#include "system/window_events.h"

#include <vector>

#include "runtime/never_destroyed.h"
#include "system/event/event.h"

namespace vxl {
namespace ev = platform::events;

namespace {

struct PointerState {
  int32_t modifiers = 0;
  bool pointerWanted = true;
  NativeWindow tracked = nullptr;
  Ref<Object> trackedSource;
};

// Never destroyed: no static destructor releases a framework object.
PointerState& Pointer() {
  static NeverDestroyed<PointerState> state;
  return *state;
}

void Emit(int32_t id, const Ref<Object>& source, int32_t data, int32_t mods, int32_t x, int32_t y) {
  SendEvent(MakeEvent(id, source, data, mods, x, y, nullptr));
}

bool IsModifierKey(uintptr_t vk) {
  return (vk >= 0x10 && vk <= 0x12) || vk == 0x5B || vk == 0x5C;
}

void RebuildModifierState() {
  int32_t m = 0;
  if (ev::IsKeyDown(0x10)) m |= 1;
  if (ev::IsKeyDown(0x11)) m |= 2;
  if (ev::IsKeyDown(0x12)) m |= 4;
  if (ev::IsKeyDown(0x5B) || ev::IsKeyDown(0x5C)) m |= 8;
  Pointer().modifiers = m;
}

void UpdateCursorVisibility() {
  ev::ShowCursor(Pointer().pointerWanted || !Pointer().tracked);
}

void TrackPointerWindow(NativeWindow window, int32_t x, int32_t y, const Ref<Object>& source) {
  PointerState& p = Pointer();
  if (window == p.tracked) return;
  if (p.tracked) {
    int lx = 0, ly = 0;
    ev::PointerPosition(p.tracked, &lx, &ly);
    Ref<Object> leftSource = std::move(p.trackedSource);
    p.tracked = nullptr;
    UpdateCursorVisibility();
    Emit(kEventMouseLeave, leftSource, 0, 0, lx, ly);
  }
  p.tracked = window;
  UpdateCursorVisibility();
  if (window) {
    p.trackedSource = source;
    Emit(kEventMouseEnter, source, 0, 0, x, y);
  }
}

int32_t LowX(intptr_t lParam) {
  return static_cast<int16_t>(lParam & 0xFFFF);
}
int32_t HighY(intptr_t lParam) {
  return static_cast<int16_t>((lParam >> 16) & 0xFFFF);
}

struct Attached {
  NativeWindow window;
  Ref<Object> source;
};
std::vector<Attached*>& AttachedWindows() {
  static NeverDestroyed<std::vector<Attached*>> list;
  return *list;
}

void AttachedProcedure(const ev::WindowMessage& m, void* context) {
  // Held here: a hook may detach the window, and its record with it, during the translation.
  Ref<Object> source = static_cast<Attached*>(context)->source;
  TranslateWindowMessage(m.window, m.message, m.wParam, m.lParam, source);
}

}  // namespace

int32_t TranslateKeyCode(int32_t virtualKey, intptr_t lParam) {
  int32_t k = ((lParam >> 24) & 1 ? 0x80 : 0) | ((lParam >> 16) & 0x7F);
  switch (k) {
    case 0x2A:
      return 0xA0;
    case 0x36:
      return 0xA1;
    case 0x1D:
      return 0xA2;
    case 0x9D:
      return 0xA3;
    case 0x38:
      return 0xA4;
    case 0xB8:
      return 0xA5;
    default:
      return virtualKey;
  }
}

int32_t TranslateWindowMessage(NativeWindow window, uint32_t message, uintptr_t wParam,
                               intptr_t lParam, const Ref<Object>& source) {
  PointerState& p = Pointer();
  bool keyMessage = message == ev::kMsgKeyDown || message == ev::kMsgKeyUp ||
                    message == ev::kMsgSysKeyDown || message == ev::kMsgSysKeyUp;
  if (keyMessage && IsModifierKey(wParam)) RebuildModifierState();
  const int32_t mods = p.modifiers;

  switch (message) {
    case ev::kMsgClose:
      Emit(kEventAppTerminate, source, 0, mods, 0, 0);
      break;
    case ev::kMsgActivateApp:
      Emit(wParam ? kEventAppResume : kEventAppSuspend, source, 0, mods, 0, 0);
      break;
    case ev::kMsgKeyDown:
    case ev::kMsgSysKeyDown:
    case ev::kMsgKeyUp:
    case ev::kMsgSysKeyUp: {
      if (wParam < 1 || wParam > 255) break;
      int32_t code = TranslateKeyCode(static_cast<int32_t>(wParam), lParam);
      int32_t id = kEventKeyUp;
      if (message == ev::kMsgKeyDown || message == ev::kMsgSysKeyDown)
        id = (lParam >> 30) & 1 ? kEventKeyRepeat : kEventKeyDown;
      Emit(id, source, code, mods, 0, 0);
      break;
    }
    case ev::kMsgChar:
      Emit(kEventKeyChar, source, static_cast<int32_t>(wParam), mods, 0, 0);
      break;
    case ev::kMsgMouseMove: {
      int32_t x = LowX(lParam), y = HighY(lParam);
      int32_t data = 0;
      if (wParam & ev::kMkLButton) data = 1;
      if (wParam & ev::kMkMButton) data = 4;
      if (wParam & ev::kMkRButton) data = 2;
      int width = 0, height = 0;
      ev::ClientSize(window, &width, &height);
      bool outside = x < 0 || y < 0 || x >= width || y >= height;
      TrackPointerWindow(outside ? nullptr : window, x, y, source);
      Emit(kEventMouseMove, source, data, mods, x, y);
      break;
    }
    case ev::kMsgLButtonDown:
    case ev::kMsgRButtonDown:
    case ev::kMsgMButtonDown:
    case ev::kMsgLButtonUp:
    case ev::kMsgRButtonUp:
    case ev::kMsgMButtonUp: {
      bool down = message == ev::kMsgLButtonDown || message == ev::kMsgRButtonDown ||
                  message == ev::kMsgMButtonDown;
      int32_t button = 1;
      if (message == ev::kMsgRButtonDown || message == ev::kMsgRButtonUp) button = 2;
      if (message == ev::kMsgMButtonDown || message == ev::kMsgMButtonUp) button = 3;
      ev::CaptureMouse(down);
      Emit(down ? kEventMouseDown : kEventMouseUp, source, button, mods, LowX(lParam),
           HighY(lParam));
      break;
    }
    case ev::kMsgMouseWheel: {
      int32_t delta = static_cast<int16_t>((wParam >> 16) & 0xFFFF);
      int x = LowX(lParam), y = HighY(lParam);
      ev::ScreenToClient(window, &x, &y);
      Emit(kEventMouseWheel, source, delta / 120, mods, x, y);
      break;
    }
    case ev::kMsgMouseLeave:
      if (window == p.tracked) TrackPointerWindow(nullptr, 0, 0, nullptr);
      break;
    default:
      break;
  }
  return 0;
}

void AttachEventWindow(NativeWindow window, const Ref<Object>& source) {
  DetachEventWindow(window);
  auto* a = new Attached{window, source};
  AttachedWindows().push_back(a);
  ev::SetWindowProcedure(window, &AttachedProcedure, a);
}

void DetachEventWindow(NativeWindow window) {
  auto& list = AttachedWindows();
  for (auto it = list.begin(); it != list.end(); ++it) {
    if ((*it)->window == window) {
      ev::SetWindowProcedure(window, nullptr, nullptr);
      delete *it;
      list.erase(it);
      break;
    }
  }
  if (Pointer().tracked == window) {
    Pointer().tracked = nullptr;
    Pointer().trackedSource = nullptr;
    UpdateCursorVisibility();
  }
}

int32_t ModifierState() {
  return Pointer().modifiers;
}

void SetPointerWanted(bool visible) {
  Pointer().pointerWanted = visible;
  UpdateCursorVisibility();
}

}  // namespace vxl
