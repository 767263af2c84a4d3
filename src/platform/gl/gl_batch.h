// Quads collected into one draw call.
//
// Drawing code queues quads with the colour they are drawn in; they reach GL together, as
// client-side vertex arrays, when the batch is flushed. Whatever changes GL state that the quads
// depend on (texture, blend, scissor, matrices), reads or clears the buffer, presents it or
// switches the context flushes first, so the picture equals drawing each quad at once.
//
//   FlushQuads();                      // before glBindTexture, glBlendFunc, ...
//   QueueQuad(xy, uv, rgba);           // four corners, in order
#pragma once

#include <cstdint>

namespace vxl::platform::gl {

// Adds one quad: xy and uv hold the four corners (x, y and u, v pairs), rgba its colour.
void QueueQuad(const float xy[8], const float uv[8], const uint8_t rgba[4]);
// Draws the queued quads with the current GL state, then sets the current colour to the last
// queued one (the colour array leaves it undefined). Nothing when the batch is empty.
void FlushQuads();

}  // namespace vxl::platform::gl
