// End to end through SDL: native key, text, mouse and window events pushed into SDL's queue come
// out of the real pump as the events a Windows program's translation gives. SDL's offscreen
// video driver keeps these runs free of anything the X server would add; the last tests use the
// test X server itself.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/events/event_pump.h"
#include "platform/sdl/sdl_library.h"
#include "system/event/hook.h"
#include "system/input/polled_input.h"
#include "system/main_thread.h"
#include "system/queue/event_queue.h"
#include "system/system.h"
#include "system/timer/timer.h"
#include "system/window_events.h"

namespace vxl {
namespace {

namespace ev = platform::events;

class SdlEvents : public ::testing::Test {
 public:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    InitEventQueueModule();
    InitPolledInputModule();
    InitTimerModule();
    window_ = ev::OpenWindow("events under test", 200, 100);
    ASSERT_NE(window_, nullptr) << platform::sdl::OpenError();
    sdl_ = platform::sdl::Open();
    id_ = sdl_->GetWindowID(Sdl(window_));
    AttachEventWindow(window_, source_);
    Taken();  // whatever opening the window produced
  }
  void TearDown() override {
    if (window_) {
      DetachEventWindow(window_);
      ev::CloseWindow(window_);
    }
  }

  static SDL_Window* Sdl(ev::NativeWindow w) { return reinterpret_cast<SDL_Window*>(w); }

  void Push(SDL_Event e) { ASSERT_EQ(sdl_->PushEvent(&e), 1) << sdl_->GetError(); }
  void Key(SDL_Scancode code, bool down, uint16_t mod = KMOD_NONE, bool repeat = false) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.windowID = id_;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.repeat = repeat;
    e.key.keysym.scancode = code;
    e.key.keysym.mod = mod;
    Push(e);
  }
  void Text(const char* utf8) {
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    e.text.windowID = id_;
    std::snprintf(e.text.text, sizeof e.text.text, "%s", utf8);
    Push(e);
  }
  void Motion(int x, int y, uint32_t buttons = 0) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = id_;
    e.motion.x = x;
    e.motion.y = y;
    e.motion.state = buttons;
    Push(e);
  }
  void Button(uint8_t button, bool down, int x, int y) {
    SDL_Event e{};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.windowID = id_;
    e.button.button = button;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.button.x = x;
    e.button.y = y;
    Push(e);
  }
  void Wheel(float steps, bool flipped, int x, int y) {
    SDL_Event e{};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.windowID = id_;
    e.wheel.preciseY = steps;
    e.wheel.y = static_cast<int>(steps);
    e.wheel.direction = flipped ? SDL_MOUSEWHEEL_FLIPPED : SDL_MOUSEWHEEL_NORMAL;
    e.wheel.mouseX = x;
    e.wheel.mouseY = y;
    Push(e);
  }
  void Window(uint8_t event, uint32_t windowId = 0) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = windowId ? windowId : id_;
    e.window.event = event;
    Push(e);
  }

  // Pumps once and returns the texts of every event queued since the last call.
  std::vector<std::string> Taken() {
    PumpSystem();
    std::vector<std::string> texts;
    while (QueuePoll()) {
      EXPECT_TRUE(CurrentEventSource() == source_ || CurrentEventSource() == nullptr);
      std::string t = EventName(CurrentEventId()).ToCString() + " " +
                      std::to_string(CurrentEventData()) + " m" +
                      std::to_string(CurrentEventMods());
      if (CurrentEventId() & 0x400)  // mouse events carry a position
        t += " " + std::to_string(CurrentEventX()) + "," + std::to_string(CurrentEventY());
      texts.push_back(t);
    }
    return texts;
  }
  using Texts = std::vector<std::string>;

  ev::NativeWindow window_ = nullptr;
  const platform::sdl::Library* sdl_ = nullptr;
  uint32_t id_ = 0;
  Ref<Object> source_ = New<Object>();
};

