#include "platform/desktop/desktop.h"

#include <fcntl.h>
#include <locale.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/process/command_launch.h"

extern char** environ;

namespace vxl::platform::desktop {

std::string FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (!path || name.empty() || name.find('/') != std::string::npos) return std::string();
  std::string_view rest(path);
  for (;;) {
    size_t colon = rest.find(':');
    std::string dir(rest.substr(0, colon));
    if (!dir.empty()) {
      std::string candidate = dir + "/" + name;
      struct stat st;
      if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
          access(candidate.c_str(), X_OK) == 0)
        return candidate;
    }
    if (colon == std::string_view::npos) return std::string();
    rest.remove_prefix(colon + 1);
  }
}

namespace {

// Everything the child `pid` writes to `fd`, until the output closes or, when a program the child
// started keeps it open, until the child has ended and what is already written has been read: a
// requester that leaves a helper of its own running must not keep its caller waiting. Reaps the
// child into `status`.
std::string CollectOutput(int fd, pid_t pid, int& status) {
  constexpr int kExitCheckMs = 100;  // how often a quiet output makes us look at the child
  std::string out;
  bool exited = false;
  char buf[4096];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    int r = poll(&p, 1, exited ? 0 : kExitCheckMs);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) break;
    if (r == 0) {
      if (exited) break;
      pid_t w = waitpid(pid, &status, WNOHANG);
      if (w == pid)
        exited = true;
      else if (w < 0 && errno != EINTR)
        break;
      continue;
    }
    ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0) {
      out.append(buf, static_cast<size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  if (!exited) {
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  return out;
}

}  // namespace

HelperRun RunHelper(const std::string& path, const std::vector<std::string>& args) {
  HelperRun run;
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);  // nothing else this process has open
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  for (std::string& a : copy)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  int err = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  if (err == 0) {
    run.started = true;
    int status = 0;
    run.out = CollectOutput(pipeFds[0], pid, status);
    if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  }
  close(pipeFds[0]);
  return run;
}

bool StartHelper(const std::string& name, const std::string& argument) {
  std::string path = FindOnPath(name);
  return !path.empty() && LaunchDetached(path, {name, argument});
}

std::string LocalTimeText(const char* format) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  static locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(0));
  char buf[256];
  size_t n = strftime_l(buf, sizeof buf, format, &local, cLocale);
  return std::string(buf, n);
}

}  // namespace vxl::platform::desktop
