#include "graphics/kor2d/kor2d.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "graphics/kor2d/collision.h"
#include "graphics/kor2d/degrees.h"
#include "pixmap/pixmap_ops.h"
#include "runtime/class_binder.h"
#include "runtime/module.h"
#include "runtime/never_destroyed.h"

namespace vxl {

VXL_DEFINE_CLASS(TKor2DGraphics)

namespace {

struct Kor2DState {
  Ref<TKor2DGraphics> current;
  Ref<TImageFont> defaultFont;  // made on first need, shared by every context
  int32_t mask_r = 0;
  int32_t mask_g = 0;
  int32_t mask_b = 0;
  bool autoCenter = false;
  int32_t autoFlags = MASKEDIMAGE | FILTEREDIMAGE;
};

Kor2DState& S() {
  static NeverDestroyed<Kor2DState> state;
  return *state;
}

// The current drawing state; the null-object error when there is none.
TKor2DGraphics& G() {
  return *S().current;
}

TKor2DDriver& D() {
  return *CurrentKor2DDriver();
}

const Ref<TImageFont>& DefaultFont() {
  Kor2DState& s = S();
  if (!s.defaultFont) s.defaultFont = TImageFont::CreateDefault();
  return s.defaultFont;
}

bool Finite(std::initializer_list<float> values) {
  for (float v : values) {
    if (!std::isfinite(v)) return false;
  }
  return true;
}

// The transform and origin every drawing call is placed with, and the drawing offset of all but
// images.
bool PlacementFinite(const TKor2DGraphics& g, bool withOffset = true) {
  return Finite({g.tform_ix, g.tform_iy, g.tform_jx, g.tform_jy, g.origin_x, g.origin_y}) &&
         (!withOffset || Finite({g.handle_x, g.handle_y}));
}

// Truncation toward zero that saturates at the int range (NaN gives 0).
int32_t TruncateToInt(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(v);
}

void RefreshTransform() {
  TKor2DGraphics& g = G();
  RotationScaleMatrix(g.tform_rot, g.tform_scale_x, g.tform_scale_y, g.tform_ix, g.tform_iy,
                      g.tform_jx, g.tform_jy);
  collisionTransform = {g.tform_ix, g.tform_iy, g.tform_jx, g.tform_jy};
  if (Finite({g.tform_ix, g.tform_iy, g.tform_jx, g.tform_jy}))
    D().SetTransform(g.tform_ix, g.tform_iy, g.tform_jx, g.tform_jy);
}

Ref<TImage> AutoCentred(Ref<TImage> image) {
  if (image && S().autoCenter) CenterImageHandle(image);
  return image;
}

int32_t ImageFlags(int32_t flags) {
  return flags == -1 ? S().autoFlags : flags;
}

// The first tile position at or before the viewport edge `edge` on the grid of step `size`
// through `start`. Worked in doubles, so no position, however far, overflows.
double FirstTile(double start, int32_t edge, int32_t size) {
  const double base = double(edge) - size + 1;
  const double offset = start - base;
  double remainder = offset - double(size) * std::floor(offset / size);
  if (remainder < 0 || remainder >= size) remainder = 0;  // offsets beyond 2^53 lose their units
  return base + std::floor(remainder);
}

}  // namespace

Ref<TGraphicsDriver> TKor2DGraphics::Driver() const {
  return _driver;
}

void TKor2DGraphics::GetSettings(int32_t& width, int32_t& height, int32_t& depth, int32_t& hertz,
                                 int32_t& flags) {
  if (!_graphics) {
    width = height = depth = hertz = flags = 0;  // closed
    return;
  }
  _graphics->GetSettings(width, height, depth, hertz, flags);
}

void TKor2DGraphics::Close() {
  // Closed while current: drawing from now on raises instead of reaching a closed context.
  Ref<TKor2DGraphics> keep(this);
  if (S().current.Get() == this) ClearCurrent();
  if (_graphics) _graphics->Close();
  _graphics = nullptr;
  _driver = nullptr;
}

void TKor2DGraphics::Validate() {
  ApplyBlend(blend_mode);
  ApplyColor(color_red, color_green, color_blue);
  ApplyAlpha(color_alpha);
  ApplyClsColor(clscolor_red, clscolor_green, clscolor_blue);
  ApplyLineWidth(line_width);
  ApplyRotation(tform_rot);
  ApplyScale(tform_scale_x, tform_scale_y);
  ApplyViewport(viewport_x, viewport_y, viewport_w, viewport_h);
  ApplyOrigin(origin_x, origin_y);
  ApplyHandle(-handle_x, -handle_y);
  ApplyImageFont(image_font);
}

void TKor2DGraphics::MakeCurrent() {
  S().current = this;
  SetCurrentKor2DDriver(_driver);
  Validate();
  if (_setup == 0) {
    for (int i = 0; i < 2; ++i) {
      D().Cls();
      PresentFrame(0);
    }
    _setup = 1;
  }
}

void TKor2DGraphics::ClearCurrent() {
  S().current = nullptr;
  SetCurrentKor2DDriver(nullptr);
}

Ref<TKor2DGraphics> TKor2DGraphics::Current() {
  return S().current;
}

Ref<TKor2DGraphics> TKor2DGraphics::Create(const Ref<TGraphics>& graphics,
                                           const Ref<TKor2DDriver>& driver) {
  if (!graphics) return nullptr;
  auto g = New<TKor2DGraphics>();
  g->_graphics = graphics;
  g->_driver = driver;
  int32_t depth, hertz, flags;
  graphics->GetSettings(g->viewport_w, g->viewport_h, depth, hertz, flags);
  g->image_font = DefaultFont();
  return g;
}

void TKor2DGraphics::Bind(ClassBinder<TKor2DGraphics>& b) {
  b.Field<&TKor2DGraphics::color_red>("color_red");
  b.Field<&TKor2DGraphics::color_green>("color_green");
  b.Field<&TKor2DGraphics::color_blue>("color_blue");
  b.Field<&TKor2DGraphics::color_alpha>("color_alpha");
  b.Field<&TKor2DGraphics::clscolor_red>("clscolor_red");
  b.Field<&TKor2DGraphics::clscolor_green>("clscolor_green");
  b.Field<&TKor2DGraphics::clscolor_blue>("clscolor_blue");
  b.Field<&TKor2DGraphics::line_width>("line_width");
  b.Field<&TKor2DGraphics::tform_rot>("tform_rot");
  b.Field<&TKor2DGraphics::tform_scale_x>("tform_scale_x");
  b.Field<&TKor2DGraphics::tform_scale_y>("tform_scale_y");
  b.Field<&TKor2DGraphics::tform_ix>("tform_ix");
  b.Field<&TKor2DGraphics::tform_iy>("tform_iy");
  b.Field<&TKor2DGraphics::tform_jx>("tform_jx");
  b.Field<&TKor2DGraphics::tform_jy>("tform_jy");
  b.Field<&TKor2DGraphics::viewport_x>("viewport_x");
  b.Field<&TKor2DGraphics::viewport_y>("viewport_y");
  b.Field<&TKor2DGraphics::viewport_w>("viewport_w");
  b.Field<&TKor2DGraphics::viewport_h>("viewport_h");
  b.Field<&TKor2DGraphics::origin_x>("origin_x");
  b.Field<&TKor2DGraphics::origin_y>("origin_y");
  b.Field<&TKor2DGraphics::handle_x>("handle_x");
  b.Field<&TKor2DGraphics::handle_y>("handle_y");
  b.Field<&TKor2DGraphics::image_font>("image_font");
  b.Field<&TKor2DGraphics::blend_mode>("blend_mode");
  // The wrapped context and the driver are fixed for the object's life.
  b.AccessorField<&TKor2DGraphics::_Graphics>("_graphics");
  b.AccessorField<&TKor2DGraphics::_Driver>("_driver");
  b.Field<&TKor2DGraphics::_setup>("_setup");
  b.Method<&TKor2DGraphics::Validate>("Validate");
  b.Method<&TKor2DGraphics::MakeCurrent>("MakeCurrent");
}

void ApplyColor(int32_t red, int32_t green, int32_t blue) {
  TKor2DGraphics& g = G();
  g.color_red = red;
  g.color_green = green;
  g.color_blue = blue;
  D().SetColor(red, green, blue);
}
void ReadColor(int32_t& red, int32_t& green, int32_t& blue) {
  const TKor2DGraphics& g = G();
  red = g.color_red;
  green = g.color_green;
  blue = g.color_blue;
}

void ApplyClsColor(int32_t red, int32_t green, int32_t blue) {
  TKor2DGraphics& g = G();
  g.clscolor_red = red;
  g.clscolor_green = green;
  g.clscolor_blue = blue;
  D().SetClsColor(red, green, blue);
}
void ReadClsColor(int32_t& red, int32_t& green, int32_t& blue) {
  const TKor2DGraphics& g = G();
  red = g.clscolor_red;
  green = g.clscolor_green;
  blue = g.clscolor_blue;
}

void ApplyAlpha(float alpha) {
  G().color_alpha = alpha;
  D().SetAlpha(alpha);
}
float ReadAlpha() {
  return G().color_alpha;
}

void ApplyBlend(int32_t blend) {
  G().blend_mode = blend;
  D().SetBlend(blend);
}
int32_t ReadBlend() {
  return G().blend_mode;
}

void ApplyLineWidth(float width) {
  G().line_width = width;
  if (Finite({width})) D().SetLineWidth(width);
}
float ReadLineWidth() {
  return G().line_width;
}

void ApplyViewport(int32_t x, int32_t y, int32_t width, int32_t height) {
  TKor2DGraphics& g = G();
  g.viewport_x = x;
  g.viewport_y = y;
  g.viewport_w = width;
  g.viewport_h = height;
  D().SetViewport(x, y, width, height);
}
void ReadViewport(int32_t& x, int32_t& y, int32_t& width, int32_t& height) {
  const TKor2DGraphics& g = G();
  x = g.viewport_x;
  y = g.viewport_y;
  width = g.viewport_w;
  height = g.viewport_h;
}

void ApplyOrigin(float x, float y) {
  TKor2DGraphics& g = G();
  g.origin_x = x;
  g.origin_y = y;
}
void ReadOrigin(float& x, float& y) {
  x = G().origin_x;
  y = G().origin_y;
}

void ApplyHandle(float x, float y) {
  TKor2DGraphics& g = G();
  g.handle_x = -x;
  g.handle_y = -y;
}
void ReadHandle(float& x, float& y) {
  x = -G().handle_x;
  y = -G().handle_y;
}

void ApplyRotation(float degrees) {
  G().tform_rot = degrees;
  RefreshTransform();
}
float ReadRotation() {
  return G().tform_rot;
}

void ApplyScale(float x, float y) {
  TKor2DGraphics& g = G();
  g.tform_scale_x = x;
  g.tform_scale_y = y;
  RefreshTransform();
}
void ReadScale(float& x, float& y) {
  x = G().tform_scale_x;
  y = G().tform_scale_y;
}

void ApplyTransform(float degrees, float scaleX, float scaleY) {
  TKor2DGraphics& g = G();
  g.tform_rot = degrees;
  g.tform_scale_x = scaleX;
  g.tform_scale_y = scaleY;
  RefreshTransform();
}

void ApplyImageFont(const Ref<TImageFont>& font) {
  TKor2DGraphics& g = G();
  g.image_font = font ? font : DefaultFont();
}
Ref<TImageFont> ReadImageFont() {
  return G().image_font;
}

void ApplyMaskColor(int32_t red, int32_t green, int32_t blue) {
  Kor2DState& s = S();
  s.mask_r = red;
  s.mask_g = green;
  s.mask_b = blue;
}
void ReadMaskColor(int32_t& red, int32_t& green, int32_t& blue) {
  const Kor2DState& s = S();
  red = s.mask_r;
  green = s.mask_g;
  blue = s.mask_b;
}

void ClearScreen() {
  G();
  D().Cls();
}

void PlotPoint(float x, float y) {
  const TKor2DGraphics& g = G();
  const float px = x + g.origin_x;
  const float py = y + g.origin_y;
  if (Finite({px, py})) D().Plot(px, py);
}

void PaintRect(float x, float y, float width, float height) {
  const TKor2DGraphics& g = G();
  if (!Finite({x, y, width, height}) || !PlacementFinite(g)) return;
  D().DrawRect(g.handle_x, g.handle_y, g.handle_x + width, g.handle_y + height, x + g.origin_x,
               y + g.origin_y);
}

void PaintOval(float x, float y, float width, float height) {
  const TKor2DGraphics& g = G();
  if (!Finite({x, y, width, height}) || !PlacementFinite(g)) return;
  D().DrawOval(g.handle_x, g.handle_y, g.handle_x + width, g.handle_y + height, x + g.origin_x,
               y + g.origin_y);
}

void PaintLine(float x, float y, float x2, float y2, int32_t drawLastPixel) {
  const TKor2DGraphics& g = G();
  if (!Finite({x, y, x2, y2}) || !PlacementFinite(g)) return;
  const float dx = x2 - x + g.handle_x;
  const float dy = y2 - y + g.handle_y;
  const float tx = x + g.origin_x;
  const float ty = y + g.origin_y;
  if (!Finite({dx, dy, tx, ty})) return;
  D().DrawLine(g.handle_x, g.handle_y, dx, dy, tx, ty);
  if (drawLastPixel) {
    const float px = dx * g.tform_ix + dy * g.tform_iy + tx;
    const float py = dx * g.tform_jx + dy * g.tform_jy + ty;
    if (Finite({px, py})) D().Plot(px, py);
  }
}

void PaintPoly(const Array<float>& xy) {
  const TKor2DGraphics& g = G();
  if (!PlacementFinite(g)) return;
  for (float v : xy) {
    if (!std::isfinite(v)) return;
  }
  D().DrawPoly(xy, g.handle_x, g.handle_y, g.origin_x, g.origin_y);
}

void PaintText(const String& text, float x, float y) {
  const TKor2DGraphics& g = G();
  if (!Finite({x, y}) || !PlacementFinite(g)) return;
  const float px = x + g.origin_x + g.handle_x * g.tform_ix + g.handle_y * g.tform_iy;
  const float py = y + g.origin_y + g.handle_x * g.tform_jx + g.handle_y * g.tform_jy;
  if (!Finite({px, py})) return;
  g.image_font->Draw(text, px, py, g.tform_ix, g.tform_iy, g.tform_jx, g.tform_jy);
}

int32_t TextWidthOf(const String& text) {
  const Ref<TImageFont>& font = G().image_font;
  int32_t width = 0;
  for (int32_t i = 0; i < text.Length(); ++i) {
    const int32_t glyph = font->CharToGlyph(text[i]);
    if (glyph >= 0) width = TruncateToInt(double(font->LoadGlyph(glyph)->Advance()) + width);
  }
  return width;
}

int32_t TextHeightOf(const String&) {
  return G().image_font->Height();
}

void PaintImage(const Ref<TImage>& image, float x, float y, int32_t frame) {
  PaintImageRect(image, x, y, static_cast<float>(image->width), static_cast<float>(image->height),
                 frame);
}

void PaintImageRect(const Ref<TImage>& image, float x, float y, float width, float height,
                    int32_t frame) {
  const TKor2DGraphics& g = G();
  Ref<TImageFrame> f = image->Frame(frame);
  if (!f) return;
  const float hx = image->handle_x;
  const float hy = image->handle_y;
  if (!Finite({x, y, width, height, hx, hy}) || !PlacementFinite(g, false)) return;
  f->Draw(-hx, -hy, width - hx, height - hy, x + g.origin_x, y + g.origin_y);
}

void PaintTiles(const Ref<TImage>& image, float x, float y, int32_t frame) {
  const TKor2DGraphics& g = G();
  Ref<TImageFrame> f = image->Frame(frame);
  if (!f) return;
  const int32_t w = image->width;
  const int32_t h = image->height;
  const double px = double(x) + g.origin_x - image->handle_x;
  const double py = double(y) + g.origin_y - image->handle_y;
  if (w < 1 || h < 1 || !std::isfinite(px) || !std::isfinite(py)) return;
  const float fx = static_cast<float>(px - std::floor(px));
  const float fy = static_cast<float>(py - std::floor(py));
  // The part of the viewport inside the context: tiles beyond it could not show, and a viewport
  // far larger than the context would otherwise ask for billions of them.
  int32_t left = g.viewport_x, top = g.viewport_y;
  double right = double(g.viewport_x) + g.viewport_w;
  double bottom = double(g.viewport_y) + g.viewport_h;
  if (CurrentGraphics().Get() == &g && CurrentGraphicsWidth() > 0 && CurrentGraphicsHeight() > 0) {
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, double(CurrentGraphicsWidth()));
    bottom = std::min(bottom, double(CurrentGraphicsHeight()));
  }
  const double c0 = FirstTile(std::floor(px), left, w);
  const double r0 = FirstTile(std::floor(py), top, h);
  D().SetTransform(1, 0, 0, 1);  // tiles are never rotated or scaled
  for (double row = r0; row < bottom; row += h) {
    for (double col = c0; col < right; col += w) {
      f->Draw(0, 0, static_cast<float>(w), static_cast<float>(h), static_cast<float>(col) + fx,
              static_cast<float>(row) + fy);
    }
  }
  RefreshTransform();
}

