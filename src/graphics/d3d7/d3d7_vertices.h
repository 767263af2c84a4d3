// The vertex lists the Direct3D 7 Kor2D driver sends: primitives in pixel coordinates (y
// downwards), mapped by the drawing transform and moved by the translation, z 0.
//
//   D3D7Mapping m{ix, iy, jx, jy};
//   D3D7Vertex quad[4];
//   RectVertices(m, 0, 0, 10, 10, 100, 50, drawcolor, quad);   // a triangle strip
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/array.h"

namespace vxl {

// Position and diffuse colour (0xAARRGGBB): the untextured vertex format.
struct D3D7Vertex {
  float x = 0, y = 0, z = 0;
  uint32_t color = 0;
};
// The same with one pair of texture coordinates.
struct D3D7TexVertex {
  float x = 0, y = 0, z = 0;
  uint32_t color = 0;
  float u = 0, v = 0;
};

// A local point (x, y) maps to (x ix + y iy + tx, x jx + y jy + ty).
struct D3D7Mapping {
  float ix = 1, iy = 0, jx = 0, jy = 1;
};

// The offset that puts points and width-1 lines on the pixel centres the projection makes.
constexpr float kD3D7PixelOffset = 0.5001f;

// One point at (x + offset, y + offset), unmapped.
D3D7Vertex PlotVertex(float x, float y, uint32_t color);

// Width 1: the two mapped end points, each coordinate plus the pixel offset (a line list), and
// 2 is returned. Any other width: four vertices of a triangle strip, the mapped end points moved
// by half the width across the line (along x when the line is more vertical than horizontal,
// else along y), and 4 is returned.
int LineVertices(const D3D7Mapping& m, float width, float x0, float y0, float x1, float y1,
                 float tx, float ty, uint32_t color, D3D7Vertex out[4]);

// The strip (x0, y0), (x1, y0), (x0, y1), (x1, y1), mapped.
void RectVertices(const D3D7Mapping& m, float x0, float y0, float x1, float y1, float tx, float ty,
                  uint32_t color, D3D7Vertex out[4]);

// A fan of OvalSegmentCount points around the box's centre, point i at -360 i / n degrees;
// empty when the box is not finite.
std::vector<D3D7Vertex> OvalVertices(const D3D7Mapping& m, float x0, float y0, float x1, float y1,
                                     float tx, float ty, uint32_t color);

// A fan of the points (x + hx, y + hy) of the pairs in xy, mapped; empty for fewer than three
// points or an odd count of values.
std::vector<D3D7Vertex> PolyVertices(const D3D7Mapping& m, const Array<float>& xy, float hx,
                                     float hy, float tx, float ty, uint32_t color);

// Positions and colour of a frame's fan (x0, y0), (x1, y0), (x1, y1), (x0, y1), mapped; the
// texture coordinates are left as they are.
void FrameVertices(const D3D7Mapping& m, float x0, float y0, float x1, float y1, float tx, float ty,
                   uint32_t color, D3D7TexVertex v[4]);

}  // namespace vxl