TEST_F(SdlEvents, KeysGiveWindowsKeyCodesModifiersAndCharacters) {
  struct Step {
    void (*push)(SdlEvents&);
    Texts expected;
  };
  const Step steps[] = {
      {[](SdlEvents& t) { t.Key(SDL_SCANCODE_RSHIFT, true, KMOD_RSHIFT); }, {"KeyDown 161 m1"}},
      {[](SdlEvents& t) {
         t.Key(SDL_SCANCODE_A, true, KMOD_RSHIFT);
         t.Text("A");
         t.Key(SDL_SCANCODE_A, true, KMOD_RSHIFT, true);
         t.Key(SDL_SCANCODE_A, false, KMOD_RSHIFT);
         t.Key(SDL_SCANCODE_RSHIFT, false);
       },
       {"KeyDown 65 m1", "KeyChar 65 m1", "KeyRepeat 65 m1", "KeyUp 65 m1", "KeyUp 161 m0"}},
      {[](SdlEvents& t) {
         t.Key(SDL_SCANCODE_LSHIFT, true, KMOD_LSHIFT);
         t.Key(SDL_SCANCODE_LSHIFT, false);
         t.Key(SDL_SCANCODE_RCTRL, true, KMOD_RCTRL);
         t.Key(SDL_SCANCODE_C, true, KMOD_RCTRL);
         t.Key(SDL_SCANCODE_RCTRL, false);
         t.Key(SDL_SCANCODE_LCTRL, true, KMOD_LCTRL);
         t.Key(SDL_SCANCODE_LCTRL, false);
       },
       {"KeyDown 160 m1", "KeyUp 160 m0", "KeyDown 163 m2", "KeyDown 67 m2", "KeyChar 3 m2",
        "KeyUp 163 m0", "KeyDown 162 m2", "KeyUp 162 m0"}},
      {[](SdlEvents& t) {
         t.Key(SDL_SCANCODE_LALT, true, KMOD_LALT);
         t.Key(SDL_SCANCODE_X, true, KMOD_LALT);  // no character while Alt is held
         t.Key(SDL_SCANCODE_RALT, true, KMOD_LALT | KMOD_RALT);
         t.Key(SDL_SCANCODE_RALT, false, KMOD_LALT);
         t.Key(SDL_SCANCODE_LALT, false);
         t.Key(SDL_SCANCODE_RGUI, true, KMOD_RGUI);
         t.Key(SDL_SCANCODE_RGUI, false);
         t.Key(SDL_SCANCODE_LGUI, true, KMOD_LGUI);
         t.Key(SDL_SCANCODE_LGUI, false);
       },
       {"KeyDown 164 m4", "KeyDown 88 m4", "KeyDown 165 m4", "KeyUp 165 m4", "KeyUp 164 m0",
        "KeyDown 92 m8", "KeyUp 92 m0", "KeyDown 91 m8", "KeyUp 91 m0"}},
      {[](SdlEvents& t) {
         for (SDL_Scancode c : {SDL_SCANCODE_BACKSPACE, SDL_SCANCODE_TAB, SDL_SCANCODE_RETURN,
                                SDL_SCANCODE_KP_ENTER, SDL_SCANCODE_ESCAPE})
           t.Key(c, true);
       },
       {"KeyDown 8 m0", "KeyChar 8 m0", "KeyDown 9 m0", "KeyChar 9 m0", "KeyDown 13 m0",
        "KeyChar 13 m0", "KeyDown 13 m0", "KeyChar 13 m0", "KeyDown 27 m0", "KeyChar 27 m0"}},
      {[](SdlEvents& t) {
         t.Key(SDL_SCANCODE_KP_7, true, KMOD_NUM);
         t.Key(SDL_SCANCODE_KP_7, true);
         t.Key(SDL_SCANCODE_KP_5, true);
         t.Key(SDL_SCANCODE_KP_PERIOD, true, KMOD_NUM);
         t.Key(SDL_SCANCODE_KP_DIVIDE, true);
         t.Key(SDL_SCANCODE_F24, true);
         t.Key(SDL_SCANCODE_F1, true);
         t.Key(SDL_SCANCODE_APPLICATION, true);
         t.Key(SDL_SCANCODE_SEMICOLON, true);
         t.Key(SDL_SCANCODE_NONUSBACKSLASH, true);
         t.Key(SDL_SCANCODE_PAGEDOWN, true);
         t.Key(SDL_SCANCODE_9, true);
       },
       {"KeyDown 103 m0", "KeyDown 36 m0", "KeyDown 12 m0", "KeyDown 110 m0", "KeyDown 111 m0",
        "KeyDown 135 m0", "KeyDown 112 m0", "KeyDown 93 m0", "KeyDown 186 m0", "KeyDown 226 m0",
        "KeyDown 34 m0", "KeyDown 57 m0"}},
      {[](SdlEvents& t) { t.Text("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"); },  // é € 😀
       {"KeyChar 233 m0", "KeyChar 8364 m0", "KeyChar 55357 m0", "KeyChar 56832 m0"}},
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    steps[i].push(*this);
    EXPECT_EQ(Taken(), steps[i].expected) << "step " << i;
  }
}

