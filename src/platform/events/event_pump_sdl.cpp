#include "platform/events/event_pump.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/events/key_map.h"
#include "platform/events/main_thread_calls.h"
#include "platform/events/x11_window.h"
#include "platform/sdl/sdl_library.h"

namespace vxl::platform::events {
namespace {

struct Window {
  SDL_Window* sdl;
  uint32_t id;
  WindowProcedure procedure = nullptr;
  void* context = nullptr;
};

// Main-thread state of this layer. Never destroyed: exit functions may still close windows.
struct State {
  const sdl::Library* sdl = nullptr;  // set once the video subsystem runs
  bool videoFailed = false;
  std::vector<Window> windows;
  SDL_Keymod mods = KMOD_NONE;     // as carried by the last key event delivered
  int pointerX = 0, pointerY = 0;  // last known pointer position, screen coordinates
  bool cursorShown = true;
  bool appActive = false;
  SDL_Window* focused = nullptr;
  SDL_Window* losingFocus = nullptr;  // lost the focus during this pump; decided at its end
};

State& PumpState() {
  static auto* state = new State;
  return *state;
}

NativeWindow Handle(SDL_Window* w) {
  return reinterpret_cast<NativeWindow>(w);
}
SDL_Window* Sdl(NativeWindow w) {
  return reinterpret_cast<SDL_Window*>(w);
}

Window* FindById(uint32_t id) {
  for (Window& w : PumpState().windows) {
    if (w.id == id) return &w;
  }
  return nullptr;
}
Window* Find(SDL_Window* sdl) {
  for (Window& w : PumpState().windows) {
    if (w.sdl == sdl) return &w;
  }
  return nullptr;
}

// The event type that wakes SDL's wait; read by posting threads.
std::atomic<uint32_t> g_wakeEvent{0};
// Set while a wake event is in SDL's queue (or about to be): one is enough to end the wait, and
// one per post would fill SDL's queue while the main thread is busy, and input would be lost.
std::atomic<bool> g_wakeQueued{false};

// Held by a posting thread while it wakes SDL, and by the main thread while it destroys a window:
// SDL ends a wait by sending an X message to a window from the posting thread, and a window
// destroyed before that message reached the X server ends the program with a BadWindow error.
std::mutex& WakeLock() {
  static std::mutex* lock = new std::mutex;  // never destroyed: posting threads may outlive exit
  return *lock;
}

// Runs on the posting thread: a pushed event ends SDL's wait. Spurious wake events are harmless,
// and so is a push after the video subsystem stopped (SDL refuses it).
void WakeSdl() {
  if (g_wakeQueued.exchange(true)) return;
  SDL_Event e{};
  e.type = g_wakeEvent.load();
  const sdl::Library* lib = sdl::Open();
  std::lock_guard hold(WakeLock());
  if (!lib || lib->PushEvent(&e) != 1) g_wakeQueued = false;
}

bool IsHeadlessDriver(const char* name) {
  return name && (std::strcmp(name, "offscreen") == 0 || std::strcmp(name, "dummy") == 0 ||
                  std::strcmp(name, "evdev") == 0);
}

bool StartVideoOnce() {
  State& s = PumpState();
  if (s.sdl) return true;
  if (s.videoFailed) return false;
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  if (!HasDisplay() && !(driver && *driver)) {
    s.videoFailed = true;  // SDL would fall back to a window nobody can see
    return false;
  }
  s.sdl = sdl::StartSubsystems(SDL_INIT_VIDEO);
  if (!s.sdl) {
    s.videoFailed = true;
    return false;
  }
  // A display that is named but cannot be reached makes SDL fall back to a headless driver, whose
  // windows nobody sees: refused unless SDL_VIDEODRIVER asked for it.
  if (!(driver && *driver) && IsHeadlessDriver(s.sdl->GetCurrentVideoDriver())) {
    sdl::StopSubsystems(SDL_INIT_VIDEO);
    s.sdl = nullptr;
    s.videoFailed = true;
    return false;
  }
  g_wakeEvent = s.sdl->RegisterEvents(1);
  g_wakeQueued = false;  // a queue left by an earlier start is gone
  s.sdl->ShowCursor(s.cursorShown ? SDL_ENABLE : SDL_DISABLE);
  return true;
}

intptr_t PointParam(int x, int y) {
  auto lo = static_cast<uint16_t>(static_cast<int16_t>(x));
  auto hi = static_cast<uint16_t>(static_cast<int16_t>(y));
  return static_cast<intptr_t>(static_cast<uint32_t>(lo) | static_cast<uint32_t>(hi) << 16);
}

uintptr_t ButtonBits(uint32_t sdlState) {
  uintptr_t bits = 0;
  if (sdlState & SDL_BUTTON_LMASK) bits |= kMkLButton;
  if (sdlState & SDL_BUTTON_RMASK) bits |= kMkRButton;
  if (sdlState & SDL_BUTTON_MMASK) bits |= kMkMButton;
  return bits;
}

// Window procedures may open and close windows, so every message looks its window up afresh.
void Dispatch(uint32_t windowId, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  Window* w = FindById(windowId);
  if (w && w->procedure) w->procedure({Handle(w->sdl), message, wParam, lParam}, w->context);
}

void RememberPointer(const Window& w, int x, int y) {
  int wx = 0, wy = 0;
  PumpState().sdl->GetWindowPosition(w.sdl, &wx, &wy);
  PumpState().pointerX = wx + x;
  PumpState().pointerY = wy + y;
}

// One UTF-16 unit per character message, as a Windows program receives text.
void DispatchText(uint32_t w, const char* utf8) {
  const auto* p = reinterpret_cast<const unsigned char*>(utf8);
  while (*p) {
    uint32_t c = *p++;
    int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    bool bad = (c >= 0x80 && c < 0xC0) || c >= 0xF8;
    if (more) c &= 0x3F >> more;
    for (; more > 0 && (*p & 0xC0) == 0x80; --more)
      c = c << 6 | (*p++ & 0x3F);
    if (bad || more || c > 0x10FFFF) c = 0xFFFD;  // not UTF-8, or a sequence cut short
    if (c >= 0x10000) {
      c -= 0x10000;
      Dispatch(w, kMsgChar, 0xD800 + (c >> 10), 1);
      Dispatch(w, kMsgChar, 0xDC00 + (c & 0x3FF), 1);
    } else {
      Dispatch(w, kMsgChar, c, 1);
    }
  }
}

void KeyEvent(const SDL_KeyboardEvent& k) {
  State& s = PumpState();
  const uint32_t w = k.windowID;
  s.mods = static_cast<SDL_Keymod>(k.keysym.mod);
  WindowsKey key = WindowsKeyOf(k.keysym.scancode, s.mods & KMOD_NUM);
  if (!FindById(w) || !key.virtualKey) return;
  bool down = k.state == SDL_PRESSED;
  bool alt = s.mods & KMOD_ALT;
  bool ctrl = s.mods & KMOD_CTRL;
  bool sys = alt && !ctrl;
  uint32_t message = down ? (sys ? kMsgSysKeyDown : kMsgKeyDown) : (sys ? kMsgSysKeyUp : kMsgKeyUp);
  Dispatch(w, message, key.virtualKey, KeyMessageParam(key, alt, !down || k.repeat, !down));
  if (!down || alt) return;
  // Characters that text input does not deliver but a Windows program receives.
  uint8_t vk = key.virtualKey;
  if (vk == 0x08 || vk == 0x09 || vk == 0x0D || vk == 0x1B) {
    Dispatch(w, kMsgChar, vk, 1);
  } else if (ctrl && vk >= 'A' && vk <= 'Z') {
    Dispatch(w, kMsgChar, vk - 'A' + 1, 1);
  }
}

void WindowEvent(const SDL_WindowEvent& e) {
  State& s = PumpState();
  const uint32_t w = e.windowID;
  Window* window = FindById(w);
  if (!window) return;
  switch (e.event) {
    case SDL_WINDOWEVENT_CLOSE:
      Dispatch(w, kMsgClose, 0, 0);
      break;
    case SDL_WINDOWEVENT_LEAVE:
      Dispatch(w, kMsgMouseLeave, 0, 0);
      break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
      s.focused = window->sdl;
      if (!s.appActive) {
        s.appActive = true;
        Dispatch(w, kMsgActivateApp, 1, 0);
      }
      Dispatch(w, kMsgSetFocus, 0, 0);
      break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
      if (s.focused == window->sdl) s.focused = nullptr;
      s.losingFocus = window->sdl;
      Dispatch(w, kMsgKillFocus, 0, 0);
      break;
    default:
      break;
  }
}

void HandleEvent(const SDL_Event& e) {
  State& s = PumpState();
  switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      KeyEvent(e.key);
      break;
    case SDL_TEXTINPUT:
      DispatchText(e.text.windowID, e.text.text);
      break;
    case SDL_MOUSEMOTION:
      if (Window* w = FindById(e.motion.windowID)) {
        RememberPointer(*w, e.motion.x, e.motion.y);
        Dispatch(e.motion.windowID, kMsgMouseMove, ButtonBits(e.motion.state),
                 PointParam(e.motion.x, e.motion.y));
      }
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      if (Window* w = FindById(e.button.windowID)) {
        bool down = e.type == SDL_MOUSEBUTTONDOWN;
        uint32_t message;
        switch (e.button.button) {
          case SDL_BUTTON_LEFT:
            message = down ? kMsgLButtonDown : kMsgLButtonUp;
            break;
          case SDL_BUTTON_RIGHT:
            message = down ? kMsgRButtonDown : kMsgRButtonUp;
            break;
          case SDL_BUTTON_MIDDLE:
            message = down ? kMsgMButtonDown : kMsgMButtonUp;
            break;
          default:
            return;
        }
        RememberPointer(*w, e.button.x, e.button.y);
        uint32_t state = s.sdl->GetMouseState(nullptr, nullptr);
        Dispatch(e.button.windowID, message, ButtonBits(state), PointParam(e.button.x, e.button.y));
      }
      break;
    case SDL_MOUSEWHEEL:
      if (Window* w = FindById(e.wheel.windowID)) {
        float steps = e.wheel.preciseY;
        if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) steps = -steps;
        auto delta = static_cast<int16_t>(std::clamp(steps * 120.0f, -32768.0f, 32767.0f));
        int wx = 0, wy = 0;
        s.sdl->GetWindowPosition(w->sdl, &wx, &wy);
        uintptr_t wParam = static_cast<uintptr_t>(static_cast<uint16_t>(delta)) << 16;
        Dispatch(e.wheel.windowID, kMsgMouseWheel, wParam,
                 PointParam(wx + e.wheel.mouseX, wy + e.wheel.mouseY));
      }
      break;
    case SDL_WINDOWEVENT:
      WindowEvent(e.window);
      break;
    default:
      break;
  }
}

