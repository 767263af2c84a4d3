#include "platform/d3d7/soft_surface.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

#include "platform/d3d7/d3d7_window.h"
#include "platform/d3d7/soft_display.h"

namespace vxl::platform::d3d7 {

namespace {

constexpr int32_t kMaxPlainSide = 16384;

bool IsByteMask(uint32_t mask, int32_t bytes) {
  if (mask == 0) return false;
  int shift = std::countr_zero(mask);
  return shift % 8 == 0 && (mask >> shift) == 0xFF && shift / 8 < bytes;
}

// The channels of a pixel: 0xAARRGGBB, alpha 0xFF where the layout has none.
uint32_t ReadPixel(const PixelLayout& l, const uint8_t* p) {
  uint32_t v = p[0] | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
  if (l.bytes == 4) v |= uint32_t(p[3]) << 24;
  auto channel = [v](uint32_t mask) { return (v & mask) >> std::countr_zero(mask); };
  uint32_t a = l.alpha ? channel(l.alpha) : 0xFF;
  return a << 24 | channel(l.red) << 16 | channel(l.green) << 8 | channel(l.blue);
}

// Writes 0xAARRGGBB; a byte no mask covers gets 0xFF.
void WritePixel(const PixelLayout& l, uint8_t* p, uint32_t argb) {
  uint32_t covered = l.red | l.green | l.blue | l.alpha;
  uint32_t v = ~covered;
  auto put = [&v](uint32_t mask, uint32_t value) { v |= (value & 0xFF) << std::countr_zero(mask); };
  put(l.red, argb >> 16);
  put(l.green, argb >> 8);
  put(l.blue, argb);
  if (l.alpha) put(l.alpha, argb >> 24);
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  if (l.bytes == 4) p[3] = uint8_t(v >> 24);
}

bool SameLayout(const PixelLayout& a, const PixelLayout& b) {
  return a.bytes == b.bytes && a.red == b.red && a.green == b.green && a.blue == b.blue &&
         a.alpha == b.alpha;
}

SoftSurface* AsSoft(IDirectDrawSurface7* s) {
  return static_cast<SoftSurface*>(s);
}

bool ValidRect(const RECT& r) {
  return r.left <= r.right && r.top <= r.bottom;
}

RECT Intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

// The source pixel that the destination offset i (of dw) samples, of sw source pixels, by
// nearest pixel centre.
int64_t NearestSource(int64_t i, int64_t sw, int64_t dw) {
  return (i * 2 + 1) * sw / (2 * dw);
}

}  // namespace

bool LayoutOf(const DDPIXELFORMAT& f, PixelLayout* layout) {
  if (!(f.flags & DDPF_RGB) || (f.rgbBitCount != 24 && f.rgbBitCount != 32)) return false;
  PixelLayout l;
  l.bytes = int32_t(f.rgbBitCount / 8);
  l.red = f.rBitMask;
  l.green = f.gBitMask;
  l.blue = f.bBitMask;
  l.alpha = (f.flags & DDPF_ALPHAPIXELS) ? f.alphaBitMask : 0;
  if (!IsByteMask(l.red, l.bytes) || !IsByteMask(l.green, l.bytes) ||
      !IsByteMask(l.blue, l.bytes)) {
    return false;
  }
  if ((f.flags & DDPF_ALPHAPIXELS) && !IsByteMask(l.alpha, l.bytes)) return false;
  uint32_t all = l.red | l.green | l.blue | l.alpha;
  if (std::popcount(all) != std::popcount(l.red) + std::popcount(l.green) + std::popcount(l.blue) +
                                std::popcount(l.alpha)) {
    return false;
  }
  *layout = l;
  return true;
}

SoftSurface::SoftSurface(const std::shared_ptr<DirectDrawState>& owner, DDSCAPS2 caps,
                         int32_t width, int32_t height, const PixelLayout& layout)
    : owner_(owner), caps_(caps), width_(width), height_(height), layout_(layout) {
  owner_->surfaces.push_back(this);
}

SoftSurface::~SoftSurface() {
  if (owner_) {
    auto& list = owner_->surfaces;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    if (owner_->primary == this) owner_->primary = nullptr;
  }
  if (clipper_) clipper_->Release();
  DropChain();
}

void SoftSurface::Allocate() {
  pitch_ = (width_ * layout_.bytes + 3) / 4 * 4;
  storage_.assign(size_t(pitch_) * size_t(height_), 0);
  pixels_ = storage_.data();
}

void SoftSurface::DropChain() {
  SoftSurface* c = std::exchange(attached_, nullptr);
  while (c) {
    SoftSurface* next = std::exchange(c->attached_, nullptr);
    c->root_ = nullptr;
    c->lost_ = true;
    if (c->References() == 0) delete c;
    c = next;
  }
}

HRESULT SoftSurface::Create(const std::shared_ptr<DirectDrawState>& owner,
                            const DDSURFACEDESC2& desc, SoftSurface** out) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  if (!owner || !owner->alive || !(desc.flags & DDSD_CAPS)) return DDERR_INVALIDPARAMS;
  const uint32_t caps = desc.caps.caps;
  const bool sized = (desc.flags & DDSD_WIDTH) && (desc.flags & DDSD_HEIGHT);
  PixelLayout layout = kXrgb;
  if (desc.flags & DDSD_PIXELFORMAT) {
    if (!LayoutOf(desc.pixelFormat, &layout)) return DDERR_INVALIDPARAMS;
  }

