// Text streams: encodings, lines, numbers, hexadecimal lines, the factory and TextToUrl.
#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <thread>

#include <sys/stat.h>

#include "stream/text_stream.h"
#include "support/temp_dir.h"
#include "support/test_streams.h"
#include "support/thrown_text.h"

namespace vxl {
namespace {

using test::TempDir;
using test::TMemoryStream;

class TextStream : public ::testing::Test {
 protected:
  void SetUp() override { InitTextStreamModule(); }
  String Url(const char* proto, const std::string& name) {
    return String((std::string(proto) + "::" + dir.File(name)).c_str());
  }
  TempDir dir;
};

Ref<TTextStream> OverMemory(const std::string& bytes, int32_t encoding) {
  return TTextStream::Create(TMemoryStream::Of(bytes), encoding);
}
std::string Written(const Ref<TTextStream>& t) {
  return t->_stream.As<TMemoryStream>()->bytes;
}

TEST_F(TextStream, Utf8FileLineRoundTrip) {
  Ref<TStream> w = OpenForWriting(Url("utf8", "notes.txt"));
  ASSERT_TRUE(w.As<TTextStream>());
  EXPECT_EQ(w.As<TTextStream>()->_encoding, TTextStream::UTF8);
  w->WriteLine(String(u"\u00E9"));
  w->Close();
  EXPECT_EQ(TempDir::Read(dir.File("notes.txt")), "\xC3\xA9\r\n");
  Ref<TStream> r = OpenForReading(Url("UTF8", "notes.txt"));
  EXPECT_EQ(r->ReadLine(), String(u"\u00E9"));
  EXPECT_EQ(r->Eof(), 1);
}

TEST_F(TextStream, EachEncodingWritesExactBytesAndReadsThemBack) {
  // 'A', e acute, the last two-byte and first three-byte UTF-8 characters, the euro sign.
  String text(u"A\u00E9\u07FF\u0800\u20AC");
  struct Case {
    int32_t encoding;
    std::string bytes;
  } cases[] = {
      {TTextStream::LATIN1, std::string("A\xE9\xFF\x00\xAC\r\n", 7)},
      {TTextStream::UTF8, "A\xC3\xA9\xDF\xBF\xE0\xA0\x80\xE2\x82\xAC\r\n"},
      {TTextStream::UTF16BE, std::string("\0A\0\xE9\x07\xFF\x08\x00\x20\xAC\0\r\0\n", 14)},
      {TTextStream::UTF16LE, std::string("A\0\xE9\0\xFF\x07\x00\x08\xAC\x20\r\0\n\0", 14)},
  };
  for (const Case& c : cases) {
    auto t = OverMemory("", c.encoding);
    EXPECT_EQ(t->WriteLine(text), 1);
    EXPECT_EQ(Written(t), c.bytes) << "encoding " << c.encoding;
    if (c.encoding == TTextStream::LATIN1) continue;  // Latin-1 keeps only the low bytes
    auto r = OverMemory(c.bytes, c.encoding);
    EXPECT_EQ(r->ReadLine(), text) << "encoding " << c.encoding;
  }
  auto le = OverMemory("", TTextStream::UTF16LE);
  le->WriteLine("A");
  EXPECT_EQ(Written(le), std::string("A\0\r\0\n\0", 6));
}

TEST_F(TextStream, MalformedUtf8DecodesByTheArithmetic) {
  auto r = OverMemory(std::string("\x80\x41\xE0\x00\x00\xF5\x01\x02\xC3", 9), TTextStream::UTF8);
  EXPECT_EQ(r->ReadChar(), 61377);  // (128-192)*64 + (65-128), modulo 65536
  EXPECT_EQ(r->ReadChar(), 57216);  // (0)*4096 + (-128)*64 + (-128)
  EXPECT_EQ(r->ReadChar(), 0);      // 240 and above: three bytes, character 0
  EXPECT_EQ(r->ReadChar(), 64);     // cut at the end: the missing byte reads as 0
  EXPECT_EQ(r->Eof(), 1);

  // The byte-order mark is not skipped; a character 0 ends a line like LF.
  auto bom = OverMemory("\xEF\xBB\xBFhi\r\nx\xF0\x80\x80y", TTextStream::UTF8);
  EXPECT_EQ(bom->ReadLine(), String(u"\uFEFFhi"));
  EXPECT_EQ(bom->ReadLine(), String("x"));
  EXPECT_EQ(bom->ReadLine(), String("y"));

  auto other = OverMemory("ab", 9);  // an encoding number outside the four
  EXPECT_EQ(other->ReadChar(), 0);
  EXPECT_EQ(other->_stream->Pos(), 1);
  other->WriteChar('z');
  EXPECT_EQ(Written(other), "ab");
}

TEST_F(TextStream, NumbersAreDecimalLines) {
  auto t = OverMemory("", TTextStream::UTF16LE);
  t->WriteInt(-5);
  EXPECT_EQ(Written(t), std::string("-\0"
                                    "5\0\r\0\n\0",
                                    8));

  auto w = OverMemory("", TTextStream::LATIN1);
  w->WriteFloat(0.5f);
  w->WriteDouble(0.1);
  w->WriteLong(-9000000000LL);
  w->WriteByte(300);
  w->WriteShort(70000);
  EXPECT_EQ(Written(w), "0.500000000\r\n0.10000000000000001\r\n-9000000000\r\n300\r\n70000\r\n");

  auto r = OverMemory("  42xyz\n300\n$1F\n-9000000000\n2.5e3\n0.1\n", TTextStream::UTF8);
  EXPECT_EQ(r->ReadInt(), 42);
  EXPECT_EQ(r->ReadByte(), 300);  // no range check
  EXPECT_EQ(r->ReadShort(), 31);
  EXPECT_EQ(r->ReadLong(), -9000000000LL);
  EXPECT_EQ(r->ReadFloat(), 2500.0f);
  EXPECT_EQ(r->ReadDouble(), 0.1);
}

TEST_F(TextStream, RawBytesAreHexadecimalLines) {
  uint8_t bytes[40];
  for (int i = 0; i < 40; ++i)
    bytes[i] = static_cast<uint8_t>(i * 7 + 0xA0);
  auto w = OverMemory("", TTextStream::UTF16LE);
  EXPECT_EQ(w->Write(bytes, 40), 40);
  EXPECT_EQ(w->_bufcount, 8);
  w->WriteLine("z");
  std::string hex;
  for (int i = 0; i < 40; ++i) {
    char pair[3];
    snprintf(pair, sizeof pair, "%02X", bytes[i]);
    hex += pair;
    if (i == 31) hex += "\r\n";
  }
  // The digits are raw bytes; the line of text after them is encoded.
  EXPECT_EQ(Written(w), hex + "\r\n" + std::string("z\0\r\0\n\0", 6));
  EXPECT_EQ(w->_bufcount, 0);

  auto r = OverMemory(Written(w), TTextStream::UTF16LE);
  uint8_t back[40] = {};
  EXPECT_EQ(r->ReadBytes(back, 40), 40);
  EXPECT_EQ(std::memcmp(back, bytes, 40), 0);
  EXPECT_EQ(r->ReadLine(), String("z"));  // closes the hexadecimal line first

  uint8_t b[2];
  auto cases = OverMemory("0a0A", TTextStream::LATIN1);
  cases->Read(b, 2);
  EXPECT_EQ(b[0], 42);  // 'a' counts as 97 - 55
  EXPECT_EQ(b[1], 10);

  auto lfOnly = OverMemory("01\n02", TTextStream::LATIN1);
  lfOnly->Read(b, 1);
  EXPECT_EQ(lfOnly->ReadLine(), String("02"));
}

TEST_F(TextStream, MalformedHexadecimalTerminatorThrowsTheString) {
  auto bad = OverMemory("01x\r\n", TTextStream::LATIN1);
  uint8_t b;
  bad->Read(&b, 1);
  EXPECT_THROW_TEXT_AS(String, bad->ReadLine(), "Malformed line terminator");
  auto crOnly = OverMemory("01\r2", TTextStream::LATIN1);
  crOnly->Read(&b, 1);
  EXPECT_THROW_TEXT(crOnly->ReadInt(), "Malformed line terminator");

  // 32 bytes close a line: the 33rd read checks the terminator.
  auto full = OverMemory(std::string(64, '1') + "X1", TTextStream::LATIN1);
  uint8_t block[33];
  EXPECT_THROW_TEXT(full->Read(block, 33), "Malformed line terminator");
}

TEST_F(TextStream, ReadStringReadFileAndLineEnds) {
  auto r = OverMemory(std::string("ab\r\ncd\0e", 8), TTextStream::UTF8);
  EXPECT_EQ(r->ReadString(3), String("ab\r"));
  EXPECT_EQ(r->ReadFile(), String(std::u16string_view(u"\ncd\0e", 5)));  // line ends and all
  auto all = OverMemory(std::string("a\r\n\0b", 5), TTextStream::LATIN1);
  EXPECT_EQ(all->ReadFile(), String(std::u16string_view(u"a\r\n\0b", 5)));
  auto more = OverMemory("x", TTextStream::UTF16BE);
  EXPECT_EQ(more->ReadString(2), String(std::u16string_view(u"\u7800\0", 2)));
}

// Lines and positions read through the buffered file path and through the generic one.
std::vector<std::pair<String, int32_t>> Lines(const Ref<TTextStream>& t) {
  std::vector<std::pair<String, int32_t>> out;
  while (!t->Eof())
    out.emplace_back(t->ReadLine(), t->Pos());
  return out;
}

TEST_F(TextStream, FileReadingMatchesTheCharacterAtATimeDefinition) {
  std::mt19937 rng(11);
  std::string content;
  const char specials[] = {'\r', '\n', '\0', '\xC3', '\xE2', '\xF0', '\x80'};
  for (int i = 0; i < 200000; ++i) {
    if (rng() % 9 == 0)
      content.push_back(specials[rng() % 7]);
    else
      content.push_back(static_cast<char>(rng() % 256));
  }
  content.append(6000, 'x');  // a line longer than the C library's buffer
  std::string path = dir.Write("mixed.bin", content);
  for (int32_t enc = 1; enc <= 5; ++enc) {
    SCOPED_TRACE(enc);
    // The definition: one ReadChar at a time over a stream that holds no bytes in view.
    auto generic = Lines(TTextStream::Create(TMemoryStream::Of(content), enc));
    // Decoded in place: from a file's C buffer (through a wrapper too), and from views of 1, 2
    // and 5 bytes that cut characters apart.
    Ref<TStream> viewed[] = {TCStream::OpenFile(String(path.c_str()), 1, 0),
                             TStreamStream::Create(TCStream::OpenFile(String(path.c_str()), 1, 0)),
                             TMemoryStream::Of(content, 1), TMemoryStream::Of(content, 2),
                             TMemoryStream::Of(content, 5)};
    for (const Ref<TStream>& in : viewed) {
      auto direct = Lines(TTextStream::Create(in, enc));
      ASSERT_EQ(direct.size(), generic.size());
      for (size_t i = 0; i < direct.size(); ++i) {
        ASSERT_EQ(direct[i], generic[i]) << "line " << i;
      }
      // ReadFile from the middle.
      in->Seek(12345);
      auto plain = TMemoryStream::Of(content);
      plain->Seek(12345);
      EXPECT_EQ(TTextStream::Create(in, enc)->ReadFile(),
                TTextStream::Create(plain, enc)->ReadFile());
    }
  }
}

TEST_F(TextStream, LinesFromAPipe) {
  // A pipe cannot seek and never reports its end; its bytes arrive in the C library's buffer a
  // fill at a time, with UTF-8 characters cut at fill boundaries.
  std::string content;
  std::vector<String> expected;
  for (int i = 0; i < 3000; ++i) {
    std::u16string line(static_cast<size_t>(i % 40), u'\u00E9');
    line += u"\u20AC" + std::u16string(1, static_cast<char16_t>('a' + i % 26));
    expected.push_back(String(std::u16string_view(line)));
    for (char16_t c : line) {
      if (c < 0x80) {
        content += static_cast<char>(c);
      } else if (c < 0x800) {
        content += static_cast<char>(0xC0 | (c >> 6));
        content += static_cast<char>(0x80 | (c & 63));
      } else {
        content += static_cast<char>(0xE0 | (c >> 12));
        content += static_cast<char>(0x80 | ((c >> 6) & 63));
        content += static_cast<char>(0x80 | (c & 63));
      }
    }
    content += i % 2 ? "\r\n" : "\n";
  }
  std::string fifo = dir.File("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::signal(SIGPIPE, SIG_IGN);  // a reader that stops early must not end the test program
  std::thread writer([&] {
    std::FILE* f = std::fopen(fifo.c_str(), "wb");
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
  });
  Ref<TStream> s = OpenForReading(Url("utf8", "fifo"));
  std::vector<String> lines;
  String end = "nothing thrown";
  try {
    while (lines.size() < expected.size())
      lines.push_back(s->ReadLine());
    // The pipe is empty and closed by the writer: the next line finds nothing to read.
    s->ReadLine();
  } catch (const Thrown& e) {
    end = e.Text();
  }
  s->Close();
  writer.join();
  EXPECT_TRUE(lines == expected);
  EXPECT_EQ(end, String("Error reading from stream"));
}

TEST_F(TextStream, NothingToReadBeforeTheEndThrowsOnBothPaths) {
  std::string path = dir.Write("short.txt", "one\ntwo\n");
  Ref<TStream> direct = TCStream::OpenFile(String(path.c_str()), 1, 0);
  Ref<TStream> generic = TCStream::OpenFile(String(path.c_str()), 1, 0);
  auto a = TTextStream::Create(direct, TTextStream::UTF8);
  auto b = TTextStream::Create(TStreamStream::Create(generic), TTextStream::UTF8);
  EXPECT_EQ(a->ReadLine(), String("one"));
  EXPECT_EQ(b->ReadLine(), String("one"));
  // Past the end of the file the stream is not at Eof, but the file has no bytes there.
  direct->Seek(20);
  generic->Seek(20);
  EXPECT_THROW_TEXT(a->ReadLine(), "Error reading from stream");
  EXPECT_THROW_TEXT(b->ReadLine(), "Error reading from stream");
  EXPECT_EQ(a->Pos(), 20);
  EXPECT_EQ(b->Pos(), 20);
}

TEST_F(TextStream, FactoryProtocolsAndNesting) {
  const char* protos[] = {"latin1", "utf8", "utf16be", "utf16le"};
  dir.Write("f.txt", "x");
  for (int32_t i = 0; i < 4; ++i) {
    Ref<TStream> s = OpenForReading(Url(protos[i], "f.txt"));
    ASSERT_TRUE(s.As<TTextStream>()) << protos[i];
    EXPECT_EQ(s.As<TTextStream>()->_encoding, i + 1);
    EXPECT_TRUE(s.As<TTextStream>()->_stream.As<TCStream>());
  }
  EXPECT_FALSE(OpenForReading(Url("utf32", "f.txt")));
  EXPECT_FALSE(OpenForReading(Url("utf8", "missing.txt")));

  // Protocols nest through the full URL rule: a UTF-8 stream over a Latin-1 stream.
  Ref<TStream> nested = OpenForWriting(Url("Utf8::LATIN1", "n.txt"));
  ASSERT_TRUE(nested.As<TTextStream>());
  auto inner = nested.As<TTextStream>()->_stream.As<TTextStream>();
  ASSERT_TRUE(inner);
  EXPECT_EQ(inner->_encoding, TTextStream::LATIN1);
  nested->WriteString(String(u"\u00E9"));  // two UTF-8 bytes, each written as a decimal line
  nested->Close();
  EXPECT_EQ(TempDir::Read(dir.File("n.txt")), "195\r\n169\r\n");
  Ref<TStream> back = OpenForReading(Url("utf8::latin1", "n.txt"));
  EXPECT_EQ(back->ReadLine(), String(u"\u00E9"));
}

TEST_F(TextStream, ClosingClosesTheWrappedFile) {
  Ref<TCStream> file = TCStream::OpenFile(String(dir.File("c.txt").c_str()), 0, 1);
  auto t = TTextStream::Create(file, TTextStream::UTF8);
  t->WriteLine("x");
  t->Close();
  EXPECT_EQ(file->_cstream, nullptr);
  EXPECT_EQ(TempDir::Read(dir.File("c.txt")), "x\r\n");
}

TEST_F(TextStream, TextToUrl) {
  EXPECT_EQ(TextToUrl("abc", String(dir.File("a.txt").c_str())), 0);
  EXPECT_EQ(TempDir::Read(dir.File("a.txt")), "abc");
  String wide(u"a\u20ACb");
  TextToUrl(wide, String(dir.File("w.txt").c_str()));
  EXPECT_EQ(TempDir::Read(dir.File("w.txt")), std::string("\xFF\xFE"
                                                          "a\0\xAC\x20"
                                                          "b\0",
                                                          8));

  String nowhere(dir.File("no/such/dir/x.txt").c_str());
  EXPECT_THROW_TEXT(TextToUrl("abc", nowhere), "Error writing to stream");
  EXPECT_THROW_TEXT(TextToUrl(wide, nowhere), "Error writing to stream");

  // A stream passed as URL is written but left open.
  auto m = TMemoryStream::Of("");
  TextToUrl(wide, Ref<Object>(m));
  EXPECT_EQ(m->bytes.size(), 8u);
  EXPECT_EQ(m->WriteString("!"), 0);
}

}  // namespace
}  // namespace vxl
