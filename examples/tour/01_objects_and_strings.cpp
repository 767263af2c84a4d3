// Tour: objects, strings and exceptions.
#include <cstdio>

#include "runtime/exceptions.h"
#include "runtime/string.h"
#include "startup/startup.h"

using namespace vxl;

int main() {
  InitFrameworkModules();
  // tour:begin
  String name = "world";
  String greeting = String("Hello, ") + name;       // strings are immutable and shared
  std::printf("%s (%d characters)\n", greeting.ToCString().c_str(), greeting.Length());
  try {
    RaiseRuntimeError(String("something went wrong"));  // any object can be thrown
  } catch (const Thrown& e) {
    std::printf("caught: %s\n", e.what());
  }
  // tour:end
}
