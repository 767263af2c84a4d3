#include "graphics/kor2d/collision.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "graphics/collision_reference.h"
#include "graphics/fake_kor2d.h"

namespace vxl {
namespace {

// A w x h pixmap of the format whose pixel (x, y) has alpha solid(x, y) ? 200 : 60.
template <class F>
Ref<TPixmap> MaskPixmap(int32_t w, int32_t h, int32_t format, F solid) {
  Ref<TPixmap> p = TPixmap::Create(w, h, format, 1);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t alpha = solid(x, y) ? 200u : 60u;
      if (format == FORMAT_SHADOW8)  // which WritePixel leaves alone
        *p->PixelPtr(x, y) = uint8_t(alpha);
      else
        p->WritePixel(x, y, alpha << 24 | 0xFFFFFF);
    }
  }
  return p;
}

Ref<TImage> ImageOf(const Ref<TPixmap>& p, float hx = 0, float hy = 0) {
  Ref<TImage> image = TImage::Load(p, 0, 0, 0, 0);
  image->handle_x = hx;
  image->handle_y = hy;
  return image;
}

std::vector<std::string> Ids(const Array<Ref<Object>>& hits) {
  std::vector<std::string> out;
  for (const Ref<Object>& id : hits)
    out.push_back(id ? id->ToString().ToCString() : "null");
  return out;
}

class Collision : public ::testing::Test {
 protected:
  void SetUp() override {
    InitKor2DModule();
    ClearCollisionLayers(0);
  }
  void TearDown() override { ClearCollisionLayers(0); }
};

TEST_F(Collision, RectanglesAndMasksAtTheirEdges) {
  // A 4 x 4 mask solid only in its lower-right 2 x 2 corner.
  Ref<TImage> corner =
      ImageOf(MaskPixmap(4, 4, FORMAT_RGBA32, [](int x, int y) { return x >= 2 && y >= 2; }));
  struct Case {
    const char* what;
    float ax, ay, aw, ah;  // a rectangle written to layer 0
    float bx, by;          // the corner image tested against it
    bool hit;
  } cases[] = {
      {"half-open: rect ends at column 10, solid part starts at 10", 0, 0, 10, 20, 8, 0, false},
      {"one pixel left overlaps", 0, 0, 10, 20, 7, 0, true},
      {"rect covers only the transparent part", 0, 0, 10, 20, 9, 9, false},
      {"solid part below the rect", 0, 0, 20, 10, 0, 8, false},
      {"solid part touches the rect's last row", 0, 0, 20, 11, 0, 8, true},
      {"negative positions", -20, -20, 10, 10, -13, -13, true},
      {"negative positions, half-open", -20, -20, 10, 10, -12, -12, false},
  };
  for (const Case& c : cases) {
    ClearCollisionLayers(0);
    CollideRectQuad(c.ax, c.ay, c.aw, c.ah, 0, 1, String("rect"));
    EXPECT_EQ(CollideImageQuad(corner, c.bx, c.by, 0, 1, 0, Ref<Object>()).Length(), c.hit ? 1 : 0)
        << c.what;
  }
}

// Every format with alpha is read through its own alpha byte (the 8-bit ones have only one).
TEST_F(Collision, EachFormatsAlphaByte) {
  for (int32_t format :
       {FORMAT_RGBA32, FORMAT_BGRA32, FORMAT_ALPHA8, FORMAT_SHADOW8, FORMAT_RGB24}) {
    // Solid only at column 5 of a 6-wide, 3-high mask: a read past the row would see the next one.
    Ref<TImage> image = ImageOf(MaskPixmap(6, 3, format, [](int x, int) { return x == 5; }));
    const bool solidEverywhere = FormatAlphaBits[format] == 0;
    for (int32_t col = 0; col < 6; ++col) {
      ClearCollisionLayers(0);
      CollideImageQuad(image, 0, 0, 0, 0, 1, String("img"));
      const bool hit = !CollideRectQuad(float(col), 0, 1, 3, 1, 0, Ref<Object>()).IsEmpty();
      EXPECT_EQ(hit, solidEverywhere || col == 5) << "format " << format << " column " << col;
    }
  }
}

