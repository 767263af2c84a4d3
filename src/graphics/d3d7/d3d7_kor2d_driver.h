// The Kor2D render driver over Direct3D 7: image frames as texture surfaces, blend modes as
// render states, the viewport as four user clip planes, and primitives as vertex lists in pixel
// coordinates that a projection puts on the pixel centres.
//
//   if (Ref<TD3D7Kor2DDriver> d = D3D7Kor2DInstance()) UseGraphicsDriver(d, 2);
//   Ref<TGraphics> g = OpenGraphics(800, 600, 0, 60, 0);   // a TKor2DGraphics
//   ApplyBlend(ALPHABLEND);
//   PaintImage(sprite, 100, 100, 0);
//   PresentFrame(-1);
//
// While the device is not valid (no context, display mode lost) drawing does nothing.
#pragma once

#include <cstdint>

#include "graphics/d3d7/d3d7_graphics.h"
#include "graphics/d3d7/d3d7_image_frame.h"
#include "graphics/d3d7/d3d7_vertices.h"
#include "graphics/kor2d/kor2d_driver.h"

namespace vxl {

class TD3D7Kor2DDriver : public TKor2DDriver {
 public:
  VXL_CLASS(TD3D7Kor2DDriver, TKor2DDriver)
  TD3D7Kor2DDriver() = default;

  int32_t drawalpha = 255;
  uint32_t drawcolor = 0xFFFFFFFF;  // ARGB
  uint32_t clscolor = 0xFF000000;   // ARGB
  float ix = 1, iy = 0, jx = 0, jy = 1;
  float linewidth = 1;
  D3D7Vertex cverts[4];
  int32_t vp_rect[4] = {};  // left, top, right, bottom
  int32_t activeBlend = 0;
  Ref<TD3D7ImageFrame> activeFrame;
  int32_t activeFrameFlags = 0;

  // "DirectX7".
  String ToString() const override;

  // Forwarded to the plain driver; contexts come wrapped in TKor2DGraphics.
  Array<Ref<TGraphicsMode>> GraphicsModes() override;
  Ref<TGraphics> AttachGraphics(int64_t window, int32_t flags) override;
  Ref<TGraphics> CreateGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz,
                                int32_t flags) override;
  // Makes the wrapped context current, resets the device, opens a scene and makes the Kor2D
  // state current; Null closes the scene and releases both.
  void SetGraphics(const Ref<TGraphics>& graphics) override;
  // Presents; when the device became valid again or was remade, every state is sent again.
  void Flip(int32_t sync) override;

  Ref<TImageFrame> CreateFrameFromPixmap(const Ref<TPixmap>& pixmap, int32_t flags) override;
  // Stored even while the device is not valid; modes other than 1..5 set no state.
  void SetBlend(int32_t blend) override;
  // NaN counts as 0.
  void SetAlpha(float alpha) override;
  void SetColor(int32_t red, int32_t green, int32_t blue) override;
  void SetClsColor(int32_t red, int32_t green, int32_t blue) override;
  // The whole context disables the clip planes, any other rectangle sets four of them. Throws
  // "device does not support clipplanes" when the device refuses one.
  void SetViewport(int32_t x, int32_t y, int32_t width, int32_t height) override;
  void SetTransform(float ix, float iy, float jx, float jy) override;
  void SetLineWidth(float width) override;
  void Cls() override;
  void Plot(float x, float y) override;
  void DrawLine(float x0, float y0, float x1, float y1, float tx, float ty) override;
  void DrawRect(float x0, float y0, float x1, float y1, float tx, float ty) override;
  void DrawOval(float x0, float y0, float x1, float y1, float tx, float ty) override;
  void DrawPoly(const Array<float>& xy, float hx, float hy, float tx, float ty) override;
  void DrawPixmap(const Ref<TPixmap>& pixmap, int32_t x, int32_t y) override;
  // FORMAT_BGR24, rows padded to 4 bytes; pixels outside the render surface are 0.
  Ref<TPixmap> GrabPixmap(int32_t x, int32_t y, int32_t width, int32_t height) override;

  int32_t IsValid() const;
  // The device states Kor2D drawing starts from, for the graphics' size.
  void ResetD3DDevice(const Ref<TGraphics>& graphics);
  // Null while the device is not valid.
  Ref<TD3D7ImageFrame> CreateFrameWithSize(int32_t width, int32_t height, int32_t flags);
  void DrawFrame(TD3D7ImageFrame* frame, float x0, float y0, float x1, float y1, float tx,
                 float ty);
  // A system-memory surface over the pixmap's own pixels (converted first to one of the four
  // formats it can show); raises "D3D7Kor2D Create System Surface Failed". The caller keeps
  // `keep` (the pixmap the surface shows) alive while the surface lives.
  platform::d3d7::IDirectDrawSurface7* surffrompixmap(const Ref<TPixmap>& pixmap,
                                                      Ref<TPixmap>& keep);
  void SetActiveFrame(TD3D7ImageFrame* frame);

  static void Bind(ClassBinder<TD3D7Kor2DDriver>& b);

 private:
  platform::d3d7::IDirect3DDevice7* _Device() const;
  D3D7Mapping _Mapping() const { return {ix, iy, jx, jy}; }
  void _Draw(platform::d3d7::D3DPRIMITIVETYPE type, const D3D7Vertex* v, size_t count);
  void _SetColorOps(uint32_t op);
  void _SetFilters(bool filtered);
};

// Null when TD3D7GraphicsDriver::Create fails, else the one instance.
Ref<TD3D7Kor2DDriver> D3D7Kor2DInstance();

}  // namespace vxl
