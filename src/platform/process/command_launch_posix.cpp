#include "platform/process/command_launch.h"

#include <signal.h>
#include <spawn.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>

#include "platform/process/process_image.h"
#include "platform/thread/thread.h"

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

  // One spawn, detached: the program leads a session of its own (no terminal of ours, none of
  // our signals), gets the standard streams and nothing else this process has open (files,
  // sockets: it may outlive us by far), and default signal handling. A thread of ours reaps it
  // when it ends, so it never stays our zombie; if we end first, init adopts it.
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_t actions;
  posix_spawnattr_init(&attributes);
  posix_spawn_file_actions_init(&actions);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD})
    sigaddset(&defaults, sig);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  pid_t child = -1;
  int error = posix_spawn(&child, path.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) return false;
  thread::StartDetached("vxl reaper", [child] {
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
  });
  return true;
}

}  // namespace vxl::platform
