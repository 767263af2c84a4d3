// Small in-memory streams for the stream tests.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "stream/stream.h"

namespace vxl::test {

// A growable byte block with a position: Read and Write as a file would do them.
class TMemoryStream : public TStream {
  VXL_CLASS(TMemoryStream, TStream)
 public:
  std::string bytes;
  int32_t pos = 0;

  static Ref<TMemoryStream> Of(std::string content) {
    auto s = New<TMemoryStream>();
    s->bytes = std::move(content);
    return s;
  }
  int32_t Pos() override { return pos; }
  int32_t Size() override { return static_cast<int32_t>(bytes.size()); }
  int32_t Seek(int32_t p) override { return pos = std::clamp(p, 0, Size()); }
  int32_t Read(uint8_t* buf, int32_t count) override {
    int32_t n = std::clamp(Size() - pos, 0, std::max(count, 0));
    std::memcpy(buf, bytes.data() + pos, n);
    pos += n;
    return n;
  }
  int32_t Write(const uint8_t* buf, int32_t count) override {
    if (count <= 0) return 0;
    if (pos + count > Size()) bytes.resize(pos + count);
    std::memcpy(bytes.data() + pos, buf, count);
    pos += count;
    return count;
  }
};

// Keeps the TIO defaults for Pos and Size, so it never reports Eof, and delivers its bytes in
// pieces of at most `piece` bytes; then Read returns 0 forever.
class TTrickleStream : public TStream {
  VXL_CLASS(TTrickleStream, TStream)
 public:
  std::string bytes;
  size_t at = 0;
  int32_t piece = 1;
  int32_t reads = 0;

  int32_t Read(uint8_t* buf, int32_t count) override {
    ++reads;
    size_t n = std::min(
        {static_cast<size_t>(std::max(count, 0)), bytes.size() - at, static_cast<size_t>(piece)});
    std::memcpy(buf, bytes.data() + at, n);
    at += n;
    return static_cast<int32_t>(n);
  }
};

}  // namespace vxl::test
