// The DirectDraw object, its clippers and the factory of the software DirectDraw 7.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/d3d7/d3d7_window.h"
#include "platform/d3d7/ddraw7.h"
#include "platform/d3d7/ref_counted.h"
#include "platform/d3d7/soft_device.h"
#include "platform/d3d7/soft_display.h"
#include "platform/d3d7/soft_surface.h"

namespace vxl::platform::d3d7 {
namespace {

constexpr uint32_t kLevelFlags =
    DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT | DDSCL_NORMAL | DDSCL_EXCLUSIVE | DDSCL_FPUPRESERVE;

class SoftClipper final : public RefCounted<IDirectDrawClipper> {
 public:
  HRESULT SetHWnd(uint32_t flags, WindowId window) override {
    if (flags != 0) return DDERR_INVALIDPARAMS;
    window_ = window;
    return DD_OK;
  }
  HRESULT GetHWnd(WindowId* window) override {
    if (!window) return DDERR_INVALIDPARAMS;
    *window = window_;
    return DD_OK;
  }

 private:
  WindowId window_ = 0;
};

class SoftDirectDraw final : public RefCounted<IDirectDraw7> {
 public:
  SoftDirectDraw() : state_(std::make_shared<DirectDrawState>()) {
    state_->epochSeen = DisplayModeEpoch();
  }

  HRESULT QueryInterface(Iid iid, void** out) override {
    if (!out) return DDERR_INVALIDPARAMS;
    *out = nullptr;
    if (iid != IID_IDirect3D7) return DDERR_INVALIDPARAMS;
    IDirect3D7* d3d = nullptr;
    HRESULT r = CreateDirect3D(state_, &d3d);
    *out = d3d;
    return r;
  }

  HRESULT SetCooperativeLevel(WindowId window, uint32_t flags) override {
    if (flags & ~kLevelFlags) return DDERR_INVALIDPARAMS;
    const bool normal = flags & DDSCL_NORMAL;
    const bool fullScreen = flags & DDSCL_FULLSCREEN, exclusive = flags & DDSCL_EXCLUSIVE;
    if (normal ? (fullScreen || exclusive) : !(fullScreen && exclusive)) {
      return DDERR_INVALIDPARAMS;
    }
    DirectDrawState& s = *state_;
    if (exclusive) {
      if (!DeviceWindowOpen(window)) return DDERR_INVALIDPARAMS;
      DirectDrawState* holder = ExclusiveHolder();
      if (holder && holder != &s) return DDERR_EXCLUSIVEMODEALREADYSET;
      s.exclusive = true;
      s.exclusiveLost = false;
      s.window = window;
      SetExclusiveHolder(&s);
      return DD_OK;
    }
    LeaveExclusive();
    s.window = window;
    s.epochSeen = DisplayModeEpoch();
    return DD_OK;
  }

  HRESULT GetCaps(DDCAPS* hal, DDCAPS* hel) override {
    if (!hal && !hel) return DDERR_INVALIDPARAMS;
    for (DDCAPS* c : {hal, hel}) {
      if (c && c->size != 380) return DDERR_INVALIDPARAMS;
    }
    for (DDCAPS* c : {hal, hel}) {
      if (c) c->caps = DDCAPS_3D;
    }
    return DD_OK;
  }

  HRESULT EnumDisplayModes(uint32_t flags, const DDSURFACEDESC2* filter, void* context,
                           LPDDENUMMODESCALLBACK2 callback) override {
    if (filter || !callback || (flags & ~DDEDM_REFRESHRATES)) return DDERR_INVALIDPARAMS;
    for (const DisplayModeEntry& m : CurrentDisplayModes()) {
      DDSURFACEDESC2 desc;
      desc.flags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT | DDSD_REFRESHRATE;
      desc.width = uint32_t(m.width);
      desc.height = uint32_t(m.height);
      desc.pitch = m.width * ((m.depth + 7) / 8);
      desc.refreshRate = (flags & DDEDM_REFRESHRATES) ? uint32_t(m.hertz) : 0;
      desc.pixelFormat.flags = DDPF_RGB;
      desc.pixelFormat.rgbBitCount = uint32_t(m.depth);
      if (m.depth == 16) {
        desc.pixelFormat.rBitMask = 0xF800;
        desc.pixelFormat.gBitMask = 0x7E0;
        desc.pixelFormat.bBitMask = 0x1F;
      } else {
        desc.pixelFormat.rBitMask = 0xFF0000;
        desc.pixelFormat.gBitMask = 0xFF00;
        desc.pixelFormat.bBitMask = 0xFF;
      }
      if (callback(&desc, context) == HRESULT(DDENUMRET_CANCEL)) break;
    }
    return DD_OK;
  }

