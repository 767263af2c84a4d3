// Kor2D drawing through the OpenGL driver, read back from the frame buffer and compared with
// pictures the test computes itself from the rules: pixel centres, GL's fill rule and the blend
// formulas. Exact where GL's rules leave no freedom; a stated tolerance elsewhere.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "graphics/gl/gl_graphics.h"
#include "graphics/gl/gl_image_frame.h"
#include "graphics/gl/gl_kor2d_driver.h"
#include "graphics/gl/gl_overlay.h"
#include "graphics/gl/gl_recorder.h"
#include "graphics/kor2d/kor2d.h"
#include "pixmap/pixel_format.h"
#include "pixmap/pixmap_ops.h"
#include "platform/gl/gl_api.h"
#include "platform/gl/gl_batch.h"
#include "stream/stream.h"

namespace vxl {
namespace {

namespace pgl = platform::gl;

constexpr int kW = 160, kH = 120;

const pgl::Api& gl() {
  return pgl::GL();
}

// The back buffer as 0xRRGGBB values, rows from the top; read with GL directly.
struct Frame {
  std::vector<uint32_t> px;
  uint32_t at(int x, int y) const { return px[static_cast<size_t>(y * kW + x)]; }
};

Frame ReadBack() {
  pgl::FlushQuads();
  std::vector<uint8_t> bytes(kW * kH * 4);
  gl().ReadPixels(0, 0, kW, kH, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
  Frame f;
  f.px.resize(kW * kH);
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const uint8_t* p = &bytes[((kH - 1 - y) * kW + x) * 4];
      f.px[y * kW + x] = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }
  }
  return f;
}

int Channel(uint32_t c, int shift) {
  return static_cast<int>(c >> shift & 0xFF);
}

// Pixels of a frame that differ from `expected` by more than `tolerance` in any channel.
int Mismatches(const Frame& f, const std::function<uint32_t(int, int)>& expected,
               int tolerance = 0) {
  int bad = 0;
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      uint32_t a = f.at(x, y), b = expected(x, y);
      for (int s : {16, 8, 0}) {
        if (std::abs(Channel(a, s) - Channel(b, s)) > tolerance) {
          ++bad;
          break;
        }
      }
    }
  }
  return bad;
}

// GL's rule for an axis-aligned rectangle: a pixel is covered when its centre lies inside.
bool CentreIn(int x, int y, float x0, float y0, float x1, float y1) {
  float cx = x + 0.5f, cy = y + 0.5f;
  return cx >= x0 && cx < x1 && cy >= y0 && cy < y1;
}

// Opaque random colours, or random alpha too.
Ref<TPixmap> RandomPixmap(int w, int h, uint32_t seed, bool anyAlpha = false) {
  std::mt19937 rng(seed);
  Ref<TPixmap> p = TPixmap::Create(w, h, FORMAT_RGBA32, 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      p->WritePixel(x, y, anyAlpha ? rng() : 0xFF000000u | (rng() & 0xFFFFFF));
  return p;
}

class GLKor2DTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitGLKor2DModule();
    UseGraphicsDriver(GLKor2DInstance(), 2);
    graphics_ = OpenGraphics(kW, kH, 0, 0, 0);
    ASSERT_TRUE(graphics_);
    ApplyClsColor(0, 0, 0);
    ClearScreen();
  }
  void TearDown() override { CloseOpenedGraphics(); }
  Ref<TGraphics> graphics_;
};

