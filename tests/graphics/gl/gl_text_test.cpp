// Text in a font file drawn by Kor2D over OpenGL, against the glyph pixmaps the test places
// itself at the pen positions from the font's metrics (offsets and advances): unfiltered glyphs
// land texel for pixel, smooth ones are sampled between their texels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "graphics/font/freetype/freetype_font.h"
#include "graphics/gl/gl_kor2d_driver.h"
#include "graphics/kor2d/kor2d.h"

namespace vxl {
namespace {

constexpr int kW = 400, kH = 160;
const char* const kSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// One glyph as the oracle places it: its coverage pixmap and its top-left corner on screen.
struct Placed {
  Ref<TPixmap> coverage;  // FORMAT_ALPHA8
  double x, y;
};

// The glyph pixmaps of the font's source, each at the pen plus its offset, the pen moving by
// each advance; characters without a glyph are skipped and move nothing.
std::vector<Placed> PlaceGlyphs(const Ref<TFont>& font, const std::u16string& text, double penX,
                                double penY, double scale) {
  std::vector<Placed> out;
  for (char16_t c : text) {
    const int32_t index = font->CharToGlyph(c);
    if (index < 0) continue;
    Ref<TGlyph> glyph = font->LoadGlyph(index);
    int32_t gx, gy, gw, gh;
    glyph->GetRect(gx, gy, gw, gh);
    if (Ref<TPixmap> p = glyph->Pixels().As<TPixmap>())
      out.push_back({p, penX + gx * scale, penY + gy * scale});
    penX += glyph->Advance() * scale;
  }
  return out;
}

// Coverage of texel (i, j), 0 outside the pixmap.
double Texel(const Ref<TPixmap>& p, int i, int j) {
  if (i < 0 || j < 0 || i >= p->width || j >= p->height) return 0;
  return *p->PixelPtr(i, j) / 255.0;
}

// What a glyph quad gives the pixel centred at (cx, cy): nearest texel, or the bilinear blend of
// the four around it, inside the quad only.
double Sample(const Placed& g, double cx, double cy, double scale, bool smooth) {
  const double u = (cx - g.x) / scale, v = (cy - g.y) / scale;
  if (u < 0 || v < 0 || u >= g.coverage->width || v >= g.coverage->height) return 0;
  if (!smooth) return Texel(g.coverage, int(u), int(v));
  const double su = u - 0.5, sv = v - 0.5;
  const int i = int(std::floor(su)), j = int(std::floor(sv));
  const double fu = su - i, fv = sv - j;
  return (Texel(g.coverage, i, j) * (1 - fu) + Texel(g.coverage, i + 1, j) * fu) * (1 - fv) +
         (Texel(g.coverage, i, j + 1) * (1 - fu) + Texel(g.coverage, i + 1, j + 1) * fu) * fv;
}

TEST(GLText, PaintTextPlacesTheGlyphPixmapsAtThePenPositions) {
  InitGLKor2DModule();
  InitFreeTypeFontModule();
  UseGraphicsDriver(GLKor2DInstance(), 2);
  ASSERT_TRUE(OpenGraphics(kW, kH, 0, 0, 0));
  const std::u16string text = u"Hamburg 0123, \uE000Wave!";  // U+E000: not in the font
  struct Case {
    const char* what;
    int32_t style;
    float x, y, scale;
    float originX, originY, handleX, handleY;
    int tolerance;  // per channel, of 255
  } cases[] = {
      {"unfiltered", 0, 5, 3, 1, 0, 0, 0, 0, 0},
      {"unfiltered by origin and handle", 0, 3, 60, 1, 10, 2, 4, 1, 0},
      {"unfiltered twice the size", 0, 4, 80, 2, 0, 0, 0, 0, 0},
      // Linear filtering in the GL works on fixed-point weights: a few levels of 255 off.
      {"smooth between pixels", SMOOTH_FONT_STYLE, 5.5f, 3.25f, 1, 0, 0, 0, 0, 2},
      {"smooth twice the size at a fraction", SMOOTH_FONT_STYLE, 2.75f, 70.5f, 2, 0, 0, 0, 0, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Ref<TImageFont> font = OpenImageFont(String(kSans), 16, c.style);
    ASSERT_TRUE(font);
    ASSERT_EQ(font->CharToGlyph(0xE000), -1);
    ApplyImageFont(font);
    ApplyClsColor(0, 0, 0);
    ApplyColor(255, 255, 255);
    ApplyAlpha(1);
    ApplyBlend(ALPHABLEND);
    ApplyTransform(0, c.scale, c.scale);
    ApplyOrigin(c.originX, c.originY);
    ApplyHandle(c.handleX, c.handleY);
    ClearScreen();
    PaintText(String::FromShorts(reinterpret_cast<const uint16_t*>(text.data()),
                                 int32_t(text.size())),
              c.x, c.y);
    Ref<TPixmap> shot = CapturePixmap(0, 0, kW, kH);
    ASSERT_TRUE(shot);

    const std::vector<Placed> glyphs =
        PlaceGlyphs(font->_src_font, text, c.x + c.originX - c.handleX * c.scale,
                    c.y + c.originY - c.handleY * c.scale, c.scale);
    int bad = 0, lit = 0;
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        double cover = 0;  // glyphs blended over one another in drawing order
        for (const Placed& g : glyphs) {
          const double a = Sample(g, x + 0.5, y + 0.5, c.scale, c.style != 0);
          cover = a + cover * (1 - a);
        }
        const int want = int(std::lround(cover * 255));
        const uint32_t got = shot->ReadPixel(x, y);
        lit += want > 0;
        for (int shift : {16, 8, 0}) {
          if (std::abs(int(got >> shift & 0xFF) - want) > c.tolerance) {
            if (++bad <= 5) ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << got;
            break;
          }
        }
      }
    }
    EXPECT_EQ(bad, 0);
    EXPECT_GT(lit, 300);  // the text is there at all
  }
  ApplyTransform(0, 1, 1);
  ApplyOrigin(0, 0);
  ApplyHandle(0, 0);
  CloseOpenedGraphics();
}

}  // namespace
}  // namespace vxl
