#include "platform/d3d7/soft_display.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>

#include "platform/d3d7/soft_surface.h"
#include "platform/events/display_modes.h"

namespace vxl::platform::d3d7 {
namespace {

// Main-thread state shared by every DirectDraw object.
struct Display {
  std::optional<std::vector<DisplayModeEntry>> testModes;
  uint64_t epoch = 1;
  DirectDrawState* holder = nullptr;
};

Display& D() {
  static auto* display = new Display;
  return *display;
}

}  // namespace

void DirectDrawState::LoseSurfaces() {
  for (SoftSurface* s : surfaces) {
    // System memory and managed textures survive a mode change, as on the platform.
    if (!(s->Caps() & DDSCAPS_SYSTEMMEMORY) && !(s->Caps2() & DDSCAPS2_TEXTUREMANAGE))
      s->MarkLost();
  }
}

std::vector<DisplayModeEntry> CurrentDisplayModes() {
  if (D().testModes) return *D().testModes;
  std::vector<DisplayModeEntry> modes;
  for (const events::ScreenMode& m : events::ListDisplayModes()) {
    modes.push_back({m.width, m.height, m.depth, m.hertz});
  }
  return modes;
}

uint64_t DisplayModeEpoch() {
  return D().epoch;
}

void BumpDisplayModeEpoch() {
  ++D().epoch;
}

DirectDrawState* ExclusiveHolder() {
  return D().holder;
}

void SetExclusiveHolder(DirectDrawState* state) {
  D().holder = state;
}

bool TakeDisplay(DirectDrawState* state) {
  if (D().testModes) return true;
  return WindowEnterFullScreen(state->window, state->mode);
}

void GiveBackDisplay(DirectDrawState* state, bool minimise) {
  if (!D().testModes) WindowLeaveFullScreen(state->window, minimise);
  BumpDisplayModeEpoch();
}

void ExclusiveFocusChanged(WindowId window, bool focused) {
  DirectDrawState* h = D().holder;
  if (!h || h->window != window) return;
  if (!focused && !h->exclusiveLost) {
    if (h->modeSet) GiveBackDisplay(h, true);
    h->exclusiveLost = true;
    h->LoseSurfaces();
  } else if (focused && h->exclusiveLost) {
    if (h->modeSet) {
      if (!TakeDisplay(h)) return;
      BumpDisplayModeEpoch();
      h->epochSeen = DisplayModeEpoch();
    }
    h->exclusiveLost = false;
  }
}

void WaitForVerticalBlankStart() {
  int32_t hz = 0;
  if (D().holder && D().holder->modeSet) hz = D().holder->mode.hertz;
  if (hz <= 0 && !D().testModes) hz = events::CurrentRefreshRate();
  if (hz <= 0) hz = 60;
  const std::chrono::nanoseconds period(1'000'000'000 / hz);
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  std::this_thread::sleep_for((now / period + 1) * period - now);
}

void UseDisplayModesForTesting(const std::vector<DisplayModeEntry>* modes) {
  if (modes) {
    D().testModes = *modes;
  } else {
    D().testModes.reset();
  }
}

void LoseExclusiveModeForTesting() {
  if (DirectDrawState* h = D().holder) ExclusiveFocusChanged(h->window, false);
}

void RegainExclusiveModeForTesting() {
  if (DirectDrawState* h = D().holder) ExclusiveFocusChanged(h->window, true);
}

}  // namespace vxl::platform::d3d7
