// The launcher's module bodies run once each, in the fixed start-up order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/launcher.h"
#include "audio/audio_driver.h"
#include "data/data.h"
#include "pixmap/pixmap.h"
#include "runtime/module.h"
#include "stream/stream.h"

namespace vxl {
namespace {

// Every module the launcher imports, in the order their bodies must run.
const std::vector<std::string> kExpectedOrder = {
    "core",
    "c standard library glue",
    "stream",
    "sample format tables",
    "audio sample",
    "audio",
    "ordered map",
    "data streams",
    "bank",
    "bank stream",
    "empty",
    "random",
    "socket",
    "RAM stream",
    "endian stream",
    "socket stream",
    "HTTP stream",
    "text stream",
    "standard io",
    "linked list",
    "file system",
    "standard group",
    "pixel format tables",
    "pixmap",
    "BMP loader",
    "hook",
    "event",
    "system driver base",
    "Win32 system driver",
    "system",
    "polled input",
    "graphics",
    "2D driver base",
    "image",
    "font",
    "image font",
    "Kor2D",
    "OpenGL",
    "OpenGL graphics",
    "OpenGL image frame",
    "OpenGL 2D driver",
    "event queue",
    "software mixer library",
    "software mixer audio driver",
    "ENet wrapper",
    "synk",
    "libjpeg binding",
    "JPEG loader",
    "toolchain path utility",
    "ogg vorbis binding",
    "ogg loader",
    "libpng binding",
    "PNG loader",
    "reflection",
    "classic text",
    "TGA loader",
    "timer",
    "wav loader",
    "joystick input",
    "process",
    "opengl import",
    "empty trailing",
};

void RunLauncherImports() {
  // Everything main imports except the stub, whose body runs main itself (launch and exit).
  for (ModuleInitialiser init : LauncherImports()) {
    if (init != InitApplicationStub) init();
  }
}

TEST(ModuleOrder, BodiesRunOnceInTheFixedOrder) {
  RunLauncherImports();
  std::vector<std::string> order(ModuleBodyOrder().begin(), ModuleBodyOrder().end());
  EXPECT_EQ(order, kExpectedOrder);

  RunLauncherImports();  // a second run does nothing
  EXPECT_EQ(ModuleBodyOrder().size(), kExpectedOrder.size());
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
  EXPECT_EQ(drivers, (std::vector<std::string>{"Tonmix", "Tonmix Multimedia", "Tonmix DirectSound",
                                               "Null"}));
}

TEST(ModuleOrder, StubIsMainsSecondImport) {
  ASSERT_GE(LauncherImports().size(), 2u);
  EXPECT_EQ(LauncherImports()[0], InitCoreModule);
  EXPECT_EQ(LauncherImports()[1], InitApplicationStub);
}

}  // namespace
}  // namespace vxl
