// The one call that starts every framework module runs their bodies in the launcher's order.
#include <gtest/gtest.h>

#include "app/launcher_order.h"
#include "audio/audio_driver.h"
#include "pixmap/pixmap.h"
#include "startup/startup.h"
#include "support/thrown_text.h"
#include "system/system.h"

namespace vxl {
namespace {

// (Each test runs in a process of its own: here no initialiser has run yet.)
TEST(FrameworkModules, UsingAModuleBeforeItsInitialiserNamesIt) {
  EXPECT_THROW_TEXT_AS(TRuntimeException, OpenStreamUrl(String("x"), 1, 0),
                       "The stream module is not initialised: call InitStreamModule (or "
                       "InitFrameworkModules) first");
  EXPECT_THROW_TEXT_AS(TRuntimeException, PixmapFromUrl(String("x")),
                       "The pixmap module is not initialised: call InitPixmapModule (or "
                       "InitFrameworkModules) first");
  EXPECT_THROW_TEXT_AS(TRuntimeException, ReadAudioSample(String("x")),
                       "The audio sample module is not initialised: call InitAudioSampleModule "
                       "(or InitFrameworkModules) first");
  EXPECT_THROW_TEXT_AS(TRuntimeException, CurrentAudioDriver(),
                       "The audio module is not initialised: call InitAudioModule (or "
                       "InitFrameworkModules) first");
  EXPECT_THROW_TEXT_AS(TRuntimeException, PumpSystem(),
                       "The system module is not initialised: call InitSystemModule (or "
                       "InitFrameworkModules) first");
  EXPECT_TRUE(ModuleBodyOrder().empty());
}

TEST(FrameworkModules, BodiesRunOnceInTheLaunchersOrder) {
  InitFrameworkModules();
  InitFrameworkModules();  // a second call does nothing
  EXPECT_EQ(std::vector<std::string>(ModuleBodyOrder().begin(), ModuleBodyOrder().end()),
            LauncherOrder());
}

}  // namespace
}  // namespace vxl
