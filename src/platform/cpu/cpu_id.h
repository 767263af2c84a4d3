// What the processor offers, asked with CPUID the first time a kernel chooses its path. The
// compiler's own detection (__builtin_cpu_supports) runs a constructor at every program start,
// which costs tens of microseconds under a hypervisor, where each CPUID leaves the guest: every
// program built on the framework, the launcher first, would pay it even if it never mixes a sound
// or draws a sprite.
#pragma once

#include <cpuid.h>

#include <cstdint>

namespace vxl::platform::cpu {

struct Features {
  bool ssse3 = false;
  bool avx2 = false;  // the instructions and the operating system saving the YMM registers
};

inline Features Detect() {
  Features f;
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return f;
  f.ssse3 = (c & bit_SSSE3) != 0;
  const bool osSavesAvx = (c & bit_OSXSAVE) && (c & bit_AVX);
  if (osSavesAvx) {
    unsigned lo, hi;
    __asm__("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    if ((lo & 6) == 6 && __get_cpuid_count(7, 0, &a, &b, &c, &d)) f.avx2 = (b & bit_AVX2) != 0;
  }
  return f;
}

inline const Features& Get() {
  static const Features features = Detect();
  return features;
}

}  // namespace vxl::platform::cpu
