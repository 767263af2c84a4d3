#include "platform/events/message_box.h"

#include "platform/events/event_pump.h"
#include "platform/sdl/sdl_library.h"

namespace vxl::platform::events {

int ShowMessageBox(const char* title, const char* text, MessageButtons buttons, bool serious) {
  // Without a display SDL would fail anyway; deciding here keeps the answer immediate.
  if (!HasDisplay()) return -1;
  const sdl::Library* sdl = sdl::Open();
  if (!sdl) return -1;

  constexpr uint32_t kEnter = SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
  constexpr uint32_t kEscape = SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
  const SDL_MessageBoxButtonData ok[] = {{kEnter | kEscape, 0, "OK"}};
  const SDL_MessageBoxButtonData okCancel[] = {{kEnter, 0, "OK"}, {kEscape, 1, "Cancel"}};
  const SDL_MessageBoxButtonData yesNoCancel[] = {
      {kEnter, 0, "Yes"}, {0, 1, "No"}, {kEscape, 2, "Cancel"}};

  SDL_MessageBoxData box{};
  box.flags = serious ? SDL_MESSAGEBOX_WARNING : SDL_MESSAGEBOX_INFORMATION;
  box.window = reinterpret_cast<SDL_Window*>(FocusedWindow());
  box.title = title;
  box.message = text;
  switch (buttons) {
    case MessageButtons::kOk:
      box.buttons = ok;
      box.numbuttons = 1;
      break;
    case MessageButtons::kOkCancel:
      box.buttons = okCancel;
      box.numbuttons = 2;
      break;
    case MessageButtons::kYesNoCancel:
      box.buttons = yesNoCancel;
      box.numbuttons = 3;
      break;
  }
  int chosen = -1;
  if (sdl->ShowMessageBox(&box, &chosen) != 0) chosen = -1;
  return chosen;
}

}  // namespace vxl::platform::events
