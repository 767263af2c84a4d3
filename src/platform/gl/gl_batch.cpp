#include "platform/gl/gl_batch.h"

#include <cstring>

#include "platform/gl/gl_api.h"

namespace vxl::platform::gl {
namespace {

constexpr int kMaxQuads = 4096;

// Each quad goes to GL as two triangles with the same diagonal, whether it is drawn alone or
// with others (GL may split a lone quad and a run of quads along different diagonals, and the
// pixels along the diagonal then differ).
constexpr int kCorners[6] = {0, 1, 2, 0, 2, 3};

struct Batch {
  float xy[kMaxQuads * 12];
  float uv[kMaxQuads * 12];
  uint8_t rgba[kMaxQuads * 24];
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
  float* pxy = b.xy + b.quads * 12;
  float* puv = b.uv + b.quads * 12;
  uint8_t* c = b.rgba + b.quads * 24;
  for (int i = 0; i < 6; ++i) {
    const int k = kCorners[i];
    pxy[i * 2] = xy[k * 2];
    pxy[i * 2 + 1] = xy[k * 2 + 1];
    puv[i * 2] = uv[k * 2];
    puv[i * 2 + 1] = uv[k * 2 + 1];
    std::memcpy(c + i * 4, b.color, 4);
  }
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
  g.DrawArrays(GL_TRIANGLES, 0, b.quads * 6);
  g.DisableClientState(GL_COLOR_ARRAY);
  g.DisableClientState(GL_TEXTURE_COORD_ARRAY);
  g.DisableClientState(GL_VERTEX_ARRAY);
  g.Color4ubv(b.color);
  b.quads = 0;
}

}  // namespace vxl::platform::gl
