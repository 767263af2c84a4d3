#include "platform/signals/fault_signals.h"

#include <unistd.h>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace vxl::platform {

namespace {

const char* g_signalText = "";
const char* g_faultText = "";

using Cleanup = void (*)() noexcept;
std::atomic<Cleanup> g_cleanups[8];

void RunCleanups() {
  for (auto& c : g_cleanups) {
    if (Cleanup fn = c.load()) fn();
  }
}

void WriteAll(int fd, const char* data, size_t n) {
  while (n > 0) {
    ssize_t w = write(fd, data, n);
    if (w <= 0) return;
    data += w;
    n -= static_cast<size_t>(w);
  }
}

// "signal!:%d\n" without printf, which is not safe in a signal handler.
void WriteSignalLine(int sig) {
  char buf[32] = "signal!:";
  size_t n = std::strlen(buf);
  char digits[12];
  int d = 0;
  unsigned v = static_cast<unsigned>(sig);
  do {
    digits[d++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v);
  while (d)
    buf[n++] = digits[--d];
  buf[n++] = '\n';
  WriteAll(STDOUT_FILENO, buf, n);
}

// A signal the process caused itself (a fault, abort(), raise()) arrives while the interrupted
// code is this thread's own, so what it had printed is flushed first, as a normal exit would.
// A signal sent by another process may interrupt anything, so then only write() is used.
bool RaisedByThisProcess(const siginfo_t* info) {
  return info->si_code > 0 || info->si_pid == getpid();
}

void OnSignal(int sig, siginfo_t* info, void*) {
  if (RaisedByThisProcess(info)) fflush(stdout);
  WriteSignalLine(sig);
  WriteAll(STDERR_FILENO, g_signalText, std::strlen(g_signalText));
  RunCleanups();
  _exit(-1);
}

void OnFault(int, siginfo_t*, void*) {
  WriteAll(STDERR_FILENO, g_faultText, std::strlen(g_faultText));
  RunCleanups();
  _exit(-1);
}

void OnInterrupt(int sig, siginfo_t*, void*) {
  RunCleanups();
  signal(sig, SIG_DFL);
  raise(sig);  // delivered when the handler returns: the process ends by the signal
}

void Install(int sig, void (*handler)(int, siginfo_t*, void*)) {
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_sigaction = handler;
  sa.sa_flags = SA_ONSTACK | SA_SIGINFO;
  sigemptyset(&sa.sa_mask);
  sigaction(sig, &sa, nullptr);
}

}  // namespace

void InstallFaultHandlers(const char* signalText, const char* faultText) {
  g_signalText = signalText;
  g_faultText = faultText;
  static char altStack[64 * 1024];
  stack_t ss;
  std::memset(&ss, 0, sizeof ss);
  ss.ss_sp = altStack;
  ss.ss_size = sizeof altStack;
  sigaltstack(&ss, nullptr);
  for (int sig : {SIGILL, SIGSEGV, SIGABRT, SIGTERM})
    Install(sig, OnSignal);
  for (int sig : {SIGBUS, SIGFPE})
    Install(sig, OnFault);
}

void AddSignalCleanup(void (*cleanup)() noexcept) {
  for (auto& c : g_cleanups) {
    Cleanup empty = nullptr;
    if (c.compare_exchange_strong(empty, cleanup)) break;
  }
  // An interrupt from the keyboard and the hang-up of a closed terminal end the program as they
  // would, after the clean-ups; a program that ignores or handles them keeps its choice.
  for (int sig : {SIGINT, SIGHUP}) {
    struct sigaction current;
    if (sigaction(sig, nullptr, &current) == 0 && !(current.sa_flags & SA_SIGINFO) &&
        current.sa_handler == SIG_DFL) {
      Install(sig, OnInterrupt);
    }
  }
}

}  // namespace vxl::platform
