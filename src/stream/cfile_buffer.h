// Direct access to the read buffer of a C library FILE, for readers that would otherwise take one
// byte per call. Private to the stream module.
//
// With glibc the buffered bytes are [_IO_read_ptr, _IO_read_end), the same pointers its own
// getc_unlocked macro advances, so consuming from there is exactly what getc would do. Elsewhere
// nothing is reported as buffered and callers fall back to one getc per byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace vxl::detail {

struct Buffered {
  const uint8_t* data;
  size_t count;
};

// The bytes the C library holds for reading and has not handed out yet (count 0 when none).
inline Buffered BufferedInput(std::FILE* f) {
#if defined(__GLIBC__)
  auto* p = reinterpret_cast<const uint8_t*>(f->_IO_read_ptr);
  auto* end = reinterpret_cast<const uint8_t*>(f->_IO_read_end);
  if (p && end > p) return {p, static_cast<size_t>(end - p)};
#else
  (void)f;
#endif
  return {nullptr, 0};
}

// Marks the first n bytes reported by BufferedInput as read.
inline void ConsumeBuffered(std::FILE* f, size_t n) {
#if defined(__GLIBC__)
  f->_IO_read_ptr += n;
#else
  (void)f;
  (void)n;
#endif
}

// One byte as getc returns it (EOF at the end or on error), without taking the stream lock.
inline int GetByte(std::FILE* f) {
#if defined(__unix__) || defined(__APPLE__)
  return getc_unlocked(f);
#else
  return std::getc(f);
#endif
}

}  // namespace vxl::detail
