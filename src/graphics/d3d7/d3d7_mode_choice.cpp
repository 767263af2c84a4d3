#include "graphics/d3d7/d3d7_mode_choice.h"

#include <cstdlib>

namespace vxl {

namespace {

constexpr int64_t kNoMatch = 32767;

const TGraphicsMode* Closest(const Array<Ref<TGraphicsMode>>& modes, int32_t width, int32_t height,
                             int32_t depth, int32_t hertz) {
  const TGraphicsMode* best = nullptr;
  int64_t bestDistance = kNoMatch;
  for (int32_t i = 0; i < modes.Length(); ++i) {
    const TGraphicsMode* m = modes[i].Get();
    if (!m || m->width != width || m->height != height || m->depth != depth) continue;
    const int64_t distance = std::llabs(int64_t{m->hertz} - hertz);
    if (distance < bestDistance) {
      best = m;
      bestDistance = distance;
    }
  }
  return best;
}

}  // namespace

const TGraphicsMode* ChooseDisplayMode(const Array<Ref<TGraphicsMode>>& modes, int32_t width,
                                       int32_t height, int32_t depth, int32_t hertz) {
  for (int32_t d : {depth, 32, 24, 16}) {
    if (const TGraphicsMode* m = Closest(modes, width, height, d, hertz)) return m;
  }
  return nullptr;
}

}  // namespace vxl
