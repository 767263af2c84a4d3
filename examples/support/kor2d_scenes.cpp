#include "support/kor2d_scenes.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "data/data.h"
#include "pixmap/pixel_format.h"
#include "pixmap/pixmap.h"

namespace example {
namespace {

using namespace vxl;

// A small deterministic generator, so every run draws the same scenes.
struct XorShift {
  uint32_t s;
  uint32_t Next() {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
  }
};

// Colour gradients with random alpha (every value from 0 to 255 occurs in a 16 by 16 image).
Ref<TPixmap> PatternPixmap(int w, int h, uint32_t seed, bool opaque) {
  XorShift rng{seed};
  Ref<TPixmap> p = TPixmap::Create(w, h, FORMAT_RGBA32, 4);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint32_t r = 40 + x * 215 / std::max(1, w - 1), g = 255 - y * 200 / std::max(1, h - 1);
      uint32_t b = (x ^ y) & 1 ? 230 : 60;
      uint32_t a = opaque ? 255 : rng.Next() >> 24;
      p->WritePixel(x, y, a << 24 | r << 16 | g << 8 | b);
    }
  }
  return p;
}

Ref<TImage> PatternImage(int w, int h, uint32_t seed, bool opaque, int32_t flags) {
  return TImage::Load(Url(PatternPixmap(w, h, seed, opaque)), flags, 0, 0, 0);
}

// Vertical stripes of five colours behind the blended scenes.
void Stripes() {
  const int colours[5][3] = {
      {0, 0, 0}, {255, 255, 255}, {200, 40, 40}, {40, 160, 60}, {50, 70, 220}};
  for (int i = 0; i < 20; ++i) {
    const int* c = colours[i % 5];
    ApplyColor(c[0], c[1], c[2]);
    PaintRect(i * 8.0f, 0, 8, kSceneHeight);
  }
  ApplyColor(255, 255, 255);
}

void Colour(int i) {
  ApplyColor(60 + i * 53 % 196, 255 - i * 37 % 200, 90 + i * 71 % 166);
}

void ClearsWithViewports() {
  ApplyClsColor(20, 40, 60);
  ClearScreen();
  struct Box {
    int x, y, w, h, r, g, b;
  };
  for (Box v : {Box{10, 10, 60, 40, 200, 0, 0}, Box{50, 30, 80, 70, 0, 200, 0},
                Box{130, 90, 50, 50, 0, 0, 255}, Box{-10, -10, 30, 30, 255, 255, 0},
                Box{70, 5, 1, 110, 255, 255, 255}, Box{5, 60, 150, 1, 255, 0, 255}}) {
    ApplyViewport(v.x, v.y, v.w, v.h);
    ApplyClsColor(v.r, v.g, v.b);
    ClearScreen();
  }
  // Drawing cut to the viewport.
  ApplyViewport(90, 20, 40, 30);
  ApplyColor(255, 128, 0);
  PaintRect(0, 0, kSceneWidth, kSceneHeight);
  ApplyViewport(20, 80, 30, 25);
  ApplyColor(0, 255, 255);
  PaintOval(10, 70, 60, 60);
  ApplyViewport(100, 70, 45, 40);
  ApplyColor(255, 255, 255);
  for (int i = 0; i < 8; ++i)
    PaintLine(90, 60 + i * 9.0f, 160, 75 + i * 7.0f, 0);
}

void RectanglesAt(float step) {
  int i = 0;
  for (int row = 0; row < 6; ++row) {
    for (int col = 0; col < 8; ++col, ++i) {
      Colour(i);
      float x = 2 + col * 20 + i * step, y = 2 + row * 20 + (i * 3 % 8) * step;
      PaintRect(x, y, 8 + (i % 5) * 2 + i * step, 6 + (i % 7) * 2 + (i * 5 % 8) * step);
    }
  }
}

void WholePixelRectangles() {
  RectanglesAt(0);
  ApplyColor(255, 255, 0);
  PaintRect(-5, 100, 20, 30);  // over the edges
  PaintRect(150, -5, 20, 20);
  PaintRect(80, 112, -10, 5);  // negative width
}

void HalfPixelRectangles() {
  RectanglesAt(0.5f);
  ApplyColor(255, 255, 0);
  for (int i = 0; i < 6; ++i)
    PaintRect(5.5f + i * 25, 113.5f, 0.5f + i * 0.5f, 1.5f);
}

