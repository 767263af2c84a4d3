// Tour: reflection and child processes.
#include <cstdio>

#include "process/process.h"
#include "reflection/reflection.h"
#include "startup/startup.h"

using namespace vxl;

int main() {
  InitFrameworkModules();
  // tour:begin
  Ref<TTypeId> type = TTypeId::ForName("tbank");            // any registered class, by name
  std::printf("%s has %d fields\n", type->Name().ToCString().c_str(), type->Fields()->Count());
  Ref<TProcess> p = RunProcess(String("echo hello"), 0);    // its standard streams on pipes
  while (ProcessRunning(p) || p->pipe->ReadAvail()) {
    String line = p->pipe->ReadLine();                      // never blocks
    if (line.Length()) std::printf("child said %s\n", line.ToCString().c_str());
  }
  p->Close();
  // tour:end
}
