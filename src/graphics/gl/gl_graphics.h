// The OpenGL graphics driver: windows, full-screen displays and attached windows drawn with
// OpenGL, all sharing their textures through one shared context.
//
//   Ref<TGraphics> g = OpenGLGraphics(640, 480, 0, 60, 0);   // a paced window; Null: no display
//   ... draw with GL ...
//   PresentFrame(-1);
//
// Window messages go through the system driver's translation (source Null); closing a window
// only sends AppTerminate.
#pragma once

#include <cstdint>

#include "graphics/graphics.h"

namespace vxl {

namespace platform::gl {
struct NativeContext;
}

// One OpenGL context. Closed (or failed) contexts have no native record: zero settings, and
// selecting one makes no context current.
class TGLGraphics : public TGraphics {
 public:
  VXL_CLASS(TGLGraphics, TGraphics)
  ~TGLGraphics() override;

  platform::gl::NativeContext* _context = nullptr;

  // GLDriverInstance().
  Ref<TGraphicsDriver> Driver() const override;
  // An attached context's size is read from its window first.
  void GetSettings(int32_t& width, int32_t& height, int32_t& depth, int32_t& hertz,
                   int32_t& flags) override;
  // Closes the native context; closing twice does nothing.
  void Close() override;
  // The native record's address, 0 once closed (read-only for reflection).
  int64_t ContextHandle() const;

  static void Bind(ClassBinder<TGLGraphics>& b);
};

class TGLGraphicsDriver : public TGraphicsDriver {
 public:
  VXL_CLASS(TGLGraphicsDriver, TGraphicsDriver)
  // Every display mode; depth is 8 times the bytes per pixel (24-bit visuals list as 32).
  Array<Ref<TGraphicsMode>> GraphicsModes() override;
  // A context on an existing window (on X11 its window id); Null when that fails.
  Ref<TGraphics> AttachGraphics(int64_t window, int32_t flags) override;
  // A window titled ApplicationTitle (depth 0) or a full-screen display; Null when there is no
  // display or the window, its pixel format or the display mode fails.
  Ref<TGraphics> CreateGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz,
                                int32_t flags) override;
  // Makes the context current; Null or a context of another kind makes none current.
  void SetGraphics(const Ref<TGraphics>& graphics) override;
  void Flip(int32_t sync) override;
  // Switches between the shared context and the current one; call in pairs around work that
  // must happen in the shared context (textures).
  virtual void SwapSharedContext();

  static void Bind(ClassBinder<TGLGraphicsDriver>& b);
};

Ref<TGLGraphicsDriver> GLDriverInstance();
// UseGraphicsDriver(GLDriverInstance(), 2), then OpenGraphics.
Ref<TGraphics> OpenGLGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz,
                              int32_t flags);

// "OpenGL": the GL entry points (resolved on the first context).
int InitOpenGLModule();
// "OpenGL graphics": registers "gldrawtextfont.bin" before its imports, the classes, and makes
// the driver current with default flags 2.
int InitGLGraphicsModule();

}  // namespace vxl
