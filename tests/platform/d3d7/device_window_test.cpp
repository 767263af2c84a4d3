// The device windows and presentation of the software DirectDraw 7 on a real display (Xvfb, whose
// screen test_devices.sh makes 1280x1024 at 24 bits): the X11 class and placement, attaching to
// a window made by another program part, pixels in the SDL window surface, SDL's modes, and the
// display mode given back and taken again as the focus goes and comes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "graphics/gl/x11_window.h"
#include "platform/d3d7/d3d7_window.h"
#include "platform/d3d7/ddraw7.h"
#include "platform/d3d7/ddraw7_seams.h"
#include "platform/events/display_modes.h"
#include "platform/events/x11_window.h"
#include "platform/sdl/sdl_library.h"

namespace vxl::platform::d3d7 {
namespace {

std::vector<uint32_t> g_log;  // messages and focus reports, in order (focus: 0xF0CC0000 | on)

void Translate(const events::WindowMessage& m) {
  g_log.push_back(m.message);
}
void Focus(WindowId, bool focused) {
  g_log.push_back(0xF0CC0000u | uint32_t(focused));
}

void SendWindowEvent(WindowId window, SDL_WindowEventID id) {
  const sdl::Library* sdl = sdl::Open();
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.event = id;
  e.window.windowID = sdl->GetWindowID(reinterpret_cast<SDL_Window*>(DeviceWindowHandle(window)));
  sdl->PushEvent(&e);
  events::PumpEvents();
}

class DeviceWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("VXL_D3D7", "1", 1);
    SetDeviceWindowHandlers(&Translate, &Focus);
    g_log.clear();
    ASSERT_EQ(DirectDrawCreateEx(&dd_), DD_OK);
  }
  void TearDown() override { dd_->Release(); }
  IDirectDraw7* dd_ = nullptr;
};

TEST_F(DeviceWindowTest, WindowsHaveTheirClassPlaceAndSize) {
  WindowId w = CreateDeviceWindow("dx window", 64, 48, false);
  ASSERT_NE(w, 0u);
  EXPECT_STREQ(events::X11WindowClass(events::X11WindowId(DeviceWindowHandle(w))),
               "VXDX7Device Window Class");
  int32_t x = 0, y = 0, cw = 0, ch = 0;
  ASSERT_TRUE(DeviceWindowClientOrigin(w, &x, &y));
  ASSERT_TRUE(DeviceWindowClientSize(w, &cw, &ch));
  EXPECT_EQ(x, 32);
  EXPECT_EQ(y, 32);
  EXPECT_EQ(cw, 64);
  EXPECT_EQ(ch, 48);
  DestroyDeviceWindow(w);
  EXPECT_FALSE(DeviceWindowClientSize(w, &cw, &ch));
}

TEST_F(DeviceWindowTest, AttachesToAWindowItDidNotMake) {
  EXPECT_EQ(AttachDeviceWindow(0), 0u);
  EXPECT_EQ(AttachDeviceWindow(3), 0u) << "no such window: 0, and the process goes on";
  uint64_t x11 = testing::MakeX11Window(40, 30);
  ASSERT_NE(x11, 0u);
  WindowId w = AttachDeviceWindow(uintptr_t(x11));
  ASSERT_NE(w, 0u);
  int32_t cw = 0, ch = 0;
  ASSERT_TRUE(DeviceWindowClientSize(w, &cw, &ch));
  EXPECT_EQ(cw, 40);
  EXPECT_EQ(ch, 30);
  DestroyDeviceWindow(w);
  EXPECT_TRUE(testing::X11WindowExists(x11));
  testing::DestroyX11Window(x11);
}