TEST_F(SdlEvents, TypedTextReachesNextChar) {
  StartInputPolling(source_);
  Text("hi");
  Key(SDL_SCANCODE_BACKSPACE, true);
  Key(SDL_SCANCODE_Z, true, KMOD_LCTRL);
  std::vector<int32_t> chars;
  while (int32_t c = NextChar())
    chars.push_back(c);
  EXPECT_EQ(chars, (std::vector<int32_t>{'h', 'i', 8, 26}));
  EXPECT_EQ(KeyHitCount(0x5A), 1);
  StopInputPolling();
}

TEST_F(SdlEvents, MouseButtonsMovesEnterLeaveAndWheel) {
  const uint32_t L = SDL_BUTTON_LMASK, M = SDL_BUTTON_MMASK, R = SDL_BUTTON_RMASK;
  struct Step {
    void (*push)(SdlEvents&);
    Texts expected;
  };
  const Step steps[] = {
      // Entering: the enter comes before the move.
      {[](SdlEvents& t) { t.Motion(10, 20); }, {"MouseEnter 0 m0 10,20", "MouseMove 0 m0 10,20"}},
      {[](SdlEvents& t) {
         t.Button(SDL_BUTTON_LEFT, true, 10, 20);
         t.Motion(15, 25, L);
         t.Motion(16, 25, L | M);
         t.Motion(17, 25, L | M | R);
         t.Button(SDL_BUTTON_RIGHT, true, 17, 25);
         t.Button(SDL_BUTTON_MIDDLE, true, 17, 25);
         t.Button(SDL_BUTTON_RIGHT, false, 17, 25);
         t.Button(SDL_BUTTON_MIDDLE, false, 17, 25);
         t.Button(SDL_BUTTON_X1, true, 17, 25);  // no such button here
       },
       {"MouseDown 1 m0 10,20", "MouseMove 1 m0 15,25", "MouseMove 4 m0 16,25",
        "MouseMove 2 m0 17,25", "MouseDown 2 m0 17,25", "MouseDown 3 m0 17,25",
        "MouseUp 2 m0 17,25", "MouseUp 3 m0 17,25"}},
      // Dragging out of the window: the leave comes before the outside move.
      {[](SdlEvents& t) {
         t.Motion(-5, 30, L);
         t.Motion(250, 30, L);
         t.Button(SDL_BUTTON_LEFT, false, 250, 30);
       },
       {"MouseLeave 0 m0 -5,30", "MouseMove 1 m0 -5,30", "MouseMove 1 m0 250,30",
        "MouseUp 1 m0 250,30"}},
      {[](SdlEvents& t) {
         t.Motion(50, 60);
         t.Window(SDL_WINDOWEVENT_LEAVE);
         t.Window(SDL_WINDOWEVENT_LEAVE);  // not tracked any more: nothing
       },
       {"MouseEnter 0 m0 50,60", "MouseMove 0 m0 50,60", "MouseLeave 0 m0 50,60"}},
      {[](SdlEvents& t) {
         t.Wheel(1, false, 7, 8);
         t.Wheel(-1, false, 7, 8);
         t.Wheel(0.5f, false, 7, 8);
         t.Wheel(1, true, 7, 8);
         t.Wheel(3, false, 9, 1);
       },
       {"MouseWheel 1 m0 7,8", "MouseWheel -1 m0 7,8", "MouseWheel 0 m0 7,8",
        "MouseWheel -1 m0 7,8", "MouseWheel 3 m0 9,1"}},
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    steps[i].push(*this);
    EXPECT_EQ(Taken(), steps[i].expected) << "step " << i;
  }
}

