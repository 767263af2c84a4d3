#include "platform/gl/gl_context.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/events/display_modes.h"
#include "platform/events/x11_window.h"
#include "platform/gl/gl_api.h"
#include "platform/gl/gl_batch.h"
#include "platform/sdl/sdl_library.h"

namespace vxl::platform::gl {

struct NativeContext {
  NativeContext* next = nullptr;
  int32_t kind = 0;
  int32_t width = 0, height = 0;
  int32_t depth = 0, hertz = 0, flags = 0;
  SDL_Window* window = nullptr;
  SDL_GLContext gl = nullptr;
};

namespace {

constexpr const char* kWindowClass = "Quillon GLGraphics";
constexpr int kWindowLeft = 32, kWindowTop = 32;

// Main-thread state of this layer. Never destroyed: the shared context lives until the process
// ends, so the GL driver stays loaded through every exit function and leak check.
struct State {
  const sdl::Library* sdl = nullptr;
  NativeContext* list = nullptr;
  NativeContext* current = nullptr;
  NativeContext* shared = nullptr;
  NativeContext* modeHolder = nullptr;
  bool glLibraryHeld = false;  // SDL_GL_LoadLibrary succeeded once
  int32_t lastInterval = -1;
  int32_t refusedModeSwitches = 0;  // mode switches still to refuse (RefuseDisplayModeSwitches)
  MessageTranslator translator = nullptr;
  DisplayModeFailure modeFailure = nullptr;
};

State& S() {
  static auto* state = new State;
  return *state;
}

SDL_Window* Sdl(events::NativeWindow w) {
  return reinterpret_cast<SDL_Window*>(w);
}
events::NativeWindow Handle(SDL_Window* w) {
  return reinterpret_cast<events::NativeWindow>(w);
}

NativeContext* FindByWindow(SDL_Window* w) {
  for (NativeContext* c = S().list; c; c = c->next) {
    if (c->window == w) return c;
  }
  return nullptr;
}

// The file SDL opens for its GL contexts when not told otherwise at load time: its GLX loader
// reads SDL_OPENGL_LIBRARY, its EGL loader SDL_VIDEO_GL_DRIVER. Only for messages.
std::string GLLibraryName() {
  const char* driver = S().sdl->GetCurrentVideoDriver();
  bool glx = driver && std::strcmp(driver, "x11") == 0;
  const char* file = std::getenv(glx ? "SDL_OPENGL_LIBRARY" : "SDL_VIDEO_GL_DRIVER");
  return file && *file ? file : "libGL.so.1";
}

// Has SDL load its GL library (kept loaded for the life of the process: this reference is never
// given back) and fills the entry-point table from it, so that our calls and SDL's contexts use
// the same library. False, with LoadError() saying why, when either fails; the first outcome
// stays.
bool OpenGLLibrary() {
  State& s = S();
  if (!s.glLibraryHeld) {
    if (s.sdl->GL_LoadLibrary(nullptr) != 0) {
      return LoadApi(GLLibraryName(), nullptr,
                     std::string("SDL could not load the GL library: ") + s.sdl->GetError());
    }
    s.glLibraryHeld = true;
  }
  return LoadApi(GLLibraryName(), s.sdl->GL_GetProcAddress);
}

void SendSwapInterval(int32_t interval) {
  State& s = S();
  if (interval == s.lastInterval) return;
  s.lastInterval = interval;
  s.sdl->GL_SetSwapInterval(interval);
}

// The pixel format for the graphics flags; any buffer of a requested kind will do.
void RequestPixelFormat(int32_t flags, bool share) {
  const sdl::Library* sdl = S().sdl;
  sdl->GL_ResetAttributes();
  sdl->GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
  sdl->GL_SetAttribute(SDL_GL_DOUBLEBUFFER, (flags & 2) ? 1 : 0);
  sdl->GL_SetAttribute(SDL_GL_RED_SIZE, 1);
  sdl->GL_SetAttribute(SDL_GL_GREEN_SIZE, 1);
  sdl->GL_SetAttribute(SDL_GL_BLUE_SIZE, 1);
  sdl->GL_SetAttribute(SDL_GL_ALPHA_SIZE, (flags & 4) ? 1 : 0);
  sdl->GL_SetAttribute(SDL_GL_DEPTH_SIZE, (flags & 8) ? 1 : 0);
  sdl->GL_SetAttribute(SDL_GL_STENCIL_SIZE, (flags & 16) ? 1 : 0);
  int accum = (flags & 32) ? 1 : 0;
  sdl->GL_SetAttribute(SDL_GL_ACCUM_RED_SIZE, accum);
  sdl->GL_SetAttribute(SDL_GL_ACCUM_GREEN_SIZE, accum);
  sdl->GL_SetAttribute(SDL_GL_ACCUM_BLUE_SIZE, accum);
  sdl->GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, share ? 1 : 0);
}

void RawMakeCurrent(NativeContext* c) {
  if (c) {
    S().sdl->GL_MakeCurrent(c->window, c->gl);
  } else {
    S().sdl->GL_MakeCurrent(nullptr, nullptr);
  }
}

// A GL context for the window that shares the shared context's textures; the context current
// before stays current.
SDL_GLContext CreateSharingContext(SDL_Window* window) {
  State& s = S();
  SDL_GLContext before = s.sdl->GL_GetCurrentContext();
  RawMakeCurrent(s.shared);
  SDL_GLContext gl = s.sdl->GL_CreateContext(window);
  if (before) {
    RawMakeCurrent(s.current && s.current->gl == before ? s.current : s.shared);
  } else {
    RawMakeCurrent(nullptr);
  }
  return gl;
}

// Whether the list has a mode of the context's size and depth at that refresh rate (0: any).
bool ListsMode(const NativeContext* c, int32_t hertz) {
  for (const events::ScreenMode& m : events::ListDisplayModes()) {
    if (m.width == c->width && m.height == c->height && m.depth == c->depth &&
        (hertz == 0 || m.hertz == hertz))
      return true;
  }
  return false;
}

// One attempt at switching the display to a mode of the list; false when it has no such mode
// or the display refuses it (RefuseDisplayModeSwitches refuses modes the list has).
bool SwitchDisplayMode(NativeContext* c, int32_t hertz) {
  State& s = S();
  if (s.refusedModeSwitches > 0 && ListsMode(c, hertz)) {
    --s.refusedModeSwitches;
    return false;
  }
  return events::EnterFullScreen(Handle(c->window), c->width, c->height, c->depth, hertz);
}

// Switches the display to the full-screen context's mode: with its refresh rate and vertical
// sync first, then without them. False when neither is possible.
bool TakeDisplayMode(NativeContext* c) {
  State& s = S();
  int32_t interval = 0;
  if (c->hertz != 0 && SwitchDisplayMode(c, c->hertz)) {
    interval = 1;
  } else if (!SwitchDisplayMode(c, 0)) {
    return false;
  }
  s.modeHolder = c;
  SendSwapInterval(interval);
  return true;
}

void GiveBackDisplayMode() {
  State& s = S();
  NativeContext* c = s.modeHolder;
  if (!c) return;
  s.modeHolder = nullptr;
  events::LeaveFullScreen(Handle(c->window), true);
  SendSwapInterval(0);
}

void Procedure(const events::WindowMessage& m, void*) {
  State& s = S();
  if (s.translator) s.translator(m);
  // The translation runs program hooks, which may have closed the context.
  NativeContext* c = FindByWindow(Sdl(m.window));
  if (!c) return;
  switch (m.message) {
    case events::kMsgSetFocus:
      if (c->kind == kFullScreen && s.modeHolder != c && !TakeDisplayMode(c) && s.modeFailure) {
        s.modeFailure();
      }
      break;
    case events::kMsgKillFocus:
      if (s.modeHolder == c) GiveBackDisplayMode();
      break;
    default:
      break;
  }
}

void Link(NativeContext* c) {
  State& s = S();
  c->next = s.list;
  s.list = c;
  if (c->kind != kShared) events::SetWindowProcedure(Handle(c->window), &Procedure, nullptr);
}

void Unlink(NativeContext* c) {
  for (NativeContext** p = &S().list; *p; p = &(*p)->next) {
    if (*p == c) {
      *p = c->next;
      return;
    }
  }
}

}  // namespace

