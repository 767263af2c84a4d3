// The examples' --screenshot: the current graphics' back buffer saved as a PNG.
#pragma once

#include <cstdint>

namespace example {

// Captures (0, 0, width, height) of the current Kor2D graphics and saves it to `path`; prints
// "wrote <path>" on standard output, or "could not write <path>" on standard error and returns
// false.
bool SaveScreenshot(const char* path, int32_t width, int32_t height);

}  // namespace example
