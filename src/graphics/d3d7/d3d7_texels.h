// Texel work the Direct3D 7 image frames do in software on locked texture memory: the edge
// smearing that keeps filtering inside the image, and the box filter that builds each mip level
// from the one above it.
//
//   TexelLevel top{pixels, 128, 64, pitchInPixels};
//   SmearTexelEdges(top, 100, 50, mipmapped);
//   HalveTexelLevel(top, next);    // next: 64 x 32
#pragma once

#include <cstdint>

namespace vxl {

// 32-bit texels, row after row, pitch (in texels) apart.
struct TexelLevel {
  uint32_t* pixels = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  int32_t pitch = 0;
};

// The per-byte average of two texels, rounded down: each of the four channels on its own.
uint32_t MixTexels(uint32_t a, uint32_t b);

// With the image in the top-left imageWidth x imageHeight texels: when the level is wider, each
// image row's last texel is copied into the next column (into every remaining column when
// `allRemaining`); then, when it is taller, the last image row (the whole level width) is copied
// into the next row (every remaining row). Image sizes outside 1..level size change nothing.
void SmearTexelEdges(const TexelLevel& level, int32_t imageWidth, int32_t imageHeight,
                     bool allRemaining);

// Each texel (x, y) of `smaller` becomes MixTexels(MixTexels(p(2x, 2y), p(2x + 1, 2y)),
// MixTexels(p(2x, 2y + 1), p(2x + 1, 2y + 1))) of `larger`, every read clamped to the larger
// level.
void HalveTexelLevel(const TexelLevel& larger, const TexelLevel& smaller);

}  // namespace vxl
