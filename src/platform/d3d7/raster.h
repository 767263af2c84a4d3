// The software rasteriser under the software DirectDraw / Direct3D device: triangles and points
// with vertex colour, one texture, alpha test, blending and user clip planes, drawn into 32-bit
// surfaces in memory. The result is the same bit for bit on every machine.
//
//   RasterSurface target{pixels, 640, 480, 640};   // X8R8G8B8, pitch in pixels
//   RasterState state;                             // opaque, untextured, no clip plane
//   RasterVertex v[3] = {{10, 10, 0, 0xFFFF0000, 0, 0}, ...};
//   DrawTriangle(target, state, v);
//
// Rasterisation rules
// - Pixel (px, py) has its centre at the integer screen coordinate (px, py); the caller's
//   projection shifts by half a pixel where it wants pixel corners at integers.
// - Clip planes are applied in single precision to the float vertices, before snapping. Besides
//   the six user planes, a fixed guard band |x|, |y| <= 2^20 keeps the integer arithmetic exact.
// - Vertices are snapped to 1/256 pixel: nearbyint(x * 256) (round half to even).
// - A triangle covers the pixel centres inside its three edge functions, evaluated exactly in
//   64-bit integers on the snapped vertices. A centre exactly on an edge is covered when the edge
//   is a bottom edge (horizontal, triangle above it) or a left edge (triangle to its right), so
//   triangles sharing an edge cover each pixel once. (This is the top-left rule of OpenGL's
//   upward y, as Mesa's llvmpipe applies it to a window's frame buffer.) Both windings draw;
//   degenerate triangles draw nothing.
// - A point covers the one pixel its snapped position rounds to (halves go towards +x and -y).
// - A width-1 line is drawn as Mesa's llvmpipe draws it: a parallelogram one pixel across its
//   minor axis (x-major when |dx| >= |dy|), filled by the triangle rule above. Each end is first
//   tested as llvmpipe tests it (the end pixel's diamond |x - px| + |y - py| < 1/2, the side the
//   line leaves it by); where the test wants the end pixel and the plain parallelogram would not
//   cover it, or the other way round, that end moves half a pixel along the line. So a line draws
//   about the pixels whose diamonds it leaves (the diamond-exit rule), and lines joined end to
//   start draw their shared point about once. An end exactly on a pixel centre is decided by the
//   smallest difference in its position. Clip planes cut the parallelogram like a triangle.
//   Colour and texture coordinates follow the line from end to end.
// - Attributes (colour channels, u, v) are planes a0 + dadx px + dady py over the pixel
//   position, set up in float from the unclipped triangle's vertices as llvmpipe sets them up:
//   with v0, v1, v2 in order (the first two swapped when they run anticlockwise on the screen),
//   ooa = 1 / (dx01 dy20 - dy01 dx20), dadx = da01 (dy20 ooa) - da20 (dy01 ooa),
//   dady = da20 (dx01 ooa) - da01 (dx20 ooa), a0 = a(v0) - (dadx x0 + dady y0), evaluated as
//   fma(dady, py, fma(dadx, px, a0)) (d..01 = v0 - v1, d..20 = v2 - v0). So a texture position
//   that falls exactly on a texel edge falls on the same side. Colour channels round to nearest
//   and clamp to 0..255. A line takes the planes of its parallelogram's first three corners.
// - Textures are A8R8G8B8. Texel centres are at +0.5: u maps to u * width - 0.5 in texel
//   coordinates. Point sampling takes the texel floor(u * width), clamped to the texture. Bilinear
//   sampling takes the position s = nearbyint(u * width * 256) - 128 in 1/256 texel: texels
//   s >> 8 and the next, each clamped to the texture, weighted by f = s & 255, first across then
//   down, each step rounded: lerp(a, b, f) = (a (256 - f) + b f + 128) >> 8 per channel.
//   Non-finite texture coordinates sample transparent black.
// - Modulate multiplies texel and diffuse per channel as round(a * b / 255).
// - The alpha test (when on) comes first: a fragment whose alpha is below 128 is dropped.
// - Blends per channel, with s the source, d the destination, a the source alpha and m the
//   product BlendMul255 (below; round(x y / 255) but for 24 pairs): opaque s; alpha
//   m(s, a) + m(d, 255 - a); additive min(255, d + m(s, a)); multiply m(s, d). The written
//   pixel's top byte is 0xFF.
// - Any NaN or infinite vertex coordinate (x, y or z) draws nothing.
// - Nothing is written outside the target surface, whatever the vertices.
// The translation unit is built with -ffp-contract=off so no multiply-add is fused.
#pragma once

#include <cstdint>