  if (caps & DDSCAPS_PRIMARYSURFACE) {
    if (owner->primary) return DDERR_PRIMARYSURFACEALREADYEXISTS;
    const bool flip = caps & DDSCAPS_FLIP;
    if (!flip) {
      auto* s = new SoftSurface(owner, desc.caps, 0, 0, kXrgb);
      owner->primary = s;
      *out = s;
      return DD_OK;
    }
    if (!(caps & DDSCAPS_COMPLEX) || !(desc.flags & DDSD_BACKBUFFERCOUNT) ||
        desc.backBufferCount != 1) {
      return DDERR_INVALIDPARAMS;
    }
    if (!owner->exclusive) return DDERR_NOEXCLUSIVEMODE;
    int32_t w = owner->mode.width, h = owner->mode.height;
    if (!owner->modeSet && !DeviceWindowClientSize(owner->window, &w, &h)) {
      return DDERR_GENERIC;
    }
    if (w < 1 || h < 1) return DDERR_GENERIC;
    auto* front =
        new SoftSurface(owner, {caps | DDSCAPS_FRONTBUFFER, desc.caps.caps2}, w, h, kXrgb);
    front->flipping_ = true;
    front->Allocate();
    uint32_t backCaps =
        DDSCAPS_BACKBUFFER | DDSCAPS_FLIP | DDSCAPS_COMPLEX | (caps & DDSCAPS_3DDEVICE);
    auto* back = new SoftSurface(owner, {backCaps, 0}, w, h, kXrgb);
    back->Allocate();
    back->SetReferences(0);
    back->root_ = front;
    front->attached_ = back;
    owner->primary = front;
    *out = front;
    return DD_OK;
  }

  if (!sized || desc.width < 1 || desc.height < 1) return DDERR_INVALIDPARAMS;
  const auto w = int32_t(std::min<uint32_t>(desc.width, 1u << 30));
  const auto h = int32_t(std::min<uint32_t>(desc.height, 1u << 30));

  if (caps & DDSCAPS_TEXTURE) {
    if (w > kMaxTextureSide || h > kMaxTextureSide) return DDERR_INVALIDPARAMS;
    if ((desc.flags & DDSD_PIXELFORMAT) && !SameLayout(layout, kArgb)) {
      return DDERR_INVALIDPARAMS;
    }
    uint32_t levels = 1;
    if (caps & DDSCAPS_MIPMAP) {
      if (!(caps & DDSCAPS_COMPLEX)) return DDERR_INVALIDPARAMS;
      const auto full = uint32_t(std::bit_width(uint32_t(std::max(w, h))));  // down to 1x1
      levels = full;
      if (desc.flags & DDSD_MIPMAPCOUNT) {
        if (desc.mipMapCount < 1 || desc.mipMapCount > full) return DDERR_INVALIDPARAMS;
        levels = desc.mipMapCount;
      }
    }
    auto* top = new SoftSurface(owner, desc.caps, w, h, kArgb);
    top->Allocate();
    top->mipLevels_ = levels;
    SoftSurface* last = top;
    for (uint32_t i = 1; i < levels; ++i) {
      DDSCAPS2 sub{caps & (DDSCAPS_TEXTURE | DDSCAPS_MIPMAP | DDSCAPS_COMPLEX),
                   (desc.caps.caps2 & DDSCAPS2_TEXTUREMANAGE) | DDSCAPS2_MIPMAPSUBLEVEL};
      auto* level = new SoftSurface(owner, sub, std::max(1, w >> i), std::max(1, h >> i), kArgb);
      level->Allocate();
      level->SetReferences(0);
      level->root_ = top;
      last->attached_ = level;
      last = level;
    }
    *out = top;
    return DD_OK;
  }

