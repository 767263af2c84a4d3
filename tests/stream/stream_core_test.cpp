// The stream classes: typed values, bytes, lines, the TIO defaults, wrappers and TCStream files.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include <unistd.h>

#include "stream/stream.h"
#include "support/temp_dir.h"
#include "support/test_streams.h"
#include "support/thrown_text.h"

namespace vxl {
namespace {

using test::TempDir;
using test::TMemoryStream;

class StreamCore : public ::testing::Test {
 protected:
  void SetUp() override { InitStreamModule(); }
  TempDir dir;
};

TEST_F(StreamCore, TypedWritesAreLittleEndianAndReadBack) {
  std::string path = dir.File("typed.bin");
  {
    Ref<TCStream> s = TCStream::OpenFile(String(path.c_str()), 0, 1);
    ASSERT_TRUE(s);
    s->WriteByte(0x1FF);  // low byte only
    s->WriteShort(0x12345);
    s->WriteInt(-2);
    s->WriteLong(0x0102030405060708LL);
    s->WriteFloat(1.5f);
    s->WriteDouble(-0.25);
    EXPECT_EQ(s->Pos(), 1 + 2 + 4 + 8 + 4 + 8);
    EXPECT_EQ(s->Size(), s->Pos());
    s->Close();
  }
  std::string expected = std::string("\xFF\x45\x23\xFE\xFF\xFF\xFF", 7) +
                         std::string("\x08\x07\x06\x05\x04\x03\x02\x01", 8) +
                         std::string("\x00\x00\xC0\x3F", 4) +
                         std::string("\x00\x00\x00\x00\x00\x00\xD0\xBF", 8);
  EXPECT_EQ(TempDir::Read(path), expected);

  Ref<TCStream> s = TCStream::OpenFile(String(path.c_str()), 1, 0);
  EXPECT_EQ(s->ReadByte(), 255);  // unsigned
  EXPECT_EQ(s->ReadShort(), 0x2345);
  EXPECT_EQ(s->ReadInt(), -2);
  EXPECT_EQ(s->ReadLong(), 0x0102030405060708LL);
  EXPECT_EQ(s->ReadFloat(), 1.5f);
  EXPECT_EQ(s->ReadDouble(), -0.25);
  EXPECT_EQ(s->Eof(), 1);
}

TEST_F(StreamCore, ReadsPastTheEndKeepTheBytesThereAndZeroTheRest) {
  std::string path = dir.Write("short.bin", std::string("\x34\x12", 2));
  Ref<TCStream> s = TCStream::OpenFile(String(path.c_str()), 1, 0);
  EXPECT_EQ(s->ReadInt(), 0x1234);
  EXPECT_EQ(s->Eof(), 1);
  EXPECT_EQ(s->ReadInt(), 0);
  EXPECT_EQ(s->ReadByte(), 0);
  EXPECT_EQ(s->ReadDouble(), 0.0);
  EXPECT_EQ(s->ReadString(3), String(std::string_view("\0\0\0", 3)));

  auto m = TMemoryStream::Of(std::string("\x01\x02\x03", 3));
  EXPECT_EQ(m->ReadLong(), 0x030201);
  uint8_t buf[4] = {9, 9, 9, 9};
  m->Seek(2);
  EXPECT_EQ(m->ReadBytes(buf, 4), 4);  // reports the count asked for
  EXPECT_EQ(buf[0], 3);
  EXPECT_EQ(buf[1], 9);  // bytes past the end are left as they were
}

TEST_F(StreamCore, ReadBeforeTheEndThatDeliversNothingThrows) {
  // Seeking past the end of a file is allowed; the stream is then not at Eof but has no bytes.
  std::string path = dir.Write("ten.bin", "0123456789");
  Ref<TCStream> s = TCStream::OpenFile(String(path.c_str()), 1, 0);
  EXPECT_EQ(s->Seek(20), 20);
  EXPECT_EQ(s->Eof(), 0);
  EXPECT_THROW_TEXT(s->ReadInt(), "Error reading from stream");
  EXPECT_THROW_TEXT(s->SkipBytes(3), "Error reading from stream");
  s->Seek(2);
  EXPECT_EQ(s->SkipBytes(5), 5);
  EXPECT_EQ(s->ReadByte(), '7');
  EXPECT_EQ(s->SkipBytes(100), 100);  // stops quietly at the end
  EXPECT_EQ(s->Pos(), 10);
}

TEST_F(StreamCore, WritesThatDoNotGoThroughThrowOrReportZero) {
  std::string path = dir.Write("ro.bin", "abc");
  Ref<TCStream> s = TCStream::OpenFile(String(path.c_str()), 1, 0);
  EXPECT_THROW_TEXT_AS(TStreamWriteException, s->WriteInt(1), "Error writing to stream");
  EXPECT_EQ(s->WriteLine("x"), 0);  // WriteLine reports, never throws
  EXPECT_EQ(TempDir::Read(path), "abc");
}

TEST_F(StreamCore, WriteLineWritesLowBytesAndCrLf) {
  auto m = TMemoryStream::Of("");
  EXPECT_EQ(m->WriteLine("x"), 1);
  EXPECT_EQ(m->bytes, "x\r\n");
  m->WriteLine(String(u"\u20AC\u00E9"));
  EXPECT_EQ(m->bytes, "x\r\n\xAC\xE9\r\n");
  m->WriteString(String(u"A\u0142"));
  EXPECT_EQ(m->bytes, "x\r\n\xAC\xE9\r\nA\x42");
}

// Reads every line of `content` with a stream's ReadLine, recording text and position.
std::vector<std::pair<String, int32_t>> ReadAllLines(const Ref<TStream>& s, int limit) {
  std::vector<std::pair<String, int32_t>> lines;
  while (limit-- > 0) {
    String line = s->ReadLine();
    lines.emplace_back(line, s->Pos());
    if (s->Eof() && line.IsEmpty()) break;
  }
  return lines;
}

TEST_F(StreamCore, ReadLineRules) {
  auto m = TMemoryStream::Of("ab\r\ncd");
  EXPECT_EQ(m->ReadLine(), String("ab"));
  EXPECT_EQ(m->ReadLine(), String("cd"));
  EXPECT_EQ(m->ReadLine(), String(""));
  EXPECT_EQ(TMemoryStream::Of("a\rb\n")->ReadLine(), String("ab"));
  auto z = TMemoryStream::Of(std::string("x\0y\n\xE9", 5));
  EXPECT_EQ(z->ReadLine(), String("x"));  // a 0 byte ends the line too
  EXPECT_EQ(z->ReadLine(), String("y"));
  EXPECT_EQ(z->ReadLine(), String(u"\u00E9"));  // one character per byte

  std::string longLine(5000, 'q');
  longLine[1023] = '\r';
  auto l = TMemoryStream::Of(longLine + "\n");
  EXPECT_EQ(l->ReadLine().Length(), 4999);
}

TEST_F(StreamCore, FileReadLineMatchesTheByteAtATimeDefinition) {
  // Lines of every length, CR, LF and 0 bytes in bunches, lines longer than the C library's
  // buffer: reading from a buffered view (a file's C buffer, views of 1, 2 and 7 bytes, which
  // cut CR LF pairs apart) must give the same lines and positions as one Read per byte.
  std::mt19937 rng(7);
  std::string content;
  const char specials[] = {'\r', '\n', '\0', 'a', '\xFF'};
  for (int i = 0; i < 300000; ++i) {
    int r = rng() % 10000;
    if (r < 3)
      content.append(5000, 'L');
    else if (r < 1200)
      content.push_back(specials[rng() % 5]);
    else
      content.push_back(static_cast<char>('a' + rng() % 26));
  }
  std::string path = dir.Write("lines.txt", content);
  auto expected = ReadAllLines(TMemoryStream::Of(content), 1000000);
  Ref<TStream> viewed[] = {TCStream::OpenFile(String(path.c_str()), 1, 0),
                           TMemoryStream::Of(content, 1), TMemoryStream::Of(content, 2),
                           TMemoryStream::Of(content, 7)};
  for (const Ref<TStream>& s : viewed) {
    auto actual = ReadAllLines(s, 1000000);
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      ASSERT_EQ(actual[i].first, expected[i].first) << "line " << i;
      ASSERT_EQ(actual[i].second, expected[i].second) << "line " << i;
    }
  }
  // Mixed with other reads, the position stays exact.
  Ref<TCStream> s = TCStream::OpenFile(String(path.c_str()), 1, 0);
  s->ReadLine();
  int32_t at = s->Pos();
  uint8_t b = 0;
  s->Read(&b, 1);
  EXPECT_EQ(b, static_cast<uint8_t>(content[at]));
  s->Seek(3);
  auto m = TMemoryStream::Of(content);
  m->Seek(3);
  EXPECT_EQ(s->ReadLine(), m->ReadLine());
  EXPECT_EQ(s->Pos(), m->Pos());
}

TEST_F(StreamCore, OpenModes) {
  String missing(dir.File("missing.bin").c_str());
  EXPECT_FALSE(TCStream::OpenFile(missing, 1, 0));
  EXPECT_FALSE(TCStream::OpenFile(missing, 1, 1));                     // "r+b" does not create
  EXPECT_FALSE(TCStream::OpenFile(String(dir.Path().c_str()), 1, 0));  // a directory

  std::string path = dir.Write("data.bin", "0123456789");
  Ref<TCStream> rw = TCStream::OpenFile(String(path.c_str()), 1, 1);
  ASSERT_TRUE(rw);
  EXPECT_EQ(rw->_mode, 3);
  EXPECT_EQ(rw->Size(), 10);
  rw->Seek(4);
  rw->WriteString("ab");
  rw->Seek(0);
  EXPECT_EQ(rw->ReadString(10), String("0123ab6789"));  // updated in place
  rw->Close();

  Ref<TCStream> w = TCStream::OpenFile(String(path.c_str()), 0, 1);  // truncates
  EXPECT_EQ(w->_mode, 2);
  EXPECT_EQ(w->Size(), 0);
  w->WriteString("xy");
  EXPECT_EQ(w->Size(), 2);
  w->Close();
  EXPECT_EQ(TempDir::Read(path), "xy");

  Ref<TCStream> none = TCStream::OpenFile(String(path.c_str()), 0, 0);  // reads
  EXPECT_EQ(none->_mode, 1);
  EXPECT_EQ(none->ReadString(2), String("xy"));

  // Backslashes are separators.
  std::string sub = dir.File("sub");
  ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
  dir.Write("sub/f.txt", "hi");
  Ref<TCStream> back = TCStream::OpenFile(String((dir.Path() + "\\sub\\f.txt").c_str()), 1, 0);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->ReadLine(), String("hi"));
}

