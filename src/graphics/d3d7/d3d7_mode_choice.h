// How the Direct3D 7 driver picks the display mode of a full-screen context.
//
//   const TGraphicsMode* m = ChooseDisplayMode(modes, 800, 600, 32, 75);  // nullptr: none
#pragma once

#include <cstdint>

#include "graphics/graphics.h"

namespace vxl {

// Among the modes of exactly width x height x depth, the one whose refresh rate is closest to
// hertz (the first of equals; a distance of 32767 or more never matches). When there is none,
// the same search at depth 32, then 24, then 16. nullptr when all of them find nothing.
const TGraphicsMode* ChooseDisplayMode(const Array<Ref<TGraphicsMode>>& modes, int32_t width,
                                       int32_t height, int32_t depth, int32_t hertz);

}  // namespace vxl