  if (caps & DDSCAPS_OFFSCREENPLAIN) {
    if (w > kMaxPlainSide || h > kMaxPlainSide) return DDERR_INVALIDPARAMS;
    if (desc.flags & DDSD_LPSURFACE) {
      if (!(caps & DDSCAPS_SYSTEMMEMORY) || !desc.surface || !(desc.flags & DDSD_PITCH) ||
          !(desc.flags & DDSD_PIXELFORMAT) || desc.pitch < w * layout.bytes) {
        return DDERR_INVALIDPARAMS;
      }
      auto* s = new SoftSurface(owner, desc.caps, w, h, layout);
      s->pitch_ = desc.pitch;
      s->pixels_ = static_cast<uint8_t*>(desc.surface);
      *out = s;
      return DD_OK;
    }
    if ((caps & DDSCAPS_3DDEVICE) && !SameLayout(layout, kXrgb)) return DDERR_INVALIDPARAMS;
    auto* s = new SoftSurface(owner, desc.caps, w, h, layout);
    s->Allocate();
    *out = s;
    return DD_OK;
  }
  return DDERR_INVALIDPARAMS;
}

bool SoftSurface::Lost() const {
  return lost_ || !owner_ || !owner_->alive;
}

RasterSurface SoftSurface::Raster() {
  if (layout_.bytes != 4 || !pixels_ || pitch_ % 4 != 0 ||
      reinterpret_cast<uintptr_t>(pixels_) % alignof(uint32_t) != 0) {
    return {};
  }
  return {reinterpret_cast<uint32_t*>(pixels_), width_, height_, pitch_ / 4};
}

HRESULT SoftSurface::GetSurfaceDesc(DDSURFACEDESC2* desc) {
  if (!desc) return DDERR_INVALIDPARAMS;
  *desc = DDSURFACEDESC2{};
  desc->flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT;
  desc->width = uint32_t(width_);
  desc->height = uint32_t(height_);
  desc->pitch = pitch_;
  desc->caps = caps_;
  desc->pixelFormat.flags = DDPF_RGB | (layout_.alpha ? DDPF_ALPHAPIXELS : 0);
  desc->pixelFormat.rgbBitCount = uint32_t(layout_.bytes * 8);
  desc->pixelFormat.rBitMask = layout_.red;
  desc->pixelFormat.gBitMask = layout_.green;
  desc->pixelFormat.bBitMask = layout_.blue;
  desc->pixelFormat.alphaBitMask = layout_.alpha;
  if (flipping_) {
    desc->flags |= DDSD_BACKBUFFERCOUNT;
    desc->backBufferCount = 1;
  }
  if (mipLevels_ > 1) {
    desc->flags |= DDSD_MIPMAPCOUNT;
    desc->mipMapCount = mipLevels_;
  }
  return DD_OK;
}

HRESULT SoftSurface::Lock(const RECT* rect, DDSURFACEDESC2* desc, uint32_t flags, void*) {
  if (rect || !desc) return DDERR_INVALIDPARAMS;
  if ((flags & DDLOCK_READONLY) && (flags & DDLOCK_WRITEONLY)) return DDERR_INVALIDPARAMS;
  if (Lost()) return DDERR_SURFACELOST;
  if (!pixels_) return DDERR_UNSUPPORTED;
  if (Busy()) return DDERR_SURFACEBUSY;
  GetSurfaceDesc(desc);
  desc->flags |= DDSD_LPSURFACE;
  desc->surface = pixels_;
  locked_ = true;
  return DD_OK;
}

HRESULT SoftSurface::Unlock(const RECT* rect) {
  if (rect) return DDERR_INVALIDPARAMS;
  if (!locked_) return DDERR_NOTLOCKED;
  locked_ = false;
  return DD_OK;
}

HRESULT SoftSurface::GetAttachedSurface(const DDSCAPS2& caps, IDirectDrawSurface7** attached) {
  if (!attached) return DDERR_INVALIDPARAMS;
  *attached = nullptr;
  SoftSurface* a = attached_;
  if (!a || (a->caps_.caps & caps.caps) != caps.caps ||
      (a->caps_.caps2 & caps.caps2) != caps.caps2) {
    return DDERR_NOTFOUND;
  }
  a->AddRef();
  *attached = a;
  return DD_OK;
}

