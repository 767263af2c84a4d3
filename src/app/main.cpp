#include "app/launcher.h"
#include "app/startup.h"

int main(int argc, char** argv) {
  return vxl::RunStartup(argc, argv, vxl::InitApplicationStub);
}
