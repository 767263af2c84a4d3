// The software DirectDraw 7 / Direct3D 7: the platform's display and 3D interfaces as a small C++
// API with the platform's numbers (result codes, flags, states), drawn in memory by the rasteriser
// (raster.h) and presented into SDL windows.
//
// Present only when the environment setting VXL_D3D7 is "1": otherwise DirectDrawCreateEx fails
// and SDL is not touched. With it set, EnumDisplayModes starts SDL's video (the modes are SDL's).
//
//   IDirectDraw7* dd = nullptr;
//   if (DirectDrawCreateEx(&dd) != DD_OK) return;               // not present
//   dd->SetCooperativeLevel(0, DDSCL_NORMAL | DDSCL_FPUPRESERVE);
//   DDSURFACEDESC2 desc;                                         // an off-screen render target
//   desc.flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
//   desc.caps.caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE;
//   desc.width = 640; desc.height = 480;
//   IDirectDrawSurface7* target = nullptr;
//   dd->CreateSurface(desc, &target);
//   IDirect3D7* d3d = nullptr;
//   dd->QueryInterface(IID_IDirect3D7, reinterpret_cast<void**>(&d3d));
//   IDirect3DDevice7* device = nullptr;
//   d3d->CreateDevice(IID_IDirect3DHALDevice, target, &device);
//   device->BeginScene(); device->DrawPrimitive(...); device->EndScene();
//   device->Release(); d3d->Release(); target->Release(); dd->Release();
//
// Objects are reference counted: a creating call hands out one reference, AddRef adds one,
// Release drops one and destroys the object at zero (returning the count left). An object keeps
// what it needs alive: a device holds its render target and texture, a surface its clipper, a
// flip chain's primary its back buffer, a mip chain's top level its sub-levels. Surfaces and
// devices keep their DirectDraw object's state alive but not its reference count: once the
// DirectDraw object is destroyed, its surfaces are lost and calls on them fail with
// DDERR_SURFACELOST (Release still works).
//
// Results: DD_OK (0) for success, the negative codes below for failure. Unless a contract says
// otherwise, a null pointer or out-of-range argument gives DDERR_INVALIDPARAMS and changes
// nothing. Main thread only.
#pragma once

#include <cstdint>

