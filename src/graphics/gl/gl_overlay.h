// Drawing over whatever is on screen without disturbing the caller's GL state: rectangles, text
// in the built-in 8x16 font ("gldrawtextfont.bin") and pixmaps, in pixels of the viewport with y
// downwards. Independent of Kor2D; each function does nothing without a current context.
//
//   BeginGLOverlay();            // or let each function do it: they all switch it on and off
//   GLOverlayText("FPS 60", 4, 4);
//   EndGLOverlay();
#pragma once

#include <cstdint>

#include "pixmap/pixmap.h"
#include "runtime/string.h"

namespace vxl {

// Saves the enable, texture and transform state, the viewport and both matrices, and sets up
// pixel coordinates over the viewport with culling, alpha and depth tests off.
void BeginGLOverlay();
// Restores what BeginGLOverlay saved.
void EndGLOverlay();
// A rectangle in the current colour.
void GLOverlayRect(int32_t x, int32_t y, int32_t width, int32_t height);
// Text in the 8x16 font with the current colour and blending; characters outside 32..127 are
// not drawn but still advance 8 pixels.
void GLOverlayText(const String& text, int32_t x, int32_t y);
// The pixmap copied at (x, y).
void GLOverlayPixmap(const Ref<TPixmap>& pixmap, int32_t x, int32_t y);

}  // namespace vxl
