// Starts a child through the process module, prints its process id, then either exits normally
// ("exit") or waits on standard input until a signal ends it ("wait").
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/process/child_process.h"
#include "platform/signals/fault_signals.h"
#include "process/process.h"
#include "runtime/module.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  vxl::platform::InstallFaultHandlers("Received Signal", "Unhandled Memory Exception Error");
  vxl::InitProcessModule();
  vxl::Ref<vxl::TProcess> p = vxl::RunProcess((std::string("/bin/sh ") + argv[1]).c_str(), 0);
  if (!p) return 3;
  std::printf("%d\n", vxl::platform::ChildProcessId(p->handle));
  std::fflush(stdout);
  if (std::strcmp(argv[2], "wait") == 0) {
    char buf[16];
    while (std::fread(buf, 1, sizeof buf, stdin) > 0) {
    }
  }
  vxl::EndProgram();
}
