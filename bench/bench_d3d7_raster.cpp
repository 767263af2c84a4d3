// The software rasteriser on bench_kor2d's sprite scene without a window: 800x600 X8R8G8B8,
// 10 000 alpha-blended 32x32 sprites per frame at xorshift positions, drawn by the span path
// and, side by side in the same run, as the two triangles each sprite stands for; and rotated,
// scaled sprites (angles, scales 0.5-2) through triangles. CPU time of this thread, medians.
#include <cmath>
#include <cstdint>
#include <vector>

#include "bench_util.h"
#include "platform/d3d7/raster.h"

namespace {

using namespace vxl::platform::d3d7;

constexpr int kWidth = 800, kHeight = 600, kSprites = 10000, kSize = 32, kFrames = 20;

}  // namespace

int main() {
  std::vector<uint32_t> frame(kWidth * kHeight, 0xFF000000u);
  std::vector<uint32_t> texels(kSize * kSize);
  for (int i = 0; i < kSize * kSize; ++i) {
    texels[i] = static_cast<uint32_t>(i * 2654435761u) | 0x40000000u;
  }
  RasterSurface target{frame.data(), kWidth, kHeight, kWidth};
  RasterSurface texture{texels.data(), kSize, kSize, kSize};
  RasterState state;
  state.texture = &texture;
  state.blend = RasterBlend::kAlpha;
  auto spans = [&] {
    vxl::bench::XorShift rng;
    for (int i = 0; i < kSprites; ++i) {
      int x = static_cast<int>(rng.Next() % (kWidth - kSize)), y = static_cast<int>(rng.Next() % (kHeight - kSize));
      DrawSpanQuad(target, state, x, y, kSize, kSize, 0, 0, 0xFFFFFFFF);
    }
  };
  auto quads = [&](bool rotated) {
    vxl::bench::XorShift rng;
    for (int i = 0; i < kSprites; ++i) {
      float cx = static_cast<float>(rng.Next() % kWidth), cy = static_cast<float>(rng.Next() % kHeight);
      float angle = rotated ? static_cast<float>(rng.Next() % 6283) / 1000.0f : 0.0f;
      float scale = rotated ? 0.5f + static_cast<float>(rng.Next() % 1500) / 1000.0f : 1.0f;
      float c = std::cos(angle) * scale * kSize / 2, s = std::sin(angle) * scale * kSize / 2;
      RasterVertex v[4] = {{cx - c + s, cy - s - c, 0, 0xFFFFFFFF, 0, 0},
                           {cx + c + s, cy + s - c, 0, 0xFFFFFFFF, 1, 0},
                           {cx + c - s, cy + s + c, 0, 0xFFFFFFFF, 1, 1},
                           {cx - c - s, cy - s + c, 0, 0xFFFFFFFF, 0, 1}};
      RasterVertex first[3] = {v[0], v[1], v[2]}, second[3] = {v[0], v[2], v[3]};
      DrawTriangle(target, state, first);
      DrawTriangle(target, state, second);
    }
  };
  spans();
  quads(false);
  auto [spanMs, triangleMs] =
      vxl::bench::MedianPairCpuMs(kFrames, spans, [&] { quads(false); });
  std::vector<double> rotated;
  for (int i = 0; i < kFrames / 2; ++i) rotated.push_back(vxl::bench::CpuMs([&] { quads(true); }));
  double rotatedMs = vxl::bench::Median(rotated);
  vxl::bench::Print("d3d7_raster_span_sprites_per_s", kSprites / (spanMs / 1000.0), "sprites/s");
  vxl::bench::Print("d3d7_raster_triangle_sprites_per_s", kSprites / (triangleMs / 1000.0),
                    "sprites/s");
  vxl::bench::Print("d3d7_raster_rotated_sprites_per_s", kSprites / (rotatedMs / 1000.0),
                    "sprites/s");
  vxl::bench::Print("d3d7_raster_span_vs_triangle_ratio", triangleMs / spanMs);
  return 0;
}
