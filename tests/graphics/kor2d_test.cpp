// Kor2D against a recording render driver: what each state and drawing function sends, the
// context life cycle, images and their frames, tiles, text, and bad input.
#include "graphics/kor2d/kor2d.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <set>

#include "graphics/fake_kor2d.h"
#include "graphics/kor2d/degrees.h"
#include "reflection/reflection.h"
#include "memstream/ram_stream.h"
#include "support/test_streams.h"
#include "support/thrown_text.h"

namespace vxl {
namespace {

using test::Calls;
using test::Line;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// A w x h RGBA32 pixmap whose pixel (x, y) is opaque with red x, green y and blue `tag`.
Ref<TPixmap> Pattern(int32_t w, int32_t h, int32_t tag = 0) {
  Ref<TPixmap> p = TPixmap::Create(w, h, FORMAT_RGBA32, 4);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      p->WritePixel(x, y, 0xFF000000u | x << 16 | y << 8 | tag);
  return p;
}

class Kor2D : public ::testing::Test {
 protected:
  void SetUp() override {
    InitKor2DModule();
    log = std::make_shared<test::CallLog>();
    driver = test::FakeKor2DDriver::Create(log);
    UseGraphicsDriver(driver, 2);
    graphics = OpenGraphics(640, 480, 0, 0, 0).As<TKor2DGraphics>();
    ASSERT_TRUE(graphics);
    log->Take();
  }
  void TearDown() override {
    CloseOpenedGraphics();
    UseGraphicsDriver(nullptr, 0);
    AutoCenterHandles(0);
    ChooseImageFlags(MASKEDIMAGE | FILTEREDIMAGE);
    ApplyMaskColor(0, 0, 0);
  }

