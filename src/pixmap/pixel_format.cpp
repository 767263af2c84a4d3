#include "pixmap/pixel_format.h"

#include "runtime/module.h"

namespace vxl {

int32_t FormatBytes[FORMAT_COUNT];
int32_t FormatAlphaBits[FORMAT_COUNT];

int InitPixelFormatModule() {
  static ModuleGuard guard("pixel format tables");
  return guard.Run({InitCoreModule}, [] {
    static constexpr int32_t kBytes[FORMAT_COUNT] = {0, 1, 1, 3, 3, 4, 4, 1, 1, 1, 1, 1, 1};
    static constexpr int32_t kAlphaBits[FORMAT_COUNT] = {0, 0, 8, 0, 0, 8, 8, 0, 0, 0, 8, 0, 0};
    for (int32_t f = 0; f < FORMAT_COUNT; ++f) {
      FormatBytes[f] = kBytes[f];
      FormatAlphaBits[f] = kAlphaBits[f];
    }
  });
}

}  // namespace vxl