TEST_F(GLKor2DTest, AxisAlignedDrawingCoversPixelCentres) {
  struct Case {
    const char* what;
    std::function<void()> draw;
    float x0, y0, x1, y1;  // the rectangle whose pixel centres must be lit
  };
  const std::vector<Case> cases = {
      {"rect at fractions", [] { PaintRect(10.25f, 20.75f, 30.5f, 11.0f); }, 10.25f, 20.75f,
       40.75f, 31.75f},
      {"rect by its handle",
       [] {
         ApplyHandle(10, 5);
         PaintRect(100, 100, 20, 20);
         ApplyHandle(0, 0);
       },
       90, 95, 110, 115},
      {"origin moves everything",
       [] {
         ApplyOrigin(3, 4);
         PaintRect(1.6f, 1.6f, 5, 5);
         ApplyOrigin(0, 0);
       },
       4.6f, 5.6f, 9.6f, 10.6f},
      {"plot (the pixel nearest the point)", [] { PlotPoint(77.2f, 33.9f); }, 77, 34, 78, 35},
      {"viewport cuts",
       [] {
         ApplyViewport(50, 60, 20, 10);
         PaintRect(0, 0, kW, kH);
         ApplyViewport(0, 0, kW, kH);
       },
       50, 60, 70, 70},
      {"rect past the edges", [] { PaintRect(-10, kH - 3.25f, 25, 100); }, -10, kH - 3.25f, 15,
       kH + 96.75f},
  };
  for (const Case& c : cases) {
    ApplyBlend(SOLIDBLEND);
    ApplyColor(0, 0, 0);
    PaintRect(0, 0, kW, kH);
    ApplyColor(200, 100, 50);
    c.draw();
    Frame f = ReadBack();
    EXPECT_EQ(Mismatches(f,
                         [&](int x, int y) {
                           return CentreIn(x, y, c.x0, c.y0, c.x1, c.y1) ? 0xC86432u : 0u;
                         }),
              0)
        << c.what;
  }
}

TEST_F(GLKor2DTest, ClearingKeepsToTheViewport) {
  ApplyClsColor(10, 20, 30);
  ApplyViewport(5, 6, 30, 20);
  ClearScreen();
  ApplyViewport(0, 0, kW, kH);
  EXPECT_EQ(Mismatches(ReadBack(),
                       [](int x, int y) { return CentreIn(x, y, 5, 6, 35, 26) ? 0x0A141Eu : 0u; }),
            0);
  ClearScreen();  // the whole context again: scissoring is off
  EXPECT_EQ(Mismatches(ReadBack(), [](int, int) { return 0x0A141Eu; }), 0);
}

TEST_F(GLKor2DTest, UnscaledImagesArrivePixelForPixel) {
  ApplyBlend(SOLIDBLEND);
  struct Case {
    int w, h;
    float u1, v1;
    int tw, th;
  };
  for (Case c : {Case{100, 50, 0.78125f, 0.78125f, 128, 64}, Case{64, 64, 1, 1, 64, 64}}) {
    Ref<TPixmap> p = RandomPixmap(c.w, c.h, static_cast<uint32_t>(c.w));
    Ref<TImage> image = TImage::Load(Url(p), 0, 0, 0, 0);
    ASSERT_TRUE(image);
    PlaceImageHandle(image, 3, 2);
    ClearScreen();
    PaintImage(image, 13, 12, 0);
    Frame f = ReadBack();
    EXPECT_EQ(Mismatches(f,
                         [&](int x, int y) {
                           int ix = x - 10, iy = y - 10;
                           if (ix < 0 || iy < 0 || ix >= c.w || iy >= c.h) return 0u;
                           return p->ReadPixel(ix, iy) & 0xFFFFFF;
                         }),
              0)
        << c.w << "x" << c.h;

    auto* frame = dynamic_cast<TGLImageFrame*>(image->Frame(0).Get());
    ASSERT_NE(frame, nullptr);
    EXPECT_FLOAT_EQ(frame->u1, c.u1);
    EXPECT_FLOAT_EQ(frame->v1, c.v1);
    // The texture: the image at the top-left, its last column and row repeated once.
    std::vector<uint32_t> texels(static_cast<size_t>(c.tw * c.th));
    GLDriverInstance()->SwapSharedContext();
    gl().BindTexture(GL_TEXTURE_2D, static_cast<GLuint>(frame->name));
    GLint tw = 0;
    gl().GetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &tw);
    gl().GetTexImage(GL_TEXTURE_2D, 0, GL_BGRA, GL_UNSIGNED_BYTE, texels.data());
    GLDriverInstance()->SwapSharedContext();
    ASSERT_EQ(tw, c.tw);
    int bad = 0;
    for (int y = 0; y < c.th; ++y) {
      for (int x = 0; x < c.tw; ++x) {
        if (x > c.w || y > c.h) continue;  // never read by drawing
        uint32_t want = p->ReadPixel(std::min(x, c.w - 1), std::min(y, c.h - 1));
        bad += texels[static_cast<size_t>(y * c.tw + x)] != want;
      }
    }
    EXPECT_EQ(bad, 0) << c.w << "x" << c.h;
  }
}

