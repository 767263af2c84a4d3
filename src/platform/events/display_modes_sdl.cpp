#include "platform/events/display_modes.h"

#include "platform/sdl/sdl_library.h"

namespace vxl::platform::events {
namespace {

constexpr int kMaxModes = 1024;

int32_t DepthOf(const SDL_DisplayMode& m) {
  return int32_t(SDL_BYTESPERPIXEL(m.format)) * 8;
}

}  // namespace

std::vector<ScreenMode> ListDisplayModes() {
  std::vector<ScreenMode> modes;
  if (!StartVideo()) return modes;
  const sdl::Library* sdl = sdl::Open();
  int count = sdl->GetNumDisplayModes(0);
  for (int i = 0; i < count && i < kMaxModes; ++i) {
    SDL_DisplayMode m;
    if (sdl->GetDisplayMode(0, i, &m) != 0) continue;
    if (DepthOf(m) < 16) continue;
    modes.push_back({m.w, m.h, DepthOf(m), m.refresh_rate});
  }
  return modes;
}

bool EnterFullScreen(NativeWindow window, int32_t width, int32_t height, int32_t depth,
                     int32_t hertz) {
  if (!window || !StartVideo()) return false;
  const sdl::Library* sdl = sdl::Open();
  auto* w = reinterpret_cast<SDL_Window*>(window);
  int count = sdl->GetNumDisplayModes(0);
  for (int i = 0; i < count && i < kMaxModes; ++i) {
    SDL_DisplayMode m;
    if (sdl->GetDisplayMode(0, i, &m) != 0) continue;
    if (m.w == width && m.h == height && DepthOf(m) == depth &&
        (hertz == 0 || m.refresh_rate == hertz)) {
      return sdl->SetWindowDisplayMode(w, &m) == 0 &&
             sdl->SetWindowFullscreen(w, SDL_WINDOW_FULLSCREEN) == 0;
    }
  }
  return false;
}

int32_t CurrentRefreshRate() {
  const sdl::Library* sdl = sdl::Open();
  if (!sdl || !(sdl->WasInit(SDL_INIT_VIDEO) & SDL_INIT_VIDEO)) return 0;
  SDL_DisplayMode m;
  if (sdl->GetCurrentDisplayMode(0, &m) != 0) return 0;
  return m.refresh_rate;
}

void LeaveFullScreen(NativeWindow window, bool minimise) {
  const sdl::Library* sdl = sdl::Open();
  if (!window || !sdl) return;
  auto* w = reinterpret_cast<SDL_Window*>(window);
  sdl->SetWindowFullscreen(w, 0);
  if (minimise) sdl->MinimizeWindow(w);
}

}  // namespace vxl::platform::events
