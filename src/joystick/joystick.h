// Polled joystick input: buttons, press counts, axes, the hat and names for ports 0..15.
//
//   JoystickEnumerate();                       // ports 0, 1, ... name the attached joysticks
//   float steer = JoystickX(0);                // -1.0 .. 1.0
//   if (JoystickButtonHits(0, 0)) Jump();      // presses since the last call
//   float hat = JoystickHat(0);                // -1.0 centred, else a fraction of a turn
//
// Every query except JoystickName reads the device again. A device that cannot be read leaves
// the port's last values as they were. A port or button outside 0..15 is a caller error and
// throws a runtime exception naming it.
#pragma once

#include <cstdint>

#include "runtime/string.h"

namespace vxl {

constexpr int32_t kJoystickPorts = 16;
constexpr int32_t kJoystickButtons = 16;

// Gives ports 0, 1, ... to the attached joysticks that answer, in the system's order; returns
// how many there are; the other ports then have no device and read nothing. Until it first
// runs, every port reads the first system joystick.
int32_t JoystickEnumerate();

// The product name, or "" when the port has no device.
String JoystickName(int32_t port);
// 1 while the button is held, else 0.
int32_t JoystickButtonDown(int32_t button, int32_t port);
// The presses of the button since the previous call for it (a held button counts once).
int32_t JoystickButtonHits(int32_t button, int32_t port);

// Axes from -1.0 to 1.0 (0.0 for axes the device lacks or no read ever reported).
float JoystickX(int32_t port);
float JoystickY(int32_t port);
float JoystickZ(int32_t port);
float JoystickR(int32_t port);
float JoystickU(int32_t port);
float JoystickV(int32_t port);
float JoystickYaw(int32_t port);
float JoystickPitch(int32_t port);
float JoystickRoll(int32_t port);
// The hat as a fraction of a full turn clockwise from straight up, or -1.0 when centred.
float JoystickHat(int32_t port);
float JoystickWheel(int32_t port);

// The position formulas: an axis position within the device's range to -1.0 .. 1.0 (the divisor
// is the maximum, as devices report it), and a hat in hundredths of a degree to a fraction.
float JoystickAxisValue(uint32_t position, uint32_t minimum, uint32_t maximum);
float JoystickHatValue(uint32_t pov);

int InitJoystickModule();

}  // namespace vxl
