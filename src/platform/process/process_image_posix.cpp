#include "platform/process/process_image.h"

#include <unistd.h>
#include <climits>
#include <vector>

namespace vxl::platform {

namespace {

std::string ReadExecutablePath() {
  std::vector<char> buf(PATH_MAX);
  for (;;) {
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < buf.size()) return std::string(buf.data(), n);
    buf.resize(buf.size() * 2);
  }
}

}  // namespace

// A process keeps its executable until it execs another, which starts it afresh.
std::string ExecutablePath() {
  static const std::string path = ReadExecutablePath();
  return path;
}

std::string CurrentDirectory() {
  std::vector<char> buf(PATH_MAX);
  while (!getcwd(buf.data(), buf.size())) {
    if (errno != ERANGE) return std::string();
    buf.resize(buf.size() * 2);
  }
  return std::string(buf.data());
}

bool ChangeDirectory(const std::string& path) {
  return chdir(path.c_str()) == 0;
}

}  // namespace vxl::platform
