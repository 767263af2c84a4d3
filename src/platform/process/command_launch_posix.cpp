#include "platform/process/command_launch.h"

#include <signal.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>

#include "platform/process/process_image.h"

namespace vxl::platform {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string SearchDirectories(const std::string& name, const std::vector<std::string>& dirs) {
  for (const std::string& dir : dirs) {
    std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
  }
  return std::string();
}

}  // namespace

std::vector<std::string> launch_detail::SplitCommandLine(std::string_view line) {
  line = line.substr(0, line.find('\0'));  // a C string: a NUL ends it
  std::vector<std::string> args;
  size_t i = 0, n = line.size();

  // The program name: no escapes, quotes only delimit.
  while (i < n && IsBlank(line[i]))
    ++i;
  if (i == n) return args;
  std::string program;
  if (line[i] == '"') {
    ++i;
    while (i < n && line[i] != '"')
      program += line[i++];
    if (i < n) ++i;
  } else {
    while (i < n && !IsBlank(line[i]))
      program += line[i++];
  }
  args.push_back(program);

  for (;;) {
    while (i < n && IsBlank(line[i]))
      ++i;
    if (i >= n) break;
    std::string arg;
    bool quoted = false;
    while (i < n && (quoted || !IsBlank(line[i]))) {
      if (line[i] == '\\') {
        size_t slashes = 0;
        while (i < n && line[i] == '\\')
          ++slashes, ++i;
        if (i < n && line[i] == '"') {
          arg.append(slashes / 2, '\\');
          if (slashes % 2) {
            arg += '"';
            ++i;
          }
        } else {
          arg.append(slashes, '\\');
        }
      } else if (line[i] == '"') {
        if (quoted && i + 1 < n && line[i + 1] == '"') {
          arg += '"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        arg += line[i++];
      }
    }
    args.push_back(arg);
  }
  return args;
}

std::string launch_detail::FindProgram(const std::string& program,
                                       const std::string& executableDir) {
  if (program.empty()) return std::string();
  std::vector<std::string> names{program};
  if (program.size() > 4 && strcasecmp(program.c_str() + program.size() - 4, ".exe") == 0) {
    names.push_back(program.substr(0, program.size() - 4));
  }
  for (const std::string& name : names) {
    if (name.find('/') != std::string::npos) {
      if (IsExecutableFile(name)) return name;
      continue;
    }
    std::vector<std::string> dirs{executableDir, "."};
    if (const char* path = std::getenv("PATH")) {
      std::string_view rest(path);
      for (;;) {
        size_t colon = rest.find(':');
        dirs.emplace_back(rest.substr(0, colon));
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
      }
    }
    std::string found = SearchDirectories(name, dirs);
    if (!found.empty()) return found;
  }
  return std::string();
}

bool LaunchCommand(std::string_view commandLine, int /*showState*/) {
  std::vector<std::string> args = launch_detail::SplitCommandLine(commandLine);
  if (args.empty()) return false;
  std::string path = launch_detail::FindProgram(args[0], DirectoryOf(ExecutablePath()));
  if (path.empty()) return false;
  return LaunchDetached(path, args);
}

bool LaunchDetached(const std::string& path, std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);

  // Detached: the program leads a session of its own (no terminal of ours, none of our signals),
  // gets the standard streams and nothing else this process has open (files, sockets: it may
  // outlive us by far), and default signal handling. An intermediate child starts it and ends at
  // once, so init adopts it and it never stays our zombie; we wait only for that child, not for
  // the program to be loaded. Only async-signal-safe calls run between fork and exec.
  pid_t intermediate = fork();
  if (intermediate < 0) return false;
  if (intermediate == 0) {
    if (fork() == 0) {
      setsid();
      struct sigaction standard {};
      standard.sa_handler = SIG_DFL;
      for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD})
        sigaction(sig, &standard, nullptr);
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      closefrom(3);
      execve(path.c_str(), argv.data(), environ);
      _exit(127);
    }
    _exit(0);
  }
  while (waitpid(intermediate, nullptr, 0) < 0 && errno == EINTR) {
  }
  return true;
}

}  // namespace vxl::platform
