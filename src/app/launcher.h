// The launcher application: its stub and its main, which bring every framework module up in the
// fixed order, start the companion program and end the process.
#pragma once

#include <span>

#include "runtime/module.h"

namespace vxl {

// The initialisers the launcher's main imports, in the order it calls them.
std::span<const ModuleInitialiser> LauncherImports();

// Runs the core module, then the launcher's main.
int InitApplicationStub();
// Runs every module initialiser in order, launches "nw.exe" and ends the process with code 0.
int InitApplicationMain();

}  // namespace vxl