TEST_F(StreamCore, ClosedFileStream) {
  std::string path = dir.Write("c.bin", "abcd");
  Ref<TCStream> s = TCStream::OpenFile(String(path.c_str()), 1, 0);
  s->ReadByte();
  EXPECT_EQ(s->Close(), 0);
  EXPECT_EQ(s->Close(), 0);  // a second Close does nothing
  EXPECT_EQ(s->Pos(), 0);
  EXPECT_EQ(s->Size(), 0);
  EXPECT_EQ(s->Eof(), 1);
  EXPECT_EQ(s->Seek(2), 0);
  uint8_t b;
  EXPECT_THROW_TEXT(s->Read(&b, 1), "Stream is not readable");
  EXPECT_THROW_TEXT(s->Write(&b, 1), "Stream is not writeable");
}

TEST_F(StreamCore, PipeStreamReadsUntilReadDeliversNothing) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(write(fds[1], "line one\nab", 11), 11);
  close(fds[1]);
  Ref<TCStream> s = TCStream::CreateWithCStream(fdopen(fds[0], "rb"), TCStream::MODE_READ);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->Eof(), 0);  // not seekable: the end shows only when Read delivers nothing
  EXPECT_EQ(s->Seek(0), -1);
  EXPECT_EQ(s->ReadLine(), String("line one"));
  EXPECT_EQ(s->ReadShort(), 0x6261);
  EXPECT_EQ(s->Pos(), -1);  // as every stream that cannot seek
  uint8_t b;
  EXPECT_EQ(s->Read(&b, 1), 0);
  EXPECT_THROW_TEXT(s->ReadByte(), "Error reading from stream");
  s->Close();
}

