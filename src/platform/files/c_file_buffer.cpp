#include "platform/files/c_file_buffer.h"

namespace vxl::platform {

// glibc keeps the unread part of its buffer in [_IO_read_ptr, _IO_read_end): the very pointers
// its getc_unlocked macro advances (in write mode the two are equal). Any other C library reports
// nothing buffered.
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