TEST_F(GLKor2DTest, PixmapsGoInAndComeOutUnchanged) {
  // Translucent pixels: the copy is not blended, whatever the blend mode.
  Ref<TPixmap> p = RandomPixmap(37, 23, 7, true);
  ApplyBlend(ALPHABLEND);
  PaintPixmap(p, 20, 30);
  EXPECT_EQ(ReadBlend(), ALPHABLEND);
  Frame f = ReadBack();
  EXPECT_EQ(Mismatches(f,
                       [&](int x, int y) {
                         int ix = x - 20, iy = y - 30;
                         bool in = ix >= 0 && iy >= 0 && ix < 37 && iy < 23;
                         return in ? p->ReadPixel(ix, iy) & 0xFFFFFF : 0u;
                       }),
            0);
  // A grab reaching outside the buffer gives 0 there.
  Ref<TPixmap> g = CapturePixmap(kW - 20, -5, 30, 40);
  ASSERT_TRUE(g);
  int bad = 0;
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 30; ++x) {
      int fx = kW - 20 + x, fy = y - 5;
      bool in = fx < kW && fy >= 0;
      uint32_t want = in ? (0xFF000000u | f.at(fx, fy)) : 0u;
      bad += g->ReadPixel(x, y) != want;
    }
  }
  EXPECT_EQ(bad, 0);
  EXPECT_FALSE(CapturePixmap(0, 0, 0, 5));

  // CaptureImage: the same pixels, the mask colour made transparent.
  PaintPixmap(p, 0, 0);
  ApplyBlend(SOLIDBLEND);
  ApplyColor(255, 0, 255);
  PaintRect(5, 5, 3, 3);
  ApplyMaskColor(255, 0, 255);
  Ref<TImage> captured = TImage::Create(37, 23, 1, MASKEDIMAGE, 255, 0, 255);
  CaptureImage(captured, 0, 0, 0);
  Ref<TPixmap> want = MaskOutColour(CapturePixmap(0, 0, 37, 23), 255, 0, 255);
  Ref<TPixmap> got = captured->Lock(0, 1, 0);
  bad = 0;
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 37; ++x)
      bad += got->ReadPixel(x, y) != want->ReadPixel(x, y);
  EXPECT_EQ(bad, 0);
  EXPECT_EQ(got->ReadPixel(6, 6) >> 24, 0u);
}

TEST_F(GLKor2DTest, BlendModesFollowTheirFormulas) {
  const uint32_t background = 0x4080C0;
  struct Case {
    int blend;
    int r, g, b;
    float alpha;
    std::function<int(int src, int dst, float a)> mix;
  };
  auto clamp255 = [](float v) { return static_cast<int>(std::min(255.0f, v)); };
  const std::vector<Case> cases = {
      {SOLIDBLEND, 200, 10, 90, 0.3f, [](int s, int, float) { return s; }},
      {ALPHABLEND, 200, 10, 90, 0.3f,
       [](int s, int d, float a) { return static_cast<int>(s * a + d * (1 - a)); }},
      {LIGHTBLEND, 200, 10, 90, 0.5f, [&](int s, int d, float a) { return clamp255(d + s * a); }},
      {SHADEBLEND, 200, 10, 90, 1.0f, [](int s, int d, float) { return s * d / 255; }},
      {MASKBLEND, 200, 10, 90, 0.4f, [](int, int d, float) { return d; }},
      {MASKBLEND, 200, 10, 90, 0.6f, [](int s, int, float) { return s; }},
      {99, 200, 10, 90, 0.3f, [](int s, int, float) { return s; }},
      // Colours and alpha beyond their ranges are clamped.
      {ALPHABLEND, 300, -5, 90, 7.0f, [](int s, int, float) { return s; }},
  };
  for (const Case& c : cases) {
    ApplyBlend(SOLIDBLEND);
    ApplyAlpha(1);
    ApplyColor(0x40, 0x80, 0xC0);
    PaintRect(0, 0, kW, kH);
    ApplyBlend(c.blend);
    ApplyColor(c.r, c.g, c.b);
    ApplyAlpha(c.alpha);
    PaintRect(0, 0, kW, kH);
    float a = std::clamp(c.alpha, 0.0f, 1.0f);
    int src[3] = {std::clamp(c.r, 0, 255), std::clamp(c.g, 0, 255), std::clamp(c.b, 0, 255)};
    uint32_t want = 0;
    for (int i = 0; i < 3; ++i) {
      int d = Channel(background, 16 - 8 * i);
      want |= static_cast<uint32_t>(std::clamp(c.mix(src[i], d, a), 0, 255)) << (16 - 8 * i);
    }
    uint32_t got = ReadBack().at(kW / 2, kH / 2);
    for (int s : {16, 8, 0})
      EXPECT_NEAR(Channel(got, s), Channel(want, s), 2)
          << "blend " << c.blend << " alpha " << c.alpha << std::hex << " got " << got
          << " want " << want;
  }
  ApplyAlpha(1);
}

