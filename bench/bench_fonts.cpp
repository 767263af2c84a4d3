// Text through Kor2D over OpenGL: glyphs per second of PaintText in a font file with its glyphs
// cached, against PaintImage of as many 16 x 16 images drawn in the same order at the same places
// (95 images, one texture each, as the 95 printable ASCII glyphs have), frames of the two
// alternating in the same run; and glyphs per second drawn for the first time (FreeType renders
// them, the image font makes their images, the driver their textures).
//
// Needs an X display; without DISPLAY it starts its own Xvfb. It draws on Mesa's software renderer
// (llvmpipe) unless LIBGL_ALWAYS_SOFTWARE or GALLIUM_DRIVER say otherwise. The font is DejaVu Sans
// (package fonts-dejavu-core) unless a path is given as the first argument.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench_display.h"
#include "bench_util.h"
#include "graphics/font/freetype/freetype_font.h"
#include "graphics/gl/gl_kor2d_driver.h"
#include "graphics/kor2d/kor2d.h"
#include "pixmap/pixel_format.h"

namespace {

using namespace vxl;

constexpr int kWidth = 800, kHeight = 600;
constexpr int kLineChars = 80;
constexpr int kLines = kHeight / 16 - 1;
constexpr int kPrintable = 95;  // ' ' .. '~'
constexpr int kWarmUp = 5, kRounds = 40, kFirstUseRounds = 8;
const char* const kDejaVuSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// The characters of line `line`: the printable ASCII characters in turn, carried on across lines.
std::vector<uint16_t> LineCodes(int line) {
  std::vector<uint16_t> codes(kLineChars);
  for (int i = 0; i < kLineChars; ++i)
    codes[i] = static_cast<uint16_t>(32 + (line * kLineChars + i) % kPrintable);
  return codes;
}

// 16 x 16 images, each its own colour, with a soft corner so blending has work to do.
std::vector<Ref<TImage>> CharacterImages() {
  std::vector<Ref<TImage>> images;
  for (int c = 0; c < kPrintable; ++c) {
    Ref<TPixmap> p = TPixmap::Create(16, 16, FORMAT_RGBA32, 4);
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < 16; ++x) {
        const uint32_t alpha = x + y < 6 ? 0x40u : 0xFFu;
        p->WritePixel(x, y, alpha << 24 | uint32_t(c * 2) << 16 | uint32_t(x * 16) << 8 | y * 16);
      }
    }
    images.push_back(TImage::Load(Url(p), FILTEREDIMAGE | MIPMAPPEDIMAGE, 0, 0, 0));
  }
  return images;
}

struct Scene {
  Ref<TImageFont> font;
  std::vector<String> lines;
  std::vector<Ref<TImage>> images;
  std::vector<std::vector<float>> pens;  // each character's pen x, as the font advances it

  void TextFrame() {
    ClearScreen();
    ApplyImageFont(font);
    for (int k = 0; k < kLines; ++k)
      PaintText(lines[k], 0, float(k * 16));
    PresentFrame(0);
  }
  void ImageFrame() {
    ClearScreen();
    for (int k = 0; k < kLines; ++k) {
      const std::vector<uint16_t> codes = LineCodes(k);
      for (int i = 0; i < kLineChars; ++i)
        PaintImage(images[codes[i] - 32], pens[k][i], float(k * 16), 0);
    }
    PresentFrame(0);
  }
};

