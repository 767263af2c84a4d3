// Kor2D: immediate-mode 2D drawing with one current drawing state per context.
//
//   OpenGraphics(800, 600, 0, 60, 0);               // the current driver is a render driver
//   Ref<TImage> ship = OpenImage(String("ship.png"), -1);
//   CenterImageHandle(ship);
//   ApplyClsColor(0, 0, 64);
//   ClearScreen();
//   ApplyTransform(45, 2, 2);                       // rotation in degrees, then scale
//   ApplyBlend(ALPHABLEND);
//   PaintImage(ship, 400, 300, 0);
//   PaintText(String("Score 100"), 8, 8);          // the default 8 x 16 font
//   PresentFrame(-1);
//
// The state (colour, alpha, blend, transform, viewport, origin, handle, font) lives in the
// TKor2DGraphics of each context and is sent to its render driver again whenever the context
// becomes current. State, reader and drawing functions need a current Kor2D graphics: without one
// they raise the null-object error, as a missing driver does. Image functions work without
// graphics. Drawing calls whose positions, sizes or transform hold a NaN or an infinity draw
// nothing.
#pragma once

#include <cstdint>

#include "graphics/kor2d/image_font.h"

namespace vxl {

// The drawing state of one context, over a context of the plain driver.
class TKor2DGraphics : public TGraphics {
 public:
  VXL_CLASS(TKor2DGraphics, TGraphics)
  int32_t color_red = 255;
  int32_t color_green = 255;
  int32_t color_blue = 255;
  float color_alpha = 1;
  int32_t clscolor_red = 0;
  int32_t clscolor_green = 0;
  int32_t clscolor_blue = 0;
  float line_width = 1;
  float tform_rot = 0;  // degrees
  float tform_scale_x = 1;
  float tform_scale_y = 1;
  float tform_ix = 1;  // the matrix derived from rotation and scale
  float tform_iy = 0;
  float tform_jx = 0;
  float tform_jy = 1;
  int32_t viewport_x = 0;
  int32_t viewport_y = 0;
  int32_t viewport_w = 0;
  int32_t viewport_h = 0;
  float origin_x = 0;
  float origin_y = 0;
  float handle_x = 0;  // the drawing offset: the negated drawing handle
  float handle_y = 0;
  Ref<TImageFont> image_font;
  int32_t blend_mode = MASKBLEND;
  Ref<TGraphics> _graphics;  // the wrapped context of the plain driver
  Ref<TKor2DDriver> _driver;
  int32_t _setup = 0;  // 1 once both buffers were cleared on first use

  Ref<TGraphicsDriver> Driver() const override;
  // The wrapped context's settings.
  void GetSettings(int32_t& width, int32_t& height, int32_t& depth, int32_t& hertz,
                   int32_t& flags) override;
  // Closes the wrapped context and lets go of it and of the driver.
  void Close() override;
  // Sends the whole state to the driver again, through the Apply functions.
  void Validate();
  // Makes this the current Kor2D graphics and its driver the current render driver, sends the
  // state, and the first time clears and presents twice so both buffers start in the clear
  // colour.
  void MakeCurrent();

  static void ClearCurrent();
  static Ref<TKor2DGraphics> Current();
  // The drawing state over `graphics` with the defaults (viewport = the context's size, the
  // shared default font).
  static Ref<TKor2DGraphics> Create(const Ref<TGraphics>& graphics,
                                    const Ref<TKor2DDriver>& driver);

  static void Bind(ClassBinder<TKor2DGraphics>& b);

