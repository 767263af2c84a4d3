#include "graphics/d3d7/d3d7_texels.h"

#include <algorithm>

namespace vxl {

namespace {

uint32_t* Row(const TexelLevel& level, int32_t y) {
  return level.pixels + static_cast<int64_t>(y) * level.pitch;
}

bool Usable(const TexelLevel& level) {
  return level.pixels && level.width > 0 && level.height > 0 && level.pitch >= level.width;
}

}  // namespace

uint32_t MixTexels(uint32_t a, uint32_t b) {
  // Halves of each byte, plus the carry that the two dropped low bits make together.
  return ((a >> 1) & 0x7F7F7F7Fu) + ((b >> 1) & 0x7F7F7F7Fu) + (a & b & 0x01010101u);
}

void SmearTexelEdges(const TexelLevel& level, int32_t imageWidth, int32_t imageHeight,
                     bool allRemaining) {
  if (!Usable(level)) return;
  if (imageWidth < 1 || imageWidth > level.width || imageHeight < 1 || imageHeight > level.height)
    return;
  if (level.width > imageWidth) {
    const int32_t end = allRemaining ? level.width : imageWidth + 1;
    for (int32_t y = 0; y < imageHeight; ++y) {
      uint32_t* row = Row(level, y);
      std::fill(row + imageWidth, row + end, row[imageWidth - 1]);
    }
  }
  if (level.height > imageHeight) {
    const int32_t end = allRemaining ? level.height : imageHeight + 1;
    const uint32_t* last = Row(level, imageHeight - 1);
    for (int32_t y = imageHeight; y < end; ++y)
      std::copy(last, last + level.width, Row(level, y));
  }
}

void HalveTexelLevel(const TexelLevel& larger, const TexelLevel& smaller) {
  if (!Usable(larger) || !Usable(smaller)) return;
  const int32_t maxX = larger.width - 1, maxY = larger.height - 1;
  for (int32_t y = 0; y < smaller.height; ++y) {
    const uint32_t* top = Row(larger, std::min(2 * y, maxY));
    const uint32_t* bottom = Row(larger, std::min(2 * y + 1, maxY));
    uint32_t* out = Row(smaller, y);
    for (int32_t x = 0; x < smaller.width; ++x) {
      const int32_t x0 = std::min(2 * x, maxX), x1 = std::min(2 * x + 1, maxX);
      out[x] = MixTexels(MixTexels(top[x0], top[x1]), MixTexels(bottom[x0], bottom[x1]));
    }
  }
}

}  // namespace vxl
