// Moving, rotating, blended sprites and text in an OpenGL window, drawn with Kor2D.
//
//   sprites                                     until the window is closed or Escape is pressed
//   sprites --frames 60 --screenshot out.png    60 frames, then the last one saved as PNG
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "graphics/gl/gl_kor2d_driver.h"
#include "graphics/gl/gl_overlay.h"
#include "graphics/kor2d/kor2d.h"
#include "pixmap/loaders/png_loader.h"
#include "pixmap/pixel_format.h"
#include "support/example.h"
#include "support/screenshot.h"
#include "system/event/event.h"
#include "system/input/polled_input.h"
#include "system/queue/event_queue.h"
#include "system/system.h"

namespace {

using namespace vxl;

const char kUsage[] =
    "usage: %s [--frames N --screenshot FILE]\n"
    "Moving, rotating, blended sprites and text in an OpenGL window, until the window is closed\n"
    "or Escape is pressed; with --frames, N frames (1 to 1000000), and with --screenshot the last\n"
    "one saved as PNG.\n";

constexpr int kWidth = 640, kHeight = 480;

// A soft-edged ball: opaque inside, fading out over its last two pixels.
Ref<TImage> MakeBall(int size, uint32_t rgb) {
  Ref<TPixmap> p = TPixmap::Create(size, size, FORMAT_RGBA32, 4);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      float dx = x + 0.5f - size / 2.0f, dy = y + 0.5f - size / 2.0f;
      float a = std::clamp((size / 2.0f - 0.5f - std::sqrt(dx * dx + dy * dy)) / 2.0f, 0.0f, 1.0f);
      p->WritePixel(x, y, static_cast<uint32_t>(a * 255.0f) << 24 | rgb);
    }
  }
  Ref<TImage> image = TImage::Load(Url(p), FILTEREDIMAGE, 0, 0, 0);
  CenterImageHandle(image);
  return image;
}

struct Sprite {
  float x, y, vx, vy, angle, spin;
};

}  // namespace

int Main(int argc, char** argv) {
  int frames = -1;
  const char* screenshot = nullptr;
  if (argc % 2 != 1) example::UsageError(kUsage);
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--frames")) {
      frames = example::ParseNumber(argv[i + 1], 1, 1000000, "the frame count");
    } else if (!std::strcmp(argv[i], "--screenshot")) {
      screenshot = argv[i + 1];
    } else {
      example::UsageError(kUsage);
    }
  }
  if (screenshot && frames < 0) example::UsageError(kUsage);
  InitGLKor2DModule();
  InitPngLoaderModule();
  InitEventQueueModule();
  Ref<TGraphics> g = OpenGraphics(kWidth, kHeight, 0, 60, 0);
  if (!g) {
    std::fprintf(stderr, "no OpenGL window (is a display set?)\n");
    return 1;
  }
  Ref<TImage> balls[3] = {MakeBall(32, 0xFF6040), MakeBall(24, 0x40C0FF), MakeBall(16, 0xFFFF80)};
  Ref<TImage> square = MakeImage(20, 20, 1, FILTEREDIMAGE);
  LockImagePixels(square, 0, 1, 1)->ClearPixels(0xC080FF80);
  CenterImageHandle(square);

  std::vector<Sprite> sprites;
  uint32_t seed = 12345;
  auto rnd = [&seed](float lo, float hi) {
    seed = seed * 1664525u + 1013904223u;
    return lo + (hi - lo) * static_cast<float>(seed >> 8) / 16777216.0f;
  };
  for (int i = 0; i < 200; ++i)
    sprites.push_back({rnd(0, kWidth), rnd(0, kHeight), rnd(-3, 3), rnd(-3, 3), rnd(0, 360),
                       rnd(-5, 5)});

  ApplyClsColor(16, 24, 48);
  for (int frame = 0; frames < 0 || frame < frames; ++frame) {
    PumpSystem();
    bool quit = KeyHitCount(27) > 0;
    for (int32_t id; (id = QueuePoll()) != 0;)
      quit = quit || id == kEventAppTerminate;
    if (quit) break;
    ClearScreen();
    ApplyBlend(ALPHABLEND);
    for (size_t i = 0; i < sprites.size(); ++i) {
      Sprite& s = sprites[i];
      s.x = std::fmod(s.x + s.vx + kWidth, static_cast<float>(kWidth));
      s.y = std::fmod(s.y + s.vy + kHeight, static_cast<float>(kHeight));
      s.angle += s.spin;
      float scale = 1.0f + 0.5f * std::sin((frame + static_cast<float>(i)) * 0.05f);
      ApplyTransform(s.angle, scale, scale);
      PaintImage(i % 4 == 3 ? square : balls[i % 3], s.x, s.y, 0);
    }
    ApplyTransform(0, 1, 1);
    ApplyColor(255, 255, 255);
    ApplyAlpha(1);
    PaintText(String("Kor2D over OpenGL"), 16, 16);
    ApplyTransform(static_cast<float>(frame), 2, 2);
    PaintText(String("spin"), kWidth / 2.0f, kHeight / 2.0f);
    ApplyTransform(0, 1, 1);
    GLOverlayText(String(("frame " + std::to_string(frame)).c_str()), 16, kHeight - 24);
    if (screenshot && frame + 1 == frames && !example::SaveScreenshot(screenshot, kWidth, kHeight))
      return 1;
    PresentFrame(-1);
  }
  CloseOpenedGraphics();
  return 0;
}

int main(int argc, char** argv) {
  return example::Run(Main, argc, argv, kUsage);
}
