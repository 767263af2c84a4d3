#include "system/system_driver.h"

#include <initializer_list>

#include "filesystem/path.h"
#include "platform/desktop/desktop.h"
#include "platform/events/event_pump.h"
#include "platform/events/message_box.h"
#include "runtime/application.h"
#include "runtime/class_binder.h"
#include "runtime/exceptions.h"
#include "runtime/module.h"
#include "system/requesters.h"
#include "system/window_events.h"

namespace vxl {
namespace ev = platform::events;

VXL_DEFINE_CLASS(TSystemDriver)
VXL_DEFINE_CLASS(TWin32SystemDriver)

void TSystemDriver::Bind(ClassBinder<TSystemDriver>& b) {
  b.Method<&TSystemDriver::Poll>("Poll");
  b.Method<&TSystemDriver::Wait>("Wait");
  b.Method<&TSystemDriver::MoveMouse>("MoveMouse");
  b.Method<&TSystemDriver::SetMouseVisible>("SetMouseVisible");
  b.Method<&TSystemDriver::Notify>("Notify");
  b.Method<&TSystemDriver::Confirm>("Confirm");
  b.Method<&TSystemDriver::Proceed>("Proceed");
  b.Method<&TSystemDriver::RequestFile>("RequestFile");
  b.Method<&TSystemDriver::RequestDir>("RequestDir");
  b.Method<&TSystemDriver::OpenURL>("OpenURL");
}

int32_t TSystemDriver::Poll() {
  ThrowNullMethod();
}
int32_t TSystemDriver::Wait() {
  ThrowNullMethod();
}
int32_t TSystemDriver::MoveMouse(int32_t, int32_t) {
  ThrowNullMethod();
}
int32_t TSystemDriver::SetMouseVisible(int32_t) {
  ThrowNullMethod();
}
int32_t TSystemDriver::Notify(const String&, int32_t) {
  ThrowNullMethod();
}
int32_t TSystemDriver::Confirm(const String&, int32_t) {
  ThrowNullMethod();
}
int32_t TSystemDriver::Proceed(const String&, int32_t) {
  ThrowNullMethod();
}
String TSystemDriver::RequestFile(const String&, const String&, int32_t, const String&) {
  ThrowNullMethod();
}
String TSystemDriver::RequestDir(const String&, const String&) {
  ThrowNullMethod();
}
int32_t TSystemDriver::OpenURL(const String&) {
  ThrowNullMethod();
}

namespace {

// The native layer's exit function: windows closed and SDL's video stopped before the C
// library's own teardown.
void ShutdownNative() {
  RecordExitFunction("system driver");
  ev::ShutdownEvents();
}

void InitialiseNative() {
  static bool done = false;
  if (done) return;
  done = true;
  SetPointerWanted(true);
  RegisterExitFunction(&ShutdownNative);
}

// Dialogs give the keyboard focus back to the window that had it.
class FocusKeeper {
 public:
  FocusKeeper() : window_(ev::FocusedWindow()) {}
  ~FocusKeeper() { ev::FocusWindow(window_); }

 private:
  NativeWindow window_;
};

int AskMessageBox(const String& text, ev::MessageButtons buttons, int32_t serious) {
  FocusKeeper focus;
  return ev::ShowMessageBox(ToUtf8(ApplicationTitle).c_str(), ToUtf8(text).c_str(), buttons,
                            serious != 0);
}

// Runs the first requester program installed; "" when none is, or when it was cancelled.
template <class ArgsFor>
String RunRequester(ArgsFor argsFor) {
  FocusKeeper focus;
  for (const char* program : {"zenity", "kdialog"}) {
    std::string path = platform::desktop::FindOnPath(program);
    if (path.empty()) continue;
    platform::desktop::HelperRun run = platform::desktop::RunHelper(path, argsFor(program));
    if (!run.started) continue;
    if (run.exitCode != 0) return String();
    std::string& out = run.out;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
      out.pop_back();
    return String(std::string_view(out));
  }
  return String();
}

}  // namespace

TWin32SystemDriver::TWin32SystemDriver() {
  InitialiseNative();
}

int32_t TWin32SystemDriver::Poll() {
  ev::PumpEvents();
  return 0;
}

int32_t TWin32SystemDriver::Wait() {
  ev::WaitForEvent();
  ev::PumpEvents();
  return 0;
}

int32_t TWin32SystemDriver::MoveMouse(int32_t x, int32_t y) {
  ev::WarpPointer(x, y);
  return 0;
}

int32_t TWin32SystemDriver::SetMouseVisible(int32_t visible) {
  SetPointerWanted(visible != 0);
  return 0;
}

int32_t TWin32SystemDriver::Notify(const String& text, int32_t serious) {
  AskMessageBox(text, ev::MessageButtons::kOk, serious);
  return 0;
}

int32_t TWin32SystemDriver::Confirm(const String& text, int32_t serious) {
  return AskMessageBox(text, ev::MessageButtons::kOkCancel, serious) == 0 ? 1 : 0;
}

int32_t TWin32SystemDriver::Proceed(const String& text, int32_t serious) {
  switch (AskMessageBox(text, ev::MessageButtons::kYesNoCancel, serious)) {
    case 0:
      return 1;
    case 1:
      return 0;
    default:
      return -1;
  }
}

String TWin32SystemDriver::RequestFile(const String& text, const String& exts, int32_t save,
                                       const String& path) {
  RequesterStart start = RequesterStartOf(path);
  int32_t index = RequesterFilterIndex(exts, path);
  String filter = exts.IsEmpty() ? String() : RequesterFilterString(exts);
  return RunRequester([&](const std::string& program) {
    return FileRequesterArgs(program, ToUtf8(text), filter, index, save != 0,
                             start.folder.ToCString(), start.file.ToCString());
  });
}

String TWin32SystemDriver::RequestDir(const String& text, const String& path) {
  std::string folder = AbsolutePath(path).ToCString();
  return RunRequester([&](const std::string& program) {
    return FolderRequesterArgs(program, ToUtf8(text), folder);
  });
}

int32_t TWin32SystemDriver::OpenURL(const String& url) {
  platform::desktop::StartHelper("xdg-open", url.ToCString());
  return 0;
}

}  // namespace vxl
