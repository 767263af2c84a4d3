// The Kor2D render driver over OpenGL: image frames as textures in the shared context, blend
// modes, colour, transform and primitives in immediate-mode GL, quads batched into vertex arrays.
//
//   UseGraphicsDriver(GLKor2DInstance(), 2);
//   Ref<TGraphics> g = OpenGraphics(800, 600, 0, 60, 0);   // a TKor2DGraphics; Null: none
//   ApplyBlend(ALPHABLEND);
//   PaintImage(sprite, 100, 100, 0);
//   PresentFrame(-1);
#pragma once

#include "graphics/kor2d/kor2d_driver.h"

namespace vxl {

class TGLKor2DDriver : public TKor2DDriver {
 public:
  VXL_CLASS(TGLKor2DDriver, TKor2DDriver)
  // "OpenGL".
  String ToString() const override;

  // Forwarded to GLDriverInstance().
  Array<Ref<TGraphicsMode>> GraphicsModes() override;
  void Flip(int32_t sync) override;
  // A TKor2DGraphics over a new OpenGL context; Null when none is made.
  Ref<TGraphics> AttachGraphics(int64_t window, int32_t flags) override;
  Ref<TGraphics> CreateGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz,
                                int32_t flags) override;
  // Makes the wrapped context current, resets GL for it and makes the Kor2D state current;
  // Null releases both.
  void SetGraphics(const Ref<TGraphics>& graphics) override;

  // Built in the shared context, so every context draws it.
  Ref<TImageFrame> CreateFrameFromPixmap(const Ref<TPixmap>& pixmap, int32_t flags) override;
  // Nothing is sent to GL when the mode equals the one set last.
  void SetBlend(int32_t blend) override;
  void SetAlpha(float alpha) override;
  void SetColor(int32_t red, int32_t green, int32_t blue) override;
  void SetClsColor(int32_t red, int32_t green, int32_t blue) override;
  // The whole context switches scissoring off, any other rectangle cuts to it.
  void SetViewport(int32_t x, int32_t y, int32_t width, int32_t height) override;
  void SetTransform(float ix, float iy, float jx, float jy) override;
  void SetLineWidth(float width) override;
  void Cls() override;
  void Plot(float x, float y) override;
  void DrawLine(float x0, float y0, float x1, float y1, float tx, float ty) override;
  void DrawRect(float x0, float y0, float x1, float y1, float tx, float ty) override;
  // A polygon of (|rx| + |ry|) points rounded down to a multiple of 4, at least 12 (and at most
  // 65536).
  void DrawOval(float x0, float y0, float x1, float y1, float tx, float ty) override;
  void DrawPoly(const Array<float>& xy, float hx, float hy, float tx, float ty) override;
  void DrawPixmap(const Ref<TPixmap>& pixmap, int32_t x, int32_t y) override;
  Ref<TPixmap> GrabPixmap(int32_t x, int32_t y, int32_t width, int32_t height) override;

  // Forgets the cached GL state and sets the projection (pixels, y downwards) and the viewport
  // for the graphics' size.
  virtual void ResetGLContext(const Ref<TGraphics>& graphics);
};

Ref<TGLKor2DDriver> GLKor2DInstance();

// "OpenGL image frame" and "OpenGL 2D driver" (which makes the driver current, flags 2).
int InitGLImageFrameModule();
int InitGLKor2DModule();

}  // namespace vxl
