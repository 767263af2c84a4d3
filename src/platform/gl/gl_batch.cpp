#include "platform/gl/gl_batch.h"

#include <cstring>

#include "platform/gl/gl_api.h"

namespace vxl::platform::gl {
namespace {

constexpr int kMaxQuads = 4096;

struct Batch {
  float xy[kMaxQuads * 8];
  float uv[kMaxQuads * 8];
  uint8_t rgba[kMaxQuads * 16];
  int quads = 0;
  uint8_t color[4] = {};
};

Batch& B() {
  static auto* batch = new Batch;
  return *batch;
}

}  // namespace

void SetQuadColor(const uint8_t rgba[4]) {
  std::memcpy(B().color, rgba, 4);
}

int QueuedQuads() {
  return B().quads;
}

void QueueQuad(const float xy[8], const float uv[8]) {
  Batch& b = B();
  if (b.quads == kMaxQuads) FlushQuads();
  std::memcpy(b.xy + b.quads * 8, xy, 8 * sizeof(float));
  std::memcpy(b.uv + b.quads * 8, uv, 8 * sizeof(float));
  uint8_t* c = b.rgba + b.quads * 16;
  for (int i = 0; i < 4; ++i)
    std::memcpy(c + i * 4, b.color, 4);
  ++b.quads;
}

void FlushQuads() {
  Batch& b = B();
  if (b.quads == 0) return;
  const Api& g = GL();
  g.EnableClientState(GL_VERTEX_ARRAY);
  g.EnableClientState(GL_TEXTURE_COORD_ARRAY);
  g.EnableClientState(GL_COLOR_ARRAY);
  g.VertexPointer(2, GL_FLOAT, 0, b.xy);
  g.TexCoordPointer(2, GL_FLOAT, 0, b.uv);
  g.ColorPointer(4, GL_UNSIGNED_BYTE, 0, b.rgba);
  g.DrawArrays(GL_QUADS, 0, b.quads * 4);
  g.DisableClientState(GL_COLOR_ARRAY);
  g.DisableClientState(GL_TEXTURE_COORD_ARRAY);
  g.DisableClientState(GL_VERTEX_ARRAY);
  g.Color4ubv(b.color);
  b.quads = 0;
}

}  // namespace vxl::platform::gl
