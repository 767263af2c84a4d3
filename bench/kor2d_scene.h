// The sprite scene of the Kor2D benchmarks: 10 000 soft-edged 32x32 discs at xorshift
// positions, each with its own angle and scale, drawn into an 800x600 window on the X display
// (see bench_display.h).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "bench_util.h"

namespace vxl::bench {

constexpr int kWidth = 800, kHeight = 600;
constexpr int kSprites = 10000;
constexpr int kSize = 32;

struct Sprite {
  float x, y, angle, scale;
};

inline std::vector<Sprite> Scene() {
  XorShift rng;
  auto unit = [&] { return static_cast<float>(rng.Next() % 1000000) / 1000000.0f; };
  std::vector<Sprite> sprites(kSprites);
  for (Sprite& p : sprites)
    p = {unit() * kWidth, unit() * kHeight, unit() * 360.0f, 0.5f + unit() * 1.5f};
  return sprites;
}

// A white disc whose edge fades out over about two pixels, as straight RGBA bytes.
inline std::vector<uint8_t> DiscPixels() {
  std::vector<uint8_t> px(kSize * kSize * 4);
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      float dx = x + 0.5f - kSize / 2.0f, dy = y + 0.5f - kSize / 2.0f;
      float a = std::clamp((15.5f - std::sqrt(dx * dx + dy * dy)) / 2.0f, 0.0f, 1.0f);
      uint8_t* p = &px[(y * kSize + x) * 4];
      p[0] = 255;
      p[1] = static_cast<uint8_t>(160 + x * 3);
      p[2] = static_cast<uint8_t>(100 + y * 4);
      p[3] = static_cast<uint8_t>(a * 255.0f + 0.5f);
    }
  }
  return px;
}

}  // namespace vxl::bench
