// In-memory streams for tests: a file-like byte block, and a stream that cannot seek.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "stream/stream.h"

namespace vxl::test {

// A byte string with a position, readable and writeable the way a file is. Its buffered view
// shows at most `window` bytes (none by default), so readers meet every view boundary.
class TMemoryStream : public TStream {
 public:
  VXL_CLASS(TMemoryStream, TStream)
  std::string bytes;
  int32_t pos = 0;
  int32_t window = 0;

  static Ref<TMemoryStream> Of(std::string content, int32_t window = 0) {
    auto s = New<TMemoryStream>();
    s->bytes = std::move(content);
    s->window = window;
    return s;
  }
  std::span<const uint8_t> PeekBuffered() override {
    int32_t n = std::clamp(Size() - pos, 0, window);
    return {reinterpret_cast<const uint8_t*>(bytes.data()) + pos, static_cast<size_t>(n)};
  }
  void ConsumeBuffered(size_t count) override { pos += static_cast<int32_t>(count); }
  int32_t Pos() override { return pos; }
  int32_t Size() override { return static_cast<int32_t>(bytes.size()); }
  int32_t Seek(int32_t p) override { return pos = std::clamp(p, 0, Size()); }
  int32_t Read(uint8_t* buf, int32_t count) override {
    int32_t n = std::clamp(Size() - pos, 0, std::max(count, 0));
    if (n > 0) std::memcpy(buf, bytes.data() + pos, n);
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

// A stream that cannot tell its position or size (a pipe or a socket): it never reports Eof and
// Read returns 0 once the bytes are gone. It hands out at most `piece` bytes per Read.
class TOneWayStream : public TStream {
 public:
  VXL_CLASS(TOneWayStream, TStream)
  std::string bytes;
  size_t at = 0;
  int32_t piece = 1 << 30;
  int32_t reads = 0;  // calls of Read so far

  static Ref<TOneWayStream> Of(std::string content, int32_t piece = 1 << 30) {
    auto s = New<TOneWayStream>();
    s->bytes = std::move(content);
    s->piece = piece;
    return s;
  }
  int32_t Read(uint8_t* buf, int32_t count) override {
    ++reads;
    size_t n = std::min(
        {static_cast<size_t>(std::max(count, 0)), bytes.size() - at, static_cast<size_t>(piece)});
    if (n > 0) std::memcpy(buf, bytes.data() + at, n);
    at += n;
    return static_cast<int32_t>(n);
  }
};

}  // namespace vxl::test
