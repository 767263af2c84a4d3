// The launcher's module bodies run once each, in the fixed start-up order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/launcher.h"
#include "app/launcher_order.h"
#include "audio/audio_driver.h"
#include "data/data.h"
#include "pixmap/pixmap.h"
#include "runtime/module.h"
#include "stream/stream.h"

namespace vxl {
namespace {

void RunLauncherImports() {
  // Everything main imports except the stub, whose body runs main itself (launch and exit).
  for (ModuleInitialiser init : LauncherImports()) {
    if (init != InitApplicationStub) init();
  }
}

TEST(ModuleOrder, BodiesRunOnceInTheFixedOrder) {
  RunLauncherImports();
  std::vector<std::string> order(ModuleBodyOrder().begin(), ModuleBodyOrder().end());
  EXPECT_EQ(order, kLauncherOrder);

  RunLauncherImports();  // a second run does nothing
  EXPECT_EQ(ModuleBodyOrder().size(), kLauncherOrder.size());
}

TEST(ModuleOrder, ChainsAreSearchedNewestFirst) {
  RunLauncherImports();
  std::vector<std::string> factories;
  for (Ref<TStreamFactory> f = StreamFactories(); f; f = f->_succ) {
    factories.push_back(f->Class().Name());
  }
  EXPECT_EQ(factories, (std::vector<std::string>{"TTextStreamFactory", "THTTPStreamFactory",
                                                 "TSocketStreamFactory", "TXEndianStreamFactory",
                                                 "TRamStreamFactory", "TBankStreamFactory",
                                                 "TDataStreamFactory"}));
  std::vector<std::string> types;
  for (Ref<TDataType> t = DataTypes(); t; t = t->_succ)
    types.push_back(t->Class().Name());
  EXPECT_EQ(types, (std::vector<std::string>{"TGLKor2DDriver", "TGLGraphicsDriver",
                                             "TImageDataType", "TPixmapDataType", "TListDataType",
                                             "TBankDataType"}));
  std::vector<std::string> loaders;
  for (Ref<TPixmapLoader> l = PixmapLoaders(); l; l = l->_succ)
    loaders.push_back(l->Class().Name());
  EXPECT_EQ(loaders, (std::vector<std::string>{"TPixmapLoaderTGA", "TPixmapLoaderPNG",
                                               "TPixmapLoaderJPG", "TPixmapLoaderBMP"}));
  std::vector<std::string> sampleLoaders;
  for (Ref<TAudioSampleLoader> l = AudioSampleLoaders(); l; l = l->_succ)
    sampleLoaders.push_back(l->Class().Name());
  EXPECT_EQ(sampleLoaders,
            (std::vector<std::string>{"TAudioSampleLoaderWAV", "TAudioSampleLoaderOGG"}));
  std::vector<std::string> drivers;
  Array<String> names = ListAudioDrivers();
  for (int32_t i = 0; i < names.Length(); ++i)
    drivers.push_back(names[i].ToCString());
  // "OpenAL" registers where the library is installed (scripts/setup.sh installs it).
  EXPECT_EQ(drivers, (std::vector<std::string>{"OpenAL", "Tonmix", "Tonmix Multimedia",
                                               "Tonmix DirectSound", "DirectSound", "Null"}));
}

TEST(ModuleOrder, StubIsMainsSecondImport) {
  ASSERT_GE(LauncherImports().size(), 2u);
  EXPECT_EQ(LauncherImports()[0], InitCoreModule);
  EXPECT_EQ(LauncherImports()[1], InitApplicationStub);
}

}  // namespace
}  // namespace vxl