// The characters drawn for the first time: ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic
// letters the font has, each once, as lines of kLineChars.
std::vector<String> FirstUseLines(const Ref<TImageFont>& font, int& glyphs) {
  std::vector<uint16_t> codes;
  const uint16_t ranges[][2] = {{0x21, 0x7E}, {0xA1, 0x17F}, {0x391, 0x3C9}, {0x410, 0x44F}};
  std::vector<bool> seen(size_t(font->CountGlyphs()), false);
  for (const auto& r : ranges) {
    for (uint16_t c = r[0]; c <= r[1]; ++c) {
      const int32_t g = font->CharToGlyph(c);
      if (g < 0 || seen[size_t(g)]) continue;
      seen[size_t(g)] = true;
      codes.push_back(c);
    }
  }
  glyphs = int(codes.size());
  std::vector<String> lines;
  for (size_t i = 0; i < codes.size(); i += kLineChars) {
    const size_t n = std::min(codes.size() - i, size_t(kLineChars));
    lines.push_back(String::FromShorts(&codes[i], int32_t(n)));
  }
  return lines;
}

}  // namespace

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : kDejaVuSans;
  pid_t xvfb = bench::EnsureDisplay();
  InitGLKor2DModule();
  InitFreeTypeFontModule();
  UseGraphicsDriver(GLKor2DInstance(), 2);
  Ref<TGraphics> graphics = OpenGraphics(kWidth, kHeight, 0, 0, 0);
  if (!graphics) {
    std::fprintf(stderr, "no display or OpenGL\n");
    return 1;
  }
  Scene scene;
  scene.font = OpenImageFont(String(path), 16, SMOOTH_FONT_STYLE);
  if (!scene.font) {
    std::fprintf(stderr, "%s: not a font\n", path);
    return 1;
  }
  for (int k = 0; k < kLines; ++k) {
    const std::vector<uint16_t> codes = LineCodes(k);
    scene.lines.push_back(String::FromShorts(codes.data(), kLineChars));
    std::vector<float> pen;
    float x = 0;
    for (uint16_t c : codes) {
      pen.push_back(x);
      const int32_t g = scene.font->CharToGlyph(c);
      if (g >= 0) x += scene.font->LoadGlyph(g)->Advance();
    }
    scene.pens.push_back(pen);
  }
  scene.images = CharacterImages();
  ApplyBlend(ALPHABLEND);
  ApplyColor(255, 255, 255);
  for (int i = 0; i < kWarmUp; ++i) {  // every glyph and image gets its texture here
    scene.TextFrame();
    scene.ImageFrame();
  }
  auto [textMs, imageMs] = bench::MedianPairMs(
      kRounds, [&] { scene.TextFrame(); }, [&] { scene.ImageFrame(); });
  auto [textCpuMs, imageCpuMs] = bench::MedianPairCpuMs(
      kRounds, [&] { scene.TextFrame(); }, [&] { scene.ImageFrame(); });
  const double perFrame = double(kLines) * kLineChars;
  bench::Print("text_glyphs_per_s", perFrame / (textMs / 1000.0), "glyphs/s");
  bench::Print("images_per_s", perFrame / (imageMs / 1000.0), "images/s");
  bench::Print("text_vs_images_ratio", imageMs / textMs);
  // What each costs the calling thread; llvmpipe fills the pixels on threads of its own.
  bench::Print("text_main_thread_us_per_glyph", textCpuMs * 1000.0 / perFrame, "us");
  bench::Print("images_main_thread_us_per_image", imageCpuMs * 1000.0 / perFrame, "us");

  // First use: a new font each round, so every glyph is rendered, made an image and uploaded.
  std::vector<double> firstMs;
  int glyphs = 0;
  for (int round = 0; round < kFirstUseRounds; ++round) {
    Ref<TImageFont> fresh = OpenImageFont(String(path), 16, SMOOTH_FONT_STYLE);
    std::vector<String> lines = FirstUseLines(fresh, glyphs);
    ClearScreen();
    ApplyImageFont(fresh);
    firstMs.push_back(bench::TimeMs([&] {
      for (size_t k = 0; k < lines.size(); ++k)
        PaintText(lines[k], 0, float(k * 16));
      PresentFrame(0);
    }));
    ApplyImageFont(nullptr);
  }
  bench::Print("glyph_first_use_per_s", glyphs / (bench::Median(firstMs) / 1000.0), "glyphs/s");
  CloseOpenedGraphics();
  (void)xvfb;
  return 0;
}
