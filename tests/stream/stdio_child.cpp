// Helper program for the standard IO tests: echoes lines through InputLine and PrintLine until
// standard input runs out, then prints what was thrown on standard error and exits with 3.
#include <cstdio>

#include "stream/standard_io.h"

int main() {
  using namespace vxl;
  InitStandardIOModule();
  try {
    PrintLine(String(u"start \u20AC"));
    for (;;) {
      String line = InputLine("> ");
      PrintLine("[" + line + "] " + String::FromInt(line.Length()));
    }
  } catch (const Thrown& e) {
    std::fputs(e.what(), stderr);
    return 3;
  }
}