TEST_F(SdlEvents, PointerIsHiddenOnlyOverTheWindowWhileConcealed) {
  ConcealMouse();
  EXPECT_TRUE(ev::IsCursorShown());  // not over a framework window
  Motion(5, 5);
  Taken();
  EXPECT_FALSE(ev::IsCursorShown());
  ConcealMouse();
  RevealMouse();
  EXPECT_TRUE(ev::IsCursorShown());
  ConcealMouse();
  Window(SDL_WINDOWEVENT_LEAVE);
  Taken();
  EXPECT_TRUE(ev::IsCursorShown());
  RevealMouse();
}

TEST_F(SdlEvents, ActivationOfTheApplicationAsAWholeAndCloseRequests) {
  ev::NativeWindow second = ev::OpenWindow("second", 50, 50);
  ASSERT_NE(second, nullptr);
  AttachEventWindow(second, source_);
  uint32_t secondId = sdl_->GetWindowID(Sdl(second));
  Taken();

  Window(SDL_WINDOWEVENT_FOCUS_GAINED);
  EXPECT_EQ(Taken(), Texts{"AppResume 0 m0"});
  // Focus moving between two of its own windows is no change for the application.
  Window(SDL_WINDOWEVENT_FOCUS_LOST);
  Window(SDL_WINDOWEVENT_FOCUS_GAINED, secondId);
  EXPECT_EQ(Taken(), Texts{});
  Window(SDL_WINDOWEVENT_FOCUS_LOST, secondId);
  EXPECT_EQ(Taken(), Texts{"AppSuspend 0 m0"});
  Window(SDL_WINDOWEVENT_FOCUS_GAINED, secondId);
  Window(SDL_WINDOWEVENT_CLOSE);
  EXPECT_EQ(Taken(), (Texts{"AppResume 0 m0", "AppTerminate 0 m0"}));

  // Polled input sees the suspend and the close request too.
  StartInputPolling(nullptr);
  Window(SDL_WINDOWEVENT_FOCUS_LOST, secondId);
  Window(SDL_WINDOWEVENT_CLOSE, secondId);
  EXPECT_EQ(IsAppSuspended(), 1);
  EXPECT_EQ(TakeAppTerminate(), 1);
  StopInputPolling();

  DetachEventWindow(second);
  ev::CloseWindow(second);
  Window(SDL_WINDOWEVENT_CLOSE, secondId);  // a closed window's events go nowhere
  // The loss of focus is settled at the end of the pump, after the events that came with it.
  EXPECT_EQ(Taken(), (Texts{"AppTerminate 0 m0", "AppSuspend 0 m0"}));
}

// A hook that closes the window while its messages are being delivered.
ev::NativeWindow g_closeOnChar = nullptr;
Ref<Object> CloseOnFirstChar(int32_t, Ref<Object> data, Ref<Object>) {
  Ref<TEvent> e = data.As<TEvent>();
  if (e && e->id == kEventKeyChar && g_closeOnChar) {
    DetachEventWindow(g_closeOnChar);
    ev::CloseWindow(std::exchange(g_closeOnChar, nullptr));
  }
  return data;
}