void EighthPixelRectangles() {
  RectanglesAt(0.125f);
  ApplyColor(255, 255, 0);
  for (int i = 0; i < 8; ++i)
    PaintRect(3 + i * 19 + i / 8.0f, 112 + i / 8.0f, 1 + i / 8.0f, 3 - i / 8.0f);
}

void RotatedScaledRectangles() {
  ApplyHandle(10, 6);
  for (int k = 0; k < 12; ++k) {
    Colour(k);
    ApplyTransform(k * 30 + 7.0f, 0.5f + k * 0.15f, 1.2f);
    PaintRect(20 + (k % 4) * 40.0f, 20 + (k / 4) * 40.0f, 20, 12);
  }
  ApplyHandle(0, 0);
  ApplyTransform(-33, 3, 0.75f);
  ApplyColor(255, 255, 255);
  PaintRect(5.25f, 100.75f, 10, 6);
}

void Ovals() {
  struct Box {
    float x, y, w, h;
  };
  int i = 0;
  for (Box b : {Box{4, 4, 4, 4}, Box{12, 4, 30, 20}, Box{46, 4, 60, 40}, Box{110, 4, 44, 60},
                Box{4, 30, 11, 37}, Box{20.5f, 50.25f, 33.3f, 21.7f}, Box{60, 50, 1, 1},
                Box{70, 52, 2.5f, 9}}) {
    Colour(i++);
    PaintOval(b.x, b.y, b.w, b.h);
  }
  ApplyHandle(20, 10);
  for (int k = 0; k < 4; ++k) {
    Colour(i++);
    ApplyTransform(k * 40 + 15.0f, 1 + k * 0.25f, 0.8f);
    PaintOval(30 + k * 35.0f, 95, 40, 20);
  }
}

Array<float> Points(std::initializer_list<float> xy) {
  return Array<float>::Of(xy);
}

void Polygons() {
  Colour(0);
  PaintPoly(Points({10, 10, 60, 14, 30, 50}));
  Colour(1);
  PaintPoly(Points({70.5f, 5.5f, 100, 10, 110.25f, 40, 85, 55.75f, 65, 30}));
  Colour(2);
  PaintPoly(Points({150, 5, 155, 60, 115, 58}));  // clockwise
  std::vector<float> star;
  for (int i = 0; i < 12; ++i) {
    float a = i * 3.14159265f / 6;
    star.push_back(std::cos(a) * 25);
    star.push_back(std::sin(a) * 25);
  }
  Array<float> circle = Array<float>::New(static_cast<int32_t>(star.size()));
  std::copy(star.begin(), star.end(), circle.begin());
  ApplyOrigin(40, 88);
  Colour(3);
  PaintPoly(circle);
  ApplyOrigin(100, 88);
  ApplyHandle(5, -3);
  ApplyTransform(20, 1.3f, 0.7f);
  Colour(4);
  PaintPoly(circle);
  ApplyTransform(0, 1, 1);
  ApplyHandle(0, 0);
  ApplyOrigin(0, 0);
  Colour(5);
  PaintPoly(Points({140, 70, 158, 118, 130, 118}));
}

void Plots() {
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 19; ++x) {
      Colour(x + y * 19);
      PlotPoint(4 + x * 8 + (x % 8) / 8.0f, 4 + y * 7 + (y % 8) / 8.0f);
    }
  }
  ApplyOrigin(0.5f, 0.25f);
  ApplyColor(255, 255, 255);
  for (int i = 0; i < 10; ++i)
    PlotPoint(i * 16.0f + 3, 116);
  ApplyOrigin(0, 0);
  PlotPoint(-1, 5);  // outside
  PlotPoint(159.9f, 119.9f);
}

// Lines in every direction. Their ends lie off pixel centres: an end exactly on a centre is
// drawn or left out by the last bit of the driver's vertex transform (see LinesOnPixelCentres).
void LinesInAllOctants() {
  for (int i = 0; i < 32; ++i) {
    float a = i * 3.14159265f / 16 + 0.05f;
    Colour(i);
    PaintLine(80.25f, 60.125f, 80 + std::cos(a) * 55, 60 + std::sin(a) * 55, i % 2);
  }
  ApplyColor(255, 255, 255);
  // Axes and diagonals, short lines and ends at other fractions.
  PaintLine(2.125f, 2.25f, 40.25f, 2.25f, 1);
  PaintLine(2.25f, 4.125f, 2.25f, 40.375f, 0);
  PaintLine(5.25f, 5.25f, 30.25f, 30.25f, 1);
  PaintLine(40.125f, 5.125f, 15.125f, 30.125f, 0);
  PaintLine(150.5f, 3.25f, 120.75f, 20.5f, 0);
  PaintLine(120.25f, 100.25f, 121.25f, 100.25f, 0);
  PaintLine(130.25f, 100.125f, 130.25f, 101.125f, 1);
  PaintLine(140.125f, 110.25f, 141.125f, 118.25f, 0);
  PaintLine(10.125f, 110.375f, 60.875f, 114.625f, 0);
  ApplyHandle(3, 2);
  ApplyTransform(25, 1.5f, 1);
  PaintLine(100.25f, 80.25f, 130, 85, 1);
}

