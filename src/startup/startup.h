// Starting a program on the framework: the launcher's start-up sequence, and one call that
// initialises every framework module in the launcher's order.
//
//   int main(int argc, char** argv) {
//     vxl::InitFrameworkModules();          // streams, files, loaders, audio, events, ...
//     Ref<TPixmap> p = PixmapFromUrl(String(argv[1]));
//   }
//
// A program that links this module links every framework module. One that wants only a few calls
// their initialisers itself (each runs the initialisers of the modules it builds on); using a
// module whose initialiser never ran throws a runtime exception that names it.
#pragma once

#include <span>

#include "runtime/module.h"

namespace vxl {

// The framework modules the launcher imports after the core module and its own stub, in the
// launcher's order. Each brings up the modules it builds on first.
std::span<const ModuleInitialiser> FrameworkImports();

// Runs the initialiser of every framework module, in the order the launcher runs them, so that
// every chain (stream factories, loaders, drivers, data types) is searched in the same order as
// in the launcher. Runs each module body once; calling it again does nothing.
int InitFrameworkModules();

// The launcher's start-up: installs the fault handlers, records the start-up globals (paths,
// title, arguments), changes to the executable's directory and runs `stub`. An exception nothing
// catches prints its text on standard error and ends the process with exit code -1. Returns 0 if
// `stub` returns.
int RunStartup(int argc, char** argv, ModuleInitialiser stub);

}  // namespace vxl
