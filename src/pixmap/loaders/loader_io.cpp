#include "pixmap/loaders/loader_io.h"

#include <algorithm>
#include <cstring>

#include "data/data.h"
#include "memstream/bank_stream.h"

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

Ref<TStream> WithKnownSize(const Ref<TStream>& stream) {
  if (StreamBytesLeft(*stream) >= 0) return stream;
  Ref<TBankStream> held = NewBankStream(nullptr);
  uint8_t chunk[1 << 14];
  for (;;) {
    int32_t n = ReadOrZero(*stream, chunk, int32_t(sizeof chunk));
    // A bank ends at 2 GiB; the bytes it could not take are not part of any image it can hold.
    if (n <= 0 || held->Write(chunk, n) < n || n < int32_t(sizeof chunk)) break;
  }
  held->Seek(0);
  return held;
}

}  // namespace vxl
