// The text stream reader on arbitrary bytes, in all four encodings (and an invalid one), with
// lines, strings, characters, numbers, hexadecimal reads and whole-file reads.
//
// The same program runs over the same bytes from streams that hold them in a buffered view and
// from streams that hold none, which take the character-at-a-time path: a file (its C buffer
// against a wrapper that hides it), a memory block (views of a few bytes, cutting characters
// apart, against none) and a pipe that cannot seek (its C buffer against a one-way stream that
// hands out a few bytes per Read). Each pair must give the same results, positions and thrown
// texts. Thrown framework values are expected (short data, malformed hexadecimal lines);
// crashes, hangs and differences are not.
//
// Input: byte 0 picks the encoding (and whether a second text stream is stacked on the first),
// bytes 1..16 are the program, the rest is the stream's content.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "stream/text_stream.h"
#include "support/test_streams.h"

namespace {

using namespace vxl;

constexpr size_t kProgramBytes = 16;

// Runs one operation and describes its outcome as text.
std::string Step(TTextStream& t, uint8_t op) {
  uint8_t bytes[64];
  std::memset(bytes, 0xEE, sizeof bytes);  // ReadBytes leaves bytes past the end as they were
  int32_t count = (op >> 4) * 5;           // 0..75
  switch (op & 15) {
    case 0: {
      std::string first = t.ReadLine().ToCString();
      return first + "|" + std::to_string(t.ReadLine().Length());
    }
    case 1:
      return t.ReadString(count).ToCString();
    case 2:
      return std::to_string(t.ReadChar());
    case 3: {
      int32_t n = count % 64;
      t.Read(bytes, n);
      return std::string(reinterpret_cast<char*>(bytes), static_cast<size_t>(n));
    }
    case 4:
      return std::to_string(t.ReadInt());
    case 5:
      return std::to_string(t.ReadByte()) + "," + std::to_string(t.ReadShort());
    case 6:
      return std::to_string(t.ReadLong());
    case 7: {
      float x = t.ReadFloat();
      double y = t.ReadDouble();
      char buf[64];
      std::snprintf(buf, sizeof buf, "%a %a", static_cast<double>(x), y);
      return buf;
    }
    case 8:
      return t.ReadFile().ToCString();
    case 9: {
      int32_t n = count % 64;
      t.ReadBytes(bytes, n);
      return std::string(reinterpret_cast<char*>(bytes), static_cast<size_t>(n));
    }
    case 10:
      return std::to_string(t.SkipBytes(count));
    case 11:
      return std::to_string(t.Seek(count));
    default:
      return std::to_string(t.Eof());
  }
}

std::string Run(const Ref<TTextStream>& t, const uint8_t* program) {
  std::string log;
  for (size_t i = 0; i < kProgramBytes; ++i) {
    try {
      log += Step(*t, program[i]);
    } catch (const Thrown& e) {
      log += "thrown:" + std::string(e.what());
    }
    log += "@" + std::to_string(t->Pos()) + ";";
  }
  return log;
}

// A wrapper that hides the view of what it wraps: every byte goes through Read.
class THiddenView : public TStreamWrapper {
 public:
  VXL_CLASS(THiddenView, TStreamWrapper)
  std::span<const uint8_t> PeekBuffered() override { return {}; }
  void ConsumeBuffered(size_t) override {}
};
VXL_DEFINE_CLASS(THiddenView)

enum class Source { kFile, kFileHidden, kMemoryViewed, kMemory, kPipe, kOneWay };

// A C file reading a pipe that holds `content` and is closed by its writer.
std::FILE* PipeOf(const std::string& content) {
  int fds[2];
  if (pipe(fds) != 0) std::abort();
  if (write(fds[1], content.data(), content.size()) != static_cast<ssize_t>(content.size()))
    std::abort();
  close(fds[1]);
  return fdopen(fds[0], "rb");
}

Ref<TTextStream> Open(const std::string& content, uint8_t selector, Source source) {
  Ref<TStream> inner;
  int32_t piece = 1 + (selector >> 4) % 7;
  switch (source) {
    case Source::kFile:
    case Source::kFileHidden: {
      std::FILE* f = fmemopen(const_cast<char*>(content.data()), content.size(), "rb");
      if (!f) std::abort();
      inner = TCStream::CreateWithCStream(f, TCStream::MODE_READ);
      if (source == Source::kFileHidden) {
        auto hidden = New<THiddenView>();
        hidden->SetStream(inner);
        inner = hidden;
      }
      break;
    }
    case Source::kMemoryViewed:
      inner = test::TMemoryStream::Of(content, piece);
      break;
    case Source::kMemory:
      inner = test::TMemoryStream::Of(content);
      break;
    case Source::kPipe:
      inner = TCStream::CreateWithCStream(PipeOf(content), TCStream::MODE_READ);
      break;
    case Source::kOneWay:
      inner = test::TOneWayStream::Of(content, piece);
      break;
  }
  int32_t encoding = selector % 6;  // 0 and 5 are outside the four
  Ref<TTextStream> t = TTextStream::Create(inner, encoding);
  if (selector & 0x80) t = TTextStream::Create(t, (selector >> 3) % 5);  // stacked
  return t;
}

std::string Printable(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    char buf[8];
    std::snprintf(buf, sizeof buf, c >= 32 && c < 127 ? "%c" : "\\x%02X", c);
    out += buf;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static int init = (InitTextStreamModule(), 0);
  (void)init;
  // fmemopen wants at least one byte of content.
  if (size < 2 + kProgramBytes || size > 65536) return 0;
  uint8_t selector = data[0];
  const uint8_t* program = data + 1;
  std::string content(reinterpret_cast<const char*>(data + 1 + kProgramBytes),
                      size - 1 - kProgramBytes);
  const Source pairs[][2] = {{Source::kFile, Source::kFileHidden},
                             {Source::kMemoryViewed, Source::kMemory},
                             {Source::kPipe, Source::kOneWay}};
  for (const auto& pair : pairs) {
    // A pipe holds at most 64 KiB before its reader starts.
    if (pair[0] == Source::kPipe && content.size() > 60000) continue;
    std::string viewed = Run(Open(content, selector, pair[0]), program);
    std::string plain = Run(Open(content, selector, pair[1]), program);
    if (viewed != plain) {
      std::fprintf(stderr, "viewed: %s\nplain:  %s\n", Printable(viewed).c_str(),
                   Printable(plain).c_str());
      std::abort();
    }
  }
  return 0;
}
