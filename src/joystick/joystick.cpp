#include "joystick/joystick.h"

#include <string>

#include "platform/joystick/joystick_ports.h"
#include "runtime/exceptions.h"
#include "runtime/module.h"

namespace vxl {
namespace {

// Slots of a port's sixteen axis values.
enum AxisSlot { kX, kY, kZ, kR, kU, kV, kYaw, kPitch, kRoll, kHat, kWheel };

// Module state: plain tables, zero at start, never released.
int32_t g_buttons[kJoystickPorts];
float g_axes[kJoystickPorts * 16];
int32_t g_hits[kJoystickButtons][kJoystickPorts];

void CheckPort(int32_t port) {
  if (port < 0 || port >= kJoystickPorts) {
    RaiseRuntimeError(
        String(("Joystick port " + std::to_string(port) + " is outside 0..15").c_str()));
  }
}

void CheckButton(int32_t button) {
  if (button < 0 || button >= kJoystickButtons) {
    RaiseRuntimeError(
        String(("Joystick button " + std::to_string(button) + " is outside 0..15").c_str()));
  }
}

// The devices open on first use; so is the exit function that closes them registered.
void UsingDevices() {
  static bool exitRegistered = false;
  if (exitRegistered) return;
  exitRegistered = true;
  RegisterExitFunction(platform::JoystickShutdown);
}

// Reads the device into the port's button state and axis slots; false leaves them unchanged.
bool Read(int32_t port) {
  UsingDevices();
  platform::JoystickPosition p;
  if (!platform::JoystickReadPosition(port, p)) return false;
  g_buttons[port] = static_cast<int32_t>(p.buttons);
  float* axes = &g_axes[port * 16];
  for (int i = 0; i < 6; ++i) {
    if (p.flags & (1u << i)) axes[i] = JoystickAxisValue(p.axis[i], p.axisMin[i], p.axisMax[i]);
  }
  if (p.flags & platform::kJoystickHasPov) axes[kHat] = JoystickHatValue(p.pov);
  return true;
}

// Every query polls: rising edges of the buttons are counted per button and port.
void Poll(int32_t port) {
  CheckPort(port);
  uint32_t before = static_cast<uint32_t>(g_buttons[port]);
  Read(port);
  uint32_t now = static_cast<uint32_t>(g_buttons[port]);
  for (int b = 0; b < kJoystickButtons; ++b) {
    uint32_t bit = 1u << b;
    if (!(before & bit) && (now & bit)) ++g_hits[b][port];
  }
}

float Axis(int32_t port, AxisSlot slot) {
  Poll(port);
  return g_axes[port * 16 + slot];
}

}  // namespace

float JoystickAxisValue(uint32_t position, uint32_t minimum, uint32_t maximum) {
  // Extended precision from the unsigned quantities, as the classic interface was read.
  long double value = (static_cast<long double>(position) - static_cast<long double>(minimum)) * 2 /
                          static_cast<long double>(maximum) -
                      1;
  return static_cast<float>(value);
}

float JoystickHatValue(uint32_t pov) {
  if (pov > 36000) return -1.0f;
  return static_cast<float>(static_cast<long double>(pov) * (1.0L / 36000));
}

int32_t JoystickEnumerate() {
  UsingDevices();
  return platform::JoystickEnumerate();
}

String JoystickName(int32_t port) {
  CheckPort(port);
  UsingDevices();
  std::string name;
  if (!platform::JoystickNameOf(port, name)) return String();
  return String(std::string_view(name));
}

int32_t JoystickButtonDown(int32_t button, int32_t port) {
  CheckButton(button);
  Poll(port);
  return (static_cast<uint32_t>(g_buttons[port]) >> button) & 1;
}

int32_t JoystickButtonHits(int32_t button, int32_t port) {
  CheckButton(button);
  Poll(port);
  int32_t hits = g_hits[button][port];
  g_hits[button][port] = 0;
  return hits;
}

float JoystickX(int32_t port) {
  return Axis(port, kX);
}
float JoystickY(int32_t port) {
  return Axis(port, kY);
}
float JoystickZ(int32_t port) {
  return Axis(port, kZ);
}
float JoystickR(int32_t port) {
  return Axis(port, kR);
}
float JoystickU(int32_t port) {
  return Axis(port, kU);
}
float JoystickV(int32_t port) {
  return Axis(port, kV);
}
float JoystickYaw(int32_t port) {
  return Axis(port, kYaw);
}
float JoystickPitch(int32_t port) {
  return Axis(port, kPitch);
}
float JoystickRoll(int32_t port) {
  return Axis(port, kRoll);
}
float JoystickHat(int32_t port) {
  return Axis(port, kHat);
}
float JoystickWheel(int32_t port) {
  return Axis(port, kWheel);
}

int InitJoystickModule() {
  static ModuleGuard guard("joystick input");
  return guard.Run({InitCoreModule}, [] {});
}

}  // namespace vxl
