#include "graphics/gl/x11_window.h"

#include <X11/Xlib.h>

namespace vxl::testing {
namespace {

Display* Connection() {
  static Display* display = XOpenDisplay(nullptr);
  return display;
}

}  // namespace

uint64_t MakeX11Window(int width, int height) {
  Display* d = Connection();
  if (!d) return 0;
  Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, width, height, 0, 0, 0);
  XMapWindow(d, w);
  XSync(d, False);
  return w;
}

bool X11WindowExists(uint64_t window) {
  XWindowAttributes attributes;
  return Connection() && XGetWindowAttributes(Connection(), window, &attributes) != 0;
}

void DestroyX11Window(uint64_t window) {
  if (Connection()) {
    XDestroyWindow(Connection(), window);
    XSync(Connection(), False);
  }
}

}  // namespace vxl::testing
