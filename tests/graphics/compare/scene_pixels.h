// Scene frames as plain 0xRRGGBB values, the differences between two of them, and PNG files of
// both and their difference for a person to look at.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pixmap/pixmap.h"

namespace vxl::test {

struct ScenePixels {
  int width = 0, height = 0;
  std::vector<uint32_t> rgb;  // rows from the top
  uint32_t At(int x, int y) const { return rgb[static_cast<size_t>(y) * width + x]; }
};

// The colour channels of every pixel (a grabbed pixmap's format and alpha play no part).
ScenePixels PixelsOf(const Ref<TPixmap>& pixmap);

struct SceneDifference {
  int pixels = 0;         // pixels whose colour differs
  int x = -1, y = -1;     // the first of them, in reading order
  uint32_t a = 0, b = 0;  // its two colours
};
SceneDifference Compare(const ScenePixels& a, const ScenePixels& b);

// The largest difference of one colour channel between the two (0 when they are the same).
int LargestChannelStep(const ScenePixels& a, const ScenePixels& b);

// Number of distinct colours (a scene that drew nothing has one).
int DistinctColours(const ScenePixels& p);

// Writes <dir>/<name>-<aName>.png, <name>-<bName>.png and <name>-diff.png (differing pixels white
// on black); false when a file could not be written.
bool WriteDifference(const std::string& dir, const std::string& name, const ScenePixels& a,
                     const char* aName, const ScenePixels& b, const char* bName);

}  // namespace vxl::test
