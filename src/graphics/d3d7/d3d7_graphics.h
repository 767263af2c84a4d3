// The Direct3D 7 graphics driver: windows and full-screen displays rendered by a Direct3D 7
// device over DirectDraw 7 (on this platform the software one, present when VXL_D3D7=1).
//
//   Ref<TD3D7GraphicsDriver> d = TD3D7GraphicsDriver::Create();   // Null: no DirectDraw here
//   UseGraphicsDriver(d, 2);
//   Ref<TGraphics> g = OpenGraphics(640, 480, 0, 60, 0);
//   ... d->BeginScene(); draw through d->Direct3DDevice7() ...
//   PresentFrame(-1);
//
// The driver keeps one DirectDraw object, its Direct3D object and device while contexts are
// open, and knows whether the device can draw (valid). Losing the display mode makes it invalid;
// the next validation (every SetGraphics and Flip, and focus changes) remakes everything and
// bumps graphicsGeneration, so per-context resources are rebuilt.
#pragma once

#include <cstdint>

#include "collections/list/list.h"
#include "graphics/graphics.h"
#include "platform/d3d7/ddraw7.h"

namespace vxl {

class TD3D7GraphicsDriver;

// One surface made through the driver's CreateSurface; holds one reference to it.
class TD3D7Surface : public Object {
 public:
  VXL_CLASS(TD3D7Surface, Object)
  ~TD3D7Surface() override;

  platform::d3d7::IDirectDrawSurface7* surf = nullptr;

  // Drops the reference to the surface (once). (Release is the object's own count.)
  void ReleaseSurface();

  static void Bind(ClassBinder<TD3D7Surface>& b);

 private:
  int64_t _Handle() const;
};

// One context: a window (depth 0), a full-screen display or an attached window, with its render
// surface (the back buffer drawn into).
class TD3D7Graphics : public TGraphics {
 public:
  VXL_CLASS(TD3D7Graphics, TGraphics)
  ~TD3D7Graphics() override;

  int32_t _width = 0, _height = 0, _depth = 0, _hertz = 0, _flags = 0;
  platform::d3d7::WindowId _hwnd = 0;  // 0 once closed
  platform::d3d7::IDirectDrawClipper* _clipper = nullptr;
  platform::d3d7::IDirectDrawSurface7* _renderSurf = nullptr;

  Ref<TGraphicsDriver> Driver() const override;
  void GetSettings(int32_t& width, int32_t& height, int32_t& depth, int32_t& hertz,
                   int32_t& flags) override;
  // Gives the display back (full screen), tells the driver, destroys the window. Once only.
  void Close() override;

  // Presents the render surface: a flip of the full-screen chain (sync 0 without waiting), or a
  // blit into the window's client area (sync: after the vertical blank).
  void Flip(int32_t sync);
  platform::d3d7::IDirectDrawSurface7* RenderSurface() const { return _renderSurf; }
  // Full screen: exclusive mode, the display mode and a flip chain whose back buffer renders.
  // Windowed: the shared primary, an off-screen render surface of the client size and a clipper
  // bound to the window. A failed call ends the program (CheckDX).
  void CreateRenderSurface();
  void DestroyRenderSurface();
  // Windowed: a client area that changed size drops the render surface (the next validation
  // makes one of the new size).
  void ValidateSize();

  static Ref<TD3D7Graphics> Attach(uintptr_t window, int32_t flags);
  static Ref<TD3D7Graphics> Create(int32_t width, int32_t height, int32_t depth, int32_t hertz,
                                   int32_t flags);

  static void Bind(ClassBinder<TD3D7Graphics>& b);

 private:
  int64_t _Window() const { return static_cast<int64_t>(_hwnd); }
};

class TD3D7GraphicsDriver : public TGraphicsDriver {
 public:
  VXL_CLASS(TD3D7GraphicsDriver, TGraphicsDriver)
  ~TD3D7GraphicsDriver() override;

  Array<Ref<TGraphicsMode>> _modes;
  platform::d3d7::IDirectDraw7* _dd7 = nullptr;
  platform::d3d7::IDirect3D7* _d3d7 = nullptr;
  platform::d3d7::IDirect3DDevice7* _d3ddev7 = nullptr;
  Ref<TD3D7Graphics> _graphics;  // current
  int32_t _n_graphics = 0;
  int32_t _n_fullscreen = 0;
  int32_t _inScene = 0;
  Ref<TList> _surfaces;   // of TD3D7Surface
  Ref<TList> _graphicss;  // of open TD3D7Graphics

  TD3D7GraphicsDriver();

  // The modes enumerated when the driver was made (16 bits per pixel and more).
  Array<Ref<TGraphicsMode>> GraphicsModes() override;
  // Null while a full-screen context is open, or when the window does not exist.
  Ref<TGraphics> AttachGraphics(int64_t window, int32_t flags) override;
  // Null while a full-screen context is open; full screen also needs no other context and a
  // listed mode (ChooseDisplayMode), whose depth and rate are used.
  Ref<TGraphics> CreateGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz,
                                int32_t flags) override;
  // Makes the context current (Null: none) and validates.
  void SetGraphics(const Ref<TGraphics>& graphics) override;
  // Ends the scene, presents the current context and validates; a frame that was in a scene
  // goes on in a new one.
  void Flip(int32_t sync) override;

  void CloseGraphics(TD3D7Graphics* graphics);
  Ref<TD3D7Graphics> Graphics() const { return _graphics; }
  platform::d3d7::IDirectDraw7* DirectDraw7() const { return _dd7; }
  platform::d3d7::IDirect3D7* Direct3D7() const { return _d3d7; }
  platform::d3d7::IDirect3DDevice7* Direct3DDevice7() const { return _d3ddev7; }
  void BeginScene();
  void EndScene();
  // A surface of DirectDraw, kept in the surface list; nullptr on failure or without DirectDraw.
  platform::d3d7::IDirectDrawSurface7* CreateSurface(const platform::d3d7::DDSURFACEDESC2& desc);
  // Releases a surface of the list and drops it; nothing for one not listed (any more).
  void DestroySurface(platform::d3d7::IDirectDrawSurface7* surface);
  int32_t _ValidateGraphics();
  // Checks (force, or while valid) and remakes what is needed; returns the valid flag.
  int32_t ValidateGraphics(int32_t force);

  // The one driver, made on first call with the DirectDraw objects made, the modes listed and
  // the objects destroyed again; Null when the DirectDraw entry is not resolved or fails.
  static Ref<TD3D7GraphicsDriver> Create();
  bool _Create();
  void _Destroy();

  static void Bind(ClassBinder<TD3D7GraphicsDriver>& b);

 private:
  int32_t _NGraphics() const { return _n_graphics; }
  int32_t _NFullscreen() const { return _n_fullscreen; }
  int32_t _InScene() const { return _inScene; }
};

// Whether the device can draw now.
int32_t D3D7GraphicsValid();
// The driver if it was made, else Null (never makes it).
Ref<TD3D7GraphicsDriver> D3D7DriverInstance();

}  // namespace vxl