// Rotated and scaled shapes against the shape itself: pixels whose centre is clearly inside or
// outside must be right; only those within a pixel of the outline may go either way.
TEST_F(GLKor2DTest, TransformedShapesKeepTheirOutline) {
  ApplyBlend(SOLIDBLEND);
  ApplyColor(255, 255, 255);
  struct Case {
    const char* what;
    std::function<void()> draw;
    std::function<float(float, float)> distance;  // signed: negative inside
  };
  auto rotated = [](float cx, float cy, float deg, float hw, float hh) {
    return [=](float x, float y) {
      float t = deg * static_cast<float>(M_PI) / 180, dx = x - cx, dy = y - cy;
      float lx = dx * std::cos(t) + dy * std::sin(t), ly = -dx * std::sin(t) + dy * std::cos(t);
      return std::max(std::fabs(lx) - hw, std::fabs(ly) - hh);
    };
  };
  const std::vector<Case> cases = {
      {"rect rotated 30, scaled 2 by 1",
       [] {
         ApplyTransform(30, 2, 1);
         ApplyHandle(10, 5);
         PaintRect(80, 60, 20, 10);
         ApplyHandle(0, 0);
         ApplyTransform(0, 1, 1);
       },
       rotated(80, 60, 30, 20, 5)},
      {"oval",
       [] { PaintOval(30, 20, 100, 60); },
       [](float x, float y) {
         float nx = (x - 80) / 50, ny = (y - 50) / 30;
         return (std::sqrt(nx * nx + ny * ny) - 1) * 30;
       }},
      {"polygon",
       [] {
         float xy[] = {20, 20, 140, 30, 60, 100};
         auto a = Array<float>::New(6);
         for (int i = 0; i < 6; ++i)
           a[i] = xy[i];
         PaintPoly(a);
       },
       [](float x, float y) {
         auto side = [&](float ax, float ay, float bx, float by) {
           float nx = by - ay, ny = ax - bx, len = std::sqrt(nx * nx + ny * ny);
           return ((x - ax) * nx + (y - ay) * ny) / len;
         };
         return std::max({side(20, 20, 140, 30), side(140, 30, 60, 100), side(60, 100, 20, 20)});
       }},
  };
  for (const Case& c : cases) {
    ApplyColor(0, 0, 0);
    PaintRect(0, 0, kW, kH);
    ApplyColor(255, 255, 255);
    c.draw();
    Frame f = ReadBack();
    int bad = 0, lit = 0;
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        float d = c.distance(x + 0.5f, y + 0.5f);
        bool on = f.at(x, y) == 0xFFFFFF;
        lit += on;
        if (std::fabs(d) >= 1.0f && on != (d < 0)) ++bad;
      }
    }
    EXPECT_EQ(bad, 0) << c.what;
    EXPECT_GT(lit, 100) << c.what;
  }
}

