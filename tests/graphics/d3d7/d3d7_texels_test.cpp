// The software texel work of the Direct3D 7 image frames, checked against plain per-channel
// arithmetic written independently of the packed-word code under test.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include <unistd.h>

#include "graphics/d3d7/d3d7_mode_choice.h"
#include "graphics/d3d7/d3d7_texels.h"
#include "graphics/d3d7/dx_error.h"

namespace vxl {
namespace {

uint32_t Channel(uint32_t pixel, int c) {
  return (pixel >> (8 * c)) & 0xFF;
}

// The average of each channel pair, rounded down, built channel by channel.
uint32_t AverageOracle(uint32_t a, uint32_t b) {
  uint32_t out = 0;
  for (int c = 0; c < 4; ++c)
    out |= ((Channel(a, c) + Channel(b, c)) / 2) << (8 * c);
  return out;
}

TEST(D3D7Texels, MixIsThePerChannelAverage) {
  const uint32_t fixed[][2] = {{0, 0},
                               {0xFFFFFFFF, 0xFFFFFFFF},
                               {0x08080808, 0x08080808},
                               {0xFF000001, 0x01000000},
                               {0x80FF7F01, 0x7F0180FF},
                               {0x01010101, 0}};
  for (const auto& p : fixed)
    EXPECT_EQ(MixTexels(p[0], p[1]), AverageOracle(p[0], p[1])) << std::hex << p[0] << " " << p[1];
  std::mt19937 rng(7);
  for (int i = 0; i < 20000; ++i) {
    const uint32_t a = rng(), b = rng();
    ASSERT_EQ(MixTexels(a, b), AverageOracle(a, b)) << std::hex << a << " " << b;
    ASSERT_EQ(MixTexels(a, a), a);
  }
}

struct Level {
  std::vector<uint32_t> pixels;
  TexelLevel view;
  Level(int32_t w, int32_t h, int32_t pitch) : pixels(static_cast<size_t>(pitch) * h) {
    view = {pixels.data(), w, h, pitch};
  }
  uint32_t At(int32_t x, int32_t y) const {
    return pixels[static_cast<size_t>(y) * view.pitch + x];
  }
};

// A 100 x 50 image in a 128 x 64 texture: without mip-maps only column 100 and row 50 repeat the
// edge; with them every column from 100 and every row from 50 does. The padding beyond the pitch
// is never touched.
TEST(D3D7Texels, SmearedEdges) {
  for (bool all : {false, true}) {
    Level t(128, 64, 130);
    for (size_t i = 0; i < t.pixels.size(); ++i)
      t.pixels[i] = 0xDEAD0000u + static_cast<uint32_t>(i);
    const std::vector<uint32_t> before = t.pixels;
    SmearTexelEdges(t.view, 100, 50, all);
    for (int32_t y = 0; y < 64; ++y) {
      for (int32_t x = 0; x < 130; ++x) {
        const auto orig = [&](int32_t ox, int32_t oy) {
          return before[static_cast<size_t>(oy) * 130 + ox];
        };
        const int32_t lastX = all ? 127 : 100, lastY = all ? 63 : 50;
        uint32_t expected = orig(x, y);
        if (x < 128) {
          const int32_t sx = (x >= 100 && x <= lastX) ? 99 : x;
          if (y < 50) {
            expected = orig(sx, y);
          } else if (y <= lastY) {
            // the copied row is row 49 after its columns were smeared
            expected = orig(sx, 49);
          }
        }
        ASSERT_EQ(t.At(x, y), expected) << "all=" << all << " at " << x << "," << y;
      }
    }
  }
}

TEST(D3D7Texels, HalvingAveragesTwoByTwoBlocksWithClampedReads) {
  struct Case {
    int32_t w, h, sw, sh;
  } cases[] = {{8, 8, 4, 4}, {8, 2, 4, 1}, {1, 4, 1, 2}, {5, 3, 3, 2}, {2, 1, 1, 1}};
  std::mt19937 rng(11);
  for (const Case& c : cases) {
    Level big(c.w, c.h, c.w + 3), small(c.sw, c.sh, c.sw);
    for (uint32_t& p : big.pixels)
      p = rng();
    HalveTexelLevel(big.view, small.view);
    for (int32_t y = 0; y < c.sh; ++y) {
      for (int32_t x = 0; x < c.sw; ++x) {
        const auto p = [&](int32_t px, int32_t py) {
          return big.At(px < c.w ? px : c.w - 1, py < c.h ? py : c.h - 1);
        };
        uint32_t expected = 0;
        for (int ch = 0; ch < 4; ++ch) {
          const uint32_t top =
              (Channel(p(2 * x, 2 * y), ch) + Channel(p(2 * x + 1, 2 * y), ch)) / 2;
          const uint32_t bottom =
              (Channel(p(2 * x, 2 * y + 1), ch) + Channel(p(2 * x + 1, 2 * y + 1), ch)) / 2;
          expected |= ((top + bottom) / 2) << (8 * ch);
        }
        ASSERT_EQ(small.At(x, y), expected) << c.w << "x" << c.h << " at " << x << "," << y;
      }
    }
  }
}

TEST(D3D7Texels, ResultNames) {
  const struct {
    uint32_t code;
    const char* name;
  } cases[] = {{0, "OK"},
               {0x88760234u, "PRIMARYSURFACEALREADYEXISTS"},
               {0x8876024Bu, "WRONGMODE"},
               {0x887600E1u, "NOEXCLUSIVEMODE"},
               {0x88760245u, "EXCLUSIVEMODEALREADYSET"},
               {0x8876024Eu, "UNSUPPORTEDMODE"},
               {0x887601C2u, "SURFACELOST"},
               {0x88760001u, "UNKNOWN:-2005532671 1"},
               {0x80004005u, "UNKNOWN:-2147467259 16389"},
               {1, "UNKNOWN:1 1"},
               {0x7FFFFFFFu, "UNKNOWN:2147483647 65535"}};
  for (const auto& c : cases)
    EXPECT_EQ(DXErrorName(static_cast<int32_t>(c.code)).ToCString(), c.name);
}

TEST(D3D7TexelsDeathTest, CheckDXEndsTheProgramWithItsLine) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  CheckDX(0, "DXERROR");  // success and positive results return
  CheckDX(1, "DXERROR");
  // Standard output goes to the captured standard error in the child.
  EXPECT_EXIT(
      {
        std::fflush(stdout);
        dup2(2, 1);
        CheckDX(static_cast<int32_t>(0x8876024Bu), "DXERROR");
      },
      testing::ExitedWithCode(0), "^DXERROR err=WRONGMODE\n$");
}

TEST(D3D7Texels, ModeChoice) {
  auto modes = Array<Ref<TGraphicsMode>>::New(7);
  modes[0] = TGraphicsMode::Create(800, 600, 32, 60);
  modes[1] = TGraphicsMode::Create(800, 600, 32, 85);
  modes[2] = TGraphicsMode::Create(800, 600, 32, 65);  // as close to 75 as 85, but later
  modes[3] = TGraphicsMode::Create(1024, 768, 24, 70);
  modes[4] = TGraphicsMode::Create(640, 480, 16, 60);
  modes[5] = TGraphicsMode::Create(1024, 768, 16, 60);
  modes[6] = TGraphicsMode::Create(320, 200, 32, 40000);
  const struct {
    int32_t w, h, depth, hertz;
    int expected;  // index, -1 for none
  } cases[] = {
      {800, 600, 32, 75, 1},     {800, 600, 32, 60, 0},    {800, 600, 32, 0, 0},
      {800, 600, 16, 86, 1},     {1024, 768, 32, 60, 3},   {1024, 768, 24, 60, 3},
      {1024, 768, 16, 60, 5},    {640, 480, 8, 60, 4},     {640, 480, 32, 32826, 4},
      {640, 480, 32, 32827, -1}, {320, 200, 32, 40000, 6}, {320, 200, 32, 0, -1},
      {800, 601, 32, 60, -1},
  };
  for (const auto& c : cases) {
    const TGraphicsMode* m = ChooseDisplayMode(modes, c.w, c.h, c.depth, c.hertz);
    const TGraphicsMode* expected = c.expected < 0 ? nullptr : modes[c.expected].Get();
    EXPECT_EQ(m, expected) << c.w << "x" << c.h << "x" << c.depth << " " << c.hertz;
  }
}

}  // namespace
}  // namespace vxl
