#include "platform/gl/foreign_window.h"

#include <X11/Xlib.h>

#include <mutex>

#include "platform/library/lazy_library.h"

namespace vxl::platform::gl {
namespace {

struct X11EntryPoints {
  decltype(&::XOpenDisplay) OpenDisplay;
  decltype(&::XGetWindowAttributes) GetWindowAttributes;
  decltype(&::XSetErrorHandler) SetErrorHandler;
  decltype(&::XSync) Sync;
};

const X11EntryPoints* X11() {
  X11EntryPoints& t = EntryPoints<X11EntryPoints>();
  static LazyLibrary& library = LazyLibrary::Define(
      "libX11", {"libX11.so.6", "libX11.so"},
      {Required("XOpenDisplay", t.OpenDisplay),
       Required("XGetWindowAttributes", t.GetWindowAttributes),
       Required("XSetErrorHandler", t.SetErrorHandler), Required("XSync", t.Sync)});
  return library.Load() ? &t : nullptr;
}

int IgnoreError(Display*, XErrorEvent*) {
  return 0;
}

}  // namespace

bool ForeignWindowExists(uintptr_t window) {
  const X11EntryPoints* x = X11();
  if (!x || window == 0) return false;
  // A connection of our own, kept for the process (the question is asked rarely).
  static Display* display = x->OpenDisplay(nullptr);
  if (!display) return false;
  XWindowAttributes attributes;
  auto previous = x->SetErrorHandler(&IgnoreError);
  Status ok = x->GetWindowAttributes(display, static_cast<Window>(window), &attributes);
  x->Sync(display, False);
  x->SetErrorHandler(previous);
  return ok != 0;
}

}  // namespace vxl::platform::gl