TEST_F(GLKor2DTest, LinesLightThePixelsTheyCross) {
  ApplyBlend(SOLIDBLEND);
  ApplyColor(255, 255, 255);
  PaintLine(10, 20, 60, 20, 0);
  PaintLine(30, 40, 30, 90, 1);
  Frame f = ReadBack();
  // A pixel at either end may go either way; nothing off the lines is lit.
  int bad = Mismatches(f, [](int x, int y) {
    bool h = y == 20 && x >= 10 && x < 60, v = x == 30 && y >= 40 && y <= 90;
    return h || v ? 0xFFFFFFu : 0u;
  });
  EXPECT_LE(bad, 2);
  EXPECT_EQ(f.at(30, 90), 0xFFFFFFu) << "the last pixel is plotted";
}

TEST_F(GLKor2DTest, StateReachesGLOnlyWhenItChangesAndOvalsHaveTheirSegments) {
  testing::GLRecorder rec;
  ApplyBlend(LIGHTBLEND);
  EXPECT_EQ(rec.Count("BlendFunc"), 1);
  rec.Clear();
  ApplyBlend(LIGHTBLEND);
  EXPECT_EQ(rec.Total(), 0);

  auto segments = [&](float w, float h) {
    rec.Clear();
    PaintOval(10, 10, w, h);
    return rec.Count("Vertex2f");
  };
  EXPECT_EQ(segments(4, 4), 12);
  EXPECT_EQ(segments(100, 60), 80);
  EXPECT_EQ(segments(3e9f, 3e9f), 65536);
  EXPECT_EQ(segments(-30, 70), 48);

  // Many images between two state changes reach GL as one draw call.
  Ref<TImage> image = TImage::Load(Url(RandomPixmap(8, 8, 1)), 0, 0, 0, 0);
  PaintImage(image, 0, 0, 0);
  rec.Clear();
  for (int i = 0; i < 50; ++i)
    PaintImage(image, static_cast<float>(i), 5, 0);
  ApplyBlend(ALPHABLEND);
  EXPECT_EQ(rec.Count("DrawElements"), 1);
}

// The same scene drawn with the batch flushed after every call, and batched: the same pixels.
TEST_F(GLKor2DTest, BatchedDrawingEqualsDrawingOneByOne) {
  Ref<TImage> a = TImage::Load(Url(RandomPixmap(16, 16, 3)), FILTEREDIMAGE, 0, 0, 0);
  Ref<TPixmap> soft = RandomPixmap(20, 12, 4);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 20; ++x)
      soft->WritePixel(x, y, (soft->ReadPixel(x, y) & 0xFFFFFF) | uint32_t(x * 12) << 24);
  Ref<TImage> b = TImage::Load(Url(soft), FILTEREDIMAGE | MIPMAPPEDIMAGE, 0, 0, 0);
  auto scene = [&](bool oneByOne) {
    std::mt19937 rng(99);
    auto unit = [&rng] { return static_cast<float>(rng() % 10000) / 10000.0f; };
    ApplyBlend(SOLIDBLEND);
    ApplyColor(0, 0, 0);
    PaintRect(0, 0, kW, kH);
    for (int i = 0; i < 300; ++i) {
      int kind = static_cast<int>(rng() % 8);
      if (kind == 0) ApplyBlend(static_cast<int>(rng() % 5) + 1);
      ApplyColor(static_cast<int>(rng() % 256), static_cast<int>(rng() % 256), 255);
      ApplyAlpha(unit());
      ApplyTransform(unit() * 360, 0.5f + unit() * 1.5f, 0.5f + unit());
      if (kind == 1) {
        PaintRect(unit() * kW, unit() * kH, 10, 6);
      } else if (kind == 2) {
        PaintOval(unit() * kW, unit() * kH, 9, 5);
      } else {
        PaintImage(rng() % 2 ? a : b, unit() * kW, unit() * kH, 0);
      }
      if (oneByOne) pgl::FlushQuads();
    }
    ApplyTransform(0, 1, 1);
    ApplyAlpha(1);
    return ReadBack();
  };
  Frame single = scene(true);
  Frame batched = scene(false);

  EXPECT_EQ(Mismatches(batched, [&](int x, int y) { return single.at(x, y); }), 0);
}

