// Takes and drops references, which inline code in runtime/object.h counts.
#include <cstdio>

#include "runtime/string.h"

int main() {
  vxl::Ref<vxl::Object> text = vxl::String("counted");
  vxl::Ref<vxl::Object> copy = text;
  std::printf("%s\n", vxl::String::Of(copy).ToCString().c_str());
  return 0;
}
