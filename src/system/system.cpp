#include "system/system.h"

#include "filesystem/file_stream.h"
#include "platform/desktop/desktop.h"
#include "runtime/module.h"
#include "system/event/event.h"
#include "system/event/hook.h"
#include "system/requesters.h"

namespace vxl {

TSystemDriver* theSystemDriver = nullptr;

namespace {

bool g_busy = false;
ModuleGuard g_systemModule("system");

// The driver; before the system module has run it is the Null object, and using it throws.
TSystemDriver& Driver() {
  if (!theSystemDriver) {
    g_systemModule.Require("InitSystemModule");
    ThrowNullObject();
  }
  return *theSystemDriver;
}

// Sets the busy flag for one pump; an exception from inside the pump clears it again, so a
// throwing event hook cannot leave the pump switched off for good.
template <class F>
int32_t RunPump(F&& pump) {
  if (g_busy) return 0;
  g_busy = true;
  struct Clear {
    ~Clear() { g_busy = false; }
  } clear;
  pump();
  return 0;
}

}  // namespace

int32_t PumpSystem() {
  return RunPump([] { Driver().Poll(); });
}

int32_t AwaitSystem() {
  return RunPump([] { Driver().Wait(); });
}

bool SystemPumpBusy() {
  return g_busy;
}

int32_t PlaceMouse(int32_t x, int32_t y) {
  return Driver().MoveMouse(x, y);
}
int32_t RevealMouse() {
  return Driver().SetMouseVisible(1);
}
int32_t ConcealMouse() {
  return Driver().SetMouseVisible(0);
}

int32_t NotifyUser(const String& text, int32_t serious) {
  Driver().Notify(text, serious);
  return 0;
}
int32_t ConfirmUser(const String& text, int32_t serious) {
  return Driver().Confirm(text, serious);
}
int32_t ProceedUser(const String& text, int32_t serious) {
  return Driver().Proceed(text, serious);
}
String AskFile(const String& text, const String& exts, int32_t save, const String& path) {
  return Driver().RequestFile(text, exts, save, path);
}
String AskDir(const String& text, const String& path) {
  return Driver().RequestDir(text, path);
}
int32_t LaunchUrl(const String& url) {
  return Driver().OpenURL(PrepareUrl(url));
}

String DateText() {
  return String(std::string_view(platform::desktop::LocalTimeText("%d %b %Y")));
}
String TimeText() {
  return String(std::string_view(platform::desktop::LocalTimeText("%H:%M:%S")));
}

int InitSystemDriverModule() {
  static ModuleGuard guard("system driver base");
  return guard.Run({InitCoreModule}, [] { RegisterClass<TSystemDriver>(); });
}

int InitWin32SystemDriverModule() {
  static ModuleGuard guard("Win32 system driver");
  return guard.Run({InitCoreModule, InitSystemDriverModule},
                   [] { RegisterClass<TWin32SystemDriver>(); });
}

int InitSystemModule() {
  return g_systemModule.Run(
      {InitCoreModule, InitHookModule, InitEventModule, InitEventTailModule, InitFileSystemModule,
       InitSystemDriverModule, InitWin32SystemDriverModule},
      [] {
        // Kept for the whole process: never released, so no static destructor
        // touches it.
        if (!theSystemDriver) theSystemDriver = New<TWin32SystemDriver>().Leak();
      });
}

}  // namespace vxl
