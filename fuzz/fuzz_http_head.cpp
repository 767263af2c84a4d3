// Hostile HTTP response heads: the bounded head reader against the plain one (ReadLine until an
// empty line). The first input byte sets how many bytes each Read hands out, as a socket would.
// Within the limits both must stop at the same byte; a head with a line or a total past its limit
// is refused, and the bounded reader never reads more than the head limit.
#include <algorithm>
#include <cstdint>
#include <string>

#include "net/http_stream.h"
#include "support/test_streams.h"

namespace vxl {
namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

bool Setup() {
  InitHttpStreamModule();
  return true;
}

// The plain reader: where it stops, the longest line and whether any line ran past the limit.
struct Plain {
  size_t end = 0;
  size_t longest = 0;
};

Plain ReadPlain(const std::string& bytes) {
  Plain p;
  size_t at = 0;
  while (at < bytes.size()) {
    size_t stop = at;
    while (stop < bytes.size() && bytes[stop] != '\n' && bytes[stop] != '\0')
      ++stop;
    size_t taken = std::min(stop + 1, bytes.size()) - at;  // terminator included
    p.longest = std::max(p.longest, taken);
    bool empty =
        std::all_of(bytes.begin() + at, bytes.begin() + stop, [](char c) { return c == '\r'; });
    at += taken;
    if (empty) break;
  }
  p.end = at;
  return p;
}

}  // namespace
}  // namespace vxl

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vxl;
  static bool ready = Setup();
  (void)ready;
  if (size == 0) return 0;
  int32_t piece = 1 + data[0] % 16;
  std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  auto stream = test::TOneWayStream::Of(bytes, piece);
  bool accepted = ReadHttpResponseHead(*stream);
  Plain plain = ReadPlain(bytes);
  const size_t lineLimit = kHttpHeadLineLimit, headLimit = kHttpHeadLimit;
  Check(stream->at <= headLimit);
  // A head that ends at the very end of the input exactly on a limit may go either way.
  if (plain.longest < lineLimit && plain.end < headLimit) {
    Check(accepted && stream->at == plain.end);
    // The head ends where the plain ReadLine loop ends too.
    auto again = test::TOneWayStream::Of(bytes, piece);
    while (!again->Eof() && !again->ReadLine().IsEmpty()) {
    }
    Check(again->at == plain.end);
  } else if (plain.longest > lineLimit || plain.end > headLimit) {
    Check(!accepted);
  }
  return 0;
}
