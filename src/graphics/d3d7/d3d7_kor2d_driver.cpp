#include "graphics/d3d7/d3d7_kor2d_driver.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "graphics/kor2d/kor2d.h"
#include "pixmap/pixel_format.h"
#include "runtime/class_binder.h"
#include "runtime/exceptions.h"
#include "runtime/never_destroyed.h"

namespace vxl {
namespace dd = platform::d3d7;

VXL_DEFINE_CLASS(TD3D7Kor2DDriver)

namespace {

constexpr uint32_t kColorFormat = dd::D3DFVF_XYZ | dd::D3DFVF_DIFFUSE;
constexpr uint32_t kTexturedFormat = dd::D3DFVF_XYZ | dd::D3DFVF_DIFFUSE | dd::D3DFVF_TEX1;

Ref<TD3D7GraphicsDriver> Plain() {
  return D3D7DriverInstance();
}

uint32_t ColorByte(int32_t v) {
  return static_cast<uint32_t>(std::clamp(v, 0, 255));
}

// a + b without overflow, held to the int32 range.
int32_t SaturatedAdd(int32_t a, int32_t b) {
  const int64_t sum = int64_t{a} + b;
  return static_cast<int32_t>(std::clamp<int64_t>(sum, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// The pixel formats a system-memory surface can show a pixmap in, by pixmap format.
bool DescribeFormat(int32_t format, dd::DDPIXELFORMAT& pf) {
  switch (format) {
    case FORMAT_BGR24:
      pf = {dd::DDPF_RGB, 24, 0xFF0000, 0xFF00, 0xFF, 0};
      return true;
    case FORMAT_RGB24:
      pf = {dd::DDPF_RGB, 24, 0xFF, 0xFF00, 0xFF0000, 0};
      return true;
    case FORMAT_BGRA32:
      pf = {dd::DDPF_RGB | dd::DDPF_ALPHAPIXELS, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000};
      return true;
    case FORMAT_RGBA32:
      pf = {dd::DDPF_RGB | dd::DDPF_ALPHAPIXELS, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000};
      return true;
    default:
      return false;
  }
}

// The render surface of the current context, or nullptr.
dd::IDirectDrawSurface7* RenderTarget() {
  Ref<TD3D7GraphicsDriver> plain = Plain();
  Ref<TD3D7Graphics> g = plain ? plain->Graphics() : nullptr;
  return g ? g->RenderSurface() : nullptr;
}

// Runs `copy` between EndScene and BeginScene with device contexts of the render target and of
// a system-memory surface over `pixmap`.
template <class F>
void WithDeviceContexts(TD3D7Kor2DDriver& driver, const Ref<TPixmap>& pixmap, F copy) {
  dd::IDirectDrawSurface7* target = RenderTarget();
  if (!target) return;
  Ref<TPixmap> keep;
  dd::IDirectDrawSurface7* wrapper = driver.surffrompixmap(pixmap, keep);
  Ref<TD3D7GraphicsDriver> plain = Plain();
  plain->EndScene();
  dd::DeviceContext* targetDC = nullptr;
  dd::DeviceContext* pixmapDC = nullptr;
  if (target->GetDC(&targetDC) >= 0) {
    if (wrapper->GetDC(&pixmapDC) >= 0) {
      copy(targetDC, pixmapDC);
      wrapper->ReleaseDC(pixmapDC);
    }
    target->ReleaseDC(targetDC);
  }
  wrapper->Release();
  plain->BeginScene();
}

}  // namespace

String TD3D7Kor2DDriver::ToString() const {
  return String("DirectX7");
}

Array<Ref<TGraphicsMode>> TD3D7Kor2DDriver::GraphicsModes() {
  Ref<TD3D7GraphicsDriver> plain = Plain();
  return plain ? plain->GraphicsModes() : Array<Ref<TGraphicsMode>>();
}

Ref<TGraphics> TD3D7Kor2DDriver::AttachGraphics(int64_t window, int32_t flags) {
  Ref<TD3D7GraphicsDriver> plain = Plain();
  Ref<TGraphics> g = plain ? plain->AttachGraphics(window, flags) : nullptr;
  if (!g) return nullptr;
  return TKor2DGraphics::Create(g, Ref<TKor2DDriver>(this));
}

Ref<TGraphics> TD3D7Kor2DDriver::CreateGraphics(int32_t width, int32_t height, int32_t depth,
                                                int32_t hertz, int32_t flags) {
  Ref<TD3D7GraphicsDriver> plain = Plain();
  Ref<TGraphics> g = plain ? plain->CreateGraphics(width, height, depth, hertz, flags) : nullptr;
  if (!g) return nullptr;
  return TKor2DGraphics::Create(g, Ref<TKor2DDriver>(this));
}

void TD3D7Kor2DDriver::SetGraphics(const Ref<TGraphics>& graphics) {
  Ref<TD3D7GraphicsDriver> plain = Plain();
  if (!plain) return;
  auto* k = dynamic_cast<TKor2DGraphics*>(graphics.Get());
  if (!k) {
    TKor2DGraphics::ClearCurrent();
    plain->EndScene();
    plain->SetGraphics(nullptr);
    activeFrame = nullptr;
    return;
  }
  plain->SetGraphics(k->_graphics);
  ResetD3DDevice(graphics);
  // The scene opens before the state is made current: the first use clears both buffers, and
  // the device clears only inside a scene.
  plain->BeginScene();
  k->MakeCurrent();
}

void TD3D7Kor2DDriver::Flip(int32_t sync) {
  Ref<TD3D7GraphicsDriver> plain = Plain();
  if (!plain) return;
  const int32_t generation = graphicsGeneration;
  const int32_t wasValid = IsValid();
  plain->Flip(sync);
  if (IsValid() && (!wasValid || generation != graphicsGeneration)) {
    if (Ref<TKor2DGraphics> current = TKor2DGraphics::Current()) {
      ResetD3DDevice(current);
      current->Validate();
    }
  }
}

Ref<TImageFrame> TD3D7Kor2DDriver::CreateFrameFromPixmap(const Ref<TPixmap>& pixmap,
                                                         int32_t flags) {
  if (!IsValid() || !pixmap) return nullptr;
  Ref<TD3D7ImageFrame> frame = CreateFrameWithSize(pixmap->width, pixmap->height, flags);
  if (!frame) return nullptr;
  Ref<TPixmap> texels = frame->Lock(0, 1);
  texels->Paste(pixmap, 0, 0);
  frame->Unlock();
  return frame;
}

void TD3D7Kor2DDriver::SetBlend(int32_t blend) {
  if (blend == activeBlend) return;
  activeBlend = blend;
  dd::IDirect3DDevice7* device = _Device();
  if (!device || blend < 1 || blend > 5) return;
  const bool test = blend == MASKBLEND, blending = blend >= ALPHABLEND;
  device->SetRenderState(dd::D3DRENDERSTATE_ALPHATESTENABLE, test ? 1 : 0);
  if (test) {
    device->SetRenderState(dd::D3DRENDERSTATE_ALPHAREF, 128);
    device->SetRenderState(dd::D3DRENDERSTATE_ALPHAFUNC, dd::D3DCMP_GREATEREQUAL);
  }
  device->SetRenderState(dd::D3DRENDERSTATE_ALPHABLENDENABLE, blending ? 1 : 0);
  if (!blending) return;
  uint32_t source = dd::D3DBLEND_SRCALPHA, destination = dd::D3DBLEND_INVSRCALPHA;
  if (blend == LIGHTBLEND) destination = dd::D3DBLEND_ONE;
  if (blend == SHADEBLEND) {
    source = dd::D3DBLEND_ZERO;
    destination = dd::D3DBLEND_SRCCOLOR;
  }
  device->SetRenderState(dd::D3DRENDERSTATE_SRCBLEND, source);
  device->SetRenderState(dd::D3DRENDERSTATE_DESTBLEND, destination);
}

void TD3D7Kor2DDriver::SetAlpha(float alpha) {
  const float a = std::isnan(alpha) ? 0.0f : std::clamp(alpha, 0.0f, 1.0f);
  drawalpha = static_cast<int32_t>(a * 255.0f);
  drawcolor = (drawcolor & 0x00FFFFFFu) | (static_cast<uint32_t>(drawalpha) << 24);
  for (D3D7Vertex& v : cverts)
    v.color = drawcolor;
}

void TD3D7Kor2DDriver::SetColor(int32_t red, int32_t green, int32_t blue) {
  drawcolor = (drawcolor & 0xFF000000u) | (ColorByte(red) << 16) | (ColorByte(green) << 8) |
              ColorByte(blue);
  for (D3D7Vertex& v : cverts)
    v.color = drawcolor;
}

void TD3D7Kor2DDriver::SetClsColor(int32_t red, int32_t green, int32_t blue) {
  clscolor = 0xFF000000u | (ColorByte(red) << 16) | (ColorByte(green) << 8) | ColorByte(blue);
}

void TD3D7Kor2DDriver::SetViewport(int32_t x, int32_t y, int32_t width, int32_t height) {
  vp_rect[0] = x;
  vp_rect[1] = y;
  vp_rect[2] = SaturatedAdd(x, width);
  vp_rect[3] = SaturatedAdd(y, height);
  dd::IDirect3DDevice7* device = _Device();
  if (!device) return;
  if (x == 0 && y == 0 && width == CurrentGraphicsWidth() && height == CurrentGraphicsHeight()) {
    device->SetRenderState(dd::D3DRENDERSTATE_CLIPPLANEENABLE, 0);
    return;
  }
  const float fx = static_cast<float>(x), fy = static_cast<float>(y);
  const float right = static_cast<float>(int64_t{x} + width);
  const float bottom = static_cast<float>(int64_t{y} + height);
  const float planes[4][4] = {
      {1, 0, 0, -fx}, {-1, 0, 0, right}, {0, 1, 0, -fy}, {0, -1, 0, bottom}};
  for (uint32_t i = 0; i < 4; ++i) {
    if (device->SetClipPlane(i, planes[i]) < 0) Throw("device does not support clipplanes");
  }
  device->SetRenderState(dd::D3DRENDERSTATE_CLIPPLANEENABLE, 15);
}

void TD3D7Kor2DDriver::SetTransform(float ix_, float iy_, float jx_, float jy_) {
  ix = ix_;
  iy = iy_;
  jx = jx_;
  jy = jy_;
}

void TD3D7Kor2DDriver::SetLineWidth(float width) {
  linewidth = width;
}

void TD3D7Kor2DDriver::Cls() {
  dd::IDirect3DDevice7* device = _Device();
  if (!device) return;
  const dd::D3DRECT rect{vp_rect[0], vp_rect[1], vp_rect[2], vp_rect[3]};
  device->Clear(1, &rect, dd::D3DCLEAR_TARGET, clscolor, 0, 0);
}

void TD3D7Kor2DDriver::Plot(float x, float y) {
  if (!_Device()) return;
  const D3D7Vertex v = PlotVertex(x, y, drawcolor);
  _Draw(dd::D3DPT_POINTLIST, &v, 1);
}

void TD3D7Kor2DDriver::DrawLine(float x0, float y0, float x1, float y1, float tx, float ty) {
  if (!_Device()) return;
  const int n = LineVertices(_Mapping(), linewidth, x0, y0, x1, y1, tx, ty, drawcolor, cverts);
  _Draw(n == 2 ? dd::D3DPT_LINELIST : dd::D3DPT_TRIANGLESTRIP, cverts, static_cast<size_t>(n));
}

void TD3D7Kor2DDriver::DrawRect(float x0, float y0, float x1, float y1, float tx, float ty) {
  if (!_Device()) return;
  RectVertices(_Mapping(), x0, y0, x1, y1, tx, ty, drawcolor, cverts);
  _Draw(dd::D3DPT_TRIANGLESTRIP, cverts, 4);
}

void TD3D7Kor2DDriver::DrawOval(float x0, float y0, float x1, float y1, float tx, float ty) {
  if (!_Device()) return;
  const std::vector<D3D7Vertex> v = OvalVertices(_Mapping(), x0, y0, x1, y1, tx, ty, drawcolor);
  _Draw(dd::D3DPT_TRIANGLEFAN, v.data(), v.size());
}

void TD3D7Kor2DDriver::DrawPoly(const Array<float>& xy, float hx, float hy, float tx, float ty) {
  if (!_Device()) return;
  const std::vector<D3D7Vertex> v = PolyVertices(_Mapping(), xy, hx, hy, tx, ty, drawcolor);
  _Draw(dd::D3DPT_TRIANGLEFAN, v.data(), v.size());
}

void TD3D7Kor2DDriver::DrawFrame(TD3D7ImageFrame* frame, float x0, float y0, float x1, float y1,
                                 float tx, float ty) {
  dd::IDirect3DDevice7* device = _Device();
  // A frame of an earlier generation lost its surface with the DirectDraw object.
  if (!device || !frame || !frame->surface || frame->seq != graphicsGeneration) return;
  FrameVertices(_Mapping(), x0, y0, x1, y1, tx, ty, drawcolor, frame->xyzuv);
  SetActiveFrame(frame);
  device->DrawPrimitive(dd::D3DPT_TRIANGLEFAN, kTexturedFormat, frame->xyzuv, 4, 0);
}

void TD3D7Kor2DDriver::DrawPixmap(const Ref<TPixmap>& pixmap, int32_t x, int32_t y) {
  if (!_Device() || !pixmap || pixmap->width < 1 || pixmap->height < 1) return;
  WithDeviceContexts(*this, pixmap, [&](dd::DeviceContext* target, dd::DeviceContext* source) {
    dd::BitBlt(target, x, y, pixmap->width, pixmap->height, source, 0, 0, dd::SRCCOPY);
  });
}

Ref<TPixmap> TD3D7Kor2DDriver::GrabPixmap(int32_t x, int32_t y, int32_t width, int32_t height) {
  if (!_Device() || width < 1 || height < 1) return nullptr;
  Ref<TPixmap> grabbed = TPixmap::Create(width, height, FORMAT_BGR24, 4);
  grabbed->ClearPixels(0);
  WithDeviceContexts(*this, grabbed, [&](dd::DeviceContext* target, dd::DeviceContext* pixels) {
    dd::BitBlt(pixels, 0, 0, width, height, target, x, y, dd::SRCCOPY);
  });
  return grabbed;
}

int32_t TD3D7Kor2DDriver::IsValid() const {
  return D3D7GraphicsValid();
}

void TD3D7Kor2DDriver::ResetD3DDevice(const Ref<TGraphics>& graphics) {
  dd::IDirect3DDevice7* device = _Device();
  if (!device || !graphics) return;
  int32_t w = 0, h = 0, depth = 0, hertz = 0, flags = 0;
  graphics->GetSettings(w, h, depth, hertz, flags);
  dd::D3DVIEWPORT7 viewport;
  viewport.width = static_cast<uint32_t>(std::max(w, 0));
  viewport.height = static_cast<uint32_t>(std::max(h, 0));
  device->SetViewport(viewport);
  device->SetTexture(0, nullptr);
  const float fw = static_cast<float>(w), fh = static_cast<float>(h);
  dd::D3DMATRIX projection;
  projection.m11 = 2.0f / fw;
  projection.m22 = -2.0f / fh;
  projection.m33 = 1;
  projection.m41 = -1.0f - 1.0f / fw;
  projection.m42 = 1.0f + 1.0f / fh;
  projection.m44 = 1;
  device->SetTransform(dd::D3DTRANSFORMSTATE_PROJECTION, projection);
  device->SetRenderState(dd::D3DRENDERSTATE_ALPHAREF, 128);
  device->SetRenderState(dd::D3DRENDERSTATE_ALPHAFUNC, dd::D3DCMP_GREATEREQUAL);
  device->SetRenderState(dd::D3DRENDERSTATE_ALPHATESTENABLE, 0);
  device->SetRenderState(dd::D3DRENDERSTATE_ALPHABLENDENABLE, 0);
  device->SetRenderState(dd::D3DRENDERSTATE_LIGHTING, 0);
  device->SetRenderState(dd::D3DRENDERSTATE_CULLMODE, dd::D3DCULL_NONE);
  _SetColorOps(dd::D3DTOP_SELECTARG2);
  device->SetTextureStageState(0, dd::D3DTSS_COLORARG1, dd::D3DTA_TEXTURE);
  device->SetTextureStageState(0, dd::D3DTSS_COLORARG2, dd::D3DTA_DIFFUSE);
  device->SetTextureStageState(0, dd::D3DTSS_ALPHAARG1, dd::D3DTA_TEXTURE);
  device->SetTextureStageState(0, dd::D3DTSS_ALPHAARG2, dd::D3DTA_DIFFUSE);
  device->SetTextureStageState(0, dd::D3DTSS_ADDRESS, dd::D3DTADDRESS_CLAMP);
  device->SetTextureStageState(0, dd::D3DTSS_MAGFILTER, dd::D3DTFG_POINT);
  device->SetTextureStageState(0, dd::D3DTSS_MINFILTER, dd::D3DTFN_POINT);
  device->SetTextureStageState(0, dd::D3DTSS_MIPFILTER, dd::D3DTFP_POINT);
  activeFrame = nullptr;
  activeFrameFlags = 0;
  activeBlend = SOLIDBLEND;
}

Ref<TD3D7ImageFrame> TD3D7Kor2DDriver::CreateFrameWithSize(int32_t width, int32_t height,
                                                           int32_t flags) {
  if (!IsValid()) return nullptr;
  return TD3D7ImageFrame::Create(Ref<TD3D7Kor2DDriver>(this), width, height, flags);
}

dd::IDirectDrawSurface7* TD3D7Kor2DDriver::surffrompixmap(const Ref<TPixmap>& pixmap,
                                                          Ref<TPixmap>& keep) {
  Ref<TD3D7GraphicsDriver> plain = Plain();
  dd::IDirectDraw7* ddraw = plain ? plain->DirectDraw7() : nullptr;
  keep = pixmap;
  dd::DDPIXELFORMAT pf;
  if (pixmap && !DescribeFormat(pixmap->format, pf)) {
    // Grey stays grey as BGR24; every other one-byte format goes through BGRA32, which keeps
    // its alpha.
    keep = pixmap->Convert(pixmap->format == FORMAT_GREY8 ? FORMAT_BGR24 : FORMAT_BGRA32);
    DescribeFormat(keep->format, pf);
  }
  dd::IDirectDrawSurface7* surface = nullptr;
  if (ddraw && keep && keep->pixels) {
    dd::DDSURFACEDESC2 desc;
    desc.flags = dd::DDSD_CAPS | dd::DDSD_HEIGHT | dd::DDSD_WIDTH | dd::DDSD_PITCH |
                 dd::DDSD_PIXELFORMAT | dd::DDSD_LPSURFACE;
    desc.width = static_cast<uint32_t>(keep->width);
    desc.height = static_cast<uint32_t>(keep->height);
    desc.pitch = keep->pitch;
    desc.surface = keep->pixels;
    desc.caps.caps = dd::DDSCAPS_OFFSCREENPLAIN | dd::DDSCAPS_SYSTEMMEMORY;
    desc.pixelFormat = pf;
    if (ddraw->CreateSurface(desc, &surface, nullptr) < 0) surface = nullptr;
  }
  if (!surface) RaiseRuntimeError(String("D3D7Kor2D Create System Surface Failed"));
  return surface;
}

void TD3D7Kor2DDriver::SetActiveFrame(TD3D7ImageFrame* frame) {
  if (frame == activeFrame.Get()) return;
  dd::IDirect3DDevice7* device = _Device();
  if (!device) return;
  if (!frame) {
    device->SetTexture(0, nullptr);
    _SetColorOps(dd::D3DTOP_SELECTARG2);
  } else {
    device->SetTexture(0, frame->surface);
    if (!activeFrame) _SetColorOps(dd::D3DTOP_MODULATE);
    const int32_t filtered = frame->flags & FILTEREDIMAGE;
    if (filtered != activeFrameFlags) {
      _SetFilters(filtered != 0);
      activeFrameFlags = filtered;
    }
  }
  activeFrame = Ref<TD3D7ImageFrame>(frame);
}

dd::IDirect3DDevice7* TD3D7Kor2DDriver::_Device() const {
  Ref<TD3D7GraphicsDriver> plain = Plain();
  return plain && IsValid() ? plain->Direct3DDevice7() : nullptr;
}

void TD3D7Kor2DDriver::_Draw(dd::D3DPRIMITIVETYPE type, const D3D7Vertex* v, size_t count) {
  dd::IDirect3DDevice7* device = _Device();
  if (!device || count == 0) return;
  SetActiveFrame(nullptr);
  device->DrawPrimitive(type, kColorFormat, v, static_cast<uint32_t>(count), 0);
}

void TD3D7Kor2DDriver::_SetColorOps(uint32_t op) {
  dd::IDirect3DDevice7* device = _Device();
  if (!device) return;
  device->SetTextureStageState(0, dd::D3DTSS_COLOROP, op);
  device->SetTextureStageState(0, dd::D3DTSS_ALPHAOP, op);
}

void TD3D7Kor2DDriver::_SetFilters(bool filtered) {
  dd::IDirect3DDevice7* device = _Device();
  device->SetTextureStageState(0, dd::D3DTSS_MAGFILTER,
                               filtered ? dd::D3DTFG_LINEAR : dd::D3DTFG_POINT);
  device->SetTextureStageState(0, dd::D3DTSS_MINFILTER,
                               filtered ? dd::D3DTFN_LINEAR : dd::D3DTFN_POINT);
  device->SetTextureStageState(0, dd::D3DTSS_MIPFILTER,
                               filtered ? dd::D3DTFP_POINT : dd::D3DTFP_NONE);
}

void TD3D7Kor2DDriver::Bind(ClassBinder<TD3D7Kor2DDriver>& b) {
  b.Field<&TD3D7Kor2DDriver::drawalpha>("drawalpha");
  b.Field<&TD3D7Kor2DDriver::ix>("ix");
  b.Field<&TD3D7Kor2DDriver::iy>("iy");
  b.Field<&TD3D7Kor2DDriver::jx>("jx");
  b.Field<&TD3D7Kor2DDriver::jy>("jy");
  b.Field<&TD3D7Kor2DDriver::linewidth>("linewidth");
  b.ReadOnlyField<&TD3D7Kor2DDriver::activeBlend>("activeBlend");
  b.ReadOnlyField<&TD3D7Kor2DDriver::activeFrameFlags>("activeFrameFlags");
  b.Method<&TD3D7Kor2DDriver::IsValid>("IsValid");
}

Ref<TD3D7Kor2DDriver> D3D7Kor2DInstance() {
  static NeverDestroyed<Ref<TD3D7Kor2DDriver>> driver;
  if (*driver) return *driver;
  if (!TD3D7GraphicsDriver::Create()) return nullptr;
  *driver = New<TD3D7Kor2DDriver>();
  return *driver;
}

}  // namespace vxl
