#include "platform/d3d7/soft_display.h"

#include <algorithm>
#include <optional>

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
  for (SoftSurface* s : surfaces) s->MarkLost();
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
