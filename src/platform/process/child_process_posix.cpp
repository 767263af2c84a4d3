#include "platform/process/child_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <string>
#include <vector>

#include "platform/process/command_launch.h"
#include "platform/process/process_image.h"

extern char** environ;

namespace vxl::platform {

struct ChildProcess {
  pid_t pid;
  bool ended = false;
};

namespace {

// The children started and not yet collected, for the signal clean-up, which may not allocate or
// lock. Slots hold a process id or 0.
constexpr int kTrackedChildren = 4096;
std::atomic<pid_t> g_children[kTrackedChildren];

void Track(pid_t pid) {
  for (auto& slot : g_children) {
    pid_t empty = 0;
    if (slot.compare_exchange_strong(empty, pid)) return;
  }
}

void Untrack(pid_t pid) {
  for (auto& slot : g_children) {
    pid_t expected = pid;
    if (slot.compare_exchange_strong(expected, 0)) return;
  }
}

// Parses a decimal number; -1 if text holds anything else.
long ParseNumber(const char* text) {
  if (!*text) return -1;
  long n = 0;
  for (; *text; ++text) {
    if (*text < '0' || *text > '9') return -1;
    n = n * 10 + (*text - '0');
  }
  return n;
}

// Appends the decimal digits of n to text at *at.
void AppendNumber(char* text, int& at, long n) {
  char digits[20];
  int d = 0;
  do {
    digits[d++] = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n);
  while (d)
    text[at++] = digits[--d];
}

// The parent of process `pid` from /proc/<pid>/stat ("pid (name) state ppid ..."), or -1. Only
// system calls, no allocation.
pid_t ParentOf(long pid) {
  char path[32] = "/proc/";
  int n = 6;
  AppendNumber(path, n, pid);
  for (const char* s = "/stat"; *s;)
    path[n++] = *s++;
  path[n] = 0;

  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  char buf[512];
  ssize_t got = read(fd, buf, sizeof buf - 1);
  close(fd);
  if (got <= 0) return -1;
  buf[got] = 0;
  char* close = nullptr;  // the name may contain ')': the last one ends it
  for (char* p = buf; *p; ++p) {
    if (*p == ')') close = p;
  }
  if (!close || close[1] != ' ' || !close[2] || close[3] != ' ') return -1;
  long ppid = 0;
  for (char* p = close + 4; *p >= '0' && *p <= '9'; ++p)
    ppid = ppid * 10 + (*p - '0');
  return static_cast<pid_t>(ppid);
}

// Calls `visit` with the number each entry of the directory `path` is named by (entries whose
// name is not a positive number are skipped). False when the directory does not open. Only system
// calls, no allocation: it runs where a process is ending.
template <class Visit>
bool ForEachNumberedEntry(const char* path, Visit visit) noexcept {
  int dir = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return false;
  alignas(8) char entries[4096];
  for (;;) {
    long got = syscall(SYS_getdents64, dir, entries, sizeof entries);
    if (got <= 0) break;
    for (long at = 0; at < got;) {
      // struct linux_dirent64: ino (8), off (8), reclen (2), type (1), name.
      unsigned short reclen;
      __builtin_memcpy(&reclen, entries + at + 16, sizeof reclen);
      long number = ParseNumber(entries + at + 19);
      at += reclen;
      if (number > 0) visit(number);
    }
  }
  close(dir);
  return true;
}

// Kills the children the kernel lists for each thread of `parent`
// (/proc/<pid>/task/<tid>/children). False when the kernel keeps no such lists, so that /proc must
// be searched instead.
bool KillListedChildren(pid_t parent) noexcept {
  char path[64] = "/proc/";
  int n = 6;
  AppendNumber(path, n, parent);
  for (const char* s = "/task"; *s;)
    path[n++] = *s++;
  path[n] = 0;
  bool listed = false;
  ForEachNumberedEntry(path, [&](long tid) {
    int m = n;
    path[m++] = '/';
    AppendNumber(path, m, tid);
    for (const char* s = "/children"; *s;)
      path[m++] = *s++;
    path[m] = 0;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    path[n] = 0;
    if (fd < 0) return;
    listed = true;
    char buf[4096];
    long pid = 0;
    bool digits = false;
    for (ssize_t r; (r = read(fd, buf, sizeof buf)) > 0;) {
      for (ssize_t i = 0; i < r; ++i) {
        if (buf[i] >= '0' && buf[i] <= '9') {
          pid = pid * 10 + (buf[i] - '0');
          digits = true;
        } else if (digits) {
          kill(static_cast<pid_t>(pid), SIGKILL);
          pid = 0;
          digits = false;
        }
      }
    }
    if (digits) kill(static_cast<pid_t>(pid), SIGKILL);
    close(fd);
  });
  return listed;
}

// Kills every process whose parent is `parent`, with system calls alone: from the kernel's
// child lists where it keeps them, else by walking /proc.
void KillDirectChildren(pid_t parent) noexcept {
  if (KillListedChildren(parent)) return;
  ForEachNumberedEntry("/proc", [&](long pid) {
    if (ParentOf(pid) == parent) kill(static_cast<pid_t>(pid), SIGKILL);
  });
}

void CloseAll(std::initializer_list<int> fds) {
  for (int fd : fds) {
    if (fd >= 0) close(fd);
  }
}

}  // namespace

ChildProcess* StartChildProcess(std::string_view commandLine, bool hidden, ChildPipes& pipes) {
  std::vector<std::string> args = launch_detail::SplitCommandLine(commandLine);
  if (args.empty()) return nullptr;
  std::string exe = ExecutablePath();
  std::string path = launch_detail::FindProgram(args[0], exe.substr(0, exe.rfind('/')));
  if (path.empty()) return nullptr;

  int out[2] = {-1, -1}, in[2] = {-1, -1}, err[2] = {-1, -1};
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(in, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    CloseAll({out[0], out[1], in[0], in[1], err[0], err[1]});
    return nullptr;
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // The child gets default handling of the signals a program commonly ignores, and an empty
  // mask, whatever this process set (caught signals are reset by the system anyway).
  sigset_t reset, none;
  sigemptyset(&reset);
  for (int sig : {SIGPIPE, SIGINT, SIGQUIT, SIGHUP, SIGTERM, SIGCHLD})
    sigaddset(&reset, sig);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attr, &reset);
  posix_spawnattr_setsigmask(&attr, &none);
  short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
  if (hidden) {
    flags |= POSIX_SPAWN_SETPGROUP;
    posix_spawnattr_setpgroup(&attr, 0);
  } else {
    flags |= POSIX_SPAWN_SETSID;
  }
  posix_spawnattr_setflags(&attr, flags);

  std::vector<char*> argv;
  for (std::string& a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, path.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);

  CloseAll({in[0], out[1], err[1]});  // the child's ends
  if (rc != 0) {
    CloseAll({out[0], in[1], err[0]});
    return nullptr;
  }
  Track(pid);
  pipes.output = out[0];
  pipes.input = in[1];
  pipes.error = err[0];
  return new ChildProcess{pid};
}

bool ChildRunning(ChildProcess* child) {
  if (!child || child->ended) return false;
  int status;
  pid_t r = waitpid(child->pid, &status, WNOHANG);
  if (r == 0) return true;
  if (r == child->pid || (r < 0 && errno == ECHILD)) {
    child->ended = true;
    Untrack(child->pid);
  }
  return false;
}

int32_t ChildProcessId(const ChildProcess* child) {
  return child ? child->pid : 0;
}

namespace {

// How long a child whose output has ended may take to finish exiting before it is killed.
constexpr int kExitingChildWaitMs = 200;

// Waits up to timeoutMs for the child to end and collects it. False when it is still running (or
// the system cannot wait on it this way).
bool CollectWithin(ChildProcess* child, int timeoutMs) {
  if (!ChildRunning(child)) return true;  // often it has ended already
  int fd = static_cast<int>(syscall(SYS_pidfd_open, child->pid, 0));
  if (fd < 0) return false;
  pollfd p{fd, POLLIN, 0};
  int ready;
  do {
    ready = poll(&p, 1, timeoutMs);
  } while (ready < 0 && errno == EINTR);
  close(fd);
  return ready == 1 && !ChildRunning(child);
}

// True when no writer of the pipe is left (bytes may still wait in it).
bool WritersGone(PipeHandle pipe) {
  pollfd p{pipe, 0, 0};
  return poll(&p, 1, 0) == 1 && (p.revents & POLLHUP);
}

}  // namespace

bool TerminateChildProcess(ChildProcess* child, PipeHandle output) {
  if (!child) return false;
  bool killed = false;
  // A child closes its output as it exits, a moment before it can be collected: wait for that
  // moment rather than search /proc for its children and kill it on the way out.
  if (!child->ended && output != kNoPipe && WritersGone(output))
    CollectWithin(child, kExitingChildWaitMs);
  // A child that has ended has no children left: they passed to the system when it ended.
  if (!child->ended && ChildRunning(child)) {
    KillDirectChildren(child->pid);
    killed = kill(child->pid, SIGKILL) == 0;
    int status;
    while (waitpid(child->pid, &status, 0) < 0 && errno == EINTR) {
    }
    Untrack(child->pid);
  }
  delete child;
  return killed;
}

void ReleaseChildProcess(ChildProcess* child) {
  delete child;
}

void KillChildrenForSignal() noexcept {
  for (auto& slot : g_children) {
    pid_t pid = slot.load();
    if (pid <= 0) continue;
    KillDirectChildren(pid);
    kill(pid, SIGKILL);
  }
}

int32_t PipeRead(PipeHandle pipe, uint8_t* buf, int32_t count) {
  if (pipe < 0 || count <= 0) return 0;
  ssize_t got;
  do {
    got = read(pipe, buf, static_cast<size_t>(count));
  } while (got < 0 && errno == EINTR);
  return got > 0 ? static_cast<int32_t>(got) : 0;
}

int32_t PipeWrite(PipeHandle pipe, const uint8_t* buf, int32_t count) {
  if (pipe < 0 || count <= 0) return 0;
  // SIGPIPE is held back for this thread while writing; one raised by this write is taken
  // off again, so a gone reader only makes the write fail. The signal comes with a partial
  // write too (the reader went away while the write waited for room), not only with EPIPE.
  sigset_t pipeSignal, old;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSignal, &old);
  sigset_t pending;
  sigpending(&pending);
  bool wasPending = sigismember(&pending, SIGPIPE);
  ssize_t put;
  do {
    put = write(pipe, buf, static_cast<size_t>(count));
  } while (put < 0 && errno == EINTR);
  sigpending(&pending);
  if (!wasPending && sigismember(&pending, SIGPIPE)) {
    timespec zero{0, 0};
    while (sigtimedwait(&pipeSignal, nullptr, &zero) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return put > 0 ? static_cast<int32_t>(put) : 0;
}

int32_t PipeAvailable(PipeHandle pipe) {
  int n = 0;
  if (pipe < 0 || ioctl(pipe, FIONREAD, &n) != 0) return 0;
  return n;
}

bool PipeAtEnd(PipeHandle pipe) {
  if (pipe < 0) return true;
  pollfd p{pipe, POLLIN, 0};
  if (poll(&p, 1, 0) < 0) return false;
  return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) && PipeAvailable(pipe) == 0;
}

void PipeClose(PipeHandle pipe) {
  if (pipe >= 0) close(pipe);
}

}  // namespace vxl::platform
