#include "graphics/gl/gl_kor2d_driver.h"

#include <algorithm>
#include <cmath>

#include "graphics/gl/gl_graphics.h"
#include "graphics/gl/gl_image_frame.h"
#include "graphics/gl/gl_kor2d_state.h"
#include "graphics/gl/gl_texture.h"
#include "graphics/kor2d/degrees.h"
#include "graphics/kor2d/kor2d.h"
#include "pixmap/pixel_format.h"
#include "pixmap/pixmap_ops.h"
#include "platform/gl/gl_api.h"
#include "platform/gl/gl_batch.h"
#include "platform/gl/gl_context.h"
#include "runtime/class_binder.h"
#include "runtime/module.h"
#include "runtime/never_destroyed.h"

namespace vxl {

VXL_DEFINE_CLASS(TGLKor2DDriver)

namespace gl_kor2d {

State& Current() {
  static State state;
  return state;
}

void UseTexture(uint32_t name) {
  State& s = Current();
  if (!s.textured) {
    platform::gl::FlushQuads();
    platform::gl::GL().Enable(GL_TEXTURE_2D);
    s.textured = true;
  }
  if (s.boundTexture != name) {
    platform::gl::FlushQuads();
    platform::gl::GL().BindTexture(GL_TEXTURE_2D, name);
    s.boundTexture = name;
  }
}

void UseNoTexture() {
  State& s = Current();
  if (!s.textured) return;
  platform::gl::FlushQuads();
  platform::gl::GL().Disable(GL_TEXTURE_2D);
  s.textured = false;
}

void ForgetTexture(uint32_t name) {
  if (Current().boundTexture == name) Current().boundTexture = 0;
}

}  // namespace gl_kor2d

namespace {

const platform::gl::Api& gl() {
  return platform::gl::GL();
}

// Drawing needs a current context: without one (no graphics made yet, or all closed) the
// driver's operations do nothing.
bool NoContext() {
  return platform::gl::CurrentContext() == nullptr;
}

gl_kor2d::State& S() {
  return gl_kor2d::Current();
}

uint8_t ColorByte(int32_t v) {
  return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

void SendColor() {
  platform::gl::SetQuadColor(S().color);
  gl().Color4ubv(S().color);
}

// Queued quads go first, and primitives draw without a texture.
void BeginPrimitive(GLenum mode) {
  platform::gl::FlushQuads();
  gl_kor2d::UseNoTexture();
  gl().Begin(mode);
}

void MappedVertex(float x, float y, float tx, float ty, float offset = 0) {
  const gl_kor2d::State& s = S();
  gl().Vertex2f(x * s.ix + y * s.iy + tx + offset, x * s.jx + y * s.jy + ty + offset);
}

// Runs `make` with the shared context current, whatever it throws.
template <class F>
auto InSharedContext(F make) {
  Ref<TGLGraphicsDriver> driver = GLDriverInstance();
  platform::gl::FlushQuads();
  driver->SwapSharedContext();
  try {
    auto result = make();
    driver->SwapSharedContext();
    return result;
  } catch (...) {
    driver->SwapSharedContext();
    throw;
  }
}

}  // namespace

String TGLKor2DDriver::ToString() const {
  return String("OpenGL");
}

Array<Ref<TGraphicsMode>> TGLKor2DDriver::GraphicsModes() {
  return GLDriverInstance()->GraphicsModes();
}

void TGLKor2DDriver::Flip(int32_t sync) {
  GLDriverInstance()->Flip(sync);
}

Ref<TGraphics> TGLKor2DDriver::AttachGraphics(int64_t window, int32_t flags) {
  Ref<TGraphics> plain = GLDriverInstance()->AttachGraphics(window, flags);
  if (!plain) return nullptr;
  return TKor2DGraphics::Create(plain, Ref<TKor2DDriver>(this));
}

Ref<TGraphics> TGLKor2DDriver::CreateGraphics(int32_t width, int32_t height, int32_t depth,
                                              int32_t hertz, int32_t flags) {
  Ref<TGraphics> plain = GLDriverInstance()->CreateGraphics(width, height, depth, hertz, flags);
  if (!plain) return nullptr;
  return TKor2DGraphics::Create(plain, Ref<TKor2DDriver>(this));
}

void TGLKor2DDriver::SetGraphics(const Ref<TGraphics>& graphics) {
  auto* k = dynamic_cast<TKor2DGraphics*>(graphics.Get());
  if (!k) {
    TKor2DGraphics::ClearCurrent();
    GLDriverInstance()->SetGraphics(nullptr);
    return;
  }
  GLDriverInstance()->SetGraphics(k->_graphics);
  ResetGLContext(graphics);
  k->MakeCurrent();
}

Ref<TImageFrame> TGLKor2DDriver::CreateFrameFromPixmap(const Ref<TPixmap>& pixmap,
                                                       int32_t flags) {
  if (NoContext()) return nullptr;
  if (!pixmap || pixmap->width < 1 || pixmap->height < 1) return nullptr;
  return InSharedContext([&] { return TGLImageFrame::CreateFromPixmap(pixmap, flags); });
}

void TGLKor2DDriver::SetBlend(int32_t blend) {
  if (NoContext()) return;
  gl_kor2d::State& s = S();
  if (blend == s.blend) return;
  platform::gl::FlushQuads();
  s.blend = blend;
  switch (blend) {
    case 1:
      gl().Disable(GL_BLEND);
      gl().Enable(GL_ALPHA_TEST);
      gl().AlphaFunc(GL_GEQUAL, 0.5f);
      return;
    case 3:
      gl().Enable(GL_BLEND);
      gl().BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
      break;
    case 4:
      gl().Enable(GL_BLEND);
      gl().BlendFunc(GL_SRC_ALPHA, GL_ONE);
      break;
    case 5:
      gl().Enable(GL_BLEND);
      gl().BlendFunc(GL_DST_COLOR, GL_ZERO);
      break;
    default:
      gl().Disable(GL_BLEND);
      break;
  }
  gl().Disable(GL_ALPHA_TEST);
}

void TGLKor2DDriver::SetAlpha(float alpha) {
  if (NoContext()) return;
  float a = std::isnan(alpha) ? 0.0f : std::clamp(alpha, 0.0f, 1.0f);
  S().color[3] = static_cast<uint8_t>(a * 255.0f);
  SendColor();
}

void TGLKor2DDriver::SetColor(int32_t red, int32_t green, int32_t blue) {
  if (NoContext()) return;
  S().color[0] = ColorByte(red);
  S().color[1] = ColorByte(green);
  S().color[2] = ColorByte(blue);
  SendColor();
}

void TGLKor2DDriver::SetClsColor(int32_t red, int32_t green, int32_t blue) {
  if (NoContext()) return;
  gl().ClearColor(ColorByte(red) / 255.0f, ColorByte(green) / 255.0f, ColorByte(blue) / 255.0f,
                  1.0f);
}

void TGLKor2DDriver::SetViewport(int32_t x, int32_t y, int32_t width, int32_t height) {
  if (NoContext()) return;
  platform::gl::FlushQuads();
  const int32_t w = CurrentGraphicsWidth(), h = CurrentGraphicsHeight();
  if (x == 0 && y == 0 && width == w && height == h) {
    gl().Disable(GL_SCISSOR_TEST);
    return;
  }
  gl().Enable(GL_SCISSOR_TEST);
  // GL refuses a negative size and would keep the old rectangle: an empty one cuts everything.
  gl().Scissor(x, h - y - std::max(height, 0), std::max(width, 0), std::max(height, 0));
}

void TGLKor2DDriver::SetTransform(float ix, float iy, float jx, float jy) {
  gl_kor2d::State& s = S();
  s.ix = ix;
  s.iy = iy;
  s.jx = jx;
  s.jy = jy;
}

void TGLKor2DDriver::SetLineWidth(float width) {
  if (NoContext()) return;
  platform::gl::FlushQuads();
  gl().LineWidth(width);
}

void TGLKor2DDriver::Cls() {
  if (NoContext()) return;
  platform::gl::FlushQuads();
  gl().Clear(GL_COLOR_BUFFER_BIT);
}

void TGLKor2DDriver::Plot(float x, float y) {
  if (NoContext()) return;
  BeginPrimitive(GL_POINTS);
  gl().Vertex2f(x + 0.5f, y + 0.5f);
  gl().End();
}

void TGLKor2DDriver::DrawLine(float x0, float y0, float x1, float y1, float tx, float ty) {
  if (NoContext()) return;
  BeginPrimitive(GL_LINES);
  MappedVertex(x0, y0, tx, ty, 0.5f);
  MappedVertex(x1, y1, tx, ty, 0.5f);
  gl().End();
}

void TGLKor2DDriver::DrawRect(float x0, float y0, float x1, float y1, float tx, float ty) {
  if (NoContext()) return;
  gl_kor2d::UseNoTexture();
  const gl_kor2d::State& s = S();
  const float lx[4] = {x0, x1, x1, x0};
  const float ly[4] = {y0, y0, y1, y1};
  float xy[8];
  for (int i = 0; i < 4; ++i) {
    xy[i * 2] = lx[i] * s.ix + ly[i] * s.iy + tx;
    xy[i * 2 + 1] = lx[i] * s.jx + ly[i] * s.jy + ty;
  }
  const float uv[8] = {};
  platform::gl::QueueQuad(xy, uv);
}

void TGLKor2DDriver::DrawOval(float x0, float y0, float x1, float y1, float tx, float ty) {
  if (NoContext()) return;
  const float rx = (x1 - x0) * 0.5f, ry = (y1 - y0) * 0.5f;
  const float cx = x0 + rx, cy = y0 + ry;
  const int32_t n = OvalSegmentCount(rx, ry);
  if (n == 0) return;
  BeginPrimitive(GL_POLYGON);
  for (int32_t i = 0; i < n; ++i) {
    double sine = 0, cosine = 0;
    SinCosDegrees(360.0 * i / n, sine, cosine);
    MappedVertex(cx + rx * static_cast<float>(cosine), cy - ry * static_cast<float>(sine), tx, ty);
  }
  gl().End();
}

void TGLKor2DDriver::DrawPoly(const Array<float>& xy, float hx, float hy, float tx, float ty) {
  if (NoContext()) return;
  const int32_t n = xy.Length();
  if (n < 6 || n % 2 != 0) return;
  BeginPrimitive(GL_POLYGON);
  for (int32_t i = 0; i < n; i += 2)
    MappedVertex(xy[i] + hx, xy[i + 1] + hy, tx, ty);
  gl().End();
}

void TGLKor2DDriver::DrawPixmap(const Ref<TPixmap>& pixmap, int32_t x, int32_t y) {
  if (NoContext()) return;
  const int32_t blend = S().blend;
  SetBlend(2);
  platform::gl::FlushQuads();
  GLDrawPixmapAt(pixmap, x, y);
  SetBlend(blend);
}

Ref<TPixmap> TGLKor2DDriver::GrabPixmap(int32_t x, int32_t y, int32_t width, int32_t height) {
  if (NoContext()) return nullptr;
  if (width < 1 || height < 1) return nullptr;
  Ref<TPixmap> p = TPixmap::Create(width, height, FORMAT_RGBA32, 4);
  p->ClearPixels(0);
  const int32_t blend = S().blend;
  SetBlend(2);
  platform::gl::FlushQuads();
  // GL rows count from the bottom; only the part inside the buffer is read, the rest stays 0.
  const int64_t bw = CurrentGraphicsWidth(), bh = CurrentGraphicsHeight();
  const int64_t gx0 = x, gy0 = bh - height - int64_t{y};
  const int64_t cx0 = std::max<int64_t>(gx0, 0), cy0 = std::max<int64_t>(gy0, 0);
  const int64_t cx1 = std::min<int64_t>(gx0 + width, bw), cy1 = std::min<int64_t>(gy0 + height, bh);
  if (cx0 < cx1 && cy0 < cy1) {
    gl().PixelStorei(GL_PACK_ROW_LENGTH, width);
    gl().ReadPixels(static_cast<GLint>(cx0), static_cast<GLint>(cy0),
                    static_cast<GLsizei>(cx1 - cx0), static_cast<GLsizei>(cy1 - cy0), GL_RGBA,
                    GL_UNSIGNED_BYTE,
                    p->PixelPtr(static_cast<int32_t>(cx0 - gx0), static_cast<int32_t>(cy0 - gy0)));
    gl().PixelStorei(GL_PACK_ROW_LENGTH, 0);
  }
  SetBlend(blend);
  return MirrorPixmapY(p);
}

void TGLKor2DDriver::ResetGLContext(const Ref<TGraphics>& graphics) {
  if (NoContext()) return;
  int32_t w = 0, h = 0, depth = 0, hertz = 0, flags = 0;
  graphics->GetSettings(w, h, depth, hertz, flags);
  platform::gl::FlushQuads();
  gl_kor2d::State& s = S();
  s.blend = 0;
  s.boundTexture = 0;
  s.textured = false;
  gl().Disable(GL_TEXTURE_2D);
  gl().MatrixMode(GL_PROJECTION);
  gl().LoadIdentity();
  gl().Ortho(0, w, h, 0, -1, 1);
  gl().MatrixMode(GL_MODELVIEW);
  gl().Viewport(0, 0, w, h);
}

Ref<TGLKor2DDriver> GLKor2DInstance() {
  static NeverDestroyed<Ref<TGLKor2DDriver>> driver;
  if (!*driver) *driver = New<TGLKor2DDriver>();
  return *driver;
}

int InitGLImageFrameModule() {
  static ModuleGuard guard("OpenGL image frame");
  return guard.Run({InitCoreModule, InitKor2DDriverModule, InitGLGraphicsModule},
                   [] { RegisterClass<TGLImageFrame>(); });
}

int InitGLKor2DModule() {
  static ModuleGuard guard("OpenGL 2D driver");
  return guard.Run({InitCoreModule, InitKor2DModule, InitGLGraphicsModule, InitGLImageFrameModule},
                   [] {
                     RegisterClass<TGLKor2DDriver>();
                     UseGraphicsDriver(GLKor2DInstance(), 2);
                   });
}

}  // namespace vxl
