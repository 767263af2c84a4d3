// The OpenGL graphics driver on a real display (Xvfb, whose screen test_devices.sh makes
// 1280x1024 at 24 bits, with Mesa's software renderer).
#include <gtest/gtest.h>

#include "graphics/gl/gl_graphics.h"
#include "graphics/gl/gl_overlay.h"
#include "graphics/gl/gl_texture.h"
#include "graphics/gl/x11_window.h"
#include "pixmap/pixel_format.h"
#include "platform/gl/gl_api.h"
#include "platform/gl/gl_context.h"
#include "platform/sdl/sdl_library.h"
#include "runtime/application.h"
#include "stream/stream.h"
#include "support/thrown_text.h"
#include "system/system.h"

namespace vxl {
namespace {

namespace pgl = platform::gl;

const pgl::Api& gl() {
  return pgl::GL();
}

// The colour at a pixel of the drawing buffer, rows counted from the top.
uint32_t PixelAt(int x, int y, int height) {
  uint8_t p[4] = {};
  gl().ReadPixels(x, height - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
  return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}

pgl::NativeContext* Native(const Ref<TGraphics>& g) {
  return static_cast<TGLGraphics*>(g.Get())->_context;
}

void SendWindowEvent(const Ref<TGraphics>& g, SDL_WindowEventID id) {
  const platform::sdl::Library* sdl = platform::sdl::Open();
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.event = id;
  e.window.windowID = sdl->GetWindowID(reinterpret_cast<SDL_Window*>(pgl::WindowOf(Native(g))));
  sdl->PushEvent(&e);
  PumpSystem();
}

class GLGraphicsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitGLGraphicsModule();
    driver_ = GLDriverInstance();
  }
  Ref<TGLGraphicsDriver> driver_;
};

TEST_F(GLGraphicsTest, WindowsHaveTheirSettingsAndCloseToZero) {
  ApplicationTitle = String("gl test");
  Ref<TGraphics> g = driver_->CreateGraphics(64, 48, 0, 75, 2 | 4);
  ASSERT_TRUE(g);
  int32_t w, h, d, hz, f;
  g->GetSettings(w, h, d, hz, f);
  EXPECT_EQ((std::vector<int32_t>{w, h, d, hz, f}), (std::vector<int32_t>{64, 48, 0, 75, 6}));
  driver_->SetGraphics(g);
  gl().ClearColor(1, 0, 0, 1);
  gl().Clear(GL_COLOR_BUFFER_BIT);
  EXPECT_EQ(PixelAt(3, 3, 48), 0xFF0000u);
  // The window: titled by the application, its client area at (32, 32).
  SDL_Window* window = reinterpret_cast<SDL_Window*>(pgl::WindowOf(Native(g)));
  const platform::sdl::Library* sdl = platform::sdl::Open();
  int x = 0, y = 0;
  sdl->GetWindowPosition(window, &x, &y);
  EXPECT_EQ(x, 32);
  EXPECT_EQ(y, 32);
  driver_->Flip(1);
  EXPECT_EQ(pgl::LastSwapInterval(), 1);
  driver_->Flip(5);  // any non-zero sync is 1
  EXPECT_EQ(pgl::LastSwapInterval(), 1);

  g->Close();
  g->Close();
  g->GetSettings(w, h, d, hz, f);
  EXPECT_EQ((std::vector<int32_t>{w, h, d, hz, f}), (std::vector<int32_t>{0, 0, 0, 0, 0}));
  driver_->SetGraphics(g);  // a closed context makes none current
  EXPECT_EQ(pgl::CurrentContext(), nullptr);
  driver_->Flip(0);         // and flipping without one does nothing
}

TEST_F(GLGraphicsTest, ModesListTheScreenAtEightBitsPerByte) {
  Array<Ref<TGraphicsMode>> modes = driver_->GraphicsModes();
  ASSERT_GT(modes.Length(), 0);
  bool screen = false;
  for (int32_t i = 0; i < modes.Length(); ++i) {
    EXPECT_GE(modes[i]->depth, 16);
    EXPECT_EQ(modes[i]->depth % 8, 0);
    screen = screen || (modes[i]->width == 1280 && modes[i]->height == 1024 &&
                        modes[i]->depth == 32);
  }
  EXPECT_TRUE(screen) << "the 24-bit X screen lists as 32 bits per pixel";
}

TEST_F(GLGraphicsTest, FullScreenGivesTheModeBackOnFocusLossAndTakesItAgain) {
  // A mode the display does not have leaves no window behind.
  EXPECT_FALSE(driver_->CreateGraphics(1234, 567, 32, 0, 2));

  Ref<TGraphics> g = driver_->CreateGraphics(1280, 1024, 32, 0, 2);
  ASSERT_TRUE(g);
  EXPECT_TRUE(pgl::HoldsDisplayMode(Native(g)));
  driver_->SetGraphics(g);
  driver_->Flip(1);
  SendWindowEvent(g, SDL_WINDOWEVENT_FOCUS_LOST);
  EXPECT_FALSE(pgl::HoldsDisplayMode(Native(g)));
  EXPECT_EQ(pgl::LastSwapInterval(), 0);
  const platform::sdl::Library* sdl = platform::sdl::Open();
  SDL_Window* window = reinterpret_cast<SDL_Window*>(pgl::WindowOf(Native(g)));
  EXPECT_FALSE(sdl->GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN);
  SendWindowEvent(g, SDL_WINDOWEVENT_FOCUS_GAINED);
  EXPECT_TRUE(pgl::HoldsDisplayMode(Native(g)));
  EXPECT_TRUE(sdl->GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN);
  g->Close();
}

// A display that refuses a mode it lists: at creation the window goes again and the result is
// Null; on a later focus gain the failure comes out of the event pump, and the window stays,
// windowed and drawable, until a focus gain can take the mode.
TEST_F(GLGraphicsTest, RefusedDisplayModesFailCreationOrComeOutOfThePump) {
  // Xvfb lists its mode without a refresh rate, so a window asking for 60 Hz takes it at any
  // rate and without vertical sync.
  const int32_t rate = 60;
  struct Case {
    int32_t hertz, refusals;
    bool opens;
    int32_t interval;  // the swap interval the mode came with
  } cases[] = {
      {rate, 0, true, 0}, {rate, 1, false, 0}, {0, 1, false, 0}, {0, 0, true, 0}, {0, 2, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "hertz " << c.hertz << ", refusals " << c.refusals);
    pgl::RefuseDisplayModeSwitches(c.refusals);
    Ref<TGraphics> g = driver_->CreateGraphics(1280, 1024, 32, c.hertz, 2);
    pgl::RefuseDisplayModeSwitches(0);
    ASSERT_EQ(bool(g), c.opens);
    if (!g) continue;
    EXPECT_TRUE(pgl::HoldsDisplayMode(Native(g)));
    EXPECT_EQ(pgl::LastSwapInterval(), c.interval);
    g->Close();
  }

  Ref<TGraphics> g = driver_->CreateGraphics(1280, 1024, 32, rate, 2);
  ASSERT_TRUE(g);
  SDL_Window* window = reinterpret_cast<SDL_Window*>(pgl::WindowOf(Native(g)));
  const platform::sdl::Library* sdl = platform::sdl::Open();
  SendWindowEvent(g, SDL_WINDOWEVENT_FOCUS_LOST);
  pgl::RefuseDisplayModeSwitches(1);
  EXPECT_THROW_TEXT_AS(String, SendWindowEvent(g, SDL_WINDOWEVENT_FOCUS_GAINED),
                       "GLGraphicsDriver failed to set display mode");
  EXPECT_FALSE(pgl::HoldsDisplayMode(Native(g)));
  EXPECT_FALSE(sdl->GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN);
  EXPECT_FALSE(SystemPumpBusy()) << "the pump runs again after the throw";
  int32_t w, h, d, hz, f;
  g->GetSettings(w, h, d, hz, f);
  EXPECT_EQ((std::vector<int32_t>{w, h, d, hz, f}),
            (std::vector<int32_t>{1280, 1024, 32, rate, 2}));
  driver_->SetGraphics(g);
  gl().ClearColor(0, 1, 0, 1);
  gl().Clear(GL_COLOR_BUFFER_BIT);
  EXPECT_EQ(PixelAt(1279, 1023, 1024), 0x00FF00u);

  // The next pump delivers what the interrupted one left queued (SDL ends a pump's cycle at
  // the mark it queued when the cycle began); the focus gain after it takes the mode.
  PumpSystem();
  SendWindowEvent(g, SDL_WINDOWEVENT_FOCUS_GAINED);
  EXPECT_TRUE(pgl::HoldsDisplayMode(Native(g)));
  EXPECT_TRUE(sdl->GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN);
  g->Close();
}

TEST_F(GLGraphicsTest, AttachesToAWindowItDidNotMake) {
  uint64_t w = testing::MakeX11Window(40, 30);
  ASSERT_NE(w, 0u);
  EXPECT_FALSE(driver_->AttachGraphics(0, 2));
  EXPECT_FALSE(driver_->AttachGraphics(3, 2)) << "no such window: Null, and the process goes on";
  Ref<TGraphics> g = driver_->AttachGraphics(static_cast<int64_t>(w), 2);
  ASSERT_TRUE(g);
  int32_t width, height, d, hz, f;
  g->GetSettings(width, height, d, hz, f);
  EXPECT_EQ(width, 40);
  EXPECT_EQ(height, 30);
  driver_->SetGraphics(g);
  gl().ClearColor(0, 0, 1, 1);
  gl().Clear(GL_COLOR_BUFFER_BIT);
  EXPECT_EQ(PixelAt(39, 29, 30), 0x0000FFu);
  g->Close();
  // Closing the context leaves the window alone.
  EXPECT_TRUE(testing::X11WindowExists(w));
  testing::DestroyX11Window(w);
  EXPECT_FALSE(driver_->AttachGraphics(static_cast<int64_t>(w), 2));
}

// A texture made in the shared context draws in every context.
TEST_F(GLGraphicsTest, ContextsShareTextures) {
  Ref<TGraphics> a = driver_->CreateGraphics(16, 16, 0, 0, 2);
  Ref<TGraphics> b = driver_->CreateGraphics(16, 16, 0, 0, 2);
  ASSERT_TRUE(a && b);
  driver_->SetGraphics(a);
  Ref<TPixmap> p = TPixmap::Create(2, 2, FORMAT_RGBA32, 4);
  p->ClearPixels(0xFF20C040);
  driver_->SwapSharedContext();
  auto texture = static_cast<GLuint>(GLTextureFromPixmap(p, 0));
  driver_->SwapSharedContext();
  for (const Ref<TGraphics>& g : {a, b}) {
    driver_->SetGraphics(g);
    gl().Enable(GL_TEXTURE_2D);
    gl().BindTexture(GL_TEXTURE_2D, texture);
    gl().Begin(GL_QUADS);
    gl().TexCoord2f(0, 0);
    gl().Vertex2f(-1, -1);
    gl().TexCoord2f(1, 0);
    gl().Vertex2f(1, -1);
    gl().TexCoord2f(1, 1);
    gl().Vertex2f(1, 1);
    gl().TexCoord2f(0, 1);
    gl().Vertex2f(-1, 1);
    gl().End();
    // The texture has no mipmaps: with GL's mipmapped default filter it would be incomplete and
    // the quad would come out in the plain current colour (white).
    EXPECT_EQ(PixelAt(8, 8, 16), 0x20C040u);
  }
  a->Close();
  b->Close();
}

TEST_F(GLGraphicsTest, TextureSizesArePowersOfTwoTheDriverAccepts) {
  Ref<TGraphics> g = driver_->CreateGraphics(8, 8, 0, 0, 2);
  ASSERT_TRUE(g);
  driver_->SetGraphics(g);
  GLint max = 0;
  gl().GetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
  struct Case {
    int32_t w, h, tw, th;
  };
  for (Case c : {Case{100, 50, 128, 64}, Case{64, 64, 64, 64}, Case{1, 3, 1, 4},
                 Case{max + 1, 5, max, 4}}) {
    int32_t w = c.w, h = c.h;
    GLFitTexSize(w, h);
    EXPECT_EQ(w, c.tw) << c.w << "x" << c.h;
    EXPECT_EQ(h, c.th) << c.w << "x" << c.h;
  }
  // Far beyond the largest texture: both sides halve together to a size the driver takes.
  int32_t w = 1 << 30, h = 1 << 30;
  GLFitTexSize(w, h);
  EXPECT_EQ(w, h);
  EXPECT_LE(w, max);
  EXPECT_EQ(w & (w - 1), 0);
  g->Close();
}

}  // namespace
}  // namespace vxl
