// The built-in 8 x 16 font of the 96 printable ASCII characters, 1536 bytes: 16 pixel rows of 96
// bytes, row 0 first; byte j of a row belongs to the character 32 + j and its bit k (bit 0 first)
// is the pixel in column k of that character's cell. Registered as "vexelfont.bin".
#pragma once

#include <cstdint>

namespace vxl {

constexpr int32_t kAsciiFont8x16Size = 1536;
extern const uint8_t kAsciiFont8x16[kAsciiFont8x16Size];

}  // namespace vxl
