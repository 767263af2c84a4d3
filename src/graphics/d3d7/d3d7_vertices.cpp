#include "graphics/d3d7/d3d7_vertices.h"

#include <cmath>

#include "graphics/kor2d/degrees.h"

namespace vxl {

namespace {

void Map(const D3D7Mapping& m, float x, float y, float tx, float ty, float& ox, float& oy) {
  ox = x * m.ix + y * m.iy + tx;
  oy = x * m.jx + y * m.jy + ty;
}

D3D7Vertex Mapped(const D3D7Mapping& m, float x, float y, float tx, float ty, uint32_t color) {
  D3D7Vertex v;
  Map(m, x, y, tx, ty, v.x, v.y);
  v.color = color;
  return v;
}

}  // namespace

D3D7Vertex PlotVertex(float x, float y, uint32_t color) {
  D3D7Vertex v;
  v.x = x + kD3D7PixelOffset;
  v.y = y + kD3D7PixelOffset;
  v.color = color;
  return v;
}

int LineVertices(const D3D7Mapping& m, float width, float x0, float y0, float x1, float y1,
                 float tx, float ty, uint32_t color, D3D7Vertex out[4]) {
  const D3D7Vertex a = Mapped(m, x0, y0, tx, ty, color);
  const D3D7Vertex b = Mapped(m, x1, y1, tx, ty, color);
  if (width == 1.0f) {
    out[0] = a;
    out[1] = b;
    for (int i = 0; i < 2; ++i) {
      out[i].x += kD3D7PixelOffset;
      out[i].y += kD3D7PixelOffset;
    }
    return 2;
  }
  const float h = width * 0.5f;
  const bool steep = std::fabs(b.x - a.x) < std::fabs(b.y - a.y);
  const float dx = steep ? h : 0.0f, dy = steep ? 0.0f : h;
  out[0] = a;
  out[1] = a;
  out[2] = b;
  out[3] = b;
  out[0].x -= dx;
  out[0].y -= dy;
  out[1].x += dx;
  out[1].y += dy;
  out[2].x -= dx;
  out[2].y -= dy;
  out[3].x += dx;
  out[3].y += dy;
  return 4;
}

void RectVertices(const D3D7Mapping& m, float x0, float y0, float x1, float y1, float tx, float ty,
                  uint32_t color, D3D7Vertex out[4]) {
  out[0] = Mapped(m, x0, y0, tx, ty, color);
  out[1] = Mapped(m, x1, y0, tx, ty, color);
  out[2] = Mapped(m, x0, y1, tx, ty, color);
  out[3] = Mapped(m, x1, y1, tx, ty, color);
}

std::vector<D3D7Vertex> OvalVertices(const D3D7Mapping& m, float x0, float y0, float x1, float y1,
                                     float tx, float ty, uint32_t color) {
  const float rx = (x1 - x0) * 0.5f, ry = (y1 - y0) * 0.5f;
  const float cx = x0 + rx, cy = y0 + ry;
  const int n = OvalSegmentCount(rx, ry);
  std::vector<D3D7Vertex> out;
  out.reserve(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    double sine = 0, cosine = 0;
    SinCosDegrees(-360.0 * i / n, sine, cosine);
    out.push_back(Mapped(m, cx + rx * static_cast<float>(cosine),
                         cy - ry * static_cast<float>(sine), tx, ty, color));
  }
  return out;
}

std::vector<D3D7Vertex> PolyVertices(const D3D7Mapping& m, const Array<float>& xy, float hx,
                                     float hy, float tx, float ty, uint32_t color) {
  std::vector<D3D7Vertex> out;
  const int32_t n = xy.Length();
  if (n < 6 || n % 2 != 0) return out;
  out.reserve(static_cast<size_t>(n / 2));
  for (int32_t i = 0; i < n; i += 2)
    out.push_back(Mapped(m, xy[i] + hx, xy[i + 1] + hy, tx, ty, color));
  return out;
}

void FrameVertices(const D3D7Mapping& m, float x0, float y0, float x1, float y1, float tx, float ty,
                   uint32_t color, D3D7TexVertex v[4]) {
  const float lx[4] = {x0, x1, x1, x0};
  const float ly[4] = {y0, y0, y1, y1};
  for (int i = 0; i < 4; ++i) {
    Map(m, lx[i], ly[i], tx, ty, v[i].x, v[i].y);
    v[i].z = 0;
    v[i].color = color;
  }
}

}  // namespace vxl
