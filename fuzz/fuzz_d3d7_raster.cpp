// Random primitives and states through the software rasteriser: whatever the vertices (NaN,
// infinite, huge, degenerate) and states, nothing is written outside the target surface, and the
// texture is never written.
// Input: a header (target width and height, texture width and height, state bits), then
// primitives of 1 + 3 * 24 bytes: a kind byte (triangle, point, line, span quad from the
// vertices' fields), then three vertices of six 4-byte fields
// (x, y, z, u, v as float bits or small scaled integers, and the diffuse colour).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/d3d7/raster.h"

namespace {

using namespace vxl::platform::d3d7;

constexpr uint32_t kCanary = 0xA5C3E1F0;
constexpr int kMargin = 2;

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

struct Reader {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  uint8_t Byte() { return at < size ? data[at++] : 0; }
  uint32_t Word() {
    uint32_t w = 0;
    for (int i = 0; i < 4; ++i) w = w << 8 | Byte();
    return w;
  }
  // Half the time raw float bits, else a coordinate near the surface in 1/16 pixel.
  float Coord() {
    uint32_t w = Word();
    if (w & 1) {
      float f;
      std::memcpy(&f, &w, sizeof f);
      return f;
    }
    return static_cast<float>(static_cast<int16_t>(w >> 16)) / 16.0f;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader in{data, size};
  int w = in.Byte() % 80, h = in.Byte() % 80;
  int tw = in.Byte() % 9, th = in.Byte() % 9;
  uint8_t bits = in.Byte();
  int pitch = w + 2 * kMargin;
  std::vector<uint32_t> buffer(static_cast<size_t>(pitch) * (h + 2 * kMargin), kCanary);
  RasterSurface target{buffer.data() + kMargin * pitch + kMargin, w, h, pitch};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) target.pixels[y * pitch + x] = 0;
  std::vector<uint32_t> texels(static_cast<size_t>(tw) * th + 1);
  for (size_t i = 0; i < texels.size(); ++i) texels[i] = static_cast<uint32_t>(i * 0x9E3779B9u);
  const std::vector<uint32_t> original = texels;
  RasterSurface texture{texels.data(), tw, th, tw};
  RasterState state;
  state.texture = (bits & 1) ? &texture : nullptr;
  state.filter = (bits & 2) ? RasterFilter::kBilinear : RasterFilter::kPoint;
  state.modulate = bits & 4;
  state.alphaTest = bits & 8;
  state.blend = static_cast<RasterBlend>((bits >> 4) & 3);
  state.clipPlaneMask = in.Byte() & 0x3F;
  for (auto& plane : state.planes) plane = {in.Coord(), in.Coord(), in.Coord(), in.Coord()};
  while (in.at < in.size) {
    uint8_t kind = in.Byte();
    RasterVertex v[3];
    for (auto& p : v) p = {in.Coord(), in.Coord(), in.Coord(), in.Word(), in.Coord(), in.Coord()};
    switch (kind % 4) {
      case 0: DrawTriangle(target, state, v); break;
      case 1: DrawPoint(target, state, v[0]); break;
      case 2: DrawLine(target, state, v[0], v[1]); break;
      default: {
        auto i = [](float f) { return f >= -1e4f && f <= 1e4f ? static_cast<int32_t>(f) : 0; };
        DrawSpanQuad(target, state, i(v[0].x), i(v[0].y), i(v[1].x), i(v[1].y), i(v[2].x),
                     i(v[2].y), v[0].diffuse);
        break;
      }
    }
  }
  for (int y = 0; y < h + 2 * kMargin; ++y)
    for (int x = 0; x < pitch; ++x) {
      bool inside = y >= kMargin && y < kMargin + h && x >= kMargin && x < kMargin + w;
      if (!inside) Check(buffer[static_cast<size_t>(y) * pitch + x] == kCanary);
    }
  Check(texels == original);
  return 0;
}
