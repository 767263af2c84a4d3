#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/d3d7/d3d7_window.h"
#include "platform/d3d7/soft_display.h"
#include "platform/events/display_modes.h"
#include "platform/events/x11_window.h"
#include "platform/library/lazy_library.h"
#include "platform/sdl/sdl_library.h"

namespace vxl::platform::d3d7 {
namespace {

constexpr const char* kWindowClass = "VXDX7Device Window Class";
constexpr int kWindowLeft = 32, kWindowTop = 32;

struct DeviceWindow {
  WindowId id = 0;
  events::NativeWindow window = nullptr;
  std::vector<uint32_t> presented;  // the client pixels last presented (for the test seam)
  int32_t presentedWidth = 0, presentedHeight = 0;
  bool everPresented = false;
};

// Main-thread state of this layer. Never destroyed: exit functions may still close windows.
struct State {
  std::vector<DeviceWindow> windows;
  WindowId nextId = 1;
  DeviceWindowTranslator translator = nullptr;
  DeviceWindowFocus focus = nullptr;
};

State& S() {
  static auto* state = new State;
  return *state;
}

DeviceWindow* Find(WindowId id) {
  for (DeviceWindow& w : S().windows) {
    if (w.id == id) return &w;
  }
  return nullptr;
}

DeviceWindow* FindByHandle(events::NativeWindow window) {
  for (DeviceWindow& w : S().windows) {
    if (w.window == window) return &w;
  }
  return nullptr;
}

void Procedure(const events::WindowMessage& m, void*) {
  State& s = S();
  if (s.translator) s.translator(m);
  // The translation runs program hooks, which may have closed the window.
  DeviceWindow* w = FindByHandle(m.window);
  if (!w) return;
  if (m.message != events::kMsgSetFocus && m.message != events::kMsgKillFocus) return;
  const bool focused = m.message == events::kMsgSetFocus;
  const WindowId id = w->id;
  ExclusiveFocusChanged(id, focused);
  if (s.focus) s.focus(id, focused);
}

WindowId Track(events::NativeWindow window) {
  State& s = S();
  DeviceWindow w;
  w.id = s.nextId++;
  w.window = window;
  s.windows.push_back(w);
  events::SetWindowProcedure(window, &Procedure, nullptr);
  return w.id;
}

}  // namespace

void SetDeviceWindowHandlers(DeviceWindowTranslator translator, DeviceWindowFocus focus) {
  S().translator = translator;
  S().focus = focus;
}

WindowId CreateDeviceWindow(const char* title, int32_t width, int32_t height, bool fullScreen) {
  if (width < 1 || height < 1) return 0;
  events::WindowOptions options;
  options.placed = true;
  options.x = fullScreen ? 0 : kWindowLeft;
  options.y = fullScreen ? 0 : kWindowTop;
  options.windowClass = kWindowClass;
  options.borderless = fullScreen;
  events::NativeWindow window = events::OpenWindowWith(title ? title : "", width, height, options);
  if (!window) return 0;
  return Track(window);
}

WindowId AttachDeviceWindow(uintptr_t nativeId) {
  if (!events::ForeignWindowExists(nativeId)) return 0;
  events::NativeWindow window = events::AdoptWindow(nativeId);
  if (!window) return 0;
  return Track(window);
}

bool DeviceWindowClientSize(WindowId id, int32_t* width, int32_t* height) {
  DeviceWindow* w = Find(id);
  int cw = 0, ch = 0;
  if (!w || !events::ClientSize(w->window, &cw, &ch)) return false;
  *width = cw;
  *height = ch;
  return true;
}

bool DeviceWindowClientOrigin(WindowId id, int32_t* x, int32_t* y) {
  DeviceWindow* w = Find(id);
  const sdl::Library* sdl = sdl::Open();
  if (!w || !sdl) return false;
  int wx = 0, wy = 0;
  sdl->GetWindowPosition(reinterpret_cast<SDL_Window*>(w->window), &wx, &wy);
  *x = wx;
  *y = wy;
  return true;
}

void DestroyDeviceWindow(WindowId id) {
  State& s = S();
  auto it = std::find_if(s.windows.begin(), s.windows.end(),
                         [id](const DeviceWindow& w) { return w.id == id; });
  if (it == s.windows.end()) return;
  events::NativeWindow window = it->window;
  s.windows.erase(it);
  events::SetWindowProcedure(window, nullptr, nullptr);
  events::CloseWindow(window);
}

events::NativeWindow DeviceWindowHandle(WindowId id) {
  DeviceWindow* w = Find(id);
  return w ? w->window : nullptr;
}

bool DeviceWindowOpen(WindowId id) {
  return Find(id) != nullptr;
}

void PresentToWindow(WindowId id, const RasterSurface& src, int32_t sx, int32_t sy, int32_t w,
                     int32_t h, int32_t dx, int32_t dy) {
  DeviceWindow* win = Find(id);
  int cw = 0, ch = 0;
  if (!win || !src.pixels || !events::ClientSize(win->window, &cw, &ch)) return;
  // Cut the block to the source and to the client area.
  if (sx < 0) {
    w += sx;
    dx -= sx;
    sx = 0;
  }
  if (sy < 0) {
    h += sy;
    dy -= sy;
    sy = 0;
  }
  if (dx < 0) {
    w += dx;
    sx -= dx;
    dx = 0;
  }
  if (dy < 0) {
    h += dy;
    sy -= dy;
    dy = 0;
  }
  w = std::min({w, src.width - sx, cw - dx});
  h = std::min({h, src.height - sy, ch - dy});
  if (win->presentedWidth != cw || win->presentedHeight != ch) {
    win->presented.assign(size_t(cw) * size_t(ch), 0);
    win->presentedWidth = cw;
    win->presentedHeight = ch;
  }
  win->everPresented = true;
  if (w <= 0 || h <= 0) return;
  for (int32_t y = 0; y < h; ++y) {
    std::memcpy(&win->presented[size_t(dy + y) * cw + dx],
                src.pixels + size_t(sy + y) * src.pitch + sx, size_t(w) * 4);
  }
  const sdl::Library* sdl = sdl::Open();
  auto* window = reinterpret_cast<SDL_Window*>(win->window);
  SDL_Surface* surface = sdl ? sdl->GetWindowSurface(window) : nullptr;
  if (!surface) return;
  // A window surface may load a driver behind SDL (the offscreen driver's EGL); it stays loaded,
  // as GL drivers do, so what it keeps is not lost when the window goes.
  static bool kept = false;
  if (!std::exchange(kept, true)) KeepLoadedLibrariesLoaded();
  const int32_t ow = std::min(w, surface->w - dx), oh = std::min(h, surface->h - dy);
  const SDL_PixelFormat* f = surface->format;
  const bool direct =
      f->BytesPerPixel == 4 && f->Rmask == 0xFF0000 && f->Gmask == 0xFF00 && f->Bmask == 0xFF;
  for (int32_t y = 0; y < oh; ++y) {
    const uint32_t* from = src.pixels + size_t(sy + y) * src.pitch + sx;
    auto* row = static_cast<uint8_t*>(surface->pixels) + size_t(dy + y) * surface->pitch;
    if (direct) {
      std::memcpy(row + size_t(dx) * 4, from, size_t(std::max(ow, 0)) * 4);
      continue;
    }
    for (int32_t x = 0; x < ow; ++x) {
      uint32_t p = from[x];
      uint32_t v = sdl->MapRGB(f, uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p));
      std::memcpy(row + size_t(dx + x) * f->BytesPerPixel, &v, f->BytesPerPixel);
    }
  }
  sdl->UpdateWindowSurface(window);
}

bool WindowEnterFullScreen(WindowId id, const DisplayModeEntry& mode) {
  DeviceWindow* w = Find(id);
  return w && events::EnterFullScreen(w->window, mode.width, mode.height, mode.depth, mode.hertz);
}

void WindowLeaveFullScreen(WindowId id, bool minimise) {
  if (DeviceWindow* w = Find(id)) events::LeaveFullScreen(w->window, minimise);
}

bool PresentedPixelsForTesting(WindowId id, std::vector<uint32_t>* pixels, int32_t* width,
                               int32_t* height) {
  DeviceWindow* w = Find(id);
  if (!w || !w->everPresented) return false;
  *pixels = w->presented;
  *width = w->presentedWidth;
  *height = w->presentedHeight;
  return true;
}

}  // namespace vxl::platform::d3d7
