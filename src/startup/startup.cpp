#include "startup/startup.h"

#include <exception>

#include "platform/process/process_image.h"
#include "platform/signals/fault_signals.h"
#include "runtime/application.h"
#include "runtime/exceptions.h"

namespace vxl {

namespace {

// An exception that escapes where C++ cannot propagate it (a destructor, a noexcept function)
// still takes the uncaught path.
void OnTerminate() {
  if (std::exception_ptr current = std::current_exception()) {
    try {
      std::rethrow_exception(current);
    } catch (const Thrown& e) {
      ReportUncaught(e.Value());
    } catch (const std::exception& e) {
      ReportUncaught(String(e.what()));
    } catch (...) {
    }
  }
  ReportUncaught(Ref<Object>());
}

}  // namespace

int InitFrameworkModules() {
  InitCoreModule();
  for (ModuleInitialiser init : FrameworkImports())
    init();
  return 0;
}

int RunStartup(int argc, char** argv, ModuleInitialiser stub) {
  platform::InstallFaultHandlers("Received Signal", "Unhandled Memory Exception Error");
  std::set_terminate(OnTerminate);
  RunReportingUncaught([&] {
    String path{std::string_view(platform::ExecutablePath())};
    StartFramework(argc, argv, ExecutableDirectory(path), path);
    stub();
  });
  return 0;
}

}  // namespace vxl