TEST_F(StreamCore, FilePositionsPast2GiBAreCountedIn64Bits) {
  // A sparse file of 2 GiB + 17 bytes, entered 8 bytes before 2 GiB: no disk space needed.
  constexpr off_t k2GiB = off_t{1} << 31;
  std::string path = dir.File("big.bin");
  std::FILE* out = std::fopen(path.c_str(), "wb");
  ASSERT_TRUE(out);
  ASSERT_EQ(fseeko(out, k2GiB, SEEK_SET), 0);
  std::fputs("0123456789abcdef\n", out);
  std::fclose(out);
  auto enter = [&] {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    fseeko(f, k2GiB - 8, SEEK_SET);
    return TCStream::CreateWithCStream(f, TCStream::MODE_READ);
  };
  Ref<TCStream> s = enter();
  EXPECT_EQ(s->Pos(), INT32_MAX - 7);
  EXPECT_EQ(s->Size(), INT32_MAX) << "reported saturated";
  uint8_t zeros[8] = {1};
  s->ReadBytes(zeros, 8);
  EXPECT_EQ(zeros[0] | zeros[7], 0);
  EXPECT_EQ(s->Pos(), INT32_MAX);
  EXPECT_EQ(s->Eof(), 0) << "17 bytes are left";
  EXPECT_EQ(s->ReadLine(), String("0123456789abcdef"));
  EXPECT_EQ(s->Eof(), 1);
  // A whole load from there reads up to the real end.
  EXPECT_EQ(BytesFromUrl(enter()).Length(), 25);
}