HRESULT SoftSurface::Flip(IDirectDrawSurface7* override, uint32_t flags) {
  if (override || (flags & ~(DDFLIP_WAIT | DDFLIP_NOVSYNC)) || !flipping_ || !attached_) {
    return DDERR_INVALIDPARAMS;
  }
  if (Lost() || attached_->Lost()) return DDERR_SURFACELOST;
  if (!owner_->exclusive) return DDERR_NOEXCLUSIVEMODE;
  if (Busy() || attached_->Busy()) return DDERR_SURFACEBUSY;
  if (!(flags & DDFLIP_NOVSYNC)) WaitForVerticalBlankStart();
  std::swap(storage_, attached_->storage_);
  pixels_ = storage_.data();
  attached_->pixels_ = attached_->storage_.data();
  PresentToWindow(owner_->window, Raster(), 0, 0, width_, height_, 0, 0);
  return DD_OK;
}

HRESULT SoftSurface::PresentInto(const RECT* destRect, SoftSurface* src, const RECT* srcRect) {
  WindowId window = 0;
  clipper_->GetHWnd(&window);
  int32_t ox = 0, oy = 0, cw = 0, ch = 0;
  if (!DeviceWindowClientOrigin(window, &ox, &oy) || !DeviceWindowClientSize(window, &cw, &ch)) {
    return DDERR_INVALIDPARAMS;
  }
  RasterSurface from = src->Raster();
  if (!from.pixels) return DDERR_INVALIDPARAMS;
  RECT s = srcRect ? *srcRect : RECT{0, 0, src->width_, src->height_};
  RECT d = destRect ? *destRect : RECT{ox, oy, ox + cw, oy + ch};
  if (!ValidRect(s) || !ValidRect(d)) return DDERR_INVALIDPARAMS;
  const int64_t sw = int64_t(s.right) - s.left, sh = int64_t(s.bottom) - s.top;
  const int64_t dw = int64_t(d.right) - d.left, dh = int64_t(d.bottom) - d.top;
  if (sw == 0 || sh == 0 || dw == 0 || dh == 0) return DD_OK;
  RECT visible = Intersect(d, RECT{ox, oy, ox + cw, oy + ch});
  const int32_t vw = visible.right - visible.left, vh = visible.bottom - visible.top;
  if (vw == 0 || vh == 0) return DD_OK;
  // The visible part, sampled from the source by nearest pixel (the plain copy when unscaled);
  // samples outside the source are black.
  std::vector<uint32_t> block(size_t(vw) * size_t(vh), 0);
  for (int32_t y = 0; y < vh; ++y) {
    int64_t sy = s.top + NearestSource(visible.top + y - d.top, sh, dh);
    if (sy < 0 || sy >= from.height) continue;
    for (int32_t x = 0; x < vw; ++x) {
      int64_t sx = s.left + NearestSource(visible.left + x - d.left, sw, dw);
      if (sx < 0 || sx >= from.width) continue;
      block[size_t(y) * vw + x] = from.pixels[sy * from.pitch + sx];
    }
  }
  RasterSurface b{block.data(), vw, vh, vw};
  PresentToWindow(window, b, 0, 0, vw, vh, visible.left - ox, visible.top - oy);
  return DD_OK;
}

