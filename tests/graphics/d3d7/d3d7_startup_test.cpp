// Whether the Direct3D 7 drivers exist follows the VXL_D3D7 setting: off, nothing is made, SDL is
// never loaded and "OpenGL" stays the default; on, "DirectX7" becomes the default. Each case
// runs in a child process of its own, since the look-up runs once per process.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <dlfcn.h>

#include "graphics/d3d7/d3d7_graphics.h"
#include "graphics/d3d7/d3d7_kor2d_driver.h"
#include "graphics/d3d7/d3d7_modules.h"
#include "platform/d3d7/ddraw7_seams.h"
#include "records/records.h"

namespace vxl {
namespace {

// Prints what start-up left behind and ends the child.
[[noreturn]] void Report() {
  const bool sdl = dlopen("libSDL2-2.0.so.0", RTLD_LAZY | RTLD_NOLOAD) != nullptr;
  Ref<TGraphicsDriver> current = CurrentGraphicsDriver();
  Ref<TD3D7GraphicsDriver> d3d7 = D3D7DriverInstance();
  std::fprintf(stderr, "%s entry=%d driver=%d modes=%d sdl=%d",
               current ? current->ToString().ToCString().c_str() : "none",
               DirectDrawEntryResolved() ? 1 : 0, d3d7 ? 1 : 0,
               d3d7 ? d3d7->GraphicsModes().Length() : 0, sdl ? 1 : 0);
  std::fflush(stderr);
  std::_Exit(0);
}

[[noreturn]] void StartWith(const char* setting) {
  if (setting) {
    setenv("VXL_D3D7", setting, 1);
  } else {
    unsetenv("VXL_D3D7");
  }
  // With the setting on, the modes come from a fixed list, so nothing needs SDL.
  static const std::vector<platform::d3d7::DisplayModeEntry> modes = {{640, 480, 32, 60},
                                                                      {800, 600, 16, 75}};
  platform::d3d7::UseDisplayModesForTesting(&modes);
  InitD3D7Kor2DStep();
  Report();
}

TEST(D3D7StartupDeathTest, FollowsTheSetting) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const struct {
    const char* setting;  // nullptr: unset
    const char* expected;
  } cases[] = {
      {nullptr, "^OpenGL entry=0 driver=0 modes=0 sdl=0$"},
      {"0", "^OpenGL entry=0 driver=0 modes=0 sdl=0$"},
      {"1", "^DirectX7 entry=1 driver=1 modes=2 sdl=0$"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.setting ? c.setting : "unset");
    EXPECT_EXIT(StartWith(c.setting), testing::ExitedWithCode(0), c.expected);
  }
}

}  // namespace
}  // namespace vxl
