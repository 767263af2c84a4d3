// The vector instruction sets a kernel may use, chosen at run time. Every x86-64 processor has
// SSE2; kernels with an AVX2 path take it only where the processor has AVX2 and no limit is set.
//
//   if (SimdLevel() >= kSimdAvx2) MixAvx2(...); else MixSse2(...);
//
// Each path computes the same bits; tests lower the limit to run both on one machine.
#pragma once

#include <cstdint>

namespace vxl {

constexpr int32_t kSimdSse2 = 0;
constexpr int32_t kSimdAvx2 = 1;

// The highest level this processor offers, capped by the limit.
int32_t SimdLevel();
// Caps SimdLevel (for tests and measurements); kSimdAvx2 lifts the cap.
void LimitSimdLevel(int32_t level);

}  // namespace vxl