TEST_F(SdlEvents, AHookMayCloseTheWindowWhileItsMessagesAreDelivered) {
  g_closeOnChar = window_;
  window_ = nullptr;  // closed by the hook
  InsertHook(EventHookId, &CloseOnFirstChar, nullptr, 5);
  Text("abc");
  Key(SDL_SCANCODE_RETURN, true);
  Motion(1, 1);
  EXPECT_EQ(Taken(), Texts{"KeyChar 97 m0"});
  DetachHook(EventHookId, &CloseOnFirstChar, nullptr);
}

// With a window open the wait is SDL's; a call posted from another thread still ends it.
void Mark(const Ref<Object>& info, intptr_t) {
  static_cast<TEvent*>(info.Get())->data = 1;
}

TEST_F(SdlEvents, APostWakesTheWaitWhileAWindowIsOpen) {
  Ref<TEvent> flag = New<TEvent>();
  WeakHandle handle = NewWeakHandle(flag.Get());
  std::thread poster([handle] { PostToMainThread(&Mark, handle, 0); });
  while (flag->data == 0)
    AwaitSystem();
  poster.join();
  EXPECT_EQ(flag->data, 1);
  RevokeWeakHandle(handle);
}

// Many posts while the main thread is busy leave SDL's queue (65535 events) room for input.
int g_posted = 0;
void CountPost(const Ref<Object>&, intptr_t) {
  ++g_posted;
}

TEST_F(SdlEvents, PostsWhileTheMainThreadIsBusyLeaveRoomForInput) {
  g_posted = 0;
  std::thread poster([] {
    for (int i = 0; i < 70000; ++i)
      PostToMainThread(&CountPost, 0, 0);
  });
  poster.join();
  Key(SDL_SCANCODE_A, true);
  EXPECT_EQ(Taken(), Texts{"KeyDown 65 m0"});
  EXPECT_EQ(g_posted, 70000);
  std::thread late([] { PostToMainThread(&CountPost, 0, 0); });
  while (g_posted == 70000)
    AwaitSystem();  // the wait still wakes for a post
  late.join();
}

// A display that is named but not there gives no window (not one on a headless driver nobody
// sees).
TEST(SdlEventsWithoutX11, AnUnreachableDisplayOpensNoWindow) {
  setenv("DISPLAY", ":4711", 1);  // no server there
  unsetenv("WAYLAND_DISPLAY");
  unsetenv("SDL_VIDEODRIVER");
  ev::NativeWindow w = ev::OpenWindow("nobody sees this", 100, 100);
  EXPECT_EQ(w, nullptr);
  if (w) ev::CloseWindow(w);
}

// On the test X server: the pointer warped into the window arrives as an enter and a move.
TEST(SdlEventsOnX11, PlaceMouseWarpsThePointer) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X server";
  InitEventQueueModule();
  InitTimerModule();
  ev::NativeWindow w = ev::OpenWindow("warp", 160, 120);
  ASSERT_NE(w, nullptr) << platform::sdl::OpenError();
  Ref<Object> source = New<Object>();
  AttachEventWindow(w, source);
  const platform::sdl::Library* sdl = platform::sdl::Open();
  Ref<TTimer> guard = NewTimer(20, nullptr);  // the wait below wakes at least every 50 ms
  int wx = 0, wy = 0;
  bool moved = false;
  for (int ticks = 0; !moved && ticks < 100;) {
    sdl->GetWindowPosition(reinterpret_cast<SDL_Window*>(w), &wx, &wy);
    if (ev::FocusedWindow() == w)
      PlaceMouse(30, 40);
    else
      PlaceMouse(wx + 30, wy + 40);
    int32_t id = QueueWait();
    ticks += id == kEventTimerTick;
    moved = id == kEventMouseMove && CurrentEventX() == 30 && CurrentEventY() == 40 &&
            CurrentEventSource() == source;
  }
  EXPECT_TRUE(moved);
  guard->Stop();
  DetachEventWindow(w);
  ev::CloseWindow(w);
}

}  // namespace
}  // namespace vxl
