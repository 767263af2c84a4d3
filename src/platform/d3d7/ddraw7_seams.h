// Seams of the software DirectDraw 7 for tests: a fixed list of display modes instead of
// SDL's, a forced loss of exclusive mode, and the pixels last presented into a window.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/d3d7/ddraw7.h"

namespace vxl::platform::d3d7 {

struct DisplayModeEntry {
  int32_t width, height, depth, hertz;
};

// EnumDisplayModes and SetDisplayMode use `modes` instead of SDL's list (and start nothing);
// nullptr goes back to SDL's list.
void UseDisplayModesForTesting(const std::vector<DisplayModeEntry>* modes);
// As if the exclusive-mode window had lost the focus: the display mode is given back, every
// surface of the holding DirectDraw object is lost and its TestCooperativeLevel gives
// DDERR_NOEXCLUSIVEMODE; DirectDraw objects of normal level see DDERR_WRONGMODE. Nothing
// without an object in exclusive mode.
void LoseExclusiveModeForTesting();
// As if the window had the focus again: the mode is taken again and TestCooperativeLevel gives
// DD_OK; the surfaces stay lost until restored.
void RegainExclusiveModeForTesting();
// The pixels (X8R8G8B8, rows of width) last presented into the window by Blt or Flip; false
// when nothing was presented there.
bool PresentedPixelsForTesting(WindowId window, std::vector<uint32_t>* pixels, int32_t* width,
                               int32_t* height);

}  // namespace vxl::platform::d3d7
