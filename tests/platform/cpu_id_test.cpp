// Our CPUID reading against the compiler's own detection, which the framework avoids only for
// its cost at start-up.
#include "platform/cpu/cpu_id.h"

#include <gtest/gtest.h>

namespace {

TEST(CpuId, AgreesWithTheCompilersDetection) {
  __builtin_cpu_init();
  const vxl::platform::cpu::Features& f = vxl::platform::cpu::Get();
  EXPECT_EQ(f.ssse3, __builtin_cpu_supports("ssse3") != 0);
  EXPECT_EQ(f.avx2, __builtin_cpu_supports("avx2") != 0);
}

}  // namespace
