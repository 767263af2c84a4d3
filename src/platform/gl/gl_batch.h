// Quads collected into one draw call.
//
// Drawing code queues quads with the colour they are drawn in; they reach GL together, as
// client-side vertex arrays, when the batch is flushed. Whatever changes GL state that the quads
// depend on (texture, blend, scissor, matrices), reads or clears the buffer, presents it or
// switches the context flushes first, so the picture equals drawing each quad at once.
//
//   SetQuadColor(rgba);                // with glColor: the colour of the quads queued next
//   FlushQuads();                      // before glBindTexture, glBlendFunc, ...
//   QueueQuad(xy, uv);                 // four corners, in order
#pragma once

#include <cstdint>

namespace vxl::platform::gl {

// The colour of the quads queued from now on (red, green, blue, alpha); quads of another colour
// are flushed first. Set it together with glColor (before it).
void SetQuadColor(const uint8_t rgba[4]);
// Adds one quad: xy and uv hold the four corners (x, y and u, v pairs).
void QueueQuad(const float xy[8], const float uv[8]);
// Draws the queued quads in their colour with the current GL state. Nothing when the batch is
// empty.
void FlushQuads();
// The number of quads waiting (for tests).
int QueuedQuads();

}  // namespace vxl::platform::gl