TEST_F(Collision, LayersOrderClearingAndReuse) {
  CollideRectQuad(0, 0, 10, 10, 0, 0b0101, String("a"));  // layers 0 and 2
  CollideRectQuad(0, 0, 10, 10, 0, 0b0011, String("b"));  // layers 0 and 1
  CollideRectQuad(50, 50, 10, 10, 0, 0b0001, String("far"));
  EXPECT_EQ(Ids(CollideRectQuad(5, 5, 2, 2, 0b0111, 0, Ref<Object>())),
            (std::vector<std::string>{"b", "a", "b", "a"}));
  // A placement never collides with itself: it is tested before it is written.
  EXPECT_TRUE(CollideRectQuad(100, 100, 5, 5, 1, 1, String("self")).IsEmpty());
  ClearCollisionLayers(0b0001);
  EXPECT_EQ(Ids(CollideRectQuad(5, 5, 2, 2, 0b0111, 0, Ref<Object>())),
            (std::vector<std::string>{"b", "a"}));
  ClearCollisionLayers(0);
  EXPECT_TRUE(CollideRectQuad(5, 5, 2, 2, 0xFFFFFFFF, 0, Ref<Object>()).IsEmpty());
  // Reused quads carry nothing over: a masked placement's quad becomes a solid rectangle.
  Ref<TImage> hollow = ImageOf(MaskPixmap(10, 10, FORMAT_RGBA32, [](int, int) { return false; }));
  for (int i = 0; i < 4; ++i)
    CollideImageQuad(hollow, 0, 0, 0, 0, 0xF, String("old"));
  ClearCollisionLayers(0);
  CollideRectQuad(0, 0, 10, 10, 0, 1, Ref<Object>());
  EXPECT_EQ(Ids(CollideRectQuad(3, 3, 1, 1, 0xFFFFFFFF, 0, Ref<Object>())),
            (std::vector<std::string>{"null"}));
}

TEST_F(Collision, ImagesOverlapUsesLayer31Only) {
  Ref<TImage> a = ImageOf(MaskPixmap(8, 8, FORMAT_RGBA32, [](int, int) { return true; }));
  CollideRectQuad(0, 0, 100, 100, 0, 0x7FFFFFFF, String("kept"));
  EXPECT_EQ(ImagesOverlap(a, 0, 0, 0, a, 7, 7, 0), 1);
  EXPECT_EQ(ImagesOverlap(a, 0, 0, 0, a, 8, 0, 0), 0);
  EXPECT_EQ(CollideRectQuad(1, 1, 1, 1, 0x7FFFFFFF, 0, Ref<Object>()).Length(), 31);
}

TEST_F(Collision, NonFinitePlacementsCollideWithNothingAndAreNotWritten) {
  Ref<TImage> a = ImageOf(MaskPixmap(8, 8, FORMAT_RGBA32, [](int, int) { return true; }));
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  CollideRectQuad(0, 0, 50, 50, 0, 1, String("base"));
  struct Case {
    float x, y, degrees, sx, sy;
  } cases[] = {{nan, 0, 0, 1, 1},  {0, inf, 0, 1, 1}, {0, 0, nan, 1, 1},      {0, 0, inf, 1, 1},
               {0, 0, 0, -inf, 1}, {0, 0, 0, 1, nan}, {3e38f, 0, 0, 1e38f, 1}};
  for (const Case& c : cases) {
    EXPECT_EQ(ImagesOverlapTransformed(a, 0, 0, 0, 0, 1, 1, a, c.x, c.y, 0, c.degrees, c.sx, c.sy),
              0);
    EXPECT_EQ(ImagesOverlapTransformed(a, c.x, c.y, 0, c.degrees, c.sx, c.sy, a, 0, 0, 0, 0, 1, 1),
              0);
  }
  EXPECT_TRUE(CollideRectQuad(nan, 0, 5, 5, 1, 2, String("nan")).IsEmpty());
  EXPECT_TRUE(CollideRectQuad(0, 0, 5, 5, 2, 0, Ref<Object>()).IsEmpty());
  // Far but finite positions are placed without any out-of-range conversion.
  EXPECT_TRUE(CollideRectQuad(-3e38f, -3e38f, 1, 1, 1, 0, Ref<Object>()).IsEmpty());
  EXPECT_EQ(CollideRectQuad(-1e9f, 10, 2e9f, 1, 1, 0, Ref<Object>()).Length(), 1);
}

// A span much wider than the line buffer: the only solid texel is at the far right end.
TEST_F(Collision, WideSpans) {
  Ref<TImage> strip = ImageOf(MaskPixmap(64, 1, FORMAT_ALPHA8, [](int x, int) { return x == 63; }));
  EXPECT_EQ(ImagesOverlapTransformed(strip, 0, 0, 0, 0, 100, 10, strip, 6300, 0, 0, 0, 1, 10), 1);
  EXPECT_EQ(ImagesOverlapTransformed(strip, 0, 0, 0, 0, 100, 10, strip, 6200, 0, 0, 0, 1, 10), 0);
}

std::string Describe(const test::Placement& p) {
  char text[200];
  std::snprintf(text, sizeof text, " [at %g,%g handle %g,%g %g deg scale %g,%g %dx%d format %d]",
                p.x, p.y, p.handleX, p.handleY, p.degrees, p.scaleX, p.scaleY, p.width, p.height,
                p.mask->format);
  return text;
}

