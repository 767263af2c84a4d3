#include "graphics/compare/scene_pixels.h"

#include <algorithm>
#include <cstdlib>
#include <set>

#include "pixmap/loaders/png_loader.h"
#include "pixmap/pixel_format.h"

namespace vxl::test {

ScenePixels PixelsOf(const Ref<TPixmap>& pixmap) {
  ScenePixels p;
  if (!pixmap) return p;
  Ref<TPixmap> rgba = pixmap->Convert(FORMAT_RGBA32);
  p.width = rgba->width;
  p.height = rgba->height;
  p.rgb.resize(static_cast<size_t>(p.width) * p.height);
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x)
      p.rgb[static_cast<size_t>(y) * p.width + x] = rgba->ReadPixel(x, y) & 0xFFFFFF;
  return p;
}

SceneDifference Compare(const ScenePixels& a, const ScenePixels& b) {
  SceneDifference d;
  if (a.width != b.width || a.height != b.height) {
    d.pixels = std::max(a.width * a.height, b.width * b.height);
    return d;
  }
  for (int y = 0; y < a.height; ++y) {
    for (int x = 0; x < a.width; ++x) {
      if (a.At(x, y) == b.At(x, y)) continue;
      if (d.pixels++ == 0) d = {1, x, y, a.At(x, y), b.At(x, y)};
    }
  }
  return d;
}

int LargestChannelStep(const ScenePixels& a, const ScenePixels& b) {
  if (a.width != b.width || a.height != b.height) return 255;
  int largest = 0;
  for (size_t i = 0; i < a.rgb.size(); ++i) {
    for (int shift : {16, 8, 0}) {
      int step = std::abs(int(a.rgb[i] >> shift & 0xFF) - int(b.rgb[i] >> shift & 0xFF));
      largest = std::max(largest, step);
    }
  }
  return largest;
}

int DistinctColours(const ScenePixels& p) {
  return static_cast<int>(std::set<uint32_t>(p.rgb.begin(), p.rgb.end()).size());
}

namespace {

Ref<TPixmap> PixmapOf(const ScenePixels& p) {
  Ref<TPixmap> out = TPixmap::Create(p.width, p.height, FORMAT_RGBA32, 4);
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x)
      out->WritePixel(x, y, 0xFF000000u | p.At(x, y));
  return out;
}

}  // namespace

bool WriteDifference(const std::string& dir, const std::string& name, const ScenePixels& a,
                     const char* aName, const ScenePixels& b, const char* bName) {
  if (a.width != b.width || a.height != b.height) return false;
  ScenePixels diff = a;
  for (size_t i = 0; i < diff.rgb.size(); ++i)
    diff.rgb[i] = a.rgb[i] == b.rgb[i] ? 0 : 0xFFFFFF;
  std::string base = dir + "/" + name + "-";
  return SaveAsPng(PixmapOf(a), String((base + aName + ".png").c_str()), 6) &&
         SaveAsPng(PixmapOf(b), String((base + bName + ".png").c_str()), 6) &&
         SaveAsPng(PixmapOf(diff), String((base + "diff.png").c_str()), 6);
}

}  // namespace vxl::test
