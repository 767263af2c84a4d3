// Module initialisers, exit functions and the end of the program.
//
// Every module has one initialiser that runs its body once per process, after the initialisers
// of the modules it imports:
//
//   int InitStreamModule() {
//     static ModuleGuard guard("stream");
//     return guard.Run({InitCoreModule}, [] {
//       RegisterClass<TStream>();
//       ...
//     });
//   }
//
// The guard is set before the imports run, so an import cycle ends at the module already on the
// way. Module bodies therefore run in depth-first post-order of the import graph, which fixes
// the order of every chain the bodies link into.
//
// Exit-time teardown, one rule for every module:
// - Module globals (chains, current drivers, tables, start-up strings) live in storage that is
//   never destroyed (NeverDestroyed, runtime/never_destroyed.h). A static destructor never runs
//   framework code: the C library runs static destructors interleaved with the exit functions,
//   so an exit function, whenever it runs, must find every module global whole.
// - Whatever holds a native resource (a window, an audio device, a thread, a library handle, a
//   child process) is released by its module's exit function, which the module body registers
//   with RegisterExitFunction. Exit functions run in reverse order of registration, so the order
//   of the module bodies gives the documented shutdown order. An exit function releases the
//   resource and clears the global that held it, while the whole framework still works.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

namespace vxl {

using ModuleInitialiser = int (*)();

class ModuleGuard {
 public:
  constexpr explicit ModuleGuard(const char* name) noexcept : name_(name) {}

  // Returns 0 at once when already started; otherwise sets the guard, runs the imports in order,
  // then the body, and returns 0.
  int Run(std::initializer_list<ModuleInitialiser> imports, void (*body)()) {
    return Run(std::span<const ModuleInitialiser>(imports.begin(), imports.size()), body);
  }
  int Run(std::span<const ModuleInitialiser> imports, void (*body)());
  bool Started() const noexcept { return guard_ != 0; }
  // For the module's own functions: throws a runtime exception naming the module and
  // `initialiser` unless the initialiser has run (a program forgot to call it).
  void Require(const char* initialiser) const;

 private:
  const char* name_;
  int32_t guard_ = 0;
};

// The names of the module bodies run so far, in the order they ran.
const std::vector<const char*>& ModuleBodyOrder();

// The core runtime module: registers the runtime exception classes.
int InitCoreModule();

// Exit functions registered at start-up call this first, with their name, so that the order in
// which they ran can be read back (by a later exit function, or a test).
void RecordExitFunction(const char* name);
// The names recorded by RecordExitFunction so far, in the order the functions ran.
const std::vector<const char*>& ExitFunctionOrder();

// Adds fn to the functions run at exit; they run in reverse order of registration.
void RegisterExitFunction(void (*fn)());
// Ends the process with exit code 0, running the exit functions.
[[noreturn]] void EndProgram();

}  // namespace vxl
