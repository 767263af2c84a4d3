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
inline std::span<const uint8_t> BufferedInput(std::FILE* file);

// Marks the first `count` bytes of the last BufferedInput view as delivered: the same effect as
// `count` getc calls. `count` must not exceed the size of that view.
inline void ConsumeBufferedInput(std::FILE* file, size_t count);

// Inline, as line readers ask once per line. glibc keeps the unread part of its buffer in
// [_IO_read_ptr, _IO_read_end): the very pointers its getc_unlocked macro advances (in write mode
// the two are equal). Any other C library reports nothing buffered.
std::span<const uint8_t> BufferedInput(std::FILE* file) {
#if defined(__GLIBC__)
  auto* p = reinterpret_cast<const uint8_t*>(file->_IO_read_ptr);
  auto* end = reinterpret_cast<const uint8_t*>(file->_IO_read_end);
  if (p && end > p) return {p, static_cast<size_t>(end - p)};
#else
  (void)file;
#endif
  return {};
}

void ConsumeBufferedInput(std::FILE* file, size_t count) {
#if defined(__GLIBC__)
  file->_IO_read_ptr += count;
#else
  (void)file;
  (void)count;
#endif
}

}  // namespace vxl::platform
