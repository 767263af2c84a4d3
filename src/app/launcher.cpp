#include "app/launcher.h"

#include "app/module_groups.h"
#include "bank/bank.h"
#include "platform/process/command_launch.h"
#include "runtime/classic_text.h"
#include "runtime/module.h"
#include "runtime/string.h"
#include "stream/memory/bank_stream.h"

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
  static const ModuleInitialiser imports[] = {
      InitCoreModule,         InitApplicationStub,     InitBankModule,
      InitBankStreamModule,   InitStandardGroupModule, InitClassicTextModule,
      InitOpenGLImportModule, InitEmptyTrailingModule,
  };
  return imports;
}

int InitApplicationMain() {
  static ModuleGuard guard("application main");
  return guard.Run(LauncherImports(), [] {
    Launch();
    EndProgram();
  });
}

}  // namespace vxl
