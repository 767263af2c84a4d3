#include "platform/events/x11_window.h"

#include <SDL2/SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <string>

#include "platform/library/lazy_library.h"
#include "platform/sdl/sdl_library.h"

namespace vxl::platform::events {
namespace {

struct X11EntryPoints {
  decltype(&::XOpenDisplay) OpenDisplay;
  decltype(&::XGetWindowAttributes) GetWindowAttributes;
  decltype(&::XSetErrorHandler) SetErrorHandler;
  decltype(&::XSync) Sync;
  decltype(&::XSetClassHint) SetClassHint;
  decltype(&::XGetClassHint) GetClassHint;
  decltype(&::XFree) Free;
};

const X11EntryPoints* X11() {
  X11EntryPoints& t = EntryPoints<X11EntryPoints>();
  static LazyLibrary& library =
      LazyLibrary::Define("libX11", {"libX11.so.6", "libX11.so"},
                          {Required("XOpenDisplay", t.OpenDisplay),
                           Required("XGetWindowAttributes", t.GetWindowAttributes),
                           Required("XSetErrorHandler", t.SetErrorHandler),
                           Required("XSync", t.Sync), Required("XSetClassHint", t.SetClassHint),
                           Required("XGetClassHint", t.GetClassHint), Required("XFree", t.Free)});
  return library.Load() ? &t : nullptr;
}

int IgnoreError(Display*, XErrorEvent*) {
  return 0;
}

// A connection of our own, kept for the process (the questions are asked rarely).
Display* OwnDisplay(const X11EntryPoints* x) {
  static Display* display = x->OpenDisplay(nullptr);
  return display;
}

// SDL's record of an X11 window; false for no window or another window system.
bool X11Info(NativeWindow window, SDL_SysWMinfo* info) {
  const sdl::Library* sdl = sdl::Open();
  if (!sdl || !window) return false;
  SDL_VERSION(&info->version);
  return sdl->GetWindowWMInfo(reinterpret_cast<SDL_Window*>(window), info) &&
         info->subsystem == SDL_SYSWM_X11;
}

}  // namespace

uintptr_t X11WindowId(NativeWindow window) {
  SDL_SysWMinfo info;
  return X11Info(window, &info) ? static_cast<uintptr_t>(info.info.x11.window) : 0;
}

uintptr_t X11ConnectionOf(NativeWindow window) {
  SDL_SysWMinfo info;
  return X11Info(window, &info) ? reinterpret_cast<uintptr_t>(info.info.x11.display) : 0;
}

void SyncX11Connection(uintptr_t connection) {
  const X11EntryPoints* x = X11();
  if (x && connection) x->Sync(reinterpret_cast<Display*>(connection), False);
}

bool ForeignWindowExists(uintptr_t window) {
  const X11EntryPoints* x = X11();
  if (!x || window == 0) return false;
  Display* display = OwnDisplay(x);
  if (!display) return false;
  XWindowAttributes attributes;
  auto previous = x->SetErrorHandler(&IgnoreError);
  Status ok = x->GetWindowAttributes(display, static_cast<Window>(window), &attributes);
  x->Sync(display, False);
  x->SetErrorHandler(previous);
  return ok != 0;
}

bool SetX11WindowClass(uintptr_t window, const char* name) {
  const X11EntryPoints* x = X11();
  if (!x || window == 0 || !name) return false;
  Display* display = OwnDisplay(x);
  if (!display) return false;
  std::string text = name;
  XClassHint hint{text.data(), text.data()};
  auto previous = x->SetErrorHandler(&IgnoreError);
  x->SetClassHint(display, static_cast<Window>(window), &hint);
  x->Sync(display, False);
  x->SetErrorHandler(previous);
  return true;
}

const char* X11WindowClass(uintptr_t window) {
  static auto* text = new std::string;  // never destroyed, as every module global
  std::string& result = *text;
  result.clear();
  const X11EntryPoints* x = X11();
  if (!x || window == 0) return result.c_str();
  Display* display = OwnDisplay(x);
  if (!display) return result.c_str();
  XClassHint hint{nullptr, nullptr};
  auto previous = x->SetErrorHandler(&IgnoreError);
  if (x->GetClassHint(display, static_cast<Window>(window), &hint)) {
    if (hint.res_class) result = hint.res_class;
    if (hint.res_name) x->Free(hint.res_name);
    if (hint.res_class) x->Free(hint.res_class);
  }
  x->Sync(display, False);
  x->SetErrorHandler(previous);
  return result.c_str();
}

}  // namespace vxl::platform::events