  std::shared_ptr<test::CallLog> log;
  Ref<test::FakeKor2DDriver> driver;
  Ref<TKor2DGraphics> graphics;
};

TEST_F(Kor2D, FirstSelectionSendsTheDefaultsAndClearsBothBuffersOnce) {
  Ref<TGraphics> second = MakeGraphics(320, 200, 0, 0, 0);
  log->Take();
  SelectGraphics(second);
  const Calls state = {"SetBlend 1",          "SetColor 255 255 255", "SetAlpha 1",
                       "SetClsColor 0 0 0",   "SetLineWidth 1",       "SetTransform 1 0 0 1",
                       "SetTransform 1 0 0 1"};
  Calls first = {"SetGraphics plain#2"};
  first.insert(first.end(), state.begin(), state.end());
  first.insert(first.end(), {"SetViewport 0 0 320 200", "Cls", "Flip 0", "Cls", "Flip 0"});
  EXPECT_EQ(log->Take(), first);

  // Back to the first context: its own state is sent again, without clearing.
  ApplyColor(1, 2, 3);
  SelectGraphics(graphics);
  Calls again = {"SetColor 1 2 3", "SetGraphics plain#1"};
  again.insert(again.end(), state.begin(), state.end());
  again.push_back("SetViewport 0 0 640 480");
  EXPECT_EQ(log->Take(), again);
  int32_t r, g, b;
  ReadColor(r, g, b);
  EXPECT_EQ((std::vector<int32_t>{r, g, b}), (std::vector<int32_t>{255, 255, 255}));
  ShutGraphics(second);
}

TEST_F(Kor2D, StateSurvivesSwitchingContexts) {
  ApplyBlend(ALPHABLEND);
  ApplyAlpha(0.5f);
  ApplyClsColor(9, 8, 7);
  ApplyLineWidth(3);
  ApplyTransform(90, 2, 3);
  ApplyViewport(10, 20, 30, 40);
  ApplyOrigin(5, 6);
  ApplyHandle(7, 8);
  SelectGraphics(nullptr);
  SelectGraphics(graphics);
  EXPECT_EQ(log->Take().back(), "SetViewport 10 20 30 40");
  float x, y;
  ReadOrigin(x, y);
  EXPECT_EQ(x * 10 + y, 56);
  ReadHandle(x, y);
  EXPECT_EQ(x * 10 + y, 78);
  ReadScale(x, y);
  EXPECT_EQ(x * 10 + y, 23);
  EXPECT_EQ(ReadRotation(), 90);
  EXPECT_EQ(ReadBlend(), ALPHABLEND);
  EXPECT_EQ(ReadAlpha(), 0.5f);
  EXPECT_EQ(ReadLineWidth(), 3);
}

TEST_F(Kor2D, RotationMatrixAndCollisionTransform) {
  struct Case {
    float degrees, sx, sy;
  } cases[] = {{90, 1, 1}, {30, 2, 0.5f}, {-135, 1, 3}, {720 + 45, 1, 1}, {1e7f, 1, 1}};
  for (const Case& c : cases) {
    ApplyTransform(c.degrees, c.sx, c.sy);
    const double r = double(c.degrees) * 3.14159265358979323846 / 180;
    const float s = float(std::sin(r)), co = float(std::cos(r));
    const float want[4] = {co * c.sx, -s * c.sy, s * c.sx, co * c.sy};
    const float got[4] = {graphics->tform_ix, graphics->tform_iy, graphics->tform_jx,
                          graphics->tform_jy};
    const float sent[4] = {collisionTransform.ix, collisionTransform.iy, collisionTransform.jx,
                           collisionTransform.jy};
    for (int i = 0; i < 4; ++i) {
      EXPECT_NEAR(got[i], want[i], 2e-6 * std::max(1.0f, std::fabs(want[i]))) << c.degrees;
      EXPECT_EQ(got[i], sent[i]);
    }
    EXPECT_EQ(log->Take(), (Calls{Line("SetTransform", got[0], got[1], got[2], got[3])}));
  }
  ApplyRotation(90);  // whole quarter turns are exact
  EXPECT_EQ(graphics->tform_ix, 0);
  EXPECT_EQ(graphics->tform_iy, -1);
  double s, c;
  SinCosDegrees(-270, s, c);
  EXPECT_EQ(s, 1);
  EXPECT_EQ(c, 0);
}

TEST_F(Kor2D, DrawingFunctionsSendThePlacedPrimitive) {
  ApplyOrigin(3, 4);
  ApplyHandle(10, 5);
  const Array<float> poly = Array<float>::Of({0, 0, 10, 0, 5, 5});
  struct Case {
    std::function<void()> draw;
    Calls calls;
  } cases[] = {
      {[] { PaintRect(100, 100, 20, 20); }, {"DrawRect -10 -5 10 15 103 104"}},
      {[] { PaintOval(1, 2, 30, 40); }, {"DrawOval -10 -5 20 35 4 6"}},
      {[] { PlotPoint(1, 2); }, {"Plot 4 6"}},
      {[] { PaintLine(1, 2, 11, 22, 0); }, {"DrawLine -10 -5 0 15 4 6"}},
      {[] { PaintLine(1, 2, 11, 22, 1); }, {"DrawLine -10 -5 0 15 4 6", "Plot 4 21"}},
      {[&] { PaintPoly(poly); }, {"DrawPoly 6 -10 -5 3 4"}},
      {[] { PaintPixmap(Pattern(5, 7), -2, 9); }, {"DrawPixmap 5 7 -2 9"}},
      {[] { ClearScreen(); }, {"Cls"}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    cases[i].draw();
    EXPECT_EQ(log->Take(), cases[i].calls) << "case " << i;
  }

  // The rectangle of the handle example lands from (90, 95) to (110, 115) without an origin.
  ApplyOrigin(0, 0);
  PaintRect(100, 100, 20, 20);
  EXPECT_EQ(log->Take(), (Calls{"DrawRect -10 -5 10 15 100 100"}));

  // The plotted end of a rotated line is the transformed end point.
  ApplyHandle(0, 0);
  ApplyRotation(90);
  log->Take();
  PaintLine(50, 50, 60, 50, 1);  // 10 to the right, turned a quarter: 10 down
  EXPECT_EQ(log->Take(), (Calls{"DrawLine 0 0 10 0 50 50", "Plot 50 60"}));
}

TEST_F(Kor2D, NonFiniteInputDrawsNothing) {
  Ref<TImage> image = MakeImage(8, 8, 1, 0);
  struct Case {
    const char* name;
    std::function<void()> draw;
  } cases[] = {
      {"rect x", [] { PaintRect(kNaN, 0, 1, 1); }},
      {"rect size", [] { PaintRect(0, 0, kInf, 1); }},
      {"oval", [] { PaintOval(0, -kInf, 1, 1); }},
      {"plot", [] { PlotPoint(kNaN, 1); }},
      {"line", [] { PaintLine(0, 0, kNaN, 0, 1); }},
      {"line overflow", [] { PaintLine(-3e38f, 0, 3e38f, 0, 1); }},
      {"poly",
       [] {
         PaintPoly(Array<float>::Of({0, 0, 1, kNaN, 2, 2}));
       }},
      {"text", [] { PaintText(String("x"), kInf, 0); }},
      {"image", [&] { PaintImage(image, kNaN, 0, 0); }},
      {"image rect", [&] { PaintImageRect(image, 0, 0, 1, kNaN, 0); }},
      {"tiles", [&] { PaintTiles(image, kInf, 0, 0); }},
  };
  PaintImage(image, 0, 0, 0);  // builds the frame first
  log->Take();
  for (const Case& c : cases) {
    c.draw();
    EXPECT_EQ(log->Take(), Calls{}) << c.name;
  }
  // A transform that is not finite is kept but neither sent nor drawn with.
  ApplyRotation(kNaN);
  PaintRect(0, 0, 1, 1);
  PaintImage(image, 0, 0, 0);
  ApplyScale(1, 1);
  EXPECT_EQ(log->Take(), Calls{});
  ApplyRotation(0);
  PaintRect(0, 0, 1, 1);
  EXPECT_EQ(log->Take(), (Calls{"SetTransform 1 0 0 1", "DrawRect 0 0 1 1 0 0"}));
}

TEST_F(Kor2D, WithoutCurrentGraphicsStateAndDrawingRaiseImagesStillWork) {
  graphics->Close();  // closed while current
  EXPECT_EQ(log->Take(), Calls{"Close plain#1"});
  EXPECT_THROW(SelectGraphics(graphics), Thrown);  // a closed context has no driver
  EXPECT_EQ(CurrentGraphicsDriver().Get(), driver.Get());
  for (auto call : std::vector<std::function<void()>>{
           [] { ApplyColor(1, 2, 3); }, [] { ReadAlpha(); }, [] { PaintRect(0, 0, 1, 1); },
           [] { ClearScreen(); }, [] { TextWidthOf(String("a")); },
           [] { CapturePixmap(0, 0, 0, 0); }, [] { PaintPixmap(Pattern(1, 1), 0, 0); }}) {
    EXPECT_EQ(test::ThrownText<TNullObjectException>(call),
              "Attempt to access field or method of Null object");
  }
  Ref<TImage> image = OpenImage(Pattern(4, 2), -1);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->flags, MASKEDIMAGE | FILTEREDIMAGE);
  EXPECT_FALSE(image->Frame(0));  // no render driver: no frame, nothing thrown
  EXPECT_EQ(ImageWidthOf(MakeImage(3, 5, 2, 0)), 3);
}

TEST_F(Kor2D, ImageFramesAreBuiltOncePerGenerationAndAfterWrites) {
  Ref<TImage> image = MakeImage(16, 8, 2, 0);
  EXPECT_EQ(image->flags, DYNAMICIMAGE);
  PaintImage(image, 10, 20, 1);
  PaintImage(image, 11, 20, 1);
  EXPECT_EQ(log->Take(), (Calls{"CreateFrame 16 8 8", "Frame1 Draw 0 0 16 8 10 20",
                                "Frame1 Draw 0 0 16 8 11 20"}));
  // An unwritten frame is transparent black.
  Ref<TPixmap> p = LockImagePixels(image, 0, 1, 0);
  EXPECT_EQ(p->ReadPixel(15, 7) | p->ReadPixel(0, 0), 0u);

  LockImagePixels(image, 1, 1, 1)->WritePixel(0, 0, 0xFFFFFFFF);
  PlaceImageHandle(image, 4, 2);
  PaintImageRect(image, 0, 0, 32, 16, 1);
  EXPECT_EQ(log->Take(), (Calls{"CreateFrame 16 8 8", "Frame2 Draw -4 -2 28 14 0 0"}));

  // Reopened graphics rebuild every frame; a refused frame draws nothing and is asked again.
  UseGraphicsDriver(driver, 2);
  ASSERT_TRUE(OpenGraphics(100, 100, 0, 0, 0));
  log->Take();
  driver->refuseFrames = true;
  PaintImage(image, 0, 0, 1);
  PaintImage(image, 0, 0, 1);
  EXPECT_EQ(log->Take(), (Calls{"CreateFrame 16 8 8", "CreateFrame 16 8 8"}));

  // An empty pixmap (a data stream can hold one) makes no frame.
  driver->refuseFrames = false;
  image->SetPixmap(0, TPixmap::Create(0, 0, FORMAT_RGBA32, 4));
  PaintImage(image, 0, 0, 0);
  EXPECT_EQ(log->Take(), Calls{});

  for (int32_t index : {-1, 2}) {
    EXPECT_THROW(PaintImage(image, 0, 0, index), Thrown) << index;
    EXPECT_THROW(LockImagePixels(image, index, 1, 0), Thrown) << index;
  }
  EXPECT_EQ(test::ThrownText<TArrayBoundsException>([&] { image->Frame(5); }),
            "Attempt to index array element beyond array length");
}

TEST_F(Kor2D, AnimationCellsAndBadArguments) {
  // 64 x 32 pixmap of 16 x 16 cells: 4 columns, 2 rows.
  Ref<TPixmap> sheet = Pattern(64, 32);
  struct Case {
    int32_t cw, ch, first, count;
    bool made;
  } cases[] = {
      {16, 16, 0, 8, true},   {16, 16, 3, 5, true},  {16, 16, 1, 8, false},
      {16, 16, 0, 9, false},  {0, 16, 0, 1, false},  {16, -4, 0, 1, false},
      {16, 16, -1, 2, false}, {16, 16, 2, 0, false}, {65, 16, 0, 1, false},
  };
  for (const Case& c : cases) {
    Ref<TImage> anim = OpenAnimImage(sheet, c.cw, c.ch, c.first, c.count, 0);
    EXPECT_EQ(bool(anim), c.made) << c.cw << "x" << c.ch << " " << c.first << "+" << c.count;
    if (!anim) continue;
    ASSERT_EQ(anim->pixmaps.Length(), c.count);
    for (int32_t i = 0; i < c.count; ++i) {
      const int32_t cell = c.first + i;
      // The top-left pixel of each frame is the sheet's pixel at the cell's corner.
      EXPECT_EQ(anim->pixmaps[i]->ReadPixel(1, 2),
                sheet->ReadPixel(16 * (cell % 4) + 1, 16 * (cell / 4) + 2));
    }
  }
  EXPECT_FALSE(MakeImage(0, 4, 1, 0));
  EXPECT_FALSE(MakeImage(4, 4, 0, 0));
  EXPECT_FALSE(OpenImage(String("no/such/file.png"), 0));
}

TEST_F(Kor2D, MaskedImagesAndCaptures) {
  // A masked image of a pixmap without alpha makes the mask colour transparent.
  Ref<TPixmap> rgb = TPixmap::Create(2, 1, FORMAT_RGB24, 1);
  rgb->WritePixel(0, 0, 0xFFFF00FF);
  rgb->WritePixel(1, 0, 0xFF102030);
  ApplyMaskColor(255, 0, 255);
  Ref<TImage> masked = OpenImage(rgb, MASKEDIMAGE);
  EXPECT_EQ(masked->Lock(0, 1, 0)->ReadPixel(0, 0) >> 24, 0u);
  EXPECT_EQ(masked->Lock(0, 1, 0)->ReadPixel(1, 0), 0xFF102030u);

  EXPECT_FALSE(CapturePixmap(5, 5, 0, 3));
  EXPECT_FALSE(CapturePixmap(5, 5, 3, -1));
  EXPECT_EQ(log->Take(), Calls{});
  Ref<TPixmap> grabbed = CapturePixmap(638, 10, 4, 2);
  EXPECT_EQ(grabbed->ReadPixel(1, 1), test::GrabbedPixel(639, 11));
  EXPECT_EQ(grabbed->ReadPixel(2, 0), 0u);  // outside the back buffer

  // CaptureImage masks with the module's mask colour: 0x5A blue, red x, green y.
  ApplyMaskColor(3, 4, 0x5A);
  Ref<TImage> shot = MakeImage(4, 4, 1, MASKEDIMAGE);
  PaintImage(shot, 0, 0, 0);
  log->Take();
  CaptureImage(shot, 1, 2, 0);
  Ref<TPixmap> p = shot->Lock(0, 1, 0);
  EXPECT_EQ(p->ReadPixel(2, 2) >> 24, 0u);  // buffer pixel (3, 4)
  EXPECT_EQ(p->ReadPixel(0, 0), test::GrabbedPixel(1, 2));
  PaintImage(shot, 0, 0, 0);
  EXPECT_EQ(log->Take(),
            (Calls{"GrabPixmap 1 2 4 4", "CreateFrame 4 4 9", "Frame2 Draw 0 0 4 4 0 0"}));
}

// Oracle: the columns (or rows) form one run of tile-sized steps that starts at or before the
// viewport edge, ends past the far edge, and has no tile wholly outside.
void ExpectCovering(const std::set<double>& starts, int32_t size, double from, double to,
                    const std::string& what) {
  ASSERT_FALSE(starts.empty()) << what;
  double previous = *starts.begin() - size;
  for (double s : starts) {
    EXPECT_EQ(s - previous, size) << what;
    previous = s;
  }
  EXPECT_LE(*starts.begin(), from) << what;
  EXPECT_GT(*starts.begin() + size, from) << what;
  EXPECT_LT(*starts.rbegin(), to) << what;
  EXPECT_GE(*starts.rbegin() + size, to) << what;
}

TEST_F(Kor2D, TilesCoverTheViewportFromTheGridThroughThePosition) {
  Ref<TImage> tile = MakeImage(32, 16, 1, 0);
  PaintImage(tile, 0, 0, 0);
  ApplyViewport(10, 20, 100, 50);
  ApplyRotation(30);
  const std::string restore = log->Take().back();
  for (float x : {0.f, -320.f, -31.f, 12.25f, 42.f, 500.f, -1e30f, 3e9f}) {
    for (float y : {0.f, -16.f, 7.5f, 20.f}) {
      const std::string at = std::to_string(x) + "," + std::to_string(y);
      PaintTiles(tile, x, y, 0);
      Calls calls = log->Take();
      ASSERT_GE(calls.size(), 3u) << at;
      EXPECT_EQ(calls.front(), "SetTransform 1 0 0 1");
      EXPECT_EQ(calls.back(), restore);
      const double gx = std::floor(double(x)), gy = std::floor(double(y));
      const bool exact = std::fabs(gx) < 1e7;  // positions a float still holds to the pixel
      std::set<double> cols, rows;
      for (size_t i = 1; i + 1 < calls.size(); ++i) {
        float x0, y0, x1, y1, tx, ty;
        ASSERT_EQ(std::sscanf(calls[i].c_str(), "Frame1 Draw %g %g %g %g %g %g", &x0, &y0, &x1, &y1,
                              &tx, &ty),
                  6)
            << calls[i];
        EXPECT_EQ(x1 - x0, 32);
        EXPECT_EQ(y1 - y0, 16);
        const double col = std::floor(tx), row = std::floor(ty);
        if (exact) {
          EXPECT_EQ(std::fmod(col - gx, 32.0), 0) << at;
          EXPECT_FLOAT_EQ(tx - col, float(x - gx)) << at;
        }
        EXPECT_EQ(std::fmod(row - gy, 16.0), 0) << at;
        EXPECT_FLOAT_EQ(ty - row, float(y - gy)) << at;
        cols.insert(col);
        rows.insert(row);
      }
      ExpectCovering(cols, 32, 10, 110, "columns at " + at);
      ExpectCovering(rows, 16, 20, 70, "rows at " + at);
      EXPECT_EQ(calls.size() - 2, cols.size() * rows.size()) << at;
    }
  }
  // A viewport far beyond the 640 x 480 context is tiled only where the context is.
  ApplyViewport(-1000000, -5, INT32_MAX, INT32_MAX);
  log->Take();
  PaintTiles(tile, 3, 0, 0);
  const Calls calls = log->Take();
  std::set<double> cols, rows;
  for (size_t i = 1; i + 1 < calls.size(); ++i) {
    float v[6];
    ASSERT_EQ(std::sscanf(calls[i].c_str(), "Frame1 Draw %g %g %g %g %g %g", &v[0], &v[1], &v[2],
                          &v[3], &v[4], &v[5]),
              6);
    cols.insert(v[4]);
    rows.insert(v[5]);
  }
  ExpectCovering(cols, 32, 0, 640, "columns in the context");
  ExpectCovering(rows, 16, 0, 480, "rows in the context");
  EXPECT_EQ(*cols.begin(), -29);
}

TEST_F(Kor2D, TextWidthDrawingAndTheDefaultFont) {
  struct Case {
    const char16_t* text;
    int32_t width;
  } cases[] = {{u"", 0}, {u"Hello", 40}, {u"a\x01\x1F\x7F\x80\u00E9b", 24}, {u"  ", 16}};
  for (const Case& c : cases)
    EXPECT_EQ(TextWidthOf(String(c.text)), c.width);
  EXPECT_EQ(TextHeightOf(String("x")), 16);

  Ref<TImageFont> font = ReadImageFont();
  EXPECT_EQ(font->CharToGlyph('A'), 33);
  for (int32_t c : {-1, 0, 31, 128, 255, 0x263A})
    EXPECT_EQ(font->CharToGlyph(c), -1) << c;
  EXPECT_EQ(font->CountGlyphs(), 96);

  // The pen moves along the rotated baseline; the handle and origin move the start.
  ApplyTransform(90, 1, 1);
  ApplyOrigin(100, 50);
  ApplyHandle(0, 2);
  log->Take();
  PaintText(String(u"A\x01"
                   "B"),
            10, 20);
  Calls calls = log->Take();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0], "CreateFrame 8 16 0");
  EXPECT_EQ(calls[1].substr(calls[1].find(' ')), " Draw 0 0 8 16 112 70");
  EXPECT_EQ(calls[2], "CreateFrame 8 16 0");
  EXPECT_EQ(calls[3].substr(calls[3].find(' ')), " Draw 0 0 8 16 112 78");
}

