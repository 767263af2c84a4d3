// A program built on the launcher's start-up sequence, for the end-to-end tests. Its first
// argument says what to do once started: "print" the start-up globals, "throw" an uncaught
// exception, "signal <n>" raise a signal, "divide <n>" divide by n (a fault for 0),
// "wait" block until standard input ends, "exit-functions" register two exit functions and end,
// "late-exit-function" register an exit function before the standard modules start, then end,
// "exit-trace" / "exit-trace-throw" start every module, then end through EndProgram or an
// uncaught throw and print the exit functions in the order they ran,
// "sdl-after-start" start every module and say whether the SDL2 library is loaded.
#include <dlfcn.h>
#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/application.h"
#include "runtime/exceptions.h"
#include "startup/module_groups.h"
#include "startup/startup.h"
#include "stream/standard_io.h"
#include "stream/stream.h"

namespace {

// A real hardware fault: the sanitizers must not catch it first.
__attribute__((no_sanitize("undefined"))) int Divide(int numerator, int denominator) {
  volatile int d = denominator;
  volatile int n = numerator;
  return n / d;
}

int g_argc;
char** g_argv;

void Print(const char* name, const vxl::String& value) {
  std::printf("%s=%s\n", name, value.ToCString().c_str());
}

void PrintFactories(const char* when) {
  std::printf("%s:", when);
  for (auto f = vxl::StreamFactories(); f; f = f->_succ)
    std::printf(" %s", f->Class().Name().c_str());
  std::printf("\n");
}

int ProbeStub() {
  using namespace vxl;
  static ModuleGuard guard("probe stub");
  return guard.Run({InitCoreModule}, [] {
    const char* what = g_argc > 1 ? g_argv[1] : "";
    if (!std::strcmp(what, "print")) {
      Print("StartupDir", StartupDir);
      Print("ApplicationDir", ApplicationDir);
      Print("ApplicationPath", ApplicationPath);
      Print("ApplicationTitle", ApplicationTitle);
      for (int32_t i = 0; i < ApplicationArgs.Length(); ++i)
        Print("arg", ApplicationArgs[i]);
      char cwd[4096];
      std::printf("cwd=%s\n", getcwd(cwd, sizeof cwd));
    } else if (!std::strcmp(what, "throw")) {
      RaiseRuntimeError("boom at start-up");
    } else if (!std::strcmp(what, "throw-string")) {
      Throw("a thrown string");
    } else if (!std::strcmp(what, "signal") && g_argc > 2) {
      std::printf("before the signal\n");
      std::raise(std::atoi(g_argv[2]));
    } else if (!std::strcmp(what, "divide") && g_argc > 2) {
      std::printf("%d\n", Divide(7, std::atoi(g_argv[2])));
    } else if (!std::strcmp(what, "wait")) {
      std::printf("waiting\n");
      std::fflush(stdout);
      char c;
      while (read(0, &c, 1) != 0) {
      }
    } else if (!std::strcmp(what, "exit-functions")) {
      RegisterExitFunction([] { std::printf("first registered\n"); });
      RegisterExitFunction([] { std::printf("second registered\n"); });
      EndProgram();
    } else if (!std::strcmp(what, "exit-trace") || !std::strcmp(what, "exit-trace-throw")) {
      // Registered before every module: runs after all of theirs.
      RegisterExitFunction([] {
        for (const char* name : ExitFunctionOrder())
          std::printf("%s\n", name);
      });
      InitFrameworkModules();
      if (!std::strcmp(what, "exit-trace-throw")) RaiseRuntimeError("thrown after start-up");
      EndProgram();
    } else if (!std::strcmp(what, "sdl-after-start")) {
      InitFrameworkModules();
      bool loaded = dlopen("libSDL2-2.0.so.0", RTLD_LAZY | RTLD_NOLOAD) != nullptr;
      std::printf("SDL2 loaded: %s\n", loaded ? "yes" : "no");
    } else if (!std::strcmp(what, "late-exit-function")) {
      // Runs after every exit function and static destructor registered later, while the C
      // library tears the process down: the module globals must still be whole.
      RegisterExitFunction([] {
        PrintFactories("at exit");
        PrintLine(ApplicationTitle);
      });
      InitStandardGroupModule();
      PrintFactories("running");
      EndProgram();
    }
  });
}

}  // namespace

int main(int argc, char** argv) {
  g_argc = argc;
  g_argv = argv;
  return vxl::RunStartup(argc, argv, ProbeStub);
}
