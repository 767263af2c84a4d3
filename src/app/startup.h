// The process start-up sequence shared by the launcher and any program built on the framework.
#pragma once

#include "runtime/module.h"

namespace vxl {

// Installs the fault handlers, records the start-up globals (paths, title, arguments), changes to
// the executable's directory and runs `stub`. An exception nothing catches prints its text on
// standard error and ends the process with exit code -1. Returns 0 if `stub` returns.
int RunStartup(int argc, char** argv, ModuleInitialiser stub);

}  // namespace vxl