  HRESULT SetDisplayMode(uint32_t width, uint32_t height, uint32_t depth, uint32_t hertz,
                         uint32_t flags) override {
    if (flags != 0) return DDERR_INVALIDPARAMS;
    DirectDrawState& s = *state_;
    if (!s.exclusive) return DDERR_NOEXCLUSIVEMODE;
    for (const DisplayModeEntry& m : CurrentDisplayModes()) {
      if (uint32_t(m.width) != width || uint32_t(m.height) != height ||
          uint32_t(m.depth) != depth || (hertz != 0 && uint32_t(m.hertz) != hertz)) {
        continue;
      }
      DisplayModeEntry before = s.mode;
      bool wasSet = s.modeSet;
      s.mode = m;
      if (!TakeDisplay(&s)) {
        s.mode = before;
        s.modeSet = wasSet;
        return DDERR_UNSUPPORTEDMODE;
      }
      s.modeSet = true;
      BumpDisplayModeEpoch();
      s.epochSeen = DisplayModeEpoch();
      return DD_OK;
    }
    return DDERR_UNSUPPORTEDMODE;
  }

  HRESULT TestCooperativeLevel() override {
    const DirectDrawState& s = *state_;
    if (s.exclusive) return s.exclusiveLost ? DDERR_NOEXCLUSIVEMODE : DD_OK;
    const DirectDrawState* holder = ExclusiveHolder();
    if (holder && !holder->exclusiveLost) return DDERR_EXCLUSIVEMODEALREADYSET;
    return s.epochSeen != DisplayModeEpoch() ? DDERR_WRONGMODE : DD_OK;
  }

  HRESULT RestoreAllSurfaces() override {
    if (state_->exclusiveLost) return DDERR_WRONGMODE;
    for (SoftSurface* s : std::vector<SoftSurface*>(state_->surfaces))
      s->Restore();
    return DD_OK;
  }

  HRESULT CreateSurface(const DDSURFACEDESC2& desc, IDirectDrawSurface7** surface,
                        void* outer) override {
    if (!surface) return DDERR_INVALIDPARAMS;
    *surface = nullptr;
    if (outer) return DDERR_INVALIDPARAMS;
    SoftSurface* s = nullptr;
    HRESULT r = SoftSurface::Create(state_, desc, &s);
    *surface = s;
    return r;
  }

  HRESULT CreateClipper(uint32_t flags, IDirectDrawClipper** clipper, void* outer) override {
    if (!clipper) return DDERR_INVALIDPARAMS;
    *clipper = nullptr;
    if (flags != 0 || outer) return DDERR_INVALIDPARAMS;
    *clipper = new SoftClipper;
    return DD_OK;
  }

  HRESULT WaitForVerticalBlank(uint32_t flags, void*) override {
    if (flags != DDWAITVB_BLOCKBEGIN) return DDERR_INVALIDPARAMS;
    WaitForVerticalBlankStart();
    return DD_OK;
  }

 private:
  ~SoftDirectDraw() override {
    LeaveExclusive();
    state_->alive = false;
  }

  void LeaveExclusive() {
    DirectDrawState& s = *state_;
    if (!s.exclusive) return;
    if (s.modeSet && !s.exclusiveLost) GiveBackDisplay(&s, false);
    s.modeSet = false;
    s.exclusive = false;
    s.exclusiveLost = false;
    if (ExclusiveHolder() == &s) SetExclusiveHolder(nullptr);
  }

  std::shared_ptr<DirectDrawState> state_;
};

}  // namespace

HRESULT DirectDrawCreateEx(IDirectDraw7** out) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  const char* enabled = std::getenv("VXL_D3D7");
  if (!enabled || std::strcmp(enabled, "1") != 0) return DDERR_UNSUPPORTED;
  *out = new SoftDirectDraw;
  return DD_OK;
}

}  // namespace vxl::platform::d3d7
