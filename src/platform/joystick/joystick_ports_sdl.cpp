// Joysticks over SDL's joystick subsystem. SDL reports signed 16-bit axes and hat direction
// bits; they are turned into the unsigned positions and hundredths of a degree of the interface.
#include "platform/joystick/joystick_ports.h"

#include <map>

#include "platform/sdl/sdl_library.h"

namespace vxl::platform {
namespace {

constexpr int32_t kNoDevice = -1;

struct Joysticks {
  bool tried = false;
  const sdl::Library* sdl = nullptr;
  int32_t ports[kJoystickPortCount] = {};
  std::map<int32_t, SDL_Joystick*> open;  // by device id
};

// Never destroyed; the devices are closed by JoystickShutdown, the module's exit function.
Joysticks& State() {
  static Joysticks* state = new Joysticks;
  return *state;
}

const sdl::Library* Sdl() {
  Joysticks& s = State();
  if (!s.tried) {
    s.tried = true;
    s.sdl = sdl::StartSubsystems(SDL_INIT_JOYSTICK);
  }
  return s.sdl;
}

// The open device with this id, reopened when another device now has the id.
SDL_Joystick* Device(int32_t id) {
  const sdl::Library* sdl = Sdl();
  if (!sdl || id < 0 || id >= sdl->NumJoysticks()) return nullptr;
  Joysticks& s = State();
  SDL_JoystickID instance = sdl->JoystickGetDeviceInstanceID(id);
  auto it = s.open.find(id);
  if (it != s.open.end()) {
    if (sdl->JoystickInstanceID(it->second) == instance) return it->second;
    sdl->JoystickClose(it->second);
    s.open.erase(it);
  }
  SDL_Joystick* joystick = sdl->JoystickOpen(id);
  if (joystick) s.open[id] = joystick;
  return joystick;
}

SDL_Joystick* PortDevice(int32_t port) {
  if (port < 0 || port >= kJoystickPortCount) return nullptr;
  return Device(State().ports[port]);
}

uint32_t Mask(int count) {
  if (count <= 0) return 0;
  return count >= 32 ? 0xFFFFFFFFu : (1u << count) - 1;
}

uint32_t PovOf(uint8_t hat) {
  switch (hat) {
    case SDL_HAT_UP:
      return 0;
    case SDL_HAT_RIGHTUP:
      return 4500;
    case SDL_HAT_RIGHT:
      return 9000;
    case SDL_HAT_RIGHTDOWN:
      return 13500;
    case SDL_HAT_DOWN:
      return 18000;
    case SDL_HAT_LEFTDOWN:
      return 22500;
    case SDL_HAT_LEFT:
      return 27000;
    case SDL_HAT_LEFTUP:
      return 31500;
    default:
      return kJoystickPovCentred;
  }
}

}  // namespace

void JoystickShutdown() {
  Joysticks& s = State();
  if (s.sdl) {
    for (const auto& [id, joystick] : s.open)
      s.sdl->JoystickClose(joystick);
    sdl::StopSubsystems(SDL_INIT_JOYSTICK);
  }
  s.open.clear();
  s.sdl = nullptr;
  s.tried = false;
}

int32_t JoystickEnumerate() {
  const sdl::Library* sdl = Sdl();
  if (!sdl) return 0;
  Joysticks& s = State();
  int32_t stored = 0;
  for (int32_t id = 0, n = sdl->NumJoysticks(); id < n && stored < kJoystickPortCount; ++id) {
    if (Device(id)) s.ports[stored++] = id;
  }
  // Ports past the last device have none (they would otherwise go on naming id 0).
  for (int32_t port = stored; port < kJoystickPortCount; ++port)
    s.ports[port] = kNoDevice;
  return stored;
}

bool JoystickNameOf(int32_t port, std::string& name) {
  SDL_Joystick* joystick = PortDevice(port);
  if (!joystick) return false;
  const char* text = State().sdl->JoystickName(joystick);
  name = text ? text : "";
  return true;
}

uint32_t JoystickButtonMask(int32_t port) {
  SDL_Joystick* joystick = PortDevice(port);
  return joystick ? Mask(State().sdl->JoystickNumButtons(joystick)) : 0;
}

uint32_t JoystickAxisMask(int32_t port) {
  SDL_Joystick* joystick = PortDevice(port);
  if (!joystick) return 0;
  const sdl::Library* sdl = State().sdl;
  uint32_t mask = Mask(sdl->JoystickNumAxes(joystick));
  if (sdl->JoystickNumHats(joystick) > 0) mask |= 0x200;
  return mask;
}

bool JoystickReadPosition(int32_t port, JoystickPosition& position) {
  SDL_Joystick* joystick = PortDevice(port);
  if (!joystick) return false;
  const sdl::Library* sdl = State().sdl;
  sdl->JoystickUpdate();
  JoystickPosition p;
  int axes = sdl->JoystickNumAxes(joystick);
  for (int i = 0; i < 6 && i < axes; ++i) {
    p.flags |= 1u << i;
    p.axis[i] = static_cast<uint32_t>(sdl->JoystickGetAxis(joystick, i) + 32768);
    p.axisMin[i] = 0;
    p.axisMax[i] = 65535;
  }
  if (sdl->JoystickNumHats(joystick) > 0) {
    p.flags |= kJoystickHasPov;
    p.pov = PovOf(sdl->JoystickGetHat(joystick, 0));
  }
  int buttons = sdl->JoystickNumButtons(joystick);
  for (int i = 0; i < 32 && i < buttons; ++i) {
    if (sdl->JoystickGetButton(joystick, i)) p.buttons |= 1u << i;
  }
  position = p;
  return true;
}

int32_t AttachVirtualJoystick(int32_t axes, int32_t buttons, int32_t hats) {
  const sdl::Library* sdl = Sdl();
  if (!sdl) return -1;
  return sdl->JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, axes, buttons, hats);
}

bool DetachVirtualJoystick(int32_t id) {
  const sdl::Library* sdl = Sdl();
  return sdl && sdl->JoystickDetachVirtual(id) == 0;
}

bool SetVirtualJoystickAxis(int32_t id, int32_t axis, int16_t value) {
  SDL_Joystick* joystick = Device(id);
  return joystick && State().sdl->JoystickSetVirtualAxis(joystick, axis, value) == 0;
}

bool SetVirtualJoystickButton(int32_t id, int32_t button, bool down) {
  SDL_Joystick* joystick = Device(id);
  return joystick && State().sdl->JoystickSetVirtualButton(joystick, button, down ? 1 : 0) == 0;
}

bool SetVirtualJoystickHat(int32_t id, int32_t hat, uint8_t directions) {
  SDL_Joystick* joystick = Device(id);
  return joystick && State().sdl->JoystickSetVirtualHat(joystick, hat, directions) == 0;
}

}  // namespace vxl::platform