// More quads than one batch holds: every quad lands on its own pixel, through the flush of the
// full batch and in the batch after it.
TEST_F(GLKor2DTest, QuadsBeyondAFullBatchLandWhereTheyWereDrawn) {
  auto drawn = [](int i) { return i < 7000 && i % 3 != 1; };  // 4667 unit squares
  ApplyColor(40, 200, 90);
  for (int i = 0; i < kW * kH; ++i) {
    if (drawn(i)) PaintRect(static_cast<float>(i % kW), static_cast<float>(i / kW), 1, 1);
  }
  EXPECT_GT(pgl::QueuedQuads(), 0);
  EXPECT_LT(pgl::QueuedQuads(), 4667);
  EXPECT_EQ(
      Mismatches(ReadBack(), [&](int x, int y) { return drawn(y * kW + x) ? 0x28C85Au : 0u; }), 0);
}

// The overlay font decoded here from its bytes: bit k of byte j in row r is pixel (8 j + k, r).
bool FontBit(const std::vector<uint8_t>& font, int code, int column, int row) {
  return font[static_cast<size_t>(row * 96 + code - 32)] >> column & 1;
}

TEST_F(GLKor2DTest, OverlayTextUsesTheBuiltInFontAndLeavesGLAsItWas) {
  Ref<TStream> s = OpenStreamUrl(String("incbin::gldrawtextfont.bin"), 1, 0);
  ASSERT_TRUE(s);
  std::vector<uint8_t> font(1536);
  ASSERT_EQ(s->Read(font.data(), 1536), 1536);
  s->Close();

  ApplyBlend(ALPHABLEND);
  ApplyColor(255, 255, 255);
  ApplyAlpha(1);
  ApplyViewport(10, 10, 100, 50);  // the overlay's pixels count from the viewport's corner
  pgl::FlushQuads();
  GLint viewport[4] = {};
  GLfloat projection[16], after[16];
  gl().Viewport(10, kH - 60, 100, 50);
  gl().GetIntegerv(GL_VIEWPORT, viewport);
  gl().GetFloatv(GL_PROJECTION_MATRIX, projection);
  GLboolean scissor = gl().IsEnabled(GL_SCISSOR_TEST), blend = gl().IsEnabled(GL_BLEND);

  const String text(u"A\x01z~");
  GLOverlayText(text, 4, 6);
  GLOverlayRect(60, 30, 5, 4);

  GLint viewportAfter[4] = {};
  gl().GetIntegerv(GL_VIEWPORT, viewportAfter);
  gl().GetFloatv(GL_PROJECTION_MATRIX, after);
  EXPECT_EQ(std::vector<GLint>(viewport, viewport + 4),
            std::vector<GLint>(viewportAfter, viewportAfter + 4));
  EXPECT_EQ(std::vector<GLfloat>(projection, projection + 16), std::vector<GLfloat>(after, after + 16));
  EXPECT_EQ(gl().IsEnabled(GL_SCISSOR_TEST), scissor);
  EXPECT_EQ(gl().IsEnabled(GL_BLEND), blend);
  EXPECT_FALSE(gl().IsEnabled(GL_TEXTURE_2D));

  Frame f = ReadBack();
  EXPECT_EQ(Mismatches(f,
                       [&](int x, int y) -> uint32_t {
                         int lx = x - 10 - 4, ly = y - 10 - 6;
                         if (CentreIn(x, y, 70, 40, 75, 44)) return 0xFFFFFF;
                         if (ly < 0 || ly >= 16 || lx < 0 || lx >= 8 * text.Length()) return 0;
                         int code = text[lx / 8];
                         if (code < 32 || code > 127) return 0;  // skipped, but it advances
                         return FontBit(font, code, lx % 8, ly) ? 0xFFFFFF : 0;
                       }),
            0);
  ApplyViewport(0, 0, kW, kH);
}

}  // namespace
}  // namespace vxl