// The built-in font read back through its URL and decoded here, independently of the font code:
// every glyph image holds exactly the bits of its cell.
TEST_F(Kor2D, DefaultFontGlyphsAreTheEmbeddedBits) {
  InitRamStreamModule();
  Array<uint8_t> bits = BytesFromUrl(String("incbin::vexelfont.bin"));
  ASSERT_EQ(bits.Length(), 1536);
  Ref<TImageFont> font = TImageFont::CreateDefault();
  int32_t lit = 0;
  for (int32_t j = 0; j < 96; ++j) {
    auto glyph = font->LoadGlyph(j).As<TImageGlyph>();
    int32_t x, y, w, h;
    glyph->GetRect(x, y, w, h);
    ASSERT_EQ((std::vector<int32_t>{x, y, w, h}), (std::vector<int32_t>{0, 0, 8, 16}));
    EXPECT_EQ(glyph->Advance(), 8);
    Ref<TPixmap> p = glyph->_image->Lock(0, 1, 0);
    for (int32_t row = 0; row < 16; ++row) {
      for (int32_t col = 0; col < 8; ++col) {
        const bool set = (bits[row * 96 + j] >> col) & 1;
        lit += set;
        ASSERT_EQ(p->ReadPixel(col, row), set ? 0xFFFFFFFFu : 0u) << j << " " << col << "," << row;
      }
    }
  }
  // Visible characters have pixels, the space has none.
  EXPECT_GT(lit, 95 * 10);
  const uint8_t* space = &bits[0];
  for (int32_t row = 0; row < 16; ++row)
    EXPECT_EQ(space[row * 96], 0) << row;
}

