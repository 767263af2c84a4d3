#include "app/launcher.h"

#include <vector>

#include "platform/process/command_launch.h"
#include "runtime/module.h"
#include "runtime/never_destroyed.h"
#include "runtime/string.h"
#include "startup/startup.h"

namespace vxl {

int InitApplicationStub() {
  static ModuleGuard guard("application stub");
  return guard.Run({InitCoreModule}, [] { InitApplicationMain(); });
}

namespace {

void Launch() {
  // The quoted name, converted one byte per character; the outcome is not looked at.
  String command = "\"nw.exe\"";
  platform::LaunchCommand(command.ToCString(), 1);
}

}  // namespace

std::span<const ModuleInitialiser> LauncherImports() {
  // The core module, the stub, then the framework's modules in their fixed order.
  static NeverDestroyed<std::vector<ModuleInitialiser>> imports([] {
    std::vector<ModuleInitialiser> all{InitCoreModule, InitApplicationStub};
    std::span<const ModuleInitialiser> framework = FrameworkImports();
    all.insert(all.end(), framework.begin(), framework.end());
    return all;
  }());
  return *imports;
}

int InitApplicationMain() {
  static ModuleGuard guard("application main");
  return guard.Run(LauncherImports(), [] {
    Launch();
    EndProgram();
  });
}

}  // namespace vxl
