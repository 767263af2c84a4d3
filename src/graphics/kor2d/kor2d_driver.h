// The 2D render driver interface of Kor2D: what a graphics driver adds to draw (image frames,
// blending, colour, transform, primitives, pixel copies), with the image flags and blend modes.
//
//   class TMyKor2DDriver : public TKor2DDriver {       // a render driver over a plain driver
//     Ref<TImageFrame> CreateFrameFromPixmap(const Ref<TPixmap>& p, int32_t flags) override;
//     void SetBlend(int32_t blend) override;
//     ...
//   };
//
// Drawing goes through the module functions of graphics/kor2d/kor2d.h, which keep the state and
// call the current render driver. Coordinates are pixels, y downwards. A local point (x, y) maps
// to (x * ix + y * iy + tx, x * jx + y * jy + ty) under the transform of SetTransform.
//
// Kor2D hands a driver only finite numbers: positions, sizes and the transform of a call that
// would carry a NaN or an infinity are dropped before they reach it.
#pragma once

#include <cstdint>

#include "graphics/graphics.h"
#include "pixmap/pixmap.h"

namespace vxl {

// Image flags: how a frame is built from its pixmap.
constexpr int32_t MASKEDIMAGE = 1;     // pixels of the mask colour are transparent
constexpr int32_t FILTEREDIMAGE = 2;   // smooth scaling
constexpr int32_t MIPMAPPEDIMAGE = 4;  // mip levels for smaller sizes
constexpr int32_t DYNAMICIMAGE = 8;    // pixels expected to change

// Blend modes. Any other value draws as SOLIDBLEND.
constexpr int32_t MASKBLEND = 1;   // alpha below one half is not drawn, no blending
constexpr int32_t SOLIDBLEND = 2;  // no blending
constexpr int32_t ALPHABLEND = 3;  // source alpha over the destination
constexpr int32_t LIGHTBLEND = 4;  // source times alpha added to the destination
constexpr int32_t SHADEBLEND = 5;  // destination multiplied by the source

// One frame of an image as the driver keeps it (a texture).
class TImageFrame : public Object {
 public:
  VXL_CLASS(TImageFrame, Object)
  // Draws the whole frame onto the quad of local corners (x0, y0), (x1, y0), (x1, y1), (x0, y1),
  // each mapped by the current transform and moved by (tx, ty) (abstract).
  virtual void Draw(float x0, float y0, float x1, float y1, float tx, float ty);
};

// A graphics driver that also draws. Its CreateGraphics and AttachGraphics give TKor2DGraphics
// over a context of the plain driver it wraps; GraphicsModes and Flip forward to that driver.
// Every operation below is abstract.
class TKor2DDriver : public TGraphicsDriver {
 public:
  VXL_CLASS(TKor2DDriver, TGraphicsDriver)
  // A frame of the pixmap, built with the image flags; Null when none can be made.
  virtual Ref<TImageFrame> CreateFrameFromPixmap(const Ref<TPixmap>& pixmap, int32_t flags);
  virtual void SetBlend(int32_t blend);
  // 0 transparent .. 1 opaque.
  virtual void SetAlpha(float alpha);
  // 0..255 each.
  virtual void SetColor(int32_t red, int32_t green, int32_t blue);
  virtual void SetClsColor(int32_t red, int32_t green, int32_t blue);
  // The rectangle drawing is cut to, in pixels, y downwards.
  virtual void SetViewport(int32_t x, int32_t y, int32_t width, int32_t height);
  virtual void SetTransform(float ix, float iy, float jx, float jy);
  virtual void SetLineWidth(float width);
  // Clears the viewport to the clear colour.
  virtual void Cls();
  // One pixel at (x, y), already translated, untransformed.
  virtual void Plot(float x, float y);
  virtual void DrawLine(float x0, float y0, float x1, float y1, float tx, float ty);
  virtual void DrawRect(float x0, float y0, float x1, float y1, float tx, float ty);
  // The ellipse inscribed in the local box.
  virtual void DrawOval(float x0, float y0, float x1, float y1, float tx, float ty);
  // xy holds x, y pairs; each local point is (x + hx, y + hy).
  virtual void DrawPoly(const Array<float>& xy, float hx, float hy, float tx, float ty);
  // An untransformed, unblended copy with its top-left pixel at (x, y).
  virtual void DrawPixmap(const Ref<TPixmap>& pixmap, int32_t x, int32_t y);
  // The back buffer's pixels in the rectangle (0 outside the buffer); Null for an empty one.
  virtual Ref<TPixmap> GrabPixmap(int32_t x, int32_t y, int32_t width, int32_t height);

  static void Bind(ClassBinder<TKor2DDriver>& b);

 protected:
  TKor2DDriver() = default;
};

// The render driver of the current Kor2D graphics (Null while none is current). Image frames are
// built by it.
Ref<TKor2DDriver> CurrentKor2DDriver();
// Set by TKor2DGraphics.MakeCurrent and ClearCurrent only.
void SetCurrentKor2DDriver(const Ref<TKor2DDriver>& driver);

// The transform image collision places images with: the four matrix values of the last drawing
// transform Kor2D computed. It starts as the identity (rotation 0, scale 1), so placements made
// before any graphics collide as drawn unrotated.
struct CollisionTransform {
  float ix = 1;
  float iy = 0;
  float jx = 0;
  float jy = 1;
};
extern CollisionTransform collisionTransform;

int InitKor2DDriverModule();
// An empty step that runs first among the 2D renderer's modules and keeps their place in the
// start-up order (the native draw calls are bound by each graphics driver).
int InitKor2DBindingModule();

}  // namespace vxl
