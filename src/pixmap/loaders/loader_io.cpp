#include "pixmap/loaders/loader_io.h"

#include <algorithm>
#include <cstring>

#include "data/data.h"

namespace vxl {

int32_t ReadOrZero(TStream& stream, uint8_t* buf, int32_t count) {
  int32_t done = 0;
  while (done < count) {
    std::span<const uint8_t> held = stream.PeekBuffered();
    if (!held.empty()) {  // copied straight from the stream's buffer
      size_t n = std::min(held.size(), size_t(count - done));
      std::memcpy(buf + done, held.data(), n);
      stream.ConsumeBuffered(n);
      done += int32_t(n);
      continue;
    }
    int32_t n = stream.Read(buf + done, count - done);
    if (n <= 0) break;
    done += n;
  }
  if (done < count) std::memset(buf + done, 0, size_t(count - done));
  return done;
}

bool PlausibleForStream(TStream& stream, int64_t bytes, int64_t ratio) {
  constexpr int64_t kSlack = 1 << 16;
  int64_t left = StreamBytesLeft(stream);
  return left < 0 || bytes <= left * ratio + kSlack;
}

}  // namespace vxl
