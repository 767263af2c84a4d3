// Opens a window and prints every event that reaches the event queue, as its text, with a timer
// ticking twice a second: type, click, scroll, move the pointer in and out, switch to another
// program and back, close the window.
//
//   event_viewer          runs until the window is closed (or Ctrl+C)
//   event_viewer 10       stops after ten timer ticks
//
// Without a display it still runs: the timer's ticks are all there is to see.
#include <cstdio>
#include <string>

#include "platform/events/event_pump.h"
#include "support/example.h"
#include "support/names.h"
#include "system/queue/event_queue.h"
#include "system/system.h"
#include "system/timer/timer.h"
#include "system/window_events.h"

namespace {

const char kUsage[] =
    "usage: %s [ticks]\n"
    "Opens a window and prints every event that reaches the event queue, with a timer ticking\n"
    "twice a second; stops when the window is closed, or after <ticks> ticks (1 to 1000000).\n";

// The event's text, and for a key the key's name.
std::string Describe(const vxl::TEvent& e) {
  using namespace vxl;
  std::string text = e.ToString().ToCString();
  if (e.id == kEventKeyDown || e.id == kEventKeyUp || e.id == kEventKeyRepeat)
    text += "  [" + example::KeyName(e.data) + "]";
  return text;
}

int Main(int argc, char** argv) {
  using namespace vxl;
  if (argc > 2) example::UsageError(kUsage);
  int32_t tickLimit = argc == 2 ? example::ParseNumber(argv[1], 1, 1000000, "the tick count") : 0;
  InitEventQueueModule();
  InitTimerModule();

  platform::events::NativeWindow window = platform::events::OpenWindow("Event viewer", 480, 320);
  Ref<Object> source = String("viewer window");
  if (window) {
    AttachEventWindow(window, source);
  } else {
    std::puts("(no display: showing the timer alone)");
  }
  Ref<TTimer> timer = NewTimer(2, nullptr);

  for (;;) {
    Ref<TEvent> e;
    while (!(e = QueuePeek()))  // waits for input, ticks and posted calls, never spinning
      AwaitSystem();
    QueuePoll();  // now the current event
    std::printf("%s\n", Describe(*e).c_str());
    std::fflush(stdout);
    if (e->id == kEventAppTerminate) break;
    if (e->id == kEventTimerTick && tickLimit > 0 && e->data >= tickLimit) break;
  }
  timer->Stop();
  if (window) {
    DetachEventWindow(window);
    platform::events::CloseWindow(window);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return example::Run(Main, argc, argv, kUsage);
}
