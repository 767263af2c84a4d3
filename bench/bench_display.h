// An X display for the benchmarks that draw: the one set in DISPLAY, else a private Xvfb.
#pragma once

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace vxl::bench {

// Starts a private Xvfb when no display is set, ending with this process, and selects Mesa's
// software renderer (llvmpipe) unless the environment chose otherwise; returns the server's
// process id (0: none started).
inline pid_t EnsureDisplay() {
  setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
  setenv("GALLIUM_DRIVER", "llvmpipe", 0);
  const char* d = std::getenv("DISPLAY");
  if (d && *d) return 0;
  int fds[2];
  if (pipe(fds) != 0) return 0;
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    dup2(fds[1], 3);
    int quiet = open("/dev/null", O_WRONLY);  // Xvfb's start-up chatter
    dup2(quiet, 1);
    dup2(quiet, 2);
    // -terminate: the server ends with its last client, this process.
    execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten",
           "tcp", "-terminate", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  char buf[32] = {};
  ssize_t n = read(fds[0], buf, sizeof buf - 1);  // the pipe stays open: Xvfb may write again
  if (n <= 0) return pid;
  std::string display = ":" + std::string(buf, strcspn(buf, "\n"));
  setenv("DISPLAY", display.c_str(), 1);
  return pid;
}

}  // namespace vxl::bench