// The application as a whole lost the focus when a window lost it and none of the others took it
// over within the same pump.
void SettleFocus() {
  State& s = PumpState();
  SDL_Window* lost = std::exchange(s.losingFocus, nullptr);
  if (!lost || s.focused || !s.appActive) return;
  s.appActive = false;
  if (Window* w = Find(lost)) Dispatch(w->id, kMsgActivateApp, 0, 0);
}

}  // namespace

bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

bool StartVideo() {
  return StartVideoOnce();
}

NativeWindow OpenWindow(const char* title, int width, int height) {
  return OpenWindowWith(title, width, height, {});
}

namespace {
NativeWindow Track(SDL_Window* w) {
  State& s = PumpState();
  s.windows.push_back({w, s.sdl->GetWindowID(w)});
  if (s.windows.size() == 1) SetPostWaker(&WakeSdl);
  return Handle(w);
}
}  // namespace

NativeWindow OpenWindowWith(const char* title, int width, int height,
                            const WindowOptions& options) {
  if (!StartVideoOnce()) return nullptr;
  State& s = PumpState();
  // A window with a class of its own is shown once it has it: window managers read the class
  // when a window appears.
  const bool showLater = options.windowClass && !options.hidden;
  uint32_t flags = options.hidden || showLater ? SDL_WINDOW_HIDDEN : SDL_WINDOW_SHOWN;
  if (options.openGL) flags |= SDL_WINDOW_OPENGL;
  if (options.borderless) flags |= SDL_WINDOW_BORDERLESS;
  int x = options.placed ? options.x : SDL_WINDOWPOS_UNDEFINED;
  int y = options.placed ? options.y : SDL_WINDOWPOS_UNDEFINED;
  SDL_Window* w = s.sdl->CreateWindow(title, x, y, width, height, flags);
  if (!w) return nullptr;
  if (options.windowClass) SetX11WindowClass(X11WindowId(Handle(w)), options.windowClass);
  if (showLater) s.sdl->ShowWindow(w);
  return Track(w);
}

