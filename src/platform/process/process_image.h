// Native facts about the running process: its executable and working directory.
#pragma once

#include <string>

namespace vxl::platform {

// The absolute path of the running executable ("" if the system cannot tell).
std::string ExecutablePath();
// The current working directory ("" if it cannot be read).
std::string CurrentDirectory();
// Changes the working directory; false on failure.
bool ChangeDirectory(const std::string& path);

}  // namespace vxl::platform