namespace vxl::platform::d3d7 {

// 32-bit pixels, row after row; pitch (in pixels, >= width) separates the rows. A surface with
// width or height <= 0, pitch < width or no pixels is empty: nothing is drawn into it, and as a
// texture it samples as transparent black.
struct RasterSurface {
  uint32_t* pixels = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  int32_t pitch = 0;
};

// A transformed vertex: screen position, depth (used by clip planes only), diffuse colour as
// 0xAARRGGBB and texture coordinates.
struct RasterVertex {
  float x = 0, y = 0, z = 0;
  uint32_t diffuse = 0xFFFFFFFF;
  float u = 0, v = 0;
};

enum class RasterBlend { kOpaque, kAlpha, kAdditive, kMultiply };
enum class RasterFilter { kPoint, kBilinear };

// Keeps the points where a x + b y + c z + d >= 0.
struct RasterClipPlane {
  float a = 0, b = 0, c = 0, d = 0;
};

constexpr int kRasterClipPlanes = 6;

struct RasterState {
  const RasterSurface* texture = nullptr;  // none: the diffuse colour alone
  RasterFilter filter = RasterFilter::kPoint;
  bool modulate = true;    // texel times diffuse; off: the texel alone
  bool alphaTest = false;  // drop fragments with alpha below 128
  RasterBlend blend = RasterBlend::kOpaque;
  uint32_t clipPlaneMask = 0;  // bit i enables planes[i]
  RasterClipPlane planes[kRasterClipPlanes];
};

// round(a * b / 255) for channels a, b in 0..255.
inline uint32_t MulDiv255(uint32_t a, uint32_t b) {
  return (a * b + 127) / 255;
}
// The product blends use: (p + (p >> 8) + 128) >> 8 with p = a * b, which is round(a * b / 255)
// but for 24 of the 65 536 pairs (152 * 229, for one), where it is one less.
inline uint32_t BlendMul255(uint32_t a, uint32_t b) {
  uint32_t p = a * b;
  return (p + (p >> 8) + 128) >> 8;
}

// Draws one triangle with the state's texture, blend, alpha test and clip planes. Each row's
// covered pixels come from the integer edge functions; their fragments are shaded in batches
// (point-sampled one-colour triangles four at a time with SSE2) and blended by BlendFragments.
void DrawTriangle(const RasterSurface& target, const RasterState& state,
                  const RasterVertex vertices[3]);
// Draws a width-1 line from `from` to `to` (see the rules above), clipped by the enabled planes.
void DrawLine(const RasterSurface& target, const RasterState& state, const RasterVertex& from,
              const RasterVertex& to);
// Draws the unscaled, axis-aligned textured quad that maps texel (tx + i, ty + j) onto pixel
// (x + i, y + j) for 0 <= i < w, 0 <= j < h, in one diffuse colour: the same pixels as the two
// triangles with corners (x - 0.5, y - 0.5) and (x + w - 0.5, y + h - 0.5) and texture
// coordinates tx / width .. (tx + w) / width (and so for v), drawn with DrawTriangle; without a
// texture, a filled rectangle. Rows are done four pixels at a time with SSE2 (one at a time
// without it); a bilinear state takes the two triangles. Clipped to the surface; clip planes do
// not apply (the caller takes this path only without them).
void DrawSpanQuad(const RasterSurface& target, const RasterState& state, int32_t x, int32_t y,
                  int32_t w, int32_t h, int32_t tx, int32_t ty, uint32_t diffuse);
// Whether DrawSpanQuad may take eight pixels at a time where the processor can (on at start);
// off keeps it to its four-pixel steps, so tests can hold both to the triangles.
void UseWideSpans(bool on);
// Draws the fan v[0], v[1], v[2], v[3] when it is an axis-aligned rectangle in one diffuse
// colour, untextured or point-sampled with one texel per pixel, and no clip plane is enabled: the
// very pixels of its two triangles (DrawTriangle), through DrawSpanQuad. Returns false, drawing
// nothing, when it cannot show that (the caller then draws the triangles).
bool DrawRectangleFan(const RasterSurface& target, const RasterState& state,
                      const RasterVertex v[4]);
// Draws one point: the pixel it rounds to, if every enabled clip plane keeps it.
void DrawPoint(const RasterSurface& target, const RasterState& state, const RasterVertex& vertex);

// The pieces of the pixel pipeline, for the device and for tests.
// The texel at (u, v) as 0xAARRGGBB.
uint32_t SampleTexture(const RasterSurface& texture, RasterFilter filter, float u, float v);
// The fragment colour before blending: texel and diffuse combined as the state says.
uint32_t ShadeFragment(const RasterState& state, uint32_t diffuse, float u, float v);
// src blended over dst by the given mode; the top byte of the result is 0xFF.
uint32_t BlendPixel(RasterBlend blend, uint32_t src, uint32_t dst);
// fragments[i] over dst[i] for i < count as a drawn pixel takes them: dropped by the state's
// alpha test, else BlendPixel with its blend. Four at a time with SSE2.
void BlendFragments(const RasterState& state, const uint32_t* fragments, uint32_t* dst,
                    int32_t count);

}  // namespace vxl::platform::d3d7
