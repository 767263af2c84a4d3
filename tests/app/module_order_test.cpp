// The launcher's module bodies run once each, in the fixed start-up order, and so fill every
// chain and table in the order the launcher's table gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/launcher.h"
#include "app/launcher_order.h"
#include "audio/audio_driver.h"
#include "data/data.h"
#include "graphics/graphics.h"
#include "pixmap/pixmap.h"
#include "records/records.h"
#include "runtime/class_info.h"
#include "runtime/module.h"
#include "startup/startup.h"
#include "stream/stream.h"
#include "system/event/event.h"
#include "system/event/hook.h"

namespace vxl {
namespace {

// direct3D7: the VXL_D3D7 setting the first run sees (off by default: no Direct3D 7 drivers).
void RunLauncherImports(bool direct3D7 = false) {
  // Everything main imports except the stub, whose body runs main itself (launch and exit).
  if (ModuleBodyOrder().empty()) {
    if (direct3D7) {
      setenv("VXL_D3D7", "1", 1);
    } else {
      unsetenv("VXL_D3D7");
    }
  }
  for (ModuleInitialiser init : LauncherImports()) {
    if (init != InitApplicationStub) init();
  }
}

template <class T>
std::vector<std::string> ChainClasses(Ref<T> head) {
  std::vector<std::string> names;
  for (Ref<T> at = head; at; at = at->_succ)
    names.push_back(at->Class().Name());
  return names;
}

TEST(ModuleOrder, MainHasTwentySevenImportsStubSecond) {
  ASSERT_EQ(LauncherImports().size(), 27u);
  EXPECT_EQ(LauncherImports()[0], InitCoreModule);
  EXPECT_EQ(LauncherImports()[1], InitApplicationStub);
  EXPECT_TRUE(std::equal(FrameworkImports().begin(), FrameworkImports().end(),
                         LauncherImports().begin() + 2));
}

TEST(ModuleOrder, BodiesRunOnceInTheTablesOrder) {
  ASSERT_EQ(kLauncherTable.size(), 85u);
  for (size_t i = 0; i < kLauncherTable.size(); ++i)
    ASSERT_EQ(kLauncherTable[i].place, static_cast<int>(i) + 1) << kLauncherTable[i].name;

  RunLauncherImports();
  std::vector<std::string> order(ModuleBodyOrder().begin(), ModuleBodyOrder().end());
  EXPECT_EQ(order, LauncherOrder());

  RunLauncherImports();  // a second run does nothing
  InitFrameworkModules();
  EXPECT_EQ(ModuleBodyOrder().size(), kLauncherTable.size());
}

// The classes each row registers, row after row: together they appear in the class registry in
// this order (modules may register further classes of their own in between).
TEST(ModuleOrder, ClassRegistryFollowsTheRows) {
  const std::vector<std::vector<std::string>> rows = {
      {"TStreamException", "TStreamReadException", "TStreamWriteException", "TIO", "TStream",
       "TStreamWrapper", "TStreamStream", "TCStream", "TStreamFactory"},
      {"TAudioSample", "TAudioSampleLoader"},
      {"TSound", "TChannel", "TAudioDriver"},
      {"TDataId", "TDataStreamFactory", "TData", "TDataType", "TDataStream"},
      {"TBank", "TBankDataType"},
      {"TBankStream", "TBankStreamFactory"},
      {"TSocketException", "TSocket"},
      {"TRamStream", "TRamStreamFactory"},
      {"TXEndianStream", "TXEndianStreamFactory"},
      {"TSocketStream", "TSocketStreamFactory"},
      {"THTTPStreamFactory"},
      {"TTextStream", "TTextStreamFactory"},
      {"TCStandardIO"},
      {"TLink", "TListEnum", "TList", "TListDataType"},
      {"TPixmap", "TPixmapDataType", "TPixmapLoader"},
      {"TPixmapLoaderBMP"},
      {"THook"},
      {"TEvent"},
      {"TSystemDriver"},
      {"TWin32SystemDriver"},
      {"TGraphics", "TGraphicsMode", "TGraphicsDriver"},
      {"TTimer"},
      {"TPipeStream", "TProcess"},
  };
  RunLauncherImports();
  std::vector<std::string> registry;
  for (const ClassInfo* cls : RegisteredClasses())
    registry.push_back(cls->Name());
  auto at = registry.begin();
  for (const auto& row : rows) {
    for (const std::string& name : row) {
      auto found = std::find(at, registry.end(), name);
      ASSERT_NE(found, registry.end()) << name << " missing or registered too early";
      at = found + 1;
    }
  }
}

TEST(ModuleOrder, ChainsAreSearchedNewestFirst) {
  RunLauncherImports();
  EXPECT_EQ(
      ChainClasses(StreamFactories()),
      (std::vector<std::string>{"TTextStreamFactory", "THTTPStreamFactory", "TSocketStreamFactory",
                                "TXEndianStreamFactory", "TRamStreamFactory", "TBankStreamFactory",
                                "TDataStreamFactory"}));
  EXPECT_EQ(ChainClasses(PixmapLoaders()),
            (std::vector<std::string>{"TPixmapLoaderTGA", "TPixmapLoaderPNG", "TPixmapLoaderJPG",
                                      "TPixmapLoaderBMP"}));
  EXPECT_EQ(ChainClasses(AudioSampleLoaders()),
            (std::vector<std::string>{"TAudioSampleLoaderWAV", "TAudioSampleLoaderOGG"}));
  EXPECT_EQ(ChainClasses(DataTypes()),
            (std::vector<std::string>{"TGLKor2DDriver", "TGLGraphicsDriver", "TImageDataType",
                                      "TPixmapDataType", "TListDataType", "TBankDataType"}));
  std::vector<std::string> drivers;
  Array<String> names = ListAudioDrivers();
  for (int32_t i = 0; i < names.Length(); ++i)
    drivers.push_back(names[i].ToCString());
  // "OpenAL" registers where the library is installed (scripts/setup.sh installs it).
  EXPECT_EQ(drivers, (std::vector<std::string>{"OpenAL", "Tonmix", "Tonmix Multimedia",
                                               "Tonmix DirectSound", "DirectSound", "Null"}));
}

TEST(ModuleOrder, DriversHooksAndLookups) {
  RunLauncherImports();
  // The OpenGL 2D driver made itself current last; without the setting there is no Direct3D 7
  // one.
  ASSERT_TRUE(CurrentGraphicsDriver());
  EXPECT_EQ(CurrentGraphicsDriver()->Class().Name(), "TGLKor2DDriver");
  // The event module's id came first, then the graphics module's; the next one follows them.
  EXPECT_EQ((std::vector<int32_t>{EventHookId, FrameHookId, NewHookId()}),
            (std::vector<int32_t>{0, 1, 2}));
  EXPECT_TRUE(DirectSoundEntryResolved());
  EXPECT_FALSE(DirectDrawEntryResolved());
}

// With VXL_D3D7=1 the same bodies run in the same order, and the Direct3D 7 drivers link
// themselves into the data-type chain after the OpenGL ones: "DirectX7" is the default driver
// and the DirectDraw entry resolves. In a child process (the start-up runs once per process),
// with SDL's offscreen video for the mode list the start-up reads.
TEST(ModuleOrderDeathTest, WithTheDirect3D7SettingDirectX7IsTheDefault) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto start = [] {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    RunLauncherImports(true);
    std::vector<std::string> order(ModuleBodyOrder().begin(), ModuleBodyOrder().end());
    std::string report = order == LauncherOrder() ? "order=table" : "order=other";
    for (const std::string& name : ChainClasses(DataTypes()))
      report += " " + name;
    Ref<TGraphicsDriver> current = CurrentGraphicsDriver();
    report += " current=" + (current ? current->ToString().ToCString() : std::string("none"));
    report += DirectDrawEntryResolved() ? " entry=1" : " entry=0";
    std::fprintf(stderr, "%s", report.c_str());
    std::fflush(stderr);
    std::_Exit(0);
  };
  EXPECT_EXIT(start(), testing::ExitedWithCode(0),
              "^order=table TD3D7Kor2DDriver TD3D7GraphicsDriver TGLKor2DDriver TGLGraphicsDriver "
              "TImageDataType TPixmapDataType TListDataType TBankDataType current=DirectX7 "
              "entry=1$");
}

}  // namespace
}  // namespace vxl
