// The surfaces of the software DirectDraw 7: pixels in memory (their own or the caller's), one
// lock at a time, attached back buffers and mip levels, blits and device contexts.
#pragma once

#include <memory>
#include <vector>

#include "platform/d3d7/ddraw7.h"
#include "platform/d3d7/raster.h"
#include "platform/d3d7/ref_counted.h"

namespace vxl::platform::d3d7 {

struct DirectDrawState;

// A pixel layout: 3 or 4 bytes per pixel, each channel one whole byte given by its mask.
struct PixelLayout {
  int32_t bytes = 4;
  uint32_t red = 0xFF0000, green = 0xFF00, blue = 0xFF, alpha = 0;  // alpha 0: none
};
// X8R8G8B8 (render targets) and A8R8G8B8 (textures).
constexpr PixelLayout kXrgb{4, 0xFF0000, 0xFF00, 0xFF, 0};
constexpr PixelLayout kArgb{4, 0xFF0000, 0xFF00, 0xFF, 0xFF000000};
// The layout a pixel format describes; false for anything but 24/32-bit DDPF_RGB with distinct
// byte masks (an alpha mask only with DDPF_ALPHAPIXELS, and only at 32 bits).
bool LayoutOf(const DDPIXELFORMAT& format, PixelLayout* layout);

class SoftSurface final : public RefCounted<IDirectDrawSurface7> {
 public:
  // Validates desc and makes the surface (and its chain) for the DirectDraw state.
  static HRESULT Create(const std::shared_ptr<DirectDrawState>& owner, const DDSURFACEDESC2& desc,
                        SoftSurface** out);

  HRESULT GetSurfaceDesc(DDSURFACEDESC2* desc) override;
  HRESULT Lock(const RECT* rect, DDSURFACEDESC2* desc, uint32_t flags, void* event) override;
  HRESULT Unlock(const RECT* rect) override;
  HRESULT GetAttachedSurface(const DDSCAPS2& caps, IDirectDrawSurface7** attached) override;
  HRESULT Flip(IDirectDrawSurface7* override, uint32_t flags) override;
  HRESULT Blt(const RECT* destRect, IDirectDrawSurface7* src, const RECT* srcRect, uint32_t flags,
              void* fx) override;
  HRESULT SetClipper(IDirectDrawClipper* clipper) override;
  HRESULT IsLost() override;
  HRESULT Restore() override;
  HRESULT GetDC(DeviceContext** dc) override;
  HRESULT ReleaseDC(DeviceContext* dc) override;

  // For the device: the surface as 32-bit raster pixels (empty for a primary of normal mode or
  // a 24-bit surface).
  RasterSurface Raster();
  uint32_t Caps() const { return caps_.caps; }
  uint32_t Caps2() const { return caps_.caps2; }
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  // The next mip level (nullptr at the end of the chain or for other surfaces).
  SoftSurface* NextLevel() const { return caps_.caps & DDSCAPS_MIPMAP ? attached_ : nullptr; }
  bool Lost() const;
  void MarkLost() { lost_ = true; }
  // The owner went away: the surface stays lost.
  void Orphan() { owner_.reset(); }
  const PixelLayout& Layout() const { return layout_; }
  uint8_t* Pixels() { return pixels_; }
  int32_t Pitch() const { return pitch_; }
  bool Busy() const { return locked_ || dcOut_; }

 protected:
  bool KeepAlive() const override { return root_ != nullptr; }

 private:
  SoftSurface(const std::shared_ptr<DirectDrawState>& owner, DDSCAPS2 caps, int32_t width,
              int32_t height, const PixelLayout& layout);
  ~SoftSurface() override;
  void Allocate();
  // Releases the chain hanging from this surface (back buffer or mip levels).
  void DropChain();
  HRESULT PresentInto(const RECT* destRect, SoftSurface* src, const RECT* srcRect);

  std::shared_ptr<DirectDrawState> owner_;
  DDSCAPS2 caps_;
  int32_t width_, height_;
  int32_t pitch_ = 0;  // bytes
  PixelLayout layout_;
  std::vector<uint8_t> storage_;
  uint8_t* pixels_ = nullptr;  // storage_ or the caller's memory
  bool lost_ = false, locked_ = false, dcOut_ = false;
  bool flipping_ = false;  // a flipping primary
  IDirectDrawClipper* clipper_ = nullptr;
  SoftSurface* attached_ = nullptr;  // back buffer or next mip level, owned by this chain
  SoftSurface* root_ = nullptr;      // the chain's first surface, for attached ones
  uint32_t mipLevels_ = 0;           // the top of a mip chain: its level count
};

// A view of a surface for BitBlt.
struct DeviceContext {
  SoftSurface* surface;
};

}  // namespace vxl::platform::d3d7