// A blit to the primary through the clipper lands in the window's SDL surface.
TEST_F(DeviceWindowTest, BltShowsTheRenderSurfaceInTheWindow) {
  WindowId w = CreateDeviceWindow("dx blt", 32, 16, false);
  ASSERT_NE(w, 0u);
  ASSERT_EQ(dd_->SetCooperativeLevel(0, DDSCL_NORMAL | DDSCL_FPUPRESERVE), DD_OK);
  DDSURFACEDESC2 d;
  d.flags = DDSD_CAPS;
  d.caps.caps = DDSCAPS_PRIMARYSURFACE;
  IDirectDrawSurface7 *primary = nullptr, *render = nullptr;
  ASSERT_EQ(dd_->CreateSurface(d, &primary, nullptr), DD_OK);
  d.flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
  d.caps.caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE;
  d.width = 32;
  d.height = 16;
  ASSERT_EQ(dd_->CreateSurface(d, &render, nullptr), DD_OK);
  DDSURFACEDESC2 locked;
  ASSERT_EQ(render->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr), DD_OK);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 32; ++x)
      static_cast<uint32_t*>(locked.surface)[y * 32 + x] =
          0xFF000000u | uint32_t(x * 8) << 16 | uint32_t(y * 16);
  render->Unlock(nullptr);
  IDirectDrawClipper* clipper = nullptr;
  ASSERT_EQ(dd_->CreateClipper(0, &clipper, nullptr), DD_OK);
  clipper->SetHWnd(0, w);
  primary->SetClipper(clipper);
  RECT source{0, 0, 32, 16}, target{32, 32, 64, 48};
  ASSERT_EQ(primary->Blt(&target, render, &source, DDBLT_WAIT, nullptr), DD_OK);
  primary->SetClipper(nullptr);
  const sdl::Library* sdl = sdl::Open();
  SDL_Surface* s = sdl->GetWindowSurface(reinterpret_cast<SDL_Window*>(DeviceWindowHandle(w)));
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->format->BytesPerPixel, 4);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 32; ++x) {
      uint32_t p = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(s->pixels) + y * s->pitch)[x];
      uint8_t r, g, b;
      sdl->GetRGB(p, s->format, &r, &g, &b);
      ASSERT_EQ(r, x * 8) << x << "," << y;
      ASSERT_EQ(g, 0);
      ASSERT_EQ(b, y * 16);
    }
  clipper->Release();
  render->Release();
  primary->Release();
  DestroyDeviceWindow(w);
}

TEST_F(DeviceWindowTest, FullScreenFollowsTheFocus) {
  std::vector<std::pair<int, int>> modes;
  auto collect = [](DDSURFACEDESC2* m, void* ctx) -> HRESULT {
    static_cast<std::vector<std::pair<int, int>>*>(ctx)->push_back(
        {int(m->width) * 100 + int(m->pixelFormat.rgbBitCount), int(m->refreshRate)});
    return DDENUMRET_OK;
  };
  ASSERT_EQ(dd_->EnumDisplayModes(DDEDM_REFRESHRATES, nullptr, &modes, collect), DD_OK);
  std::vector<events::ScreenMode> sdlModes = events::ListDisplayModes();
  ASSERT_EQ(modes.size(), sdlModes.size());
  bool screen = false;
  for (size_t i = 0; i < modes.size(); ++i) {
    EXPECT_EQ(modes[i].first, sdlModes[i].width * 100 + sdlModes[i].depth);
    EXPECT_EQ(modes[i].second, sdlModes[i].hertz);
    screen |= modes[i].first == 1280 * 100 + 32;
  }
  EXPECT_TRUE(screen) << "the 24-bit X screen lists as 32 bits per pixel";

  WindowId w = CreateDeviceWindow("dx full", 1280, 1024, true);
  ASSERT_NE(w, 0u);
  const uint32_t full = DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT | DDSCL_EXCLUSIVE | DDSCL_FPUPRESERVE;
  ASSERT_EQ(dd_->SetCooperativeLevel(w, full), DD_OK);
  EXPECT_EQ(dd_->SetDisplayMode(1234, 567, 32, 0, 0), DDERR_UNSUPPORTEDMODE);
  ASSERT_EQ(dd_->SetDisplayMode(1280, 1024, 32, 0, 0), DD_OK);
  const sdl::Library* sdl = sdl::Open();
  auto* window = reinterpret_cast<SDL_Window*>(DeviceWindowHandle(w));
  EXPECT_TRUE(sdl->GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN);
  g_log.clear();
  SendWindowEvent(w, SDL_WINDOWEVENT_FOCUS_LOST);
  EXPECT_FALSE(sdl->GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN);
  EXPECT_EQ(dd_->TestCooperativeLevel(), DDERR_NOEXCLUSIVEMODE);
  SendWindowEvent(w, SDL_WINDOWEVENT_FOCUS_GAINED);
  EXPECT_TRUE(sdl->GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN);
  EXPECT_EQ(dd_->TestCooperativeLevel(), DD_OK);
  // The translation sees each message before the focus is reported.
  std::vector<uint32_t> focusPart;
  for (uint32_t m : g_log) {
    if (m == events::kMsgSetFocus || m == events::kMsgKillFocus || (m >> 16) == 0xF0CC) {
      focusPart.push_back(m);
    }
  }
  EXPECT_EQ(focusPart, (std::vector<uint32_t>{events::kMsgKillFocus, 0xF0CC0000u,
                                              events::kMsgSetFocus, 0xF0CC0001u}));
  ASSERT_EQ(dd_->SetCooperativeLevel(w, DDSCL_NORMAL), DD_OK);
  EXPECT_FALSE(sdl->GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN);
  DestroyDeviceWindow(w);
}

}  // namespace
}  // namespace vxl::platform::d3d7