void SetWindowHandlers(MessageTranslator translator, DisplayModeFailure failure) {
  S().translator = translator;
  S().modeFailure = failure;
}

bool EnsureSharedContext() {
  State& s = S();
  if (s.shared) return true;
  // The class of every window, read when SDL's video starts.
  setenv("SDL_VIDEO_X11_WMCLASS", kWindowClass, 1);
  if (!events::StartVideo()) return false;
  // One more start of the video subsystem that is never stopped: the shared context's window
  // outlives the event layer's shutdown.
  if (!s.sdl) {
    s.sdl = sdl::StartSubsystems(SDL_INIT_VIDEO);
    if (!s.sdl) return false;
  }
  if (!OpenGLLibrary()) return false;
  RequestPixelFormat(0, false);
  SDL_Window* window = s.sdl->CreateWindow(kWindowClass, 0, 0, 1, 1,
                                           SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (!window) return false;
  SDL_GLContext before = s.sdl->GL_GetCurrentContext();
  SDL_GLContext gl = s.sdl->GL_CreateContext(window);
  if (!gl) {
    if (gl) s.sdl->GL_DeleteContext(gl);
    s.sdl->DestroyWindow(window);
    return false;
  }
  auto* c = new NativeContext;
  c->kind = kShared;
  c->width = c->height = 1;
  c->window = window;
  c->gl = gl;
  s.shared = c;
  // Creating made it current; put back what was.
  if (before) {
    RawMakeCurrent(s.current);
  } else {
    RawMakeCurrent(nullptr);
  }
  return true;
}

NativeContext* CreateContext(const char* title, int32_t width, int32_t height, int32_t depth,
                             int32_t hertz, int32_t flags) {
  if (width < 1 || height < 1 || !EnsureSharedContext()) return nullptr;
  State& s = S();
  FlushQuads();
  RequestPixelFormat(flags, true);
  events::WindowOptions options;
  options.openGL = true;
  options.placed = true;
  options.x = depth == 0 ? kWindowLeft : 0;
  options.y = depth == 0 ? kWindowTop : 0;
  options.windowClass = kWindowClass;
  events::NativeWindow window = events::OpenWindowWith(title, width, height, options);
  if (!window) return nullptr;
  SDL_GLContext gl = CreateSharingContext(Sdl(window));
  if (!gl) {
    events::CloseWindow(window);
    return nullptr;
  }
  auto* c = new NativeContext;
  c->kind = depth == 0 ? kWindow : kFullScreen;
  s.sdl->GetWindowSize(Sdl(window), &c->width, &c->height);
  c->depth = depth;
  c->hertz = hertz;
  c->flags = flags;
  c->window = Sdl(window);
  c->gl = gl;
  Link(c);
  // A shown window gets the focus, and a full-screen one the display mode with it. A mode the
  // display refuses leaves no window behind.
  if (c->kind == kFullScreen && !TakeDisplayMode(c)) {
    CloseContext(c);
    return nullptr;
  }
  return c;
}

NativeContext* AttachContext(uintptr_t window, int32_t flags) {
  if (!EnsureSharedContext() || !events::ForeignWindowExists(window)) return nullptr;
  FlushQuads();
  RequestPixelFormat(flags, true);
  events::NativeWindow adopted = events::AdoptWindow(window);
  if (!adopted) return nullptr;
  SDL_GLContext gl = CreateSharingContext(Sdl(adopted));
  if (!gl) {
    events::CloseWindow(adopted);
    return nullptr;
  }
  auto* c = new NativeContext;
  c->kind = kAttached;
  S().sdl->GetWindowSize(Sdl(adopted), &c->width, &c->height);
  c->flags = flags;
  c->window = Sdl(adopted);
  c->gl = gl;
  Link(c);
  return c;
}

void CloseContext(NativeContext* c) {
  State& s = S();
  if (!c || c == s.shared) return;
  FlushQuads();
  Unlink(c);
  if (s.modeHolder == c) GiveBackDisplayMode();
  if (s.current == c) MakeCurrent(nullptr);
  // Deleting a context SDL has current on this thread leaves none current.
  s.sdl->GL_DeleteContext(c->gl);
  events::SetWindowProcedure(Handle(c->window), nullptr, nullptr);
  events::CloseWindow(Handle(c->window));
  delete c;
}

void MakeCurrent(NativeContext* c) {
  State& s = S();
  if (c == s.current) return;
  FlushQuads();
  s.current = c;
  RawMakeCurrent(c);
}

NativeContext* CurrentContext() {
  return S().current;
}

ContextSettings SettingsOf(NativeContext* c) {
  if (c->kind == kAttached) {
    int w = 0, h = 0;
    if (events::ClientSize(Handle(c->window), &w, &h)) {
      c->width = w;
      c->height = h;
    }
  }
  return {c->kind, c->width, c->height, c->depth, c->hertz, c->flags};
}

void Flip(int32_t sync) {
  State& s = S();
  if (!s.current) return;
  FlushQuads();
  SendSwapInterval(sync ? 1 : 0);
  s.sdl->GL_SwapWindow(s.current->window);
}

void SwapSharedContext() {
  State& s = S();
  if (!s.shared) return;
  FlushQuads();
  if (s.sdl->GL_GetCurrentContext() != s.shared->gl) {
    RawMakeCurrent(s.shared);
  } else {
    RawMakeCurrent(s.current);
  }
}

std::vector<DisplayMode> DisplayModes() {
  std::vector<DisplayMode> modes;
  for (const events::ScreenMode& m : events::ListDisplayModes()) {
    modes.push_back({m.width, m.height, m.depth, m.hertz});
  }
  return modes;
}

events::NativeWindow WindowOf(NativeContext* c) {
  return c ? Handle(c->window) : nullptr;
}

bool HoldsDisplayMode(NativeContext* c) {
  return c && S().modeHolder == c;
}

int32_t LastSwapInterval() {
  return S().lastInterval;
}

void RefuseDisplayModeSwitches(int32_t count) {
  S().refusedModeSwitches = count;
}

}  // namespace vxl::platform::gl
