// Message boxes over SDL's own message box: modal, on top of the framework's windows.
#pragma once

namespace vxl::platform::events {

enum class MessageButtons { kOk, kOkCancel, kYesNoCancel };

// Shows a box with the title, the UTF-8 text and the buttons, a warning icon when `serious`, and
// waits for the user. Returns the index of the button chosen (OK 0, Cancel 1; Yes 0, No 1,
// Cancel 2); -1 when the box was closed, or at once when there is no display or no SDL2.
// The focused window owns the box. Main thread.
int ShowMessageBox(const char* title, const char* text, MessageButtons buttons, bool serious);

}  // namespace vxl::platform::events