// Lines between whole coordinates, as programs mostly draw them: both ends on pixel centres.
void LinesOnPixelCentres() {
  for (int i = 0; i < 16; ++i) {
    int dx = static_cast<int>(std::lround(std::cos(i * 3.14159265f / 8) * 50));
    int dy = static_cast<int>(std::lround(std::sin(i * 3.14159265f / 8) * 50));
    Colour(i);
    PaintLine(80, 60, 80.0f + dx, 60.0f + dy, i % 2);
  }
  ApplyColor(255, 255, 255);
  PaintLine(2, 2, 40, 2, 1);
  PaintLine(2, 4, 2, 40, 0);
  PaintLine(5, 5, 30, 30, 1);
  PaintLine(40, 5, 15, 30, 0);
  PaintLine(120, 100, 121, 100, 0);
  PaintLine(130, 100, 130, 101, 1);
  PaintLine(140, 110, 141, 118, 0);
}

// The five blend modes in five columns; each row a colour and alpha.
void SpritesInEveryBlend(bool filtered) {
  Stripes();
  Ref<TImage> image =
      PatternImage(filtered ? 8 : 16, filtered ? 8 : 16, 7, false, filtered ? FILTEREDIMAGE : 0);
  if (filtered) ApplyScale(3, 3);
  struct Tint {
    int r, g, b;
    float alpha;
  };
  const Tint tints[4] = {
      {255, 255, 255, 1}, {255, 128, 64, 1}, {255, 255, 255, 0.5f}, {64, 200, 255, 0.25f}};
  for (int32_t blend = MASKBLEND; blend <= SHADEBLEND; ++blend) {
    ApplyBlend(blend);
    for (int row = 0; row < 4; ++row) {
      const Tint& t = tints[row];
      ApplyColor(t.r, t.g, t.b);
      ApplyAlpha(t.alpha);
      float x = 4 + (blend - 1) * 31.0f, y = 4 + row * 29.0f;
      if (filtered) x += (row % 2) * 0.5f;
      PaintImage(image, x, y, 0);
    }
  }
}

void UnfilteredSprites() {
  SpritesInEveryBlend(false);
}

void FilteredMagnifiedSprites() {
  SpritesInEveryBlend(true);
}

void RotatedScaledSprites() {
  Stripes();
  Ref<TImage> image = PatternImage(16, 16, 11, false, 0);
  Ref<TImage> smooth = PatternImage(16, 16, 13, false, FILTEREDIMAGE);
  CenterImageHandle(image);
  CenterImageHandle(smooth);
  for (int k = 0; k < 12; ++k) {
    ApplyBlend(k % 2 ? ALPHABLEND : MASKBLEND);
    ApplyTransform(k * 31 + 10.0f, 0.75f + (k % 3) * 0.5f, 0.75f + (k % 4) * 0.4f);
    PaintImage(k < 6 ? image : smooth, 20 + (k % 4) * 40.0f + k * 0.25f, 20 + (k / 4) * 40.0f, 0);
  }
}

void MaskedImages() {
  Stripes();
  // Opaque pixels with magenta holes: the mask colour becomes transparent.
  Ref<TPixmap> p = TPixmap::Create(20, 16, FORMAT_RGB24, 4);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 20; ++x)
      p->WritePixel(x, y,
                    (x + y) % 5 == 0 || (x > 6 && x < 12)
                        ? 0xFFFF00FF
                        : 0xFF000000 | (x * 12) << 16 | 0x8000 | y * 15);
  Ref<TImage> masked = TImage::Load(Url(p), MASKEDIMAGE, 255, 0, 255);
  Ref<TImage> smooth = TImage::Load(Url(p), MASKEDIMAGE | FILTEREDIMAGE, 255, 0, 255);
  ApplyBlend(MASKBLEND);
  PaintImage(masked, 4, 4, 0);
  PaintImage(smooth, 30, 4, 0);
  ApplyScale(2, 2);
  PaintImage(masked, 56, 4, 0);
  PaintImage(smooth, 100, 4, 0);
  ApplyTransform(30, 1.5f, 1.5f);
  PaintImage(masked, 20, 50, 0);
  PaintImage(smooth, 70, 50, 0);
  ApplyTransform(0, 1, 1);
  ApplyBlend(SOLIDBLEND);
  PaintImage(masked, 120, 90, 0);
  ApplyBlend(ALPHABLEND);
  PaintImageRect(smooth, 4, 90, 45, 25, 0);
}

