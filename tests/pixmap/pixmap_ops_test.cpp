#include "pixmap/pixmap_ops.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "runtime/cpu_features.h"

namespace vxl {
namespace {

class PixmapOpsTest : public ::testing::Test {
 protected:
  void SetUp() override { InitPixmapModule(); }
};

Ref<TPixmap> RandomPixmap(std::mt19937& rng, int32_t w, int32_t h, int32_t format) {
  Ref<TPixmap> p = NewPixmap(w, h, format, 4);
  for (int32_t i = 0; i < p->capacity; ++i)
    p->pixels[i] = uint8_t(rng());
  return p;
}

// Pixmap from rows of "argb argb ..." values.
Ref<TPixmap> FromColours(const std::vector<std::vector<uint32_t>>& rows) {
  Ref<TPixmap> p = NewPixmap(int32_t(rows[0].size()), int32_t(rows.size()), FORMAT_RGBA32, 4);
  for (size_t y = 0; y < rows.size(); ++y)
    for (size_t x = 0; x < rows[y].size(); ++x)
      p->WritePixel(int32_t(x), int32_t(y), rows[y][x]);
  return p;
}

TEST_F(PixmapOpsTest, MaskOutColourAveragesNonKeyNeighbours) {
  const uint32_t K = 0x00000000, R = 0xFFFF0000, G = 0x8000FF00, B = 0x100000FF;
  Ref<TPixmap> in = FromColours({
      {K, R, K},
      {G, K, R},
      {K, K, B},
  });
  Ref<TPixmap> out = MaskOutColour(PixmapToFormat(in, FORMAT_BGRA32), 0, 0, 0);
  ASSERT_EQ(out->format, FORMAT_RGBA32);
  // Corner (0,0): neighbours R, G -> (127, 127, 0); centre: R, G, R, B -> (127, 63, 63);
  // corner (0,2): G only; (1,2): G, R, B -> 85 each; non-key pixels get alpha 255.
  const std::vector<std::vector<uint32_t>> want = {
      {0x007F7F00, 0xFFFF0000, 0x00FF0000},
      {0xFF00FF00, 0x007F3F3F, 0xFFFF0000},
      {0x0000FF00, 0x00555555, 0xFF0000FF},
  };
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 3; ++x)
      EXPECT_EQ(out->ReadPixel(x, y), want[y][x]) << x << "," << y;
  // Nothing but the key: all zero.
  Ref<TPixmap> blank = MaskOutColour(FromColours({{K, K}}), 0, 0, 0);
  EXPECT_EQ(blank->ReadPixel(0, 0), 0u);
  EXPECT_EQ(blank->ReadPixel(1, 0), 0u);
}

TEST_F(PixmapOpsTest, MirrorsReverseColumnsAndRows) {
  std::mt19937 rng(3);
  for (int32_t format : {FORMAT_RGB24, FORMAT_GREY8, FORMAT_RGBA32}) {
    Ref<TPixmap> p = RandomPixmap(rng, 5, 3, format);
    Ref<TPixmap> mx = MirrorPixmapX(p), my = MirrorPixmapY(p);
    const int32_t b = FormatBytes[format];
    for (int32_t y = 0; y < 3; ++y) {
      for (int32_t x = 0; x < 5; ++x) {
        EXPECT_EQ(0, std::memcmp(mx->PixelPtr(x, y), p->PixelPtr(4 - x, y), b));
        EXPECT_EQ(0, std::memcmp(my->PixelPtr(x, y), p->PixelPtr(x, 2 - y), b));
      }
    }
  }
}

// The scaling formula, one channel at a time, in plain single-precision arithmetic.
Ref<TPixmap> ReferenceScale(const Ref<TPixmap>& source, int32_t nw, int32_t nh) {
  Ref<TPixmap> src = PixmapToFormat(source, FORMAT_RGBA32);
  Ref<TPixmap> out = NewPixmap(nw, nh, FORMAT_RGBA32, 4);
  volatile float sw = float(src->width), sh = float(src->height);
  for (int32_t i = 0; i < nh; ++i) {
    volatile float ratio = sh / float(nh);
    volatile float sy = (float(i) + 0.5f) * ratio;
    sy = sy - 0.5f;
    int32_t y0 = int32_t(std::floor(sy)), y1;
    volatile float fy = 0.0f;
    if (y0 < 0)
      y0 = y1 = 0;
    else if (y0 >= src->height - 1)
      y0 = y1 = src->height - 1;
    else {
      y1 = y0 + 1;
      fy = sy - float(y0);
    }
    for (int32_t j = 0; j < nw; ++j) {
      volatile float rx = sw / float(nw);
      volatile float sx = (float(j) + 0.5f) * rx;
      sx = sx - 0.5f;
      int32_t x0 = int32_t(std::floor(sx)), x1;
      volatile float fx = 0.0f;
      if (x0 < 0)
        x0 = x1 = 0;
      else if (x0 >= src->width - 1)
        x0 = x1 = src->width - 1;
      else {
        x1 = x0 + 1;
        fx = sx - float(x0);
      }
      for (int32_t c = 0; c < 4; ++c) {
        float p00 = src->PixelPtr(x0, y0)[c], p10 = src->PixelPtr(x1, y0)[c];
        float p01 = src->PixelPtr(x0, y1)[c], p11 = src->PixelPtr(x1, y1)[c];
        volatile float d = (p10 - p00) * fx;
        volatile float top = p00 + d;
        d = (p11 - p01) * fx;
        volatile float bottom = p01 + d;
        d = (bottom - top) * fy;
        volatile float value = top + d;
        out->PixelPtr(j, i)[c] = uint8_t(int32_t(value));
      }
    }
  }
  return PixmapToFormat(out, source->format);
}

TEST_F(PixmapOpsTest, ScaleIsBitExactToTheFormula) {
  std::mt19937 rng(11);
  struct Case {
    int32_t w, h, nw, nh, format;
  } cases[] = {
      {1, 1, 4, 4, FORMAT_RGBA32},         {7, 5, 7, 5, FORMAT_RGBA32},
      {64, 48, 21, 17, FORMAT_RGBA32},     {13, 9, 40, 31, FORMAT_RGBA32},
      {33, 3, 5, 9, FORMAT_RGB24},         {9, 9, 1, 1, FORMAT_GREY8},
      {19, 23, 37, 11, FORMAT_BGRA32},     {2, 1, 3, 7, FORMAT_INTENSITY8},
      {300, 200, 199, 133, FORMAT_RGBA32},
  };
  for (const Case& c : cases) {
    Ref<TPixmap> src = RandomPixmap(rng, c.w, c.h, c.format);
    Ref<TPixmap> want = ReferenceScale(src, c.nw, c.nh);
    // Every vector path this processor has gives the formula's bytes.
    LimitSimdLevel(kSimdSse2);
    Ref<TPixmap> sse2 = ScalePixmap(src, c.nw, c.nh);
    LimitSimdLevel(kSimdAvx2);
    Ref<TPixmap> got = ScalePixmap(src, c.nw, c.nh);
    for (int32_t y = 0; y < c.nh; ++y)
      ASSERT_EQ(
          0, std::memcmp(sse2->PixelPtr(0, y), want->PixelPtr(0, y), c.nw * FormatBytes[c.format]))
          << "SSE2 " << c.w << "x" << c.h << " -> " << c.nw << "x" << c.nh << " row " << y;
    ASSERT_EQ(got->format, c.format);
    ASSERT_EQ(got->width, c.nw);
    ASSERT_EQ(got->height, c.nh);
    for (int32_t y = 0; y < c.nh; ++y)
      ASSERT_EQ(
          0, std::memcmp(got->PixelPtr(0, y), want->PixelPtr(0, y), c.nw * FormatBytes[c.format]))
          << c.w << "x" << c.h << " -> " << c.nw << "x" << c.nh << " row " << y;
    if (c.w == c.nw && c.h == c.nh) {  // the same size gives the same pixels
      for (int32_t y = 0; y < c.h; ++y)
        EXPECT_EQ(
            0, std::memcmp(got->PixelPtr(0, y), src->PixelPtr(0, y), c.w * FormatBytes[c.format]));
    }
    if (c.w == 1 && c.h == 1) {  // one pixel is replicated
      for (int32_t y = 0; y < c.nh; ++y)
        for (int32_t x = 0; x < c.nw; ++x)
          EXPECT_EQ(got->ReadPixel(x, y), src->ReadPixel(0, 0));
    }
  }
  EXPECT_EQ(ScalePixmap(NewPixmap(4, 4, FORMAT_RGBA32, 4), 0, 3)->width, 0);
}

}  // namespace
}  // namespace vxl
