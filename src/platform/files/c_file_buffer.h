// The read-ahead of a C library FILE: bytes it has already fetched from the file and not yet
// handed out. Readers that scan bytes in place (line readers, decoders, image and sound loaders)
// look at them here instead of taking one getc per byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>

namespace vxl::platform {

// The bytes the next fread or getc calls on `file` would deliver first, in order, as far as the
// C library holds them already. Never reads from the file and never changes the FILE. Empty when
// nothing is held, when the stream is writing, and always where this C library gives no access
// to its buffer (callers then read through fread, which stays correct, only slower).
std::span<const uint8_t> BufferedInput(std::FILE* file);

// Marks the first `count` bytes of the last BufferedInput view as delivered: the same effect as
// `count` getc calls. `count` must not exceed the size of that view.
void ConsumeBufferedInput(std::FILE* file, size_t count);

}  // namespace vxl::platform
