#include "app/launcher.h"
#include "startup/startup.h"

int main(int argc, char** argv) {
  return vxl::RunStartup(argc, argv, vxl::InitApplicationStub);
}
