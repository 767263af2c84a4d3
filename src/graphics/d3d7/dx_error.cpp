#include "graphics/d3d7/dx_error.h"

#include <cstdio>
#include <string>

#include "runtime/module.h"

namespace vxl {

namespace {

struct NamedResult {
  uint32_t code;
  const char* name;
};

constexpr NamedResult kNames[] = {
    {0x00000000u, "OK"},
    {0x88760234u, "PRIMARYSURFACEALREADYEXISTS"},
    {0x8876024Bu, "WRONGMODE"},
    {0x887600E1u, "NOEXCLUSIVEMODE"},
    {0x88760245u, "EXCLUSIVEMODEALREADYSET"},
    {0x8876024Eu, "UNSUPPORTEDMODE"},
    {0x887601C2u, "SURFACELOST"},
};

}  // namespace

String DXErrorName(int32_t result) {
  for (const NamedResult& n : kNames) {
    if (static_cast<uint32_t>(result) == n.code) return String(n.name);
  }
  std::string text = "UNKNOWN:" + std::to_string(result) + " " +
                     std::to_string(static_cast<uint32_t>(result) & 0xFFFFu);
  return String(text.c_str());
}

void CheckDX(int32_t result, const char* context) {
  if (result >= 0) return;
  std::printf("%s err=%s\n", context, DXErrorName(result).ToCString().c_str());
  std::fflush(stdout);
  EndProgram();
}

}  // namespace vxl