 private:
  Ref<TGraphics> _Graphics() const { return _graphics; }
  Ref<TKor2DDriver> _Driver() const { return _driver; }
};

// State.
void ApplyColor(int32_t red, int32_t green, int32_t blue);
void ReadColor(int32_t& red, int32_t& green, int32_t& blue);
void ApplyClsColor(int32_t red, int32_t green, int32_t blue);
void ReadClsColor(int32_t& red, int32_t& green, int32_t& blue);
void ApplyAlpha(float alpha);
float ReadAlpha();
void ApplyBlend(int32_t blend);
int32_t ReadBlend();
void ApplyLineWidth(float width);
float ReadLineWidth();
void ApplyViewport(int32_t x, int32_t y, int32_t width, int32_t height);
void ReadViewport(int32_t& x, int32_t& y, int32_t& width, int32_t& height);
// Added to every drawing position.
void ApplyOrigin(float x, float y);
void ReadOrigin(float& x, float& y);
// The point of a primitive or text that lands on the drawing position.
void ApplyHandle(float x, float y);
void ReadHandle(float& x, float& y);
void ApplyRotation(float degrees);
float ReadRotation();
void ApplyScale(float x, float y);
void ReadScale(float& x, float& y);
void ApplyTransform(float degrees, float scaleX, float scaleY);
// Null selects the shared default font.
void ApplyImageFont(const Ref<TImageFont>& font);
Ref<TImageFont> ReadImageFont();
// The colour that becomes transparent in masked images that OpenImage, OpenAnimImage, MakeImage
// and CaptureImage make (module state, independent of graphics).
void ApplyMaskColor(int32_t red, int32_t green, int32_t blue);
void ReadMaskColor(int32_t& red, int32_t& green, int32_t& blue);

// Drawing. Positions are moved by the origin; primitives and text are placed by the handle and
// the transform, images by their own handle and the transform.
void ClearScreen();
// One pixel at the position plus the origin, untransformed.
void PlotPoint(float x, float y);
void PaintRect(float x, float y, float width, float height);
void PaintOval(float x, float y, float width, float height);
// With drawLastPixel set the end point is plotted too.
void PaintLine(float x, float y, float x2, float y2, int32_t drawLastPixel);
// xy holds x, y pairs.
void PaintPoly(const Array<float>& xy);
void PaintText(const String& text, float x, float y);
// The sum of the advances of the characters the font has, truncated at every step.
int32_t TextWidthOf(const String& text);
// The font's line height.
int32_t TextHeightOf(const String& text);
void PaintImage(const Ref<TImage>& image, float x, float y, int32_t frame);
void PaintImageRect(const Ref<TImage>& image, float x, float y, float width, float height,
                    int32_t frame);
// Covers the viewport with the frame, one tile placed at the position; never rotated or scaled.
void PaintTiles(const Ref<TImage>& image, float x, float y, int32_t frame);
// An untransformed, unblended copy at (x, y) exactly (no origin).
void PaintPixmap(const Ref<TPixmap>& pixmap, int32_t x, int32_t y);
// The back buffer's pixels; Null for an empty rectangle.
Ref<TPixmap> CapturePixmap(int32_t x, int32_t y, int32_t width, int32_t height);
// The image's size of back-buffer pixels at (x, y) become frame `frame`'s pixels.
void CaptureImage(const Ref<TImage>& image, int32_t x, int32_t y, int32_t frame);

// Images. Flags -1 mean the automatic image flags (ChooseImageFlags, masked and filtered at
// first).
Ref<TImage> OpenImage(const Url& url, int32_t flags);
Ref<TImage> OpenAnimImage(const Url& url, int32_t cellWidth, int32_t cellHeight, int32_t first,
                          int32_t count, int32_t flags);
// Always dynamic (DYNAMICIMAGE is added to the flags).
Ref<TImage> MakeImage(int32_t width, int32_t height, int32_t frameCount, int32_t flags);
Ref<TPixmap> LockImagePixels(const Ref<TImage>& image, int32_t frame, int32_t read, int32_t write);
void UnlockImagePixels(const Ref<TImage>& image, int32_t frame);
void CenterImageHandle(const Ref<TImage>& image);
void PlaceImageHandle(const Ref<TImage>& image, float x, float y);
// With it on, images made from now on get their handle at their centre.
void AutoCenterHandles(int32_t on);
// -1 leaves the automatic flags unchanged.
void ChooseImageFlags(int32_t flags);
int32_t ImageWidthOf(const Ref<TImage>& image);
int32_t ImageHeightOf(const Ref<TImage>& image);
Ref<TImageFont> OpenImageFont(const Url& url, int32_t size, int32_t style);

int InitKor2DModule();

}  // namespace vxl
