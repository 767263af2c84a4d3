// Text from a font file and in the built-in font, and two rotating images that turn red while
// they overlap to the pixel, drawn with Kor2D over OpenGL.
//
//   font_collision                              DejaVu Sans, until the window is closed or Escape
//   font_collision serif.ttf                    any font file FreeType opens
//   font_collision --frames 60 --screenshot out.png    60 frames, the last one saved as PNG
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "graphics/font/freetype/freetype_font.h"
#include "graphics/gl/gl_kor2d_driver.h"
#include "graphics/kor2d/collision.h"
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
    "usage: %s [FONT] [--frames N --screenshot FILE]\n"
    "Text in the font file FONT (default: DejaVu Sans, package fonts-dejavu-core) and in the\n"
    "built-in font, and two rotating images that turn red while they overlap to the pixel, until\n"
    "the window is closed or Escape is pressed; with --frames, N frames (1 to 1000000), and with\n"
    "--screenshot the last one saved as PNG.\n";

const char* const kDejaVuSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr int kWidth = 640, kHeight = 480;

// A white shape, its alpha from `depth`: how far the pixel's centre lies inside the outline, in
// pixels (negative outside), so the edge is smooth and the solid pixels (alpha 128 or more) are
// those whose centres lie inside.
template <class Depth>
Ref<TImage> MakeShape(int width, int height, Depth depth) {
  Ref<TPixmap> p = TPixmap::Create(width, height, FORMAT_RGBA32, 4);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const float d = depth(x + 0.5f - width / 2.0f, y + 0.5f - height / 2.0f);
      const auto alpha = static_cast<uint32_t>(std::lround(std::clamp(d + 0.5f, 0.0f, 1.0f) * 255));
      p->WritePixel(x, y, alpha << 24 | 0xFFFFFFu);
    }
  }
  Ref<TImage> image = TImage::Load(Url(p), FILTEREDIMAGE, 0, 0, 0);
  CenterImageHandle(image);
  return image;
}

// Where the two images are in a frame: they pass through each other, the bar sometimes inside
// the ring's hole without touching it.
struct Pose {
  float x, y, angle, scale;
};
Pose RingPose(int frame) {
  return {kWidth / 2.0f - 90.0f * std::cos(frame * 0.021f), 270, -0.8f * frame, 1.5f};
}
Pose BarPose(int frame) {
  const float s = 1.0f + 0.25f * std::sin(frame * 0.05f);
  return {kWidth / 2.0f + 90.0f * std::cos(frame * 0.021f), 270, 2.5f * frame, s};
}

void Paint(const Ref<TImage>& image, const Pose& p) {
  ApplyTransform(p.angle, p.scale, p.scale);
  PaintImage(image, p.x, p.y, 0);
}

}  // namespace

int Main(int argc, char** argv) {
  int frames = -1;
  const char* screenshot = nullptr;
  const char* fontPath = nullptr;
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (!std::strcmp(argv[i], "--frames") && hasValue) {
      frames = example::ParseNumber(argv[++i], 1, 1000000, "the frame count");
    } else if (!std::strcmp(argv[i], "--screenshot") && hasValue) {
      screenshot = argv[++i];
    } else if (argv[i][0] != '-' && !fontPath) {
      fontPath = argv[i];
    } else {
      example::UsageError(kUsage);
    }
  }
  if (screenshot && frames < 0) example::UsageError(kUsage);
  if (!fontPath) fontPath = kDejaVuSans;
  InitGLKor2DModule();
  InitFreeTypeFontModule();
  InitPngLoaderModule();
  InitEventQueueModule();

  // Fonts need no graphics: a file that is not a font is refused before a window opens.
  Ref<TImageFont> title = OpenImageFont(String(fontPath), 28, SMOOTH_FONT_STYLE);
  Ref<TImageFont> body = OpenImageFont(String(fontPath), 16, SMOOTH_FONT_STYLE);
  if (!title || !body) {
    example::ReportLibraryFailure();
    std::fprintf(stderr, "%s: not a font file FreeType can open\n", fontPath);
    return 1;
  }
  Ref<TGraphics> g = OpenGraphics(kWidth, kHeight, 0, 60, 0);
  if (!g) {
    std::fprintf(stderr, "no OpenGL window (is a display set?)\n");
    return 1;
  }
  // A ring with a hole the bar fits in, and a bar with rounded ends.
  Ref<TImage> ring = MakeShape(64, 64, [](float x, float y) {
    const float r = std::sqrt(x * x + y * y);
    return std::min(r - 20, 31 - r);
  });
  Ref<TImage> bar = MakeShape(30, 10, [](float x, float y) {
    const float dx = std::max(std::fabs(x) - 10, 0.0f);
    return 4 - std::sqrt(dx * dx + y * y);
  });

  const std::string name = fontPath;
  const std::string shortName = name.substr(name.find_last_of('/') + 1);
  int overlapping = 0, drawn = 0;
  ApplyClsColor(20, 22, 40);
  for (int frame = 0; frames < 0 || frame < frames; ++frame) {
    PumpSystem();
    bool quit = KeyHitCount(27) > 0;
    for (int32_t id; (id = QueuePoll()) != 0;)
      quit = quit || id == kEventAppTerminate;
    if (quit) break;
    const Pose a = RingPose(frame), b = BarPose(frame);
    const bool overlap = ImagesOverlapTransformed(ring, a.x, a.y, 0, a.angle, a.scale, a.scale,
                                                  bar, b.x, b.y, 0, b.angle, b.scale, b.scale);
    overlapping += overlap;
    ++drawn;

    ClearScreen();
    ApplyBlend(ALPHABLEND);
    ApplyAlpha(1);
    ApplyTransform(0, 1, 1);
    ApplyColor(255, 236, 170);
    ApplyImageFont(title);
    PaintText(String("Fonts and pixel-exact collision"), 20, 16);
    ApplyColor(220, 220, 230);
    ApplyImageFont(body);
    PaintText(String(("From " + shortName + " at 16 px, smooth: "
                      "\xC0 la carte, na\xEFve caf\xE9, 0123456789").c_str()),
              20, 62);
    ApplyImageFont(nullptr);
    ApplyColor(150, 200, 255);
    PaintText(String("The built-in 8 x 16 font: ABC abc 0123456789 !?#&"), 20, 90);

    if (overlap) ApplyColor(255, 70, 60);
    else ApplyColor(120, 230, 140);
    Paint(ring, a);
    if (!overlap) ApplyColor(110, 170, 255);
    Paint(bar, b);
    ApplyTransform(0, 1, 1);
    ApplyImageFont(body);
    PaintText(String(overlap ? "overlapping" : "apart"), 20, kHeight - 40.0f);

    if (screenshot && frame + 1 == frames && !example::SaveScreenshot(screenshot, kWidth, kHeight))
      return 1;
    PresentFrame(-1);
  }
  std::printf("the images overlapped in %d of %d frames\n", overlapping, drawn);
  CloseOpenedGraphics();
  return 0;
}

int main(int argc, char** argv) {
  return example::Run(Main, argc, argv, kUsage);
}
