// The system module: the pump, the pointer, dialogs, URLs and the date and time as text.
//
//   while (!TakeAppTerminate()) {      // polled input pumps for you...
//     AwaitSystem();                   // ...or wait for input, timer ticks and posted calls
//   }
//   if (ConfirmUser("Quit?", 0)) ...
//
// The module functions forward to theSystemDriver. PumpSystem and AwaitSystem never nest: called
// from inside the pump (an event hook, a posted call) they return 0 at once.
#pragma once

#include <cstdint>

#include "runtime/string.h"
#include "system/system_driver.h"

namespace vxl {

// The one driver, created by the system module's initialiser and kept for the whole process.
extern TSystemDriver* theSystemDriver;

int32_t PumpSystem();
int32_t AwaitSystem();
// True while PumpSystem or AwaitSystem is running.
bool SystemPumpBusy();

int32_t PlaceMouse(int32_t x, int32_t y);
int32_t RevealMouse();
int32_t ConcealMouse();

int32_t NotifyUser(const String& text, int32_t serious);
int32_t ConfirmUser(const String& text, int32_t serious);
int32_t ProceedUser(const String& text, int32_t serious);
String AskFile(const String& text, const String& exts, int32_t save, const String& path);
String AskDir(const String& text, const String& path);
// Opens the URL (see PrepareUrl) with the desktop's handler. Returns 0.
int32_t LaunchUrl(const String& url);

// The local date as "07 Dec 2026" and time as "13:05:09".
String DateText();
String TimeText();

int InitSystemDriverModule();
int InitWin32SystemDriverModule();
int InitSystemModule();

}  // namespace vxl