void PaintPixmap(const Ref<TPixmap>& pixmap, int32_t x, int32_t y) {
  G();
  D().DrawPixmap(pixmap, x, y);
}

Ref<TPixmap> CapturePixmap(int32_t x, int32_t y, int32_t width, int32_t height) {
  G();
  if (width < 1 || height < 1) return nullptr;
  return D().GrabPixmap(x, y, width, height);
}

void CaptureImage(const Ref<TImage>& image, int32_t x, int32_t y, int32_t frame) {
  Ref<TPixmap> p = CapturePixmap(x, y, image->width, image->height);
  if (p && (image->flags & MASKEDIMAGE)) {
    const Kor2DState& s = S();
    p = MaskOutColour(p, s.mask_r, s.mask_g, s.mask_b);
  }
  image->SetPixmap(frame, p);
}

Ref<TImage> OpenImage(const Url& url, int32_t flags) {
  const Kor2DState& s = S();
  return AutoCentred(TImage::Load(url, ImageFlags(flags), s.mask_r, s.mask_g, s.mask_b));
}

Ref<TImage> OpenAnimImage(const Url& url, int32_t cellWidth, int32_t cellHeight, int32_t first,
                          int32_t count, int32_t flags) {
  const Kor2DState& s = S();
  return AutoCentred(TImage::LoadAnim(url, cellWidth, cellHeight, first, count, ImageFlags(flags),
                                      s.mask_r, s.mask_g, s.mask_b));
}