TEST_F(StreamCore, ReleasingAFileStreamClosesIt) {
  std::string path = dir.File("released.bin");
  {
    Ref<TCStream> s = TCStream::OpenFile(String(path.c_str()), 0, 1);
    s->WriteInt(0x64636261);  // still in the C library's buffer
  }
  EXPECT_EQ(TempDir::Read(path), "abcd");
}

TEST_F(StreamCore, DefaultsOfTheIOProtocol) {
  auto s = New<TStream>();
  EXPECT_EQ(s->Pos(), -1);
  EXPECT_EQ(s->Size(), 0);
  EXPECT_EQ(s->Eof(), 0);  // -1 differs from 0: never at the end
  EXPECT_EQ(s->Seek(5), -1);
  EXPECT_EQ(s->Flush(), 0);
  EXPECT_EQ(s->Close(), 0);
  EXPECT_THROW_TEXT_AS(TRuntimeException, s->ReadByte(), "Stream is not readable");
  EXPECT_THROW_TEXT(s->WriteByte(1), "Stream is not writeable");
  EXPECT_THROW_TEXT_AS(String, s->ReadObject(), "Unable to read object");
  EXPECT_THROW_TEXT_AS(String, s->WriteObject(Ref<Object>()), "Unable to write object");
  EXPECT_TRUE(New<TStreamReadException>()->IsInstanceOf(TStreamException::StaticClass()));
}

// Swaps the bytes of ReadInt and ReadLong, to see which calls a wrapper forwards.
class TSwappingStream : public TMemoryStream {
 public:
  VXL_CLASS(TSwappingStream, TMemoryStream)
  int32_t ReadInt() override { return static_cast<int32_t>(__builtin_bswap32(TStream::ReadInt())); }
  int64_t ReadLong() override {
    return static_cast<int64_t>(__builtin_bswap64(TStream::ReadLong()));
  }
};
VXL_DEFINE_CLASS(TSwappingStream)

TEST_F(StreamCore, WrapperForwardsAllButTheByteAlgorithmsAndLongs) {
  auto inner = New<TSwappingStream>();
  inner->bytes = std::string("\0\0\0\1\0\0\0\0\0\0\0\2", 12);
  auto w = TStreamStream::Create(inner);
  EXPECT_EQ(w->ReadInt(), 1);                      // forwarded: swapped
  EXPECT_EQ(w->ReadLong(), 0x0200000000000000LL);  // the wrapper's own: raw bytes
  EXPECT_EQ(w->Pos(), 12);
  EXPECT_EQ(w->Eof(), 1);
  EXPECT_EQ(w->Close(), 0);
  EXPECT_TRUE(w->_stream.IsNull());
  EXPECT_EQ(inner->Seek(0), 0);  // the wrapped stream is untouched by the wrapper's Close
}

}  // namespace
}  // namespace vxl
