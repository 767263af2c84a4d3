#include "graphics/d3d7/d3d7_image_frame.h"

#include <algorithm>

#include "graphics/d3d7/d3d7_graphics.h"
#include "graphics/d3d7/d3d7_kor2d_driver.h"
#include "pixmap/pixel_format.h"
#include "runtime/class_binder.h"
#include "runtime/exceptions.h"

namespace vxl {
namespace dd = platform::d3d7;

VXL_DEFINE_CLASS(TD3D7ImageFrame)
VXL_DEFINE_CLASS(TMip)

namespace {

// The smallest power of two >= side (at least 1); beyond the largest texture side, 0.
int32_t TextureSide(int32_t side) {
  int64_t t = 1;
  while (t < side)
    t *= 2;
  return t > dd::kMaxTextureSide ? 0 : static_cast<int32_t>(t);
}

TexelLevel LevelOf(const dd::DDSURFACEDESC2& desc) {
  TexelLevel level;
  level.pixels = static_cast<uint32_t*>(desc.surface);
  level.width = static_cast<int32_t>(desc.width);
  level.height = static_cast<int32_t>(desc.height);
  level.pitch = desc.pitch / 4;
  return level;
}

}  // namespace

// TD3D7ImageFrame

TD3D7ImageFrame::~TD3D7ImageFrame() {
  // Surfaces of earlier generations went with their DirectDraw object.
  if (surface && _Current()) {
    if (Ref<TD3D7GraphicsDriver> plain = D3D7DriverInstance()) plain->DestroySurface(surface);
  }
  surface = nullptr;
}

bool TD3D7ImageFrame::_Current() const {
  return seq != 0 && seq == graphicsGeneration;
}

void TD3D7ImageFrame::SetUV(float u0, float v0, float u1, float v1) {
  xyzuv[0].u = u0;
  xyzuv[0].v = v0;
  xyzuv[1].u = u1;
  xyzuv[1].v = v0;
  xyzuv[2].u = u1;
  xyzuv[2].v = v1;
  xyzuv[3].u = u0;
  xyzuv[3].v = v1;
}

Ref<TPixmap> TD3D7ImageFrame::Lock(int32_t read, int32_t write) {
  uint32_t lockFlags = dd::DDLOCK_WAIT;
  if (read && !write) lockFlags |= dd::DDLOCK_READONLY;
  if (write && !read) lockFlags |= dd::DDLOCK_WRITEONLY;
  if (!surface || !_Current() || surface->Lock(nullptr, &sinfo, lockFlags, nullptr) < 0)
    RaiseRuntimeError(String("DD3D7ImageFrame Lock failed"));
  return TPixmap::CreateStatic(static_cast<uint8_t*>(sinfo.surface),
                               static_cast<int32_t>(sinfo.width),
                               static_cast<int32_t>(sinfo.height), sinfo.pitch, FORMAT_BGRA32);
}

void TD3D7ImageFrame::Unlock() {
  if (!surface || !_Current()) return;
  SmearEdges();
  surface->Unlock(nullptr);
  sinfo.surface = nullptr;
  if (flags & MIPMAPPEDIMAGE) BuildMipMaps();
}

void TD3D7ImageFrame::Draw(float x0, float y0, float x1, float y1, float tx, float ty) {
  if (driver) driver->DrawFrame(this, x0, y0, x1, y1, tx, ty);
}

TexelLevel TD3D7ImageFrame::_Locked() const {
  return LevelOf(sinfo);
}

void TD3D7ImageFrame::SmearEdges() {
  if (!sinfo.surface) return;
  SmearTexelEdges(_Locked(), width, height, (flags & MIPMAPPEDIMAGE) != 0);
}

void TD3D7ImageFrame::BuildMipMaps() {
  if (!surface || !_Current()) return;
  dd::IDirectDrawSurface7* level = surface;
  level->AddRef();
  for (;;) {
    dd::DDSCAPS2 caps;
    caps.caps = dd::DDSCAPS_TEXTURE;
    caps.caps2 = dd::DDSCAPS2_MIPMAPSUBLEVEL;
    dd::IDirectDrawSurface7* next = nullptr;
    if (level->GetAttachedSurface(caps, &next) < 0 || !next) break;
    Ref<TMip> larger = New<TMip>(), smaller = New<TMip>();
    if (!larger->Lock(level) || !smaller->Lock(next)) {
      larger->Unlock();
      smaller->Unlock();
      next->Release();
      level->Release();
      RaiseRuntimeError(String("BuildMipMaps: lock failed"));
    }
    HalveTexelLevel(larger->Level(), smaller->Level());
    larger->Unlock();
    smaller->Unlock();
    level->Release();
    level = next;
  }
  level->Release();
}

Ref<TD3D7ImageFrame> TD3D7ImageFrame::Create(const Ref<TD3D7Kor2DDriver>& driver, int32_t width,
                                             int32_t height, int32_t flags) {
  const int32_t tw = TextureSide(width), th = TextureSide(height);
  Ref<TD3D7GraphicsDriver> plain = D3D7DriverInstance();
  dd::IDirectDrawSurface7* surface = nullptr;
  if (tw > 0 && th > 0 && plain) {
    dd::DDSURFACEDESC2 desc;
    desc.flags = dd::DDSD_CAPS | dd::DDSD_HEIGHT | dd::DDSD_WIDTH | dd::DDSD_PIXELFORMAT;
    desc.width = static_cast<uint32_t>(tw);
    desc.height = static_cast<uint32_t>(th);
    desc.caps.caps = (flags & MIPMAPPEDIMAGE)
                         ? dd::DDSCAPS_TEXTURE | dd::DDSCAPS_MIPMAP | dd::DDSCAPS_COMPLEX
                         : dd::DDSCAPS_TEXTURE;
    desc.caps.caps2 = dd::DDSCAPS2_TEXTUREMANAGE;
    desc.pixelFormat.flags = dd::DDPF_RGB | dd::DDPF_ALPHAPIXELS;
    desc.pixelFormat.rgbBitCount = 32;
    desc.pixelFormat.rBitMask = 0xFF0000;
    desc.pixelFormat.gBitMask = 0xFF00;
    desc.pixelFormat.bBitMask = 0xFF;
    desc.pixelFormat.alphaBitMask = 0xFF000000;
    surface = plain->CreateSurface(desc);
  }
  if (!surface) Throw("Create DX7 surface Failed");
  auto frame = New<TD3D7ImageFrame>();
  frame->seq = graphicsGeneration;
  frame->driver = driver;
  frame->surface = surface;
  frame->width = width;
  frame->height = height;
  frame->flags = flags;
  frame->SetUV(0, 0, static_cast<float>(width) / static_cast<float>(tw),
               static_cast<float>(height) / static_cast<float>(th));
  return frame;
}

int32_t TD3D7ImageFrame::Mix(int32_t pixel1, int32_t pixel2) {
  return static_cast<int32_t>(
      MixTexels(static_cast<uint32_t>(pixel1), static_cast<uint32_t>(pixel2)));
}

void TD3D7ImageFrame::Bind(ClassBinder<TD3D7ImageFrame>& b) {
  b.ReadOnlyField<&TD3D7ImageFrame::seq>("seq");
  b.ReadOnlyField<&TD3D7ImageFrame::width>("width");
  b.ReadOnlyField<&TD3D7ImageFrame::height>("height");
  b.ReadOnlyField<&TD3D7ImageFrame::flags>("flags");
}

// TMip

TMip::~TMip() {
  Unlock();
}

int32_t TMip::Lock(dd::IDirectDrawSurface7* surface) {
  Unlock();
  if (!surface || surface->Lock(nullptr, &info, dd::DDLOCK_WAIT, nullptr) < 0) return 0;
  surf = surface;
  return 1;
}

TexelLevel TMip::Level() const {
  return surf ? LevelOf(info) : TexelLevel{};
}

void TMip::Write(int32_t x, int32_t y, int32_t pixel) {
  const TexelLevel l = Level();
  if (!l.pixels) return;
  x = std::clamp(x, 0, l.width - 1);
  y = std::clamp(y, 0, l.height - 1);
  l.pixels[static_cast<int64_t>(y) * l.pitch + x] = static_cast<uint32_t>(pixel);
}

int32_t TMip::Read(int32_t x, int32_t y) const {
  const TexelLevel l = Level();
  if (!l.pixels) return 0;
  x = std::clamp(x, 0, l.width - 1);
  y = std::clamp(y, 0, l.height - 1);
  return static_cast<int32_t>(l.pixels[static_cast<int64_t>(y) * l.pitch + x]);
}

void TMip::Unlock() {
  if (!surf) return;
  surf->Unlock(nullptr);
  surf = nullptr;
  info.surface = nullptr;
}

void TMip::Bind(ClassBinder<TMip>& b) {
  b.Method<&TMip::Read>("Read");
  b.Method<&TMip::Write>("Write");
  b.Method<&TMip::Unlock>("Unlock");
}

}  // namespace vxl