HRESULT SoftSurface::Blt(const RECT* destRect, IDirectDrawSurface7* srcI, const RECT* srcRect,
                         uint32_t flags, void* fx) {
  if (fx || (flags & ~DDBLT_WAIT) || !srcI) return DDERR_INVALIDPARAMS;
  SoftSurface* src = AsSoft(srcI);
  if (Lost() || src->Lost()) return DDERR_SURFACELOST;
  if (Busy() || src->Busy()) return DDERR_SURFACEBUSY;
  if (!src->pixels_) return DDERR_INVALIDPARAMS;
  if ((caps_.caps & DDSCAPS_PRIMARYSURFACE) && !pixels_) {
    if (!clipper_) return DDERR_INVALIDPARAMS;
    return PresentInto(destRect, src, srcRect);
  }
  if (!pixels_) return DDERR_INVALIDPARAMS;
  RECT s = srcRect ? *srcRect : RECT{0, 0, src->width_, src->height_};
  RECT d = destRect ? *destRect : RECT{0, 0, width_, height_};
  if (!ValidRect(s) || !ValidRect(d)) return DDERR_INVALIDPARAMS;
  const int64_t sw = int64_t(s.right) - s.left, sh = int64_t(s.bottom) - s.top;
  const int64_t dw = int64_t(d.right) - d.left, dh = int64_t(d.bottom) - d.top;
  if (sw == 0 || sh == 0 || dw == 0 || dh == 0) return DD_OK;
  RECT visible = Intersect(d, RECT{0, 0, width_, height_});
  // A blit within one surface reads a copy, so overlapping rectangles copy what was there.
  std::vector<uint8_t> copy;
  const uint8_t* from = src->pixels_;
  if (src == this) {
    copy.assign(pixels_, pixels_ + size_t(pitch_) * size_t(height_));
    from = copy.data();
  }
  for (int32_t y = visible.top; y < visible.bottom; ++y) {
    int64_t sy = s.top + NearestSource(y - d.top, sh, dh);
    if (sy < 0 || sy >= src->height_) continue;
    for (int32_t x = visible.left; x < visible.right; ++x) {
      int64_t sx = s.left + NearestSource(x - d.left, sw, dw);
      if (sx < 0 || sx >= src->width_) continue;
      uint32_t p = ReadPixel(src->layout_, from + sy * src->pitch_ + sx * src->layout_.bytes);
      WritePixel(layout_, pixels_ + int64_t(y) * pitch_ + int64_t(x) * layout_.bytes, p);
    }
  }
  return DD_OK;
}

HRESULT SoftSurface::SetClipper(IDirectDrawClipper* clipper) {
  if (clipper) clipper->AddRef();
  if (clipper_) clipper_->Release();
  clipper_ = clipper;
  return DD_OK;
}

HRESULT SoftSurface::IsLost() {
  return Lost() ? DDERR_SURFACELOST : DD_OK;
}

HRESULT SoftSurface::Restore() {
  if (!owner_ || !owner_->alive) return DDERR_SURFACELOST;
  if (owner_->exclusiveLost) return DDERR_WRONGMODE;
  SoftSurface* top = root_ ? root_ : this;
  for (SoftSurface* c = top; c; c = c->attached_)
    c->lost_ = false;
  return DD_OK;
}

HRESULT SoftSurface::GetDC(DeviceContext** dc) {
  if (!dc) return DDERR_INVALIDPARAMS;
  *dc = nullptr;
  if (Lost()) return DDERR_SURFACELOST;
  if (!pixels_) return DDERR_UNSUPPORTED;
  if (Busy()) return DDERR_SURFACEBUSY;
  dcOut_ = true;
  *dc = new DeviceContext{this};
  return DD_OK;
}

HRESULT SoftSurface::ReleaseDC(DeviceContext* dc) {
  if (!dc || dc->surface != this || !dcOut_) return DDERR_INVALIDPARAMS;
  dcOut_ = false;
  delete dc;
  return DD_OK;
}

bool BitBlt(DeviceContext* dst, int32_t x, int32_t y, int32_t w, int32_t h, DeviceContext* src,
            int32_t sx, int32_t sy, uint32_t rop) {
  if (!dst || !src || rop != SRCCOPY || w < 0 || h < 0) return false;
  SoftSurface* d = dst->surface;
  SoftSurface* s = src->surface;
  const PixelLayout& dl = d->Layout();
  const PixelLayout& sl = s->Layout();
  const int64_t x0 = std::max<int64_t>(x, 0), x1 = std::min<int64_t>(int64_t(x) + w, d->Width());
  const int64_t y0 = std::max<int64_t>(y, 0), y1 = std::min<int64_t>(int64_t(y) + h, d->Height());
  for (int64_t dy = y0; dy < y1; ++dy) {
    const int64_t from_y = dy - y + sy;
    uint8_t* row = d->Pixels() + dy * d->Pitch();
    for (int64_t dx = x0; dx < x1; ++dx) {
      const int64_t from_x = dx - x + sx;
      uint8_t* out = row + dx * dl.bytes;
      if (from_x < 0 || from_y < 0 || from_x >= s->Width() || from_y >= s->Height()) {
        std::memset(out, 0, size_t(dl.bytes));
        continue;
      }
      WritePixel(dl, out, ReadPixel(sl, s->Pixels() + from_y * s->Pitch() + from_x * sl.bytes));
    }
  }
  return true;
}

}  // namespace vxl::platform::d3d7