namespace vxl::platform::d3d7 {

using HRESULT = int32_t;

// Result codes.
constexpr HRESULT DD_OK = 0;
constexpr HRESULT DDERR_GENERIC = int32_t(0x80004005);
constexpr HRESULT DDERR_UNSUPPORTED = int32_t(0x80004001);
constexpr HRESULT DDERR_INVALIDPARAMS = int32_t(0x80070057);
constexpr HRESULT DDERR_OUTOFMEMORY = int32_t(0x8007000E);
constexpr HRESULT DDERR_NOEXCLUSIVEMODE = int32_t(0x887600E1);
constexpr HRESULT DDERR_NOTFOUND = int32_t(0x887600FF);
constexpr HRESULT DDERR_SURFACEBUSY = int32_t(0x887601AE);
constexpr HRESULT DDERR_SURFACELOST = int32_t(0x887601C2);
constexpr HRESULT DDERR_PRIMARYSURFACEALREADYEXISTS = int32_t(0x88760234);
constexpr HRESULT DDERR_EXCLUSIVEMODEALREADYSET = int32_t(0x88760245);
constexpr HRESULT DDERR_NOTLOCKED = int32_t(0x88760248);
constexpr HRESULT DDERR_WRONGMODE = int32_t(0x8876024B);
constexpr HRESULT DDERR_UNSUPPORTEDMODE = int32_t(0x8876024E);
constexpr HRESULT D3DERR_SCENE_IN_SCENE = int32_t(0x887602DA);
constexpr HRESULT D3DERR_SCENE_NOT_IN_SCENE = int32_t(0x887602DB);

// A window of this layer (d3d7_window.h): a small positive number, 0 for none.
using WindowId = uintptr_t;

// Interface and device ids for QueryInterface and CreateDevice.
enum Iid : uint32_t {
  IID_IDirect3D7 = 1,
  IID_IDirect3DHALDevice = 2,
  IID_IDirect3DTnLHalDevice = 3,
};

// Cooperative levels.
constexpr uint32_t DDSCL_FULLSCREEN = 0x1;
constexpr uint32_t DDSCL_ALLOWREBOOT = 0x2;
constexpr uint32_t DDSCL_NORMAL = 0x8;
constexpr uint32_t DDSCL_EXCLUSIVE = 0x10;
constexpr uint32_t DDSCL_FPUPRESERVE = 0x1000;

// Surface description fields present (DDSURFACEDESC2::flags).
constexpr uint32_t DDSD_CAPS = 0x1;
constexpr uint32_t DDSD_HEIGHT = 0x2;
constexpr uint32_t DDSD_WIDTH = 0x4;
constexpr uint32_t DDSD_PITCH = 0x8;
constexpr uint32_t DDSD_BACKBUFFERCOUNT = 0x20;
constexpr uint32_t DDSD_REFRESHRATE = 0x40000;
constexpr uint32_t DDSD_LPSURFACE = 0x800;
constexpr uint32_t DDSD_PIXELFORMAT = 0x1000;
constexpr uint32_t DDSD_MIPMAPCOUNT = 0x20000;

// Surface capabilities.
constexpr uint32_t DDSCAPS_BACKBUFFER = 0x4;
constexpr uint32_t DDSCAPS_COMPLEX = 0x8;
constexpr uint32_t DDSCAPS_FLIP = 0x10;
constexpr uint32_t DDSCAPS_FRONTBUFFER = 0x20;
constexpr uint32_t DDSCAPS_OFFSCREENPLAIN = 0x40;
constexpr uint32_t DDSCAPS_PRIMARYSURFACE = 0x200;
constexpr uint32_t DDSCAPS_SYSTEMMEMORY = 0x800;
constexpr uint32_t DDSCAPS_TEXTURE = 0x1000;
constexpr uint32_t DDSCAPS_3DDEVICE = 0x2000;
constexpr uint32_t DDSCAPS_VIDEOMEMORY = 0x4000;
constexpr uint32_t DDSCAPS_MIPMAP = 0x400000;
constexpr uint32_t DDSCAPS2_TEXTUREMANAGE = 0x10;
constexpr uint32_t DDSCAPS2_MIPMAPSUBLEVEL = 0x10000;

// Pixel format flags.
constexpr uint32_t DDPF_ALPHAPIXELS = 0x1;
constexpr uint32_t DDPF_RGB = 0x40;

// Lock, flip, blit, vertical-blank and mode-enumeration flags.
constexpr uint32_t DDLOCK_WAIT = 0x1;
constexpr uint32_t DDLOCK_READONLY = 0x10;
constexpr uint32_t DDLOCK_WRITEONLY = 0x20;
constexpr uint32_t DDFLIP_WAIT = 0x1;
constexpr uint32_t DDFLIP_NOVSYNC = 0x8;
constexpr uint32_t DDBLT_WAIT = 0x1000000;
constexpr uint32_t DDWAITVB_BLOCKBEGIN = 0x1;
constexpr uint32_t DDEDM_REFRESHRATES = 0x1;
constexpr uint32_t DDENUMRET_CANCEL = 0;
constexpr uint32_t DDENUMRET_OK = 1;
// Device capability bit (DDCAPS::caps): the display can draw in 3D.
constexpr uint32_t DDCAPS_3D = 0x1;
// BitBlt raster operation: copy the source.
constexpr uint32_t SRCCOPY = 0x00CC0020;

// Direct3D: primitive types, vertex formats, transforms, clearing.
enum D3DPRIMITIVETYPE : uint32_t {
  D3DPT_POINTLIST = 1,
  D3DPT_LINELIST = 2,
  D3DPT_LINESTRIP = 3,
  D3DPT_TRIANGLELIST = 4,
  D3DPT_TRIANGLESTRIP = 5,
  D3DPT_TRIANGLEFAN = 6,
};
// x, y, z floats; then the diffuse colour 0xAARRGGBB (uint32); then u, v floats.
constexpr uint32_t D3DFVF_XYZ = 0x2;
constexpr uint32_t D3DFVF_DIFFUSE = 0x40;
constexpr uint32_t D3DFVF_TEX1 = 0x100;
enum D3DTRANSFORMSTATETYPE : uint32_t {
  D3DTRANSFORMSTATE_WORLD = 1,
  D3DTRANSFORMSTATE_VIEW = 2,
  D3DTRANSFORMSTATE_PROJECTION = 3,
};
constexpr uint32_t D3DCLEAR_TARGET = 0x1;

// Render states the device keeps. Any other state is refused with DDERR_UNSUPPORTED.
enum D3DRENDERSTATETYPE : uint32_t {
  D3DRENDERSTATE_ALPHATESTENABLE = 15,   // 0 or 1 (default 0)
  D3DRENDERSTATE_SRCBLEND = 19,          // D3DBLEND_* (default ONE)
  D3DRENDERSTATE_DESTBLEND = 20,         // D3DBLEND_* (default ZERO)
  D3DRENDERSTATE_CULLMODE = 22,          // D3DCULL_* (default CCW)
  D3DRENDERSTATE_ALPHAREF = 24,          // 0..255 (default 0)
  D3DRENDERSTATE_ALPHAFUNC = 25,         // D3DCMP_* (default ALWAYS)
  D3DRENDERSTATE_ALPHABLENDENABLE = 27,  // 0 or 1 (default 0)
  D3DRENDERSTATE_LIGHTING = 137,         // 0 or 1 (default 1)
  D3DRENDERSTATE_CLIPPLANEENABLE = 152,  // bit i enables clip plane i, 0..5 (default 0)
};
enum D3DBLEND : uint32_t {
  D3DBLEND_ZERO = 1,
  D3DBLEND_ONE = 2,
  D3DBLEND_SRCCOLOR = 3,
  D3DBLEND_INVSRCCOLOR = 4,
  D3DBLEND_SRCALPHA = 5,
  D3DBLEND_INVSRCALPHA = 6,
  D3DBLEND_DESTALPHA = 7,
  D3DBLEND_INVDESTALPHA = 8,
  D3DBLEND_DESTCOLOR = 9,
  D3DBLEND_INVDESTCOLOR = 10,
};
enum D3DCMPFUNC : uint32_t {
  D3DCMP_NEVER = 1,
  D3DCMP_LESS = 2,
  D3DCMP_EQUAL = 3,
  D3DCMP_LESSEQUAL = 4,
  D3DCMP_GREATER = 5,
  D3DCMP_NOTEQUAL = 6,
  D3DCMP_GREATEREQUAL = 7,
  D3DCMP_ALWAYS = 8,
};
enum D3DCULL : uint32_t { D3DCULL_NONE = 1, D3DCULL_CW = 2, D3DCULL_CCW = 3 };

// Texture stage states the device keeps (stage 0 only). Any other is refused with
// DDERR_UNSUPPORTED.
enum D3DTEXTURESTAGESTATETYPE : uint32_t {
  D3DTSS_COLOROP = 1,     // D3DTOP_DISABLE..MODULATE (default MODULATE)
  D3DTSS_COLORARG1 = 2,   // D3DTA_TEXTURE only (default)
  D3DTSS_COLORARG2 = 3,   // D3DTA_DIFFUSE or D3DTA_CURRENT, the same at stage 0 (default CURRENT)
  D3DTSS_ALPHAOP = 4,     // as COLOROP (default SELECTARG1)
  D3DTSS_ALPHAARG1 = 5,   // as COLORARG1
  D3DTSS_ALPHAARG2 = 6,   // as COLORARG2
  D3DTSS_ADDRESS = 12,    // D3DTADDRESS_* (default WRAP)
  D3DTSS_MAGFILTER = 16,  // D3DTFG_POINT or D3DTFG_LINEAR (default POINT)
  D3DTSS_MINFILTER = 17,  // D3DTFN_POINT or D3DTFN_LINEAR (default POINT)
  D3DTSS_MIPFILTER = 18,  // D3DTFP_* (default NONE)
};
enum D3DTEXTUREOP : uint32_t {
  D3DTOP_DISABLE = 1,
  D3DTOP_SELECTARG1 = 2,
  D3DTOP_SELECTARG2 = 3,
  D3DTOP_MODULATE = 4,
};
constexpr uint32_t D3DTA_DIFFUSE = 0;
constexpr uint32_t D3DTA_CURRENT = 1;
constexpr uint32_t D3DTA_TEXTURE = 2;
enum D3DTEXTUREADDRESS : uint32_t {
  D3DTADDRESS_WRAP = 1,
  D3DTADDRESS_MIRROR = 2,
  D3DTADDRESS_CLAMP = 3,
};
enum D3DTEXTUREMAGFILTER : uint32_t { D3DTFG_POINT = 1, D3DTFG_LINEAR = 2 };
enum D3DTEXTUREMINFILTER : uint32_t { D3DTFN_POINT = 1, D3DTFN_LINEAR = 2 };
enum D3DTEXTUREMIPFILTER : uint32_t { D3DTFP_NONE = 1, D3DTFP_POINT = 2, D3DTFP_LINEAR = 3 };

constexpr int kMaxTextureSide = 8192;

struct RECT {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
};
struct D3DRECT {
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

struct DDPIXELFORMAT {
  uint32_t flags = 0;  // DDPF_*
  uint32_t rgbBitCount = 0;
  uint32_t rBitMask = 0, gBitMask = 0, bBitMask = 0, alphaBitMask = 0;
};

struct DDSCAPS2 {
  uint32_t caps = 0;   // DDSCAPS_*
  uint32_t caps2 = 0;  // DDSCAPS2_*
};

struct DDSURFACEDESC2 {
  uint32_t flags = 0;  // DDSD_*: which of the fields below are given
  uint32_t width = 0, height = 0;
  int32_t pitch = 0;  // bytes from one row to the next
  uint32_t backBufferCount = 0;
  uint32_t mipMapCount = 0;
  uint32_t refreshRate = 0;
  void* surface = nullptr;  // caller memory (DDSD_LPSURFACE) or the locked pixels
  DDPIXELFORMAT pixelFormat;
  DDSCAPS2 caps;
};

struct DDCAPS {
  uint32_t size = 380;  // the caller's record size; anything else is refused
  uint32_t caps = 0;    // DDCAPS_*
};

struct D3DVIEWPORT7 {
  uint32_t x = 0, y = 0, width = 0, height = 0;
  float minZ = 0, maxZ = 1;
};

// Row-vector convention: a vertex (x, y, z, 1) times the matrix.
struct D3DMATRIX {
  float m11 = 0, m12 = 0, m13 = 0, m14 = 0;
  float m21 = 0, m22 = 0, m23 = 0, m24 = 0;
  float m31 = 0, m32 = 0, m33 = 0, m34 = 0;
  float m41 = 0, m42 = 0, m43 = 0, m44 = 0;
};

// A device context of a surface (GetDC): a view of its pixels for BitBlt.
struct DeviceContext;

class IUnknown {
 public:
  virtual uint32_t AddRef() = 0;
  // Drops a reference; destroys the object when none is left. Returns the count left.
  virtual uint32_t Release() = 0;