TEST_F(Kor2D, ImagesRoundTripThroughADataStreamWithMissingFrames) {
  Ref<TImage> image = MakeImage(3, 2, 3, MASKEDIMAGE);
  image->mask_g = 200;
  PlaceImageHandle(image, 1.5f, -0.25f);
  image->SetPixmap(2, Pattern(3, 2, 7));
  auto bytes = test::TMemoryStream::Of("");
  TDataStream::WithStream(bytes)->WriteObject(image);
  bytes->pos = 0;
  auto back = TDataStream::WithStream(bytes)->ReadObject().As<TImage>();
  ASSERT_TRUE(back);
  EXPECT_EQ((std::vector<int32_t>{back->width, back->height, back->flags, back->mask_g}),
            (std::vector<int32_t>{3, 2, MASKEDIMAGE | DYNAMICIMAGE, 200}));
  EXPECT_EQ(back->handle_x, 1.5f);
  EXPECT_EQ(back->handle_y, -0.25f);
  ASSERT_EQ(back->pixmaps.Length(), 3);
  EXPECT_EQ(back->frames.Length(), 3);
  EXPECT_FALSE(back->pixmaps[0]);
  EXPECT_EQ(back->pixmaps[2]->ReadPixel(2, 1), Pattern(3, 2, 7)->ReadPixel(2, 1));
  EXPECT_EQ(back->Lock(0, 1, 0)->ReadPixel(1, 1), 0u);
  EXPECT_EQ(bytes->pos, bytes->Size());
}

