// Native joysticks: up to 256 ports, each naming one system joystick id, read by polling.
//
// Ids are the system's device numbers (0 is the first joystick attached). Until
// JoystickEnumerate has run, every port names id 0. Positions come back the way the system's
// classic joystick interface reports them: unsigned axis positions within each axis's range, the
// point-of-view hat in hundredths of a degree clockwise from straight up, and a button mask.
// Call from the main thread only. The joystick subsystem starts on first use; without it every
// query fails and enumeration finds nothing.
#pragma once

#include <cstdint>
#include <string>

namespace vxl::platform {

constexpr int32_t kJoystickPortCount = 256;

// Flag bits of JoystickPosition::flags: which values the device reported.
constexpr uint32_t kJoystickHasX = 0x1, kJoystickHasY = 0x2, kJoystickHasZ = 0x4,
                   kJoystickHasR = 0x8, kJoystickHasU = 0x10, kJoystickHasV = 0x20,
                   kJoystickHasPov = 0x40;
// The hat's value when it is centred.
constexpr uint32_t kJoystickPovCentred = 0xFFFF;

struct JoystickPosition {
  uint32_t flags = 0;
  uint32_t axis[6] = {};     // x, y, z, r, u, v
  uint32_t axisMin[6] = {};  // the range each axis reports
  uint32_t axisMax[6] = {};
  uint32_t pov = kJoystickPovCentred;
  uint32_t buttons = 0;  // bit k: button k is down
};

// Closes every device opened here and stops the joystick subsystem: the joystick module's exit
// function. A later query starts the subsystem again.
void JoystickShutdown();

// Stores, port by port from 0, every system joystick id that answers a position query (at most
// kJoystickPortCount); the ports after them name no device. Returns the number stored.
int32_t JoystickEnumerate();
// The product name of the port's device. False when the device cannot be queried.
bool JoystickNameOf(int32_t port, std::string& name);
// (1 << buttons) - 1 for the port's device; 0 when it cannot be queried.
uint32_t JoystickButtonMask(int32_t port);
// (1 << axes) - 1, plus bit 9 when the device has a hat; 0 when it cannot be queried.
uint32_t JoystickAxisMask(int32_t port);
// Reads the port's device. False when it cannot be queried (position left as it was).
bool JoystickReadPosition(int32_t port, JoystickPosition& position);

// Virtual devices for tests and tools, behaving like attached hardware. Attach returns the new
// device's id, or -1. Hat directions are bits: up 1, right 2, down 4, left 8.
int32_t AttachVirtualJoystick(int32_t axes, int32_t buttons, int32_t hats);
bool DetachVirtualJoystick(int32_t id);
bool SetVirtualJoystickAxis(int32_t id, int32_t axis, int16_t value);
bool SetVirtualJoystickButton(int32_t id, int32_t button, bool down);
bool SetVirtualJoystickHat(int32_t id, int32_t hat, uint8_t directions);

}  // namespace vxl::platform
