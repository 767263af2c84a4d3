#include "platform/gl/gl_batch.h"

#include <cstring>

#include "platform/gl/gl_api.h"

namespace vxl::platform::gl {
namespace {

constexpr int kMaxQuads = 4096;

// Each quad goes to GL as two triangles with the same diagonal, whether it is drawn alone or
// with others (GL may split a lone quad and a run of quads along different diagonals, and the
// pixels along the diagonal then differ). The triangles index the quad's four corners, so GL
// transforms each corner once.
constexpr int kCorners[6] = {0, 1, 2, 0, 2, 3};

struct Batch {
  float xy[kMaxQuads * 8];
  float uv[kMaxQuads * 8];
  int quads = 0;
  uint8_t color[4] = {};
  GLushort indices[kMaxQuads * 6];

  Batch() {
    for (int q = 0; q < kMaxQuads; ++q) {
      for (int i = 0; i < 6; ++i)
        indices[q * 6 + i] = static_cast<GLushort>(q * 4 + kCorners[i]);
    }
  }
};

Batch& B() {
  static auto* batch = new Batch;
  return *batch;
}

}  // namespace

void SetQuadColor(const uint8_t rgba[4]) {
  Batch& b = B();
  if (std::memcmp(b.color, rgba, 4) == 0) return;
  FlushQuads();
  std::memcpy(b.color, rgba, 4);
}

int QueuedQuads() {
  return B().quads;
}

void QueueQuad(const float xy[8], const float uv[8]) {
  Batch& b = B();
  if (b.quads == kMaxQuads) FlushQuads();
  std::memcpy(b.xy + b.quads * 8, xy, 8 * sizeof(float));
  std::memcpy(b.uv + b.quads * 8, uv, 8 * sizeof(float));
  ++b.quads;
}

void FlushQuads() {
  Batch& b = B();
  if (b.quads == 0) return;
  const Api& g = GL();
  g.EnableClientState(GL_VERTEX_ARRAY);
  g.EnableClientState(GL_TEXTURE_COORD_ARRAY);
  g.Color4ubv(b.color);
  // White and opaque leaves texels as they are: GL may then draw them on a faster path.
  const bool plain = b.color[0] == 255 && b.color[1] == 255 && b.color[2] == 255 && b.color[3] == 255;
  if (plain) g.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
  g.VertexPointer(2, GL_FLOAT, 0, b.xy);
  g.TexCoordPointer(2, GL_FLOAT, 0, b.uv);
  g.DrawElements(GL_TRIANGLES, b.quads * 6, GL_UNSIGNED_SHORT, b.indices);
  g.DisableClientState(GL_TEXTURE_COORD_ARRAY);
  g.DisableClientState(GL_VERTEX_ARRAY);
  if (plain) g.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  b.quads = 0;
}

}  // namespace vxl::platform::gl