NativeWindow AdoptWindow(uintptr_t nativeId) {
  if (!nativeId || !StartVideoOnce()) return nullptr;
  State& s = PumpState();
  s.sdl->SetHint(SDL_HINT_VIDEO_FOREIGN_WINDOW_OPENGL, "1");
  // SDL reads the window id from the pointer's value.
  SDL_Window* w = s.sdl->CreateWindowFrom(reinterpret_cast<const void*>(nativeId));
  if (!w) return nullptr;
  return Track(w);
}

void CloseWindow(NativeWindow window) {
  State& s = PumpState();
  auto it = std::find_if(s.windows.begin(), s.windows.end(),
                         [&](const Window& w) { return w.sdl == Sdl(window); });
  if (it == s.windows.end()) return;
  s.windows.erase(it);
  if (s.windows.empty()) SetPostWaker(nullptr);
  if (s.focused == Sdl(window)) s.focused = nullptr;
  if (s.losingFocus == Sdl(window)) s.losingFocus = nullptr;
  // SDL's requests about a window another program part made must reach the server before
  // that part may destroy it.
  const bool foreign = s.sdl->GetWindowFlags(Sdl(window)) & SDL_WINDOW_FOREIGN;
  const uintptr_t connection = foreign ? X11ConnectionOf(window) : 0;
  {
    std::lock_guard hold(WakeLock());
    s.sdl->DestroyWindow(Sdl(window));
  }
  SyncX11Connection(connection);
}

