// The launcher's module bodies run once each, in the fixed start-up order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/launcher.h"
#include "runtime/module.h"

namespace vxl {
namespace {

// Every module the launcher imports, in the order their bodies must run.
const std::vector<std::string> kExpectedOrder = {
    "core",           "ordered map",   "c standard library glue",
    "stream",         "data streams",  "bank",
    "bank stream",    "empty",         "random",
    "RAM stream",     "endian stream", "text stream",
    "standard io",    "linked list",   "file system",
    "standard group", "classic text",  "opengl import",
    "empty trailing",
};

void RunLauncherImports() {
  // Everything main imports except the stub, whose body runs main itself (launch and exit).
  for (ModuleInitialiser init : LauncherImports()) {
    if (init != InitApplicationStub) init();
  }
}

TEST(ModuleOrder, BodiesRunOnceInTheFixedOrder) {
  RunLauncherImports();
  std::vector<std::string> order(ModuleBodyOrder().begin(), ModuleBodyOrder().end());
  EXPECT_EQ(order, kExpectedOrder);

  RunLauncherImports();  // a second run does nothing
  EXPECT_EQ(ModuleBodyOrder().size(), kExpectedOrder.size());
}

TEST(ModuleOrder, StubIsMainsSecondImport) {
  ASSERT_GE(LauncherImports().size(), 2u);
  EXPECT_EQ(LauncherImports()[0], InitCoreModule);
  EXPECT_EQ(LauncherImports()[1], InitApplicationStub);
}

}  // namespace
}  // namespace vxl
