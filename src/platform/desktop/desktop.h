// The desktop's helper programs (file requesters, the URL opener) and local time text.
//
//   std::string zenity = FindOnPath("zenity");               // "" when not installed
//   HelperRun r = RunHelper(zenity, {"zenity", "--file-selection"});
//   if (r.exitCode == 0) chosen = r.out;
//
// Only the C library is used here.
#pragma once

#include <string>
#include <vector>

namespace vxl::platform::desktop {

// The first executable file called `name` in the directories of PATH; "" when there is none.
std::string FindOnPath(const std::string& name);

struct HelperRun {
  bool started = false;
  int exitCode = -1;  // the program's exit status; -1 when it did not exit normally
  std::string out;    // everything it wrote to standard output
};
// Runs the program at `path` with args (args[0] included), standard input from /dev/null and no
// other descriptor of this process but standard error, and waits for it to end, collecting its
// standard output (up to its end, or, when a program it started holds that open, what it wrote
// before it ended).
HelperRun RunHelper(const std::string& path, const std::vector<std::string>& args);

// Starts the program found on PATH as `name` with one argument, detached (never waited for).
// False when it is not installed or could not be started.
bool StartHelper(const std::string& name, const std::string& argument);

// The local time formatted by strftime with `format`, in the C locale (English month names
// whatever the process locale), at most 255 bytes.
std::string LocalTimeText(const char* format);

}  // namespace vxl::platform::desktop
