#include "graphics/gl/gl_graphics.h"

#include "graphics/kor2d/ascii_font_data.h"
#include "pixmap/pixmap.h"
#include "platform/gl/gl_context.h"
#include "runtime/application.h"
#include "runtime/class_binder.h"
#include "runtime/exceptions.h"
#include "runtime/module.h"
#include "runtime/never_destroyed.h"
#include "memstream/embedded_files.h"
#include "memstream/ram_stream.h"
#include "system/system.h"
#include "system/window_events.h"

namespace vxl {
namespace native = platform::gl;

VXL_DEFINE_CLASS(TGLGraphics)
VXL_DEFINE_CLASS(TGLGraphicsDriver)

namespace {

Ref<TGLGraphicsDriver>& DriverSlot() {
  static NeverDestroyed<Ref<TGLGraphicsDriver>> driver;
  return *driver;
}

void TranslateMessage(const platform::events::WindowMessage& m) {
  TranslateWindowMessage(m.window, m.message, m.wParam, m.lParam, nullptr);
}

[[noreturn]] void DisplayModeFailed() {
  Throw("GLGraphicsDriver failed to set display mode");
}

Ref<TGraphics> Wrap(native::NativeContext* context) {
  if (!context) return nullptr;
  auto g = New<TGLGraphics>();
  g->_context = context;
  return g;
}

}  // namespace

TGLGraphics::~TGLGraphics() {
  Close();
}

Ref<TGraphicsDriver> TGLGraphics::Driver() const {
  return GLDriverInstance();
}

void TGLGraphics::GetSettings(int32_t& width, int32_t& height, int32_t& depth, int32_t& hertz,
                              int32_t& flags) {
  if (!_context) {
    width = height = depth = hertz = flags = 0;
    return;
  }
  native::ContextSettings s = native::SettingsOf(_context);
  width = s.width;
  height = s.height;
  depth = s.depth;
  hertz = s.hertz;
  flags = s.flags;
}

void TGLGraphics::Close() {
  if (!_context) return;
  native::CloseContext(_context);
  _context = nullptr;
}

int64_t TGLGraphics::ContextHandle() const {
  return static_cast<int64_t>(reinterpret_cast<intptr_t>(_context));
}

void TGLGraphics::Bind(ClassBinder<TGLGraphics>& b) {
  b.AccessorField<&TGLGraphics::ContextHandle>("_context");
  b.Method<&TGLGraphics::Close>("Close");
}

Array<Ref<TGraphicsMode>> TGLGraphicsDriver::GraphicsModes() {
  std::vector<native::DisplayMode> modes = native::DisplayModes();
  auto result = Array<Ref<TGraphicsMode>>::New(static_cast<int32_t>(modes.size()));
  for (size_t i = 0; i < modes.size(); ++i) {
    const native::DisplayMode& m = modes[i];
    result[static_cast<int32_t>(i)] = TGraphicsMode::Create(m.width, m.height, m.depth, m.hertz);
  }
  return result;
}

Ref<TGraphics> TGLGraphicsDriver::AttachGraphics(int64_t window, int32_t flags) {
  if (window <= 0) return nullptr;
  native::SetWindowHandlers(&TranslateMessage, &DisplayModeFailed);
  return Wrap(native::AttachContext(static_cast<uintptr_t>(window), flags));
}

Ref<TGraphics> TGLGraphicsDriver::CreateGraphics(int32_t width, int32_t height, int32_t depth,
                                                 int32_t hertz, int32_t flags) {
  native::SetWindowHandlers(&TranslateMessage, &DisplayModeFailed);
  return Wrap(native::CreateContext(ApplicationTitle.ToCString().c_str(), width, height, depth,
                                    hertz, flags));
}

void TGLGraphicsDriver::SetGraphics(const Ref<TGraphics>& graphics) {
  auto* gl = dynamic_cast<TGLGraphics*>(graphics.Get());
  native::MakeCurrent(gl ? gl->_context : nullptr);
}

void TGLGraphicsDriver::Flip(int32_t sync) {
  native::Flip(sync);
}

void TGLGraphicsDriver::SwapSharedContext() {
  native::SwapSharedContext();
}

void TGLGraphicsDriver::Bind(ClassBinder<TGLGraphicsDriver>& b) {
  b.Method<&TGLGraphicsDriver::SwapSharedContext>("SwapSharedContext");
}

Ref<TGLGraphicsDriver> GLDriverInstance() {
  Ref<TGLGraphicsDriver>& driver = DriverSlot();
  if (!driver) driver = New<TGLGraphicsDriver>();
  return driver;
}

Ref<TGraphics> OpenGLGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz,
                              int32_t flags) {
  UseGraphicsDriver(GLDriverInstance(), 2);
  return OpenGraphics(width, height, depth, hertz, flags);
}

int InitOpenGLModule() {
  static ModuleGuard guard("OpenGL");
  return guard.Run({InitCoreModule}, [] {});
}

int InitGLGraphicsModule() {
  static ModuleGuard guard("OpenGL graphics");
  // The overlay font, registered before the imports run. Kor2D's built-in font has the same
  // layout and serves here too.
  if (!guard.Started()) {
    RegisterEmbeddedFile("gldrawtextfont.bin", kAsciiFont8x16, kAsciiFont8x16Size);
  }
  return guard.Run({InitCoreModule, InitOpenGLModule, InitRamStreamModule, InitPixmapModule,
                    InitGraphicsModule, InitSystemModule},
                   [] {
                     RegisterClass<TGLGraphics>();
                     RegisterClass<TGLGraphicsDriver>();
                     UseGraphicsDriver(GLDriverInstance(), 2);
                   });
}

}  // namespace vxl