 protected:
  virtual ~IUnknown() = default;
};

// Binds a surface's blits to a window: destination rectangles are in screen coordinates and are
// cut to the window's client area.
class IDirectDrawClipper : public IUnknown {
 public:
  // Binds the clipper to the window (0 unbinds). flags must be 0.
  virtual HRESULT SetHWnd(uint32_t flags, WindowId window) = 0;
  virtual HRESULT GetHWnd(WindowId* window) = 0;
};

class IDirectDrawSurface7 : public IUnknown {
 public:
  // The surface's description: DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH |
  // DDSD_PIXELFORMAT (+ DDSD_BACKBUFFERCOUNT, DDSD_MIPMAPCOUNT where they apply); surface null.
  virtual HRESULT GetSurfaceDesc(DDSURFACEDESC2* desc) = 0;
  // Locks the whole surface (rect must be null) and fills desc as GetSurfaceDesc with `surface`
  // pointing at the pixels. A surface holds one lock, and none while its device context is out:
  // DDERR_SURFACEBUSY. DDLOCK_READONLY and DDLOCK_WRITEONLY together are refused. A lost
  // surface gives DDERR_SURFACELOST. The primary of normal level has no pixels of its own
  // (DDERR_UNSUPPORTED); a flip chain's front buffer holds what was presented last.
  virtual HRESULT Lock(const RECT* rect, DDSURFACEDESC2* desc, uint32_t flags, void* event) = 0;
  // Ends the lock (rect must be null). DDERR_NOTLOCKED when not locked.
  virtual HRESULT Unlock(const RECT* rect) = 0;
  // The attached surface with all of the given caps: a flip chain's back buffer
  // (DDSCAPS_BACKBUFFER), a mip chain's next level (DDSCAPS_TEXTURE with
  // DDSCAPS2_MIPMAPSUBLEVEL, or DDSCAPS_MIPMAP). Adds a reference. DDERR_NOTFOUND when none.
  virtual HRESULT GetAttachedSurface(const DDSCAPS2& caps, IDirectDrawSurface7** attached) = 0;
  // A flipping primary only: presents the back buffer's pixels into the exclusive-mode window
  // (the chain's two surfaces swap their pixels). override must be null; without
  // DDFLIP_NOVSYNC it first waits for a vertical blank (see WaitForVerticalBlank).
  // DDERR_NOEXCLUSIVEMODE without exclusive mode, DDERR_SURFACELOST after a mode loss,
  // DDERR_INVALIDPARAMS on a surface that is not a flipping primary.
  virtual HRESULT Flip(IDirectDrawSurface7* override, uint32_t flags) = 0;
  // Copies src's srcRect (null: the whole source) to this surface's destRect (null: the whole
  // surface), scaling by nearest pixel when the sizes differ. On a primary with a clipper bound
  // to a window, destRect is in screen coordinates, cut to the window's client area, and the
  // copy is presented in the window. Rectangles are clipped to both surfaces (the scale kept);
  // an empty result copies nothing and succeeds. flags: DDBLT_WAIT or 0; fx must be null.
  virtual HRESULT Blt(const RECT* destRect, IDirectDrawSurface7* src, const RECT* srcRect,
                      uint32_t flags, void* fx) = 0;
  // Binds a clipper (null unbinds); the surface holds a reference to it.
  virtual HRESULT SetClipper(IDirectDrawClipper* clipper) = 0;
  // DD_OK, or DDERR_SURFACELOST once the display mode was lost (every surface but those in
  // system memory and managed textures, DDSCAPS2_TEXTUREMANAGE) or the DirectDraw object gone
  // (every surface).
  virtual HRESULT IsLost() = 0;
  // Makes a lost surface usable again (contents undefined: left as they were). Fails with
  // DDERR_WRONGMODE while the mode is still lost.
  virtual HRESULT Restore() = 0;
  // A device context for BitBlt. One at a time; not while locked (DDERR_SURFACEBUSY).
  virtual HRESULT GetDC(DeviceContext** dc) = 0;
  virtual HRESULT ReleaseDC(DeviceContext* dc) = 0;
};

// Copies a w by h block from src at (sx, sy) to dst at (x, y), converting between the two
// surfaces' pixel formats (24 or 32 bits, masks as given, alpha 0xFF where the source has none).
// The block is clipped to the destination; destination pixels whose source lies outside the
// source surface become 0. rop must be SRCCOPY. False on bad arguments.
bool BitBlt(DeviceContext* dst, int32_t x, int32_t y, int32_t w, int32_t h, DeviceContext* src,
            int32_t sx, int32_t sy, uint32_t rop);

using LPDDENUMMODESCALLBACK2 = HRESULT (*)(DDSURFACEDESC2* mode, void* context);

class IDirectDraw7 : public IUnknown {
 public:
  // IID_IDirect3D7 gives the Direct3D object (one more reference of this DirectDraw's state).
  // DDERR_INVALIDPARAMS (out set to null) for any other id.
  virtual HRESULT QueryInterface(Iid iid, void** out) = 0;
  // DDSCL_NORMAL (window may be 0) or DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE (a window needed),
  // DDSCL_ALLOWREBOOT and DDSCL_FPUPRESERVE accepted alongside. Exclusive mode while another
  // DirectDraw object holds it: DDERR_EXCLUSIVEMODEALREADYSET. Going back to normal restores the
  // desktop mode and takes the window out of full screen.
  virtual HRESULT SetCooperativeLevel(WindowId window, uint32_t flags) = 0;
  // hal (and hel, when not null) get the device caps: DDCAPS_3D. size must be 380.
  virtual HRESULT GetCaps(DDCAPS* hal, DDCAPS* hel) = 0;
  // Calls back once per display mode, in the display's order, with width, height, refresh rate
  // (with DDEDM_REFRESHRATES, else 0) and the mode's bit count as the OpenGL driver lists it
  // (8 times the bytes per pixel: 24-bit visuals count as 32). filter must be null. The callback
  // returns DDENUMRET_OK to go on. Starts SDL's video.
  virtual HRESULT EnumDisplayModes(uint32_t flags, const DDSURFACEDESC2* filter, void* context,
                                   LPDDENUMMODESCALLBACK2 callback) = 0;
  // Exclusive mode only: switches the exclusive window to full screen in the listed mode of that
  // size (depth 16, 24 or 32; hertz 0: any rate). DDERR_NOEXCLUSIVEMODE without exclusive mode,
  // DDERR_UNSUPPORTEDMODE for a mode not listed. flags must be 0. Rendering stays X8R8G8B8.
  virtual HRESULT SetDisplayMode(uint32_t width, uint32_t height, uint32_t depth, uint32_t hertz,
                                 uint32_t flags) = 0;
  // Exclusive level: DDERR_NOEXCLUSIVEMODE after the window lost the display (focus gone), DD_OK
  // once it has it again (the surfaces stay lost until restored). Normal level:
  // DDERR_EXCLUSIVEMODEALREADYSET while another object holds exclusive mode, DDERR_WRONGMODE
  // once the display mode changed since this object's cooperative level was set (the object is
  // to be made again), else DD_OK.
  virtual HRESULT TestCooperativeLevel() = 0;
  // Restores every lost surface of this object.
  virtual HRESULT RestoreAllSurfaces() = 0;
  // Makes a surface:
  // - the primary (DDSCAPS_PRIMARYSURFACE): the screen; one per DirectDraw object
  //   (DDERR_PRIMARYSURFACEALREADYEXISTS); with DDSCAPS_FLIP | DDSCAPS_COMPLEX and
  //   DDSD_BACKBUFFERCOUNT 1 a flip chain in exclusive mode, the size of the display mode, its
  //   back buffer attached (a 3D render target);
  // - off-screen plain (DDSCAPS_OFFSCREENPLAIN, optionally DDSCAPS_3DDEVICE): width by height
  //   (sides 1..16384) X8R8G8B8; with DDSCAPS_SYSTEMMEMORY and DDSD_LPSURFACE | DDSD_PITCH | DDSD_PIXELFORMAT
  //   the caller's memory in that format (24 or 32 bits, DDPF_RGB with byte masks, optionally
  //   DDPF_ALPHAPIXELS), never freed by the surface;
  // - a texture (DDSCAPS_TEXTURE, A8R8G8B8 given by DDSD_PIXELFORMAT or taken by default),
  //   sides 1..8192 (DDERR_INVALIDPARAMS beyond); with DDSCAPS_MIPMAP | DDSCAPS_COMPLEX a mip
  //   chain down to 1 by 1 (each level half the last, at least 1), or DDSD_MIPMAPCOUNT levels.
  // Pixels start as 0.
  virtual HRESULT CreateSurface(const DDSURFACEDESC2& desc, IDirectDrawSurface7** surface,
                                void* outer) = 0;
  // A clipper (flags must be 0).
  virtual HRESULT CreateClipper(uint32_t flags, IDirectDrawClipper** clipper, void* outer) = 0;
  // Returns once the display is at the start of a vertical blank (flags DDWAITVB_BLOCKBEGIN):
  // the next multiple of the refresh period (the exclusive mode's rate, else the display's, else
  // 60 Hz) on the monotonic clock.
  virtual HRESULT WaitForVerticalBlank(uint32_t flags, void* event) = 0;
};

class IDirect3DDevice7;

class IDirect3D7 : public IUnknown {
 public:
  // A device rendering into `target` (a surface with DDSCAPS_3DDEVICE) for
  // IID_IDirect3DTnLHalDevice or IID_IDirect3DHALDevice; DDERR_INVALIDPARAMS otherwise.
  // Its states start as the platform's defaults, its viewport as the whole target.
  virtual HRESULT CreateDevice(Iid device, IDirectDrawSurface7* target, IDirect3DDevice7** out) = 0;
};

class IDirect3DDevice7 : public IUnknown {
 public:
  // Scenes: drawing and clearing only between BeginScene and EndScene
  // (D3DERR_SCENE_NOT_IN_SCENE outside; D3DERR_SCENE_IN_SCENE for a second BeginScene).
  virtual HRESULT BeginScene() = 0;
  virtual HRESULT EndScene() = 0;
  // A new target (a DDSCAPS_3DDEVICE surface); the viewport becomes the whole target. flags 0.
  virtual HRESULT SetRenderTarget(IDirectDrawSurface7* target, uint32_t flags) = 0;
  virtual HRESULT GetRenderTarget(IDirectDrawSurface7** target) = 0;  // adds a reference
  // The viewport must lie inside the target.
  virtual HRESULT SetViewport(const D3DVIEWPORT7& viewport) = 0;
  virtual HRESULT GetViewport(D3DVIEWPORT7* viewport) = 0;
  // World and view stay identity: only D3DTRANSFORMSTATE_PROJECTION is accepted.
  virtual HRESULT SetTransform(D3DTRANSFORMSTATETYPE type, const D3DMATRIX& matrix) = 0;
  virtual HRESULT GetTransform(D3DTRANSFORMSTATETYPE type, D3DMATRIX* matrix) = 0;
  // The states listed above; DDERR_UNSUPPORTED for a state not kept, DDERR_INVALIDPARAMS for a
  // value outside the state's range. Values in range that the rasteriser cannot draw are kept
  // and make DrawPrimitive refuse (see there). Stage 0 only.
  virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, uint32_t value) = 0;
  virtual HRESULT GetRenderState(D3DRENDERSTATETYPE state, uint32_t* value) = 0;
  virtual HRESULT SetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type,
                                       uint32_t value) = 0;
  virtual HRESULT GetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type,
                                       uint32_t* value) = 0;
  // Stage 0's texture (null: none); a DDSCAPS_TEXTURE surface, the device holds a reference.
  virtual HRESULT SetTexture(uint32_t stage, IDirectDrawSurface7* texture) = 0;
  virtual HRESULT GetTexture(uint32_t stage, IDirectDrawSurface7** texture) = 0;  // adds one
  // Plane index 0..5: keeps the world-space points where a x + b y + c z + d >= 0 (enabled
  // through D3DRENDERSTATE_CLIPPLANEENABLE).
  virtual HRESULT SetClipPlane(uint32_t index, const float plane[4]) = 0;
  virtual HRESULT GetClipPlane(uint32_t index, float plane[4]) = 0;
  // Fills the rectangles (all of the viewport when count is 0) with colour 0xAARRGGBB (stored
  // with top byte 0xFF); each rectangle is cut to the viewport. flags: D3DCLEAR_TARGET.
  virtual HRESULT Clear(uint32_t count, const D3DRECT* rects, uint32_t flags, uint32_t color,
                        float z, uint32_t stencil) = 0;
  // Draws count vertices: D3DPT_POINTLIST, LINELIST, TRIANGLESTRIP or TRIANGLEFAN, format
  // D3DFVF_XYZ | D3DFVF_DIFFUSE or D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1, through the
  // projection and the viewport onto the render target, with the render and stage states, the
  // texture and the enabled clip planes, by the rasteriser's rules. A primitive with a NaN or
  // infinite coordinate draws nothing. Triangles are culled by CULLMODE (clockwise on screen,
  // y down, is the front). The mip level of a triangle follows its texel-to-pixel ratio (the
  // same in every 2x2 block of an affine triangle): lambda <= 0 magnifies (MAGFILTER, level 0),
  // else MINFILTER on level 0 (MIPFILTER NONE) or ceil(lambda + 1/2) - 1 (POINT). Refused
  // (DDERR_INVALIDPARAMS, nothing drawn) when the states cannot be drawn: blending with a pair
  // other than (ONE, ZERO), (SRCALPHA, INVSRCALPHA), (SRCALPHA, ONE) or (ZERO, SRCCOLOR); the
  // alpha test with other than ALPHAREF 128 and D3DCMP_GREATEREQUAL; lighting on; COLOROP
  // differing from ALPHAOP (DISABLE and SELECTARG2 count as the same); a texture with an address
  // mode other than CLAMP or MIPFILTER LINEAR; clip planes enabled with a projection that is
  // not affine (m14, m24, m34 not 0 or m44 not 1); a target that is lost or locked
  // (DDERR_SURFACELOST, DDERR_SURFACEBUSY). Textured ops without a texture draw the diffuse
  // colour.
  virtual HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, uint32_t fvf, const void* vertices,
                                uint32_t count, uint32_t flags) = 0;
};

// Makes a DirectDraw object. DDERR_UNSUPPORTED (out null) unless VXL_D3D7 is "1".
HRESULT DirectDrawCreateEx(IDirectDraw7** out);

}  // namespace vxl::platform::d3d7
