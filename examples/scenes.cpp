// The Kor2D scene gallery drawn through the render driver named on the command line: every scene
// is drawn in the corner of the window and read back, then all of them are shown side by side.
//
//   scenes OpenGL                                      until the window is closed or Escape
//   scenes DirectX7 --frames 2 --screenshot out.png    2 frames, the last one saved as PNG
//   scenes DirectX7 --save-scenes DIR                  each scene once, as DIR/<scene>.png
//
// "DirectX7" is the software Direct3D 7 driver, which exists only with VXL_D3D7=1 in the
// environment; naming it sets that for this program.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "graphics/d3d7/d3d7_modules.h"
#include "graphics/gl/gl_kor2d_driver.h"
#include "graphics/kor2d/kor2d.h"
#include "pixmap/loaders/png_loader.h"
#include "support/example.h"
#include "support/screenshot.h"
#include "support/kor2d_scenes.h"
#include "system/event/event.h"
#include "system/input/polled_input.h"
#include "system/queue/event_queue.h"
#include "system/system.h"

namespace {

using namespace vxl;

const char kUsage[] =
    "usage: %s DRIVER [--frames N --screenshot FILE | --save-scenes DIR]\n"
    "Draws the Kor2D scene gallery through the render driver DRIVER (\"OpenGL\" or\n"
    "\"DirectX7\"), until the window is closed or Escape is pressed; with --frames, N frames\n"
    "(1 to 1000000), and with --screenshot the last one saved as PNG. With --save-scenes, each\n"
    "scene is drawn once and saved as DIR/<scene>.png.\n";

constexpr int kColumns = 4;

int SaveScenes(const char* driverName, const char* dir) {
  if (!OpenGraphics(example::kSceneWidth, example::kSceneHeight, 0, 0, 0)) {
    std::fprintf(stderr, "no %s window (is a display set?)\n", driverName);
    return 1;
  }
  for (const example::Kor2DScene& scene : example::Kor2DScenes()) {
    std::string file = std::string(dir) + "/" + scene.name + ".png";
    Ref<TPixmap> shot = example::CaptureScene(scene);
    if (!shot || !SaveAsPng(shot, String(file.c_str()), 9)) {
      std::fprintf(stderr, "could not write %s\n", file.c_str());
      return 1;
    }
    std::printf("wrote %s\n", file.c_str());
  }
  CloseOpenedGraphics();
  return 0;
}

}  // namespace

int Main(int argc, char** argv) {
  if (argc < 2 || argc % 2 != 0) example::UsageError(kUsage);
  const char* driverName = argv[1];
  int frames = -1;
  const char* screenshot = nullptr;
  const char* sceneDir = nullptr;
  for (int i = 2; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--save-scenes")) {
      sceneDir = argv[i + 1];
    } else if (!std::strcmp(argv[i], "--frames")) {
      frames = example::ParseNumber(argv[i + 1], 1, 1000000, "the frame count");
    } else if (!std::strcmp(argv[i], "--screenshot")) {
      screenshot = argv[i + 1];
    } else {
      example::UsageError(kUsage);
    }
  }
  if ((screenshot && frames < 0) || (sceneDir && frames >= 0)) example::UsageError(kUsage);
  if (!std::strcmp(driverName, "DirectX7")) setenv("VXL_D3D7", "1", 1);
  InitGLKor2DModule();
  InitD3D7Kor2DStep();
  InitPngLoaderModule();
  InitEventQueueModule();
  Ref<TKor2DDriver> driver = example::Kor2DDriverNamed(driverName);
  if (!driver) {
    std::fprintf(stderr, "no render driver named \"%s\"\n", driverName);
    return 1;
  }
  UseGraphicsDriver(driver, 2);
  const std::vector<example::Kor2DScene>& scenes = example::Kor2DScenes();
  if (sceneDir) return SaveScenes(driverName, sceneDir);
  int rows = (static_cast<int>(scenes.size()) + kColumns - 1) / kColumns;
  int width = kColumns * example::kSceneWidth, height = rows * example::kSceneHeight;
  Ref<TGraphics> g = OpenGraphics(width, height, 0, 30, 0);
  if (!g) {
    std::fprintf(stderr, "no %s window (is a display set?)\n", driverName);
    return 1;
  }
  for (int frame = 0; frames < 0 || frame < frames; ++frame) {
    PumpSystem();
    bool quit = KeyHitCount(27) > 0;
    for (int32_t id; (id = QueuePoll()) != 0;)
      quit = quit || id == kEventAppTerminate;
    if (quit) break;
    std::vector<Ref<TPixmap>> shots;
    for (const example::Kor2DScene& scene : scenes)
      shots.push_back(example::CaptureScene(scene));
    ApplyViewport(0, 0, width, height);
    ApplyClsColor(0, 0, 0);
    ClearScreen();
    for (size_t i = 0; i < shots.size(); ++i) {
      int x = static_cast<int>(i % kColumns) * example::kSceneWidth;
      int y = static_cast<int>(i / kColumns) * example::kSceneHeight;
      if (shots[i]) PaintPixmap(shots[i], x, y);
    }
    if (screenshot && frame + 1 == frames && !example::SaveScreenshot(screenshot, width, height))
      return 1;
    PresentFrame(-1);
  }
  CloseOpenedGraphics();
  return 0;
}

int main(int argc, char** argv) {
  return example::Run(Main, argc, argv, kUsage);
}