// Every field of the new classes reads through reflection; the fields that keep an object whole
// (parallel frame arrays, the wrapped context and driver, a font's glyph table, the loader chain)
// refuse writes, and every other field takes back the value it gave.
TEST_F(Kor2D, ReflectionWritesNoGuardedField) {
  InitReflectionModule();
  struct Case {
    Ref<Object> object;
    std::set<std::string> guarded;
  } cases[] = {
      {MakeImage(2, 2, 1, 0), {"pixmaps", "frames", "seqs"}},
      {graphics, {"_graphics", "_driver"}},
      {ReadImageFont(), {"_src_font", "_glyphs"}},
      {ReadImageFont()->LoadGlyph(1), {}},
      {TGraphicsMode::Create(1, 2, 3, 4), {}},
      {New<TFontLoader>(), {"_succ"}},
  };
  for (const Case& c : cases) {
    Ref<TTypeId> type = TTypeId::ForObject(c.object);
    std::set<std::string> refused;
    for (Ref<Object> member : type->EnumFields(nullptr)) {
      auto field = member.As<TField>();
      const std::string name = field->Name().ToCString();
      Ref<Object> before = field->Get(c.object);
      try {
        field->Set(c.object, before);
      } catch (const Thrown&) {
        refused.insert(name);
      }
      EXPECT_EQ(String::Of(field->Get(c.object)), String::Of(before)) << name;
    }
    EXPECT_EQ(refused, c.guarded) << type->Name().ToCString();
  }
}

}  // namespace
}  // namespace vxl