void SetWindowProcedure(NativeWindow window, WindowProcedure procedure, void* context) {
  if (Window* w = Find(Sdl(window))) {
    w->procedure = procedure;
    w->context = context;
  }
}

NativeWindow FocusedWindow() {
  return Handle(PumpState().focused);
}

void FocusWindow(NativeWindow window) {
  if (Find(Sdl(window))) PumpState().sdl->RaiseWindow(Sdl(window));
}

bool ClientSize(NativeWindow window, int* width, int* height) {
  if (!Find(Sdl(window))) return false;
  PumpState().sdl->GetWindowSize(Sdl(window), width, height);
  return true;
}

// When the pointer leaves a window, SDL reports a motion to where the pointer crossed, clamped
// onto the window's edge, just before the leave: a move the pointer never made inside the window.
bool IsMotionOfLeaving(const SDL_Event& motion, const SDL_Event& next) {
  if (next.type != SDL_WINDOWEVENT || next.window.event != SDL_WINDOWEVENT_LEAVE ||
      next.window.windowID != motion.motion.windowID)
    return false;
  Window* w = FindById(motion.motion.windowID);
  if (!w) return false;
  int width = 0, height = 0;
  PumpState().sdl->GetWindowSize(w->sdl, &width, &height);
  const int x = motion.motion.x, y = motion.motion.y;
  return x <= 0 || y <= 0 || x >= width - 1 || y >= height - 1;
}

void PumpEvents() {
  State& s = PumpState();
  if (s.sdl) {
    SDL_Event e;
    SDL_Event motion{};  // a pointer motion held until the event after it is known
    bool holding = false;
    while (s.sdl->PollEvent(&e)) {
      if (e.type == g_wakeEvent) {
        g_wakeQueued = false;  // posts from now on push a new one
        continue;
      }
      if (holding && !IsMotionOfLeaving(motion, e)) HandleEvent(motion);
      holding = e.type == SDL_MOUSEMOTION;
      if (holding)
        motion = e;
      else
        HandleEvent(e);
    }
    if (holding) HandleEvent(motion);
    SettleFocus();
  }
  RunPostedCalls();
}

void WaitForEvent() {
  State& s = PumpState();
  if (s.windows.empty()) {
    WaitForPostedCall();
  } else if (!HasPostedCalls()) {
    // Posts wake this wait through WakeSdl; the event is left queued for the pump.
    s.sdl->WaitEvent(nullptr);
  }
}

bool IsKeyDown(int virtualKey) {
  SDL_Keymod m = PumpState().mods;
  switch (virtualKey) {
    case 0x10:
      return m & KMOD_SHIFT;
    case 0x11:
      return m & KMOD_CTRL;
    case 0x12:
      return m & KMOD_ALT;
    case 0x5B:
      return m & KMOD_LGUI;
    case 0x5C:
      return m & KMOD_RGUI;
    default:
      return false;
  }
}

void PointerPosition(NativeWindow window, int* x, int* y) {
  *x = PumpState().pointerX;
  *y = PumpState().pointerY;
  ScreenToClient(window, x, y);
}

void ScreenToClient(NativeWindow window, int* x, int* y) {
  if (!Find(Sdl(window))) return;
  int wx = 0, wy = 0;
  PumpState().sdl->GetWindowPosition(Sdl(window), &wx, &wy);
  *x -= wx;
  *y -= wy;
}

void CaptureMouse(bool capture) {
  if (PumpState().sdl) PumpState().sdl->CaptureMouse(capture ? SDL_TRUE : SDL_FALSE);
}

void ShowCursor(bool show) {
  State& s = PumpState();
  s.cursorShown = show;
  if (s.sdl) s.sdl->ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

bool IsCursorShown() {
  State& s = PumpState();
  return s.sdl ? s.sdl->ShowCursor(SDL_QUERY) == SDL_ENABLE : s.cursorShown;
}

void WarpPointer(int x, int y) {
  State& s = PumpState();
  if (!s.sdl) return;
  if (SDL_Window* focus = s.sdl->GetKeyboardFocus()) {
    s.sdl->WarpMouseInWindow(focus, x, y);
  } else {
    s.sdl->WarpMouseGlobal(x, y);
  }
}

void ShutdownEvents() {
  State& s = PumpState();
  while (!s.windows.empty())
    CloseWindow(Handle(s.windows.back().sdl));
  if (s.sdl) {
    sdl::StopSubsystems(SDL_INIT_VIDEO);
    s.sdl = nullptr;
  }
}

}  // namespace vxl::platform::events
