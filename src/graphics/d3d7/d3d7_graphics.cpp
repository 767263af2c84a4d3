#include "graphics/d3d7/d3d7_graphics.h"

#include <vector>

#include "graphics/d3d7/d3d7_mode_choice.h"
#include "graphics/d3d7/dx_error.h"
#include "platform/d3d7/d3d7_window.h"
#include "records/records.h"
#include "runtime/application.h"
#include "runtime/class_binder.h"
#include "runtime/never_destroyed.h"
#include "system/window_events.h"

namespace vxl {
namespace dd = platform::d3d7;

VXL_DEFINE_CLASS(TD3D7Surface)
VXL_DEFINE_CLASS(TD3D7Graphics)
VXL_DEFINE_CLASS(TD3D7GraphicsDriver)

namespace {

constexpr const char* kDX = "DXERROR";

// Module state: the valid flag, the busy flag of ValidateGraphics, the windows' shared primary
// surface (or the full-screen flip chain) and how many render surfaces use it.
struct State {
  int32_t valid = 0;
  int32_t busy = 0;
  dd::IDirectDrawSurface7* primary = nullptr;
  int32_t primaryUses = 0;
};

State& S() {
  static State state;
  return state;
}

Ref<TD3D7GraphicsDriver>& DriverSlot() {
  static NeverDestroyed<Ref<TD3D7GraphicsDriver>> driver;
  return *driver;
}

void BumpGeneration() {
  if (++graphicsGeneration == 0) graphicsGeneration = 1;
}

template <class T>
void ReleaseInto(T*& object) {
  if (object) object->Release();
  object = nullptr;
}

// Every message of a device window goes to the system driver's translation, source Null. A
// close request is only translated (AppTerminate): the window stays.
void TranslateMessage(const platform::events::WindowMessage& m) {
  TranslateWindowMessage(m.window, m.message, m.wParam, m.lParam, nullptr);
}

// Focus changes check the device (it may have lost the display mode).
void FocusChanged(dd::WindowId, bool) {
  if (Ref<TD3D7GraphicsDriver> driver = DriverSlot()) driver->ValidateGraphics(0);
}

void UseWindowHandlers() {
  dd::SetDeviceWindowHandlers(&TranslateMessage, &FocusChanged);
}

Array<Ref<Object>> Items(const Ref<TList>& list) {
  return list ? list->ToArray() : Array<Ref<Object>>();
}

// EnumDisplayModes callback: every mode of 16 bits per pixel and more, in the display's order.
dd::HRESULT CollectMode(dd::DDSURFACEDESC2* mode, void* context) {
  auto* modes = static_cast<std::vector<Ref<TGraphicsMode>>*>(context);
  const uint32_t bits = mode->pixelFormat.rgbBitCount;
  if (bits > 15) {
    modes->push_back(
        TGraphicsMode::Create(static_cast<int32_t>(mode->width), static_cast<int32_t>(mode->height),
                              static_cast<int32_t>(bits), static_cast<int32_t>(mode->refreshRate)));
  }
  return static_cast<dd::HRESULT>(dd::DDENUMRET_OK);
}

}  // namespace

// TD3D7Surface

TD3D7Surface::~TD3D7Surface() {
  ReleaseSurface();
}

void TD3D7Surface::ReleaseSurface() {
  ReleaseInto(surf);
}

int64_t TD3D7Surface::_Handle() const {
  return static_cast<int64_t>(reinterpret_cast<intptr_t>(surf));
}

void TD3D7Surface::Bind(ClassBinder<TD3D7Surface>& b) {
  b.AccessorField<&TD3D7Surface::_Handle>("surf");
}

// TD3D7Graphics

TD3D7Graphics::~TD3D7Graphics() {
  // The driver lists every open context, so one that goes unclosed was never listed: it only
  // has its own surfaces and window to let go of.
  if (!_hwnd) return;
  DestroyRenderSurface();
  dd::DestroyDeviceWindow(_hwnd);
}

Ref<TGraphicsDriver> TD3D7Graphics::Driver() const {
  return DriverSlot();
}

void TD3D7Graphics::GetSettings(int32_t& width, int32_t& height, int32_t& depth, int32_t& hertz,
                                int32_t& flags) {
  width = _width;
  height = _height;
  depth = _depth;
  hertz = _hertz;
  flags = _flags;
}

void TD3D7Graphics::Close() {
  if (!_hwnd) return;
  Ref<TD3D7Graphics> self(this);  // CloseGraphics drops the driver's reference
  Ref<TD3D7GraphicsDriver> driver = DriverSlot();
  if (driver) {
    if (_depth != 0 && driver->_dd7)
      driver->_dd7->SetCooperativeLevel(_hwnd, dd::DDSCL_NORMAL | dd::DDSCL_FPUPRESERVE);
    driver->CloseGraphics(this);
  } else {
    DestroyRenderSurface();
  }
  dd::DestroyDeviceWindow(_hwnd);
  _hwnd = 0;
}

void TD3D7Graphics::Flip(int32_t sync) {
  State& s = S();
  Ref<TD3D7GraphicsDriver> driver = DriverSlot();
  if (!_renderSurf || !s.primary || !driver || !driver->_dd7) return;
  // Locking waits until rendering has finished.
  dd::DDSURFACEDESC2 locked;
  if (_renderSurf->Lock(nullptr, &locked, dd::DDLOCK_WAIT | dd::DDLOCK_READONLY, nullptr) >= 0)
    _renderSurf->Unlock(nullptr);
  if (_depth != 0) {
    s.primary->Flip(nullptr, sync == 0 ? dd::DDFLIP_NOVSYNC : 0);
    return;
  }
  if (sync) driver->_dd7->WaitForVerticalBlank(dd::DDWAITVB_BLOCKBEGIN, nullptr);
  int32_t x = 0, y = 0;
  if (!dd::DeviceWindowClientOrigin(_hwnd, &x, &y)) return;
  const dd::RECT source{0, 0, _width, _height};
  const dd::RECT target{x, y, x + _width, y + _height};
  s.primary->SetClipper(_clipper);
  s.primary->Blt(&target, _renderSurf, &source, dd::DDBLT_WAIT, nullptr);
  s.primary->SetClipper(nullptr);
}

void TD3D7Graphics::CreateRenderSurface() {
  State& s = S();
  Ref<TD3D7GraphicsDriver> driver = DriverSlot();
  dd::IDirectDraw7* ddraw = driver ? driver->_dd7 : nullptr;
  if (!ddraw || _renderSurf) return;
  if (_depth != 0) {
    CheckDX(ddraw->SetCooperativeLevel(_hwnd, dd::DDSCL_FULLSCREEN | dd::DDSCL_ALLOWREBOOT |
                                                  dd::DDSCL_EXCLUSIVE | dd::DDSCL_FPUPRESERVE),
            kDX);
    CheckDX(ddraw->SetDisplayMode(static_cast<uint32_t>(_width), static_cast<uint32_t>(_height),
                                  static_cast<uint32_t>(_depth), static_cast<uint32_t>(_hertz), 0),
            kDX);
    dd::DDSURFACEDESC2 desc;
    desc.flags = dd::DDSD_CAPS | dd::DDSD_BACKBUFFERCOUNT;
    desc.caps.caps =
        dd::DDSCAPS_PRIMARYSURFACE | dd::DDSCAPS_FLIP | dd::DDSCAPS_COMPLEX | dd::DDSCAPS_3DDEVICE;
    desc.backBufferCount = 1;
    CheckDX(ddraw->CreateSurface(desc, &s.primary, nullptr), kDX);
    dd::DDSCAPS2 back;
    back.caps = dd::DDSCAPS_BACKBUFFER;
    CheckDX(s.primary->GetAttachedSurface(back, &_renderSurf), kDX);
  } else {
    if (!s.primary) {
      dd::DDSURFACEDESC2 desc;
      desc.flags = dd::DDSD_CAPS;
      desc.caps.caps = dd::DDSCAPS_PRIMARYSURFACE;
      CheckDX(ddraw->CreateSurface(desc, &s.primary, nullptr), kDX);
    } else {
      s.primary->AddRef();
    }
    dd::DDSURFACEDESC2 desc;
    desc.flags = dd::DDSD_CAPS | dd::DDSD_WIDTH | dd::DDSD_HEIGHT;
    desc.caps.caps = dd::DDSCAPS_OFFSCREENPLAIN | dd::DDSCAPS_3DDEVICE;
    desc.width = static_cast<uint32_t>(_width);
    desc.height = static_cast<uint32_t>(_height);
    CheckDX(ddraw->CreateSurface(desc, &_renderSurf, nullptr), kDX);
    CheckDX(ddraw->CreateClipper(0, &_clipper, nullptr), kDX);
    CheckDX(_clipper->SetHWnd(0, _hwnd), kDX);
  }
  ++s.primaryUses;
}

void TD3D7Graphics::DestroyRenderSurface() {
  State& s = S();
  ReleaseInto(_clipper);
  if (!_renderSurf) return;
  ReleaseInto(_renderSurf);
  if (s.primary) {
    s.primary->Release();
    if (--s.primaryUses <= 0) {
      s.primary = nullptr;
      s.primaryUses = 0;
    }
  }
}

void TD3D7Graphics::ValidateSize() {
  if (_depth != 0 || !_hwnd) return;
  int32_t w = 0, h = 0;
  if (!dd::DeviceWindowClientSize(_hwnd, &w, &h) || w < 1 || h < 1) return;
  if (w == _width && h == _height) return;
  DestroyRenderSurface();
  _width = w;
  _height = h;
}

Ref<TD3D7Graphics> TD3D7Graphics::Attach(uintptr_t window, int32_t flags) {
  UseWindowHandlers();
  const dd::WindowId id = dd::AttachDeviceWindow(window);
  if (!id) return nullptr;
  auto g = New<TD3D7Graphics>();
  g->_hwnd = id;
  g->_flags = flags;
  if (!dd::DeviceWindowClientSize(id, &g->_width, &g->_height)) {
    dd::DestroyDeviceWindow(id);
    g->_hwnd = 0;
    return nullptr;
  }
  return g;
}

Ref<TD3D7Graphics> TD3D7Graphics::Create(int32_t width, int32_t height, int32_t depth,
                                         int32_t hertz, int32_t flags) {
  UseWindowHandlers();
  if (width < 1 || height < 1) return nullptr;
  const dd::WindowId id =
      dd::CreateDeviceWindow(ApplicationTitle.ToCString().c_str(), width, height, depth != 0);
  if (!id) return nullptr;
  auto g = New<TD3D7Graphics>();
  g->_hwnd = id;
  g->_width = width;
  g->_height = height;
  g->_depth = depth;
  g->_hertz = hertz;
  g->_flags = flags;
  if (depth == 0) dd::DeviceWindowClientSize(id, &g->_width, &g->_height);
  return g;
}

void TD3D7Graphics::Bind(ClassBinder<TD3D7Graphics>& b) {
  b.ReadOnlyField<&TD3D7Graphics::_width>("_width");
  b.ReadOnlyField<&TD3D7Graphics::_height>("_height");
  b.ReadOnlyField<&TD3D7Graphics::_depth>("_depth");
  b.ReadOnlyField<&TD3D7Graphics::_hertz>("_hertz");
  b.ReadOnlyField<&TD3D7Graphics::_flags>("_flags");
  b.AccessorField<&TD3D7Graphics::_Window>("_hwnd");
}

// TD3D7GraphicsDriver

TD3D7GraphicsDriver::TD3D7GraphicsDriver() : _surfaces(NewList()), _graphicss(NewList()) {}

TD3D7GraphicsDriver::~TD3D7GraphicsDriver() {
  if (_dd7 || _d3d7 || _d3ddev7) _Destroy();
}

Array<Ref<TGraphicsMode>> TD3D7GraphicsDriver::GraphicsModes() {
  return _modes;
}

Ref<TGraphics> TD3D7GraphicsDriver::AttachGraphics(int64_t window, int32_t flags) {
  if (_n_fullscreen > 0 || window <= 0) return nullptr;
  Ref<TD3D7Graphics> g = TD3D7Graphics::Attach(static_cast<uintptr_t>(window), flags);
  if (!g) return nullptr;
  _graphicss->AddLast(g);
  ++_n_graphics;
  return g;
}

Ref<TGraphics> TD3D7GraphicsDriver::CreateGraphics(int32_t width, int32_t height, int32_t depth,
                                                   int32_t hertz, int32_t flags) {
  if (_n_fullscreen > 0) return nullptr;
  if (depth != 0) {
    if (_n_graphics > 0) return nullptr;
    const TGraphicsMode* mode = ChooseDisplayMode(_modes, width, height, depth, hertz);
    if (!mode) return nullptr;
    depth = mode->depth;
    hertz = mode->hertz;
  }
  Ref<TD3D7Graphics> g = TD3D7Graphics::Create(width, height, depth, hertz, flags);
  if (!g) return nullptr;
  _graphicss->AddLast(g);
  ++_n_graphics;
  if (depth != 0) ++_n_fullscreen;
  return g;
}

void TD3D7GraphicsDriver::SetGraphics(const Ref<TGraphics>& graphics) {
  _graphics = Ref<TD3D7Graphics>(dynamic_cast<TD3D7Graphics*>(graphics.Get()));
  ValidateGraphics(1);
}

void TD3D7GraphicsDriver::Flip(int32_t sync) {
  const bool wasValid = S().valid != 0;
  if (wasValid) {
    if (_inScene && _d3ddev7) _d3ddev7->EndScene();
    if (_graphics) _graphics->Flip(sync);
  }
  ValidateGraphics(1);
  // The next frame draws in a scene of its own. (Had the device become valid just now,
  // ValidateGraphics began that scene already.)
  if (wasValid && S().valid && _inScene && _d3ddev7) _d3ddev7->BeginScene();
}

void TD3D7GraphicsDriver::CloseGraphics(TD3D7Graphics* graphics) {
  Ref<TD3D7Graphics> g(graphics);
  if (_n_graphics <= 1) {
    _Destroy();
  } else {
    g->DestroyRenderSurface();
  }
  _graphicss->Remove(g);
  if (_graphics.Get() == graphics) {
    _graphics = nullptr;
    S().valid = 0;
  }
  if (_n_graphics > 0) --_n_graphics;
  _n_fullscreen = 0;
}

void TD3D7GraphicsDriver::BeginScene() {
  _inScene = 1;
  if (S().valid && _d3ddev7) _d3ddev7->BeginScene();
}

void TD3D7GraphicsDriver::EndScene() {
  if (S().valid && _d3ddev7) _d3ddev7->EndScene();
  _inScene = 0;
}

dd::IDirectDrawSurface7* TD3D7GraphicsDriver::CreateSurface(const dd::DDSURFACEDESC2& desc) {
  if (!_dd7) return nullptr;
  dd::IDirectDrawSurface7* surface = nullptr;
  if (_dd7->CreateSurface(desc, &surface, nullptr) < 0 || !surface) return nullptr;
  auto record = New<TD3D7Surface>();
  record->surf = surface;
  _surfaces->AddLast(record);
  return surface;
}

void TD3D7GraphicsDriver::DestroySurface(dd::IDirectDrawSurface7* surface) {
  if (!surface) return;
  for (const Ref<Object>& item : Items(_surfaces)) {
    auto* record = dynamic_cast<TD3D7Surface*>(item.Get());
    if (record && record->surf == surface) {
      record->ReleaseSurface();
      _surfaces->Remove(item);
      return;
    }
  }
}

int32_t TD3D7GraphicsDriver::_ValidateGraphics() {
  if (!_graphics) return 0;
  dd::HRESULT level = dd::DD_OK;
  if (_dd7) {
    level = _dd7->TestCooperativeLevel();
    if (level == dd::DDERR_WRONGMODE) _Destroy();
  }
  if (!_dd7) {
    if (!_Create()) return 0;
    level = _dd7->TestCooperativeLevel();
  }
  if (level < 0) return 0;
  _graphics->ValidateSize();
  dd::IDirectDrawSurface7* target = _graphics->_renderSurf;
  if (target) {
    if (target->IsLost() < 0) CheckDX(_dd7->RestoreAllSurfaces(), kDX);
    if (_d3ddev7) CheckDX(_d3ddev7->SetRenderTarget(target, 0), kDX);
    return 1;
  }
  _graphics->CreateRenderSurface();
  target = _graphics->_renderSurf;
  if (_d3ddev7) {
    CheckDX(_d3ddev7->SetRenderTarget(target, 0), kDX);
  } else if (_d3d7->CreateDevice(dd::IID_IDirect3DTnLHalDevice, target, &_d3ddev7) < 0) {
    _d3ddev7 = nullptr;
    CheckDX(_d3d7->CreateDevice(dd::IID_IDirect3DHALDevice, target, &_d3ddev7), kDX);
  }
  return 1;
}

int32_t TD3D7GraphicsDriver::ValidateGraphics(int32_t force) {
  State& s = S();
  if (s.busy) return s.valid;
  s.busy = 1;
  int32_t v = s.valid;
  try {
    if (s.valid || force) v = _ValidateGraphics();
  } catch (...) {
    s.busy = 0;
    throw;
  }
  if (v != s.valid && v == 1 && _inScene && _d3ddev7) _d3ddev7->BeginScene();
  s.valid = v;
  s.busy = 0;
  return v;
}

Ref<TD3D7GraphicsDriver> TD3D7GraphicsDriver::Create() {
  Ref<TD3D7GraphicsDriver>& slot = DriverSlot();
  if (slot) return slot;
  // Without the DirectDraw entry nothing is made (and nothing joins the data-type chain).
  if (!DirectDrawCreateEntry()) return nullptr;
  auto driver = New<TD3D7GraphicsDriver>();
  if (!driver->_Create()) return nullptr;
  std::vector<Ref<TGraphicsMode>> modes;
  driver->_dd7->EnumDisplayModes(dd::DDEDM_REFRESHRATES, nullptr, &modes, &CollectMode);
  driver->_modes = Array<Ref<TGraphicsMode>>::New(static_cast<int32_t>(modes.size()));
  for (size_t i = 0; i < modes.size(); ++i)
    driver->_modes[static_cast<int32_t>(i)] = modes[i];
  driver->_Destroy();
  slot = driver;
  return driver;
}

bool TD3D7GraphicsDriver::_Create() {
  DirectDrawCreateFunction create = DirectDrawCreateEntry();
  dd::IDirectDraw7* ddraw = nullptr;
  if (!create || create(&ddraw) < 0 || !ddraw) {
    _Destroy();
    return false;
  }
  _dd7 = ddraw;
  dd::DDCAPS caps;
  void* d3d = nullptr;
  if (_dd7->SetCooperativeLevel(0, dd::DDSCL_NORMAL | dd::DDSCL_FPUPRESERVE) < 0 ||
      _dd7->GetCaps(&caps, nullptr) < 0 || !(caps.caps & dd::DDCAPS_3D) ||
      _dd7->QueryInterface(dd::IID_IDirect3D7, &d3d) < 0 || !d3d) {
    _Destroy();
    return false;
  }
  _d3d7 = static_cast<dd::IDirect3D7*>(d3d);
  BumpGeneration();
  return true;
}

void TD3D7GraphicsDriver::_Destroy() {
  BumpGeneration();
  ReleaseInto(_d3ddev7);
  for (const Ref<Object>& item : Items(_surfaces)) {
    if (auto* record = dynamic_cast<TD3D7Surface*>(item.Get())) record->ReleaseSurface();
  }
  if (_surfaces) _surfaces->Clear();
  for (const Ref<Object>& item : Items(_graphicss)) {
    if (auto* g = dynamic_cast<TD3D7Graphics*>(item.Get())) g->DestroyRenderSurface();
  }
  ReleaseInto(_d3d7);
  ReleaseInto(_dd7);
}

void TD3D7GraphicsDriver::Bind(ClassBinder<TD3D7GraphicsDriver>& b) {
  b.AccessorField<&TD3D7GraphicsDriver::_NGraphics>("_n_graphics");
  b.AccessorField<&TD3D7GraphicsDriver::_NFullscreen>("_n_fullscreen");
  b.AccessorField<&TD3D7GraphicsDriver::_InScene>("_inScene");
}

int32_t D3D7GraphicsValid() {
  return S().valid;
}

Ref<TD3D7GraphicsDriver> D3D7DriverInstance() {
  return DriverSlot();
}

}  // namespace vxl
