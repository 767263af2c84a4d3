// Reading and writing helpers shared by the image loaders and savers.
#pragma once

#include <cstdint>

#include "stream/stream.h"

namespace vxl {

// Reads up to `count` bytes, from the stream's buffered view where it holds them and with Read
// otherwise, as many times as it takes; the bytes the stream does not
// deliver (it ended, or its Read gave nothing) are set to zero, as the typed reads give them.
// Returns the number of bytes that arrived.
int32_t ReadOrZero(TStream& stream, uint8_t* buf, int32_t count);

// False when an image that needs `bytes` bytes of encoded data cannot come from this stream:
// the stream knows how many bytes it has left and `bytes` is more than `ratio` times that (plus
// a little slack for small images). Streams that cannot tell always pass. The loaders check this
// before they allocate, so a damaged size costs no memory.
bool PlausibleForStream(TStream& stream, int64_t bytes, int64_t ratio);

// `stream` itself when it can tell how many bytes it has left; otherwise (a pipe, a socket) a
// stream over everything it delivers until it ends, read into memory that grows with the bytes
// as they arrive. A loader given a stream without a size checks its sizes against that, so a
// header's claim alone never costs memory.
Ref<TStream> WithKnownSize(const Ref<TStream>& stream);

// Runs `body` and closes the stream afterwards, also when an exception passes through.
template <class F>
auto WithClosing(const Ref<TStream>& stream, F body) {
  try {
    auto result = body();
    stream->Close();
    return result;
  } catch (...) {
    stream->Close();
    throw;
  }
}

// Runs `write` (true when it wrote the whole image) and closes the stream, also when an exception
// passes through. True only when the image was written and Close reports that every byte arrived
// (a full disk shows only there).
template <class F>
bool WriteAndClose(const Ref<TStream>& stream, F write) {
  bool written;
  try {
    written = write();
  } catch (...) {
    stream->Close();
    throw;
  }
  return stream->Close() == 0 && written;
}

}  // namespace vxl
