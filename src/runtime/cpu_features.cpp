#include "runtime/cpu_features.h"

#include <algorithm>
#include <atomic>

#include "platform/cpu/cpu_id.h"

namespace vxl {

namespace {

std::atomic<int32_t> g_limit{kSimdAvx2};

int32_t DetectedLevel() {
  static const int32_t level = platform::cpu::Get().avx2 ? kSimdAvx2 : kSimdSse2;
  return level;
}

}  // namespace

int32_t SimdLevel() {
  return std::min(DetectedLevel(), g_limit.load(std::memory_order_relaxed));
}

void LimitSimdLevel(int32_t level) {
  g_limit.store(std::clamp(level, kSimdSse2, kSimdAvx2), std::memory_order_relaxed);
}

}  // namespace vxl