Ref<TImage> MakeImage(int32_t width, int32_t height, int32_t frameCount, int32_t flags) {
  const Kor2DState& s = S();
  return AutoCentred(TImage::Create(width, height, frameCount, ImageFlags(flags) | DYNAMICIMAGE,
                                    s.mask_r, s.mask_g, s.mask_b));
}

Ref<TPixmap> LockImagePixels(const Ref<TImage>& image, int32_t frame, int32_t read, int32_t write) {
  return image->Lock(frame, read, write);
}

void UnlockImagePixels(const Ref<TImage>&, int32_t) {}

void CenterImageHandle(const Ref<TImage>& image) {
  image->handle_x = image->width * 0.5f;
  image->handle_y = image->height * 0.5f;
}

void PlaceImageHandle(const Ref<TImage>& image, float x, float y) {
  image->handle_x = x;
  image->handle_y = y;
}

void AutoCenterHandles(int32_t on) {
  S().autoCenter = on != 0;
}

void ChooseImageFlags(int32_t flags) {
  if (flags != -1) S().autoFlags = flags;
}

int32_t ImageWidthOf(const Ref<TImage>& image) {
  return image->width;
}
int32_t ImageHeightOf(const Ref<TImage>& image) {
  return image->height;
}

Ref<TImageFont> OpenImageFont(const Url& url, int32_t size, int32_t style) {
  return TImageFont::Load(url, size, style);
}

int InitKor2DModule() {
  static ModuleGuard guard("Kor2D");
  return guard.Run({InitCoreModule, InitGraphicsModule, InitKor2DDriverModule, InitImageModule,
                    InitFontModule, InitImageFontModule},
                   [] {
                     RegisterClass<TKor2DGraphics>();
                     RegisterClass<TQuad>();
                     RegisterClass<rpoly>();
                   });
}

}  // namespace vxl
