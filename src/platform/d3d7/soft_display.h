// What the objects of the software DirectDraw 7 share: the state of one DirectDraw object (which
// its surfaces keep), the display modes, the display-mode epoch and the holder of exclusive
// mode, and presentation into device windows.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/d3d7/ddraw7.h"
#include "platform/d3d7/ddraw7_seams.h"
#include "platform/d3d7/raster.h"

namespace vxl::platform::d3d7 {

class SoftSurface;

struct DirectDrawState {
  bool alive = true;           // false once the DirectDraw object is destroyed
  bool exclusive = false;      // full-screen exclusive cooperative level
  bool exclusiveLost = false;  // exclusive, but the window lost the display
  WindowId window = 0;         // the cooperative level's window
  uint64_t epochSeen = 0;      // the display-mode epoch at the last cooperative-level change
  bool modeSet = false;        // SetDisplayMode switched the display
  DisplayModeEntry mode{};
  SoftSurface* primary = nullptr;
  std::vector<SoftSurface*> surfaces;  // every live surface made by this object

  // Marks every surface lost but those in system memory and managed textures.
  void LoseSurfaces();
};

// The display's modes: the test list when one is set, else SDL's (which starts SDL's video).
std::vector<DisplayModeEntry> CurrentDisplayModes();
// Goes up whenever the display mode changes (switched or given back).
uint64_t DisplayModeEpoch();
void BumpDisplayModeEpoch();
// The state holding exclusive mode, or nullptr.
DirectDrawState* ExclusiveHolder();
void SetExclusiveHolder(DirectDrawState* state);
// Takes the display for the holder's window in its mode (true with the test list, which needs
// no window); false when the window or the mode is refused.
bool TakeDisplay(DirectDrawState* state);
// Gives the display mode back (the window leaves full screen and, when minimise, is minimised).
void GiveBackDisplay(DirectDrawState* state, bool minimise);
// The exclusive holder's window lost (false) or got (true) the focus: the display is given back
// and every surface lost, or taken again.
void ExclusiveFocusChanged(WindowId window, bool focused);

// Waits for the start of the next vertical blank: the next multiple of the refresh period (of
// the exclusive mode, else the display's current mode, else 60 Hz) on the monotonic clock.
void WaitForVerticalBlankStart();

// Device windows (d3d7_window_sdl.cpp): shows w by h pixels of src from (sx, sy) at (dx, dy) of
// the window's client area (cut to it) and remembers the client pixels for the test seam.
void PresentToWindow(WindowId window, const RasterSurface& src, int32_t sx, int32_t sy, int32_t w,
                     int32_t h, int32_t dx, int32_t dy);
// Switches a device window to full screen in the mode (a listed SDL mode), or back.
bool WindowEnterFullScreen(WindowId window, const DisplayModeEntry& mode);
void WindowLeaveFullScreen(WindowId window, bool minimise);
// True for an open device window.
bool DeviceWindowOpen(WindowId window);

}  // namespace vxl::platform::d3d7
