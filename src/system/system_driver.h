// The system driver: the message pump, the pointer, message boxes, requesters and URLs.
//
// Programs use the module functions of system/system.h, which forward to theSystemDriver.
// TWin32SystemDriver keeps its name on every platform so that programs looking the class up by
// name find it; here it works over the platform's native event layer (SDL2, started on first
// need) and the desktop's helper programs.
#pragma once

#include <cstdint>

#include "runtime/object.h"
#include "runtime/string.h"

namespace vxl {

template <class T>
class ClassBinder;

// Every operation raises the runtime's abstract-method error here.
class TSystemDriver : public Object {
 public:
  VXL_CLASS(TSystemDriver, Object)
  // Runs the pump once: native events reach the window procedures, posted calls run.
  virtual int32_t Poll();
  // Blocks until a native event or a posted call arrives, then runs the pump.
  virtual int32_t Wait();
  // Moves the pointer to a point in the active window's client coordinates.
  virtual int32_t MoveMouse(int32_t x, int32_t y);
  virtual int32_t SetMouseVisible(int32_t visible);
  // An OK box. Returns 0.
  virtual int32_t Notify(const String& text, int32_t serious);
  // An OK/Cancel box: 1 for OK, else 0.
  virtual int32_t Confirm(const String& text, int32_t serious);
  // A Yes/No/Cancel box: 1 yes, 0 no, -1 cancel or closed.
  virtual int32_t Proceed(const String& text, int32_t serious);
  // The chosen file's path, "" when cancelled.
  virtual String RequestFile(const String& text, const String& exts, int32_t save,
                             const String& path);
  // The chosen folder, "" when cancelled.
  virtual String RequestDir(const String& text, const String& path);
  // Opens the URL with the desktop's handler. Returns 0.
  virtual int32_t OpenURL(const String& url);

  static void Bind(ClassBinder<TSystemDriver>& b);
};

class TWin32SystemDriver : public TSystemDriver {
 public:
  VXL_CLASS(TWin32SystemDriver, TSystemDriver)
  // Runs the native initialisation (once per process).
  TWin32SystemDriver();

  int32_t Poll() override;
  int32_t Wait() override;
  int32_t MoveMouse(int32_t x, int32_t y) override;
  int32_t SetMouseVisible(int32_t visible) override;
  int32_t Notify(const String& text, int32_t serious) override;
  int32_t Confirm(const String& text, int32_t serious) override;
  int32_t Proceed(const String& text, int32_t serious) override;
  String RequestFile(const String& text, const String& exts, int32_t save,
                     const String& path) override;
  String RequestDir(const String& text, const String& path) override;
  int32_t OpenURL(const String& url) override;
};

}  // namespace vxl