void Tiles() {
  Ref<TImage> tile = PatternImage(13, 9, 5, true, 0);
  ApplyViewport(10, 10, 140, 100);
  PaintTiles(tile, 3.25f, -2.25f, 0);
  Ref<TImage> ghost = PatternImage(16, 16, 9, false, 0);
  ApplyViewport(40, 30, 80, 60);
  ApplyBlend(ALPHABLEND);
  PaintTiles(ghost, -100, 7, 0);
}

void Pixmaps() {
  for (int32_t format = FORMAT_GREY8; format < FORMAT_COUNT; ++format) {
    int i = format - FORMAT_GREY8;
    Ref<TPixmap> p = TPixmap::Create(30, 26, format, 4);
    for (int y = 0; y < p->height; ++y) {
      for (int x = 0; x < p->width; ++x) {
        uint8_t* px = p->PixelPtr(x, y);
        for (int b = 0; b < FormatBytes[format]; ++b)
          px[b] = static_cast<uint8_t>(x * 8 + y * 3 * (b + 1) + b * 50);
      }
    }
    PaintPixmap(p, 4 + (i % 4) * 39, 4 + (i / 4) * 32);
  }
  Ref<TPixmap> edge = PatternPixmap(24, 20, 3, true);
  PaintPixmap(edge, 146, 106);  // over the edges
  PaintPixmap(edge, -10, -6);
}

void Text() {
  ApplyColor(255, 255, 255);
  PaintText(String("Kor2D text 0123"), 2, 2);
  ApplyColor(255, 200, 40);
  PaintText(String("!@#$%^&*()[]{}"), 2, 20);
  ApplyBlend(ALPHABLEND);
  ApplyAlpha(0.5f);
  ApplyColor(80, 255, 120);
  PaintText(String("half"), 2.25f, 38.25f);
  ApplyAlpha(1);
  ApplyTransform(0, 2, 2);
  PaintText(String("Big"), 60, 36);
  ApplyHandle(16, 8);
  ApplyTransform(-20, 1.5f, 1);
  ApplyColor(120, 160, 255);
  PaintText(String("turned"), 70, 95);
}

}  // namespace

const std::vector<Kor2DScene>& Kor2DScenes() {
  static const std::vector<Kor2DScene> scenes = {
      {"clears", ClearsWithViewports},
      {"rects_whole", WholePixelRectangles},
      {"rects_half", HalfPixelRectangles},
      {"rects_eighth", EighthPixelRectangles},
      {"rects_turned", RotatedScaledRectangles},
      {"ovals", Ovals},
      {"polygons", Polygons},
      {"plots", Plots},
      {"lines", LinesInAllOctants},
      {"lines_on_centres", LinesOnPixelCentres},
      {"sprites", UnfilteredSprites},
      {"sprites_filtered", FilteredMagnifiedSprites},
      {"sprites_turned", RotatedScaledSprites},
      {"masked", MaskedImages},
      {"tiles", Tiles},
      {"pixmaps", Pixmaps},
      {"text", Text},
  };
  return scenes;
}

void StartScene() {
  ApplyBlend(SOLIDBLEND);
  ApplyColor(255, 255, 255);
  ApplyAlpha(1);
  ApplyTransform(0, 1, 1);
  ApplyOrigin(0, 0);
  ApplyHandle(0, 0);
  ApplyLineWidth(1);
  ApplyImageFont(nullptr);
  ApplyViewport(0, 0, kSceneWidth, kSceneHeight);
  ApplyClsColor(0, 0, 0);
  ClearScreen();
}

Ref<TPixmap> CaptureScene(const Kor2DScene& scene) {
  StartScene();
  scene.draw();
  return CapturePixmap(0, 0, kSceneWidth, kSceneHeight);
}

Ref<TKor2DDriver> Kor2DDriverNamed(const char* name) {
  for (Ref<TDataType> t = DataTypes(); t; t = t->_succ) {
    Ref<TKor2DDriver> driver = t.As<TKor2DDriver>();
    if (driver && driver->ToString() == String(name)) return driver;
  }
  return nullptr;
}

}  // namespace example
