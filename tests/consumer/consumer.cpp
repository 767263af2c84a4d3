// A user's first program on the installed framework: it starts as the launcher does, writes and
// reads back a data stream, saves and loads a PNG, lists the audio drivers, and opens a window
// (headless under Xvfb in CI), clears it red and reads a pixel back.
#include <vxl/audio/audio_driver.h>
#include <vxl/bank/bank.h>
#include <vxl/graphics/graphics.h>
#include <vxl/graphics/kor2d/kor2d.h>
#include <vxl/pixmap/loaders/png_loader.h>
#include <vxl/pixmap/pixmap.h>
#include <vxl/startup/startup.h>
#include <vxl/stream/stream.h>

#include <cstdio>

using namespace vxl;

namespace {

int Main() {
  InitFrameworkModules();

  Ref<TBank> bank = TBank::Create(8);
  bank->PokeInt(0, 1234567);
  bank->PokeInt(4, -42);
  ObjectToUrl(bank, String("data::consumer.bin"));
  Ref<Object> back = ObjectFromUrl(String("data::consumer.bin"));
  Ref<TBank> read = back.As<TBank>();
  std::printf("data stream: %d %d\n", read->PeekInt(0), read->PeekInt(4));

  Ref<TPixmap> pixmap = TPixmap::Create(3, 2, FORMAT_RGBA32, 4);
  pixmap->WritePixel(2, 1, 0xFF336699u);
  bool saved = SaveAsPng(pixmap, String("consumer.png"), 6);
  Ref<TPixmap> loaded = PixmapToFormat(PixmapFromUrl(String("consumer.png")), FORMAT_RGBA32);
  std::printf("png: saved %d, %dx%d, pixel %08X\n", saved ? 1 : 0, loaded->width, loaded->height,
              loaded->ReadPixel(2, 1));

  std::printf("audio drivers:");
  for (const String& name : ListAudioDrivers()) std::printf(" \"%s\"", name.ToCString().c_str());
  std::printf("\n");

  Ref<TGraphics> window = OpenGraphics(64, 48, 0, 0, 0);
  if (!window) {
    std::printf("graphics: no display\n");
    return 0;
  }
  ApplyClsColor(255, 0, 0);
  ClearScreen();
  Ref<TPixmap> grabbed = PixmapToFormat(CapturePixmap(10, 10, 1, 1), FORMAT_RGBA32);
  std::printf("graphics: %dx%d, pixel %08X\n", CurrentGraphicsWidth(), CurrentGraphicsHeight(),
              grabbed->ReadPixel(0, 0));
  CloseOpenedGraphics();
  return 0;
}

ModuleGuard consumerMain("consumer");

int Stub() { return consumerMain.Run({}, [] { Main(); }); }

}  // namespace

int main(int argc, char** argv) { return RunStartup(argc, argv, Stub); }
