#include "runtime/module.h"

#include <cstdlib>

#include "runtime/class_info.h"
#include "runtime/exceptions.h"
#include "runtime/never_destroyed.h"

namespace vxl {

namespace {

std::vector<const char*>& BodyOrder() {
  static NeverDestroyed<std::vector<const char*>> order;
  return *order;
}

std::vector<const char*>& ExitOrder() {
  static NeverDestroyed<std::vector<const char*>> order;
  return *order;
}

}  // namespace

int ModuleGuard::Run(std::span<const ModuleInitialiser> imports, void (*body)()) {
  if (guard_) return 0;
  guard_ = 1;
  for (ModuleInitialiser import : imports)
    import();
  BodyOrder().push_back(name_);
  body();
  return 0;
}

void ModuleGuard::Require(const char* initialiser) const {
  if (Started()) return;
  RaiseRuntimeError(String("The ") + String(name_) + String(" module is not initialised: call ") +
                    String(initialiser) + String(" (or InitFrameworkModules) first"));
}

const std::vector<const char*>& ModuleBodyOrder() {
  return BodyOrder();
}

int InitCoreModule() {
  static ModuleGuard guard("core");
  return guard.Run({}, [] {
    RegisterClass<TVexelException>();
    RegisterClass<TNullObjectException>();
    RegisterClass<TNullMethodException>();
    RegisterClass<TNullFunctionException>();
    RegisterClass<TArrayBoundsException>();
    RegisterClass<TOutOfDataException>();
    RegisterClass<TRuntimeException>();
  });
}

void RecordExitFunction(const char* name) {
  ExitOrder().push_back(name);
}

const std::vector<const char*>& ExitFunctionOrder() {
  return ExitOrder();
}

void RegisterExitFunction(void (*fn)()) {
  std::atexit(fn);
}

void EndProgram() {
  std::exit(0);
}

}  // namespace vxl