// The differential test: random pairs against the brute-force reference.
TEST_F(Collision, AgreesWithPerPixelReference) {
  std::mt19937 rng(20261207);
  auto uniform = [&](float a, float b) { return std::uniform_real_distribution<float>(a, b)(rng); };
  auto integer = [&](int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng); };
  const int32_t formats[] = {FORMAT_RGBA32, FORMAT_BGRA32, FORMAT_ALPHA8, FORMAT_SHADOW8,
                             FORMAT_RGB24};
  auto randomMask = [&]() {
    const int w = integer(1, 40), h = integer(1, 40);
    const int kind = integer(0, 2);
    const float cx = uniform(0, float(w)), cy = uniform(0, float(h)), r = uniform(2, 20);
    const int hole = integer(2, 6);
    return MaskPixmap(w, h, formats[integer(0, 4)], [&](int x, int y) {
      if (kind == 0) return true;
      if (kind == 1) return (x / hole + y / hole) % 2 == 0;  // a chequer of holes
      return std::hypot(x + 0.5f - cx, y + 0.5f - cy) < r && (x * 7 + y * 3) % 5 != 0;
    });
  };
  int sure = 0, none = 0, exact = 0;
  for (int i = 0; i < 10000; ++i) {
    const bool aligned = i % 4 == 0;
    test::Placement p[2];
    Ref<TImage> images[2];
    for (test::Placement& q : p) {
      q.mask = randomMask();
      q.width = q.mask->width;
      q.height = q.mask->height;
      if (aligned) {
        q.x = float(integer(-30, 30)), q.y = float(integer(-30, 30));
        q.handleX = float(integer(0, 5)), q.handleY = float(integer(0, 5));
      } else {
        q.x = uniform(-30, 30), q.y = uniform(-30, 30);
        q.handleX = uniform(-5, 25), q.handleY = uniform(-5, 25);
        q.degrees = uniform(-360, 360);
        q.scaleX = uniform(0.5f, 2) * (integer(0, 3) == 0 ? -1 : 1);
        q.scaleY = uniform(0.5f, 2) * (integer(0, 3) == 0 ? -1 : 1);
      }
    }
    for (int k = 0; k < 2; ++k)
      images[k] = ImageOf(p[k].mask, p[k].handleX, p[k].handleY);
    const bool got = ImagesOverlapTransformed(images[0], p[0].x, p[0].y, 0, p[0].degrees,
                                              p[0].scaleX, p[0].scaleY, images[1], p[1].x, p[1].y,
                                              0, p[1].degrees, p[1].scaleX, p[1].scaleY) == 1;
    const test::PlacedMask a(p[0]), b(p[1]);
    if (aligned) {
      ASSERT_EQ(got, test::BruteForceHit(a, b))
          << "aligned pair " << i << Describe(p[0]) << Describe(p[1]);
      ++exact;
      continue;
    }
    const test::Bounds r = test::ReferenceBounds(a, b);
    if (r.surelyHit) {
      ASSERT_TRUE(got) << "pair " << i << Describe(p[0]) << Describe(p[1]);
      ++sure;
    }
    if (!r.possiblyHit) {
      ASSERT_FALSE(got) << "pair " << i << Describe(p[0]) << Describe(p[1]);
      ++none;
    }
  }
  // The random pairs reach both sides of the reference.
  EXPECT_GT(sure, 400);
  EXPECT_GT(none, 1000);
  EXPECT_EQ(exact, 2500);
}

// With graphics: the drawing origin moves placements, and the transformed test restores the
// drawing rotation and scale (and sends them to the driver again).
TEST_F(Collision, WithGraphicsOriginAndRestoredTransform) {
  auto log = std::make_shared<test::CallLog>();
  Ref<test::FakeKor2DDriver> driver = test::FakeKor2DDriver::Create(log);
  UseGraphicsDriver(driver, 2);
  ASSERT_TRUE(OpenGraphics(640, 480, 0, 0, 0));
  ApplyTransform(30, 2, 3);
  ApplyOrigin(100, 0);
  Ref<TImage> a = ImageOf(MaskPixmap(4, 4, FORMAT_RGBA32, [](int, int) { return true; }));
  EXPECT_EQ(ImagesOverlapTransformed(a, 0, 0, 0, 0, 1, 1, a, 3, 3, 0, 0, 1, 1), 1);
  EXPECT_EQ(ReadRotation(), 30);
  float sx, sy;
  ReadScale(sx, sy);
  EXPECT_EQ(sx, 2);
  EXPECT_EQ(sy, 3);
  ApplyTransform(0, 1, 1);
  CollideRectQuad(0, 0, 10, 10, 0, 1, String("moved"));  // at x 100..110 on screen
  ApplyOrigin(0, 0);
  EXPECT_TRUE(CollideRectQuad(0, 0, 10, 10, 1, 0, Ref<Object>()).IsEmpty());
  EXPECT_EQ(CollideRectQuad(100, 0, 10, 10, 1, 0, Ref<Object>()).Length(), 1);
  // A mirrored rectangle covers the pixels left of its position.
  ApplyScale(-1, 1);
  EXPECT_EQ(CollideRectQuad(111, 0, 2, 10, 1, 0, Ref<Object>()).Length(), 1);
  EXPECT_TRUE(CollideRectQuad(99, 0, 2, 10, 1, 0, Ref<Object>()).IsEmpty());
  CloseOpenedGraphics();
  UseGraphicsDriver(nullptr, 0);
}

}  // namespace
}  // namespace vxl
