// Byte-order wrappers and the nesting "bigendian::" / "littleendian::" protocols.
#include "memstream/endian_stream.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "memstream/embedded_files.h"
#include "memstream/ram_stream.h"
#include "stream/text_stream.h"
#include "support/temp_dir.h"

namespace vxl {
namespace {

const uint8_t kBigInts[8] = {0, 0, 1, 2, 1, 2, 0xFF, 0xFE};

class EndianStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitRamStreamModule();
    InitEndianStreamModule();
    RegisterEmbeddedFile("endian-test.bin", kBigInts, sizeof kBigInts);
    file = String(dir.Write("ints.bin", std::string("\0\0\1\2", 4)).c_str());
  }
  test::TempDir dir;
  String file;
};

TEST_F(EndianStreamTest, BigAndLittleEndianReadsOfAFile) {
  Ref<TStream> big = OpenStreamUrl("bigendian::" + file, 1, 0);
  ASSERT_TRUE(big.As<TXEndianStream>());
  EXPECT_EQ(big->ReadInt(), 258);
  big->Seek(2);
  EXPECT_EQ(big->ReadShort(), 258);
  big->Close();

  Ref<TStream> little = OpenStreamUrl("LittleEndian::" + file, 1, 0);
  ASSERT_TRUE(little.As<TCStream>()) << "little-endian access is the file stream itself";
  EXPECT_EQ(little->ReadInt(), 33619968);
  little->Seek(2);
  EXPECT_EQ(little->ReadShort(), 513);
  little->Close();

  EXPECT_FALSE(OpenStreamUrl("bigendian::" + file + ".missing", 1, 0));
  EXPECT_FALSE(OpenStreamUrl(String("bigendian::nosuch::x"), 1, 0));
  EXPECT_FALSE(OpenStreamUrl(String("middleendian::x"), 1, 0));
}

TEST_F(EndianStreamTest, ProtocolsNest) {
  Ref<TStream> s = OpenStreamUrl(String("bigendian::incbin::endian-test.bin"), 1, 0);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->ReadInt(), 258);
  EXPECT_EQ(s->ReadShort(), 258);
  EXPECT_EQ(s->ReadShort(), 0xFFFE) << "shorts are unsigned";
  EXPECT_EQ(s->Eof(), 1);
  EXPECT_EQ(s->ReadInt(), 0) << "past the end typed reads give zero";

  Ref<TStream> l = OpenStreamUrl(String("littleendian::incbin::endian-test.bin"), 1, 0);
  ASSERT_TRUE(l.As<TRamStream>());

  // The outer wrapper reads its bytes through the inner one's Read, which does not swap, so
  // two big-endian levels swap once.
  Ref<TStream> twice = OpenStreamUrl(String("bigendian::BIGENDIAN::incbin::endian-test.bin"), 1, 0);
  ASSERT_TRUE(twice);
  EXPECT_EQ(twice->ReadInt(), 258);

  EXPECT_FALSE(OpenStreamUrl(String("bigendian::incbin::endian-test.bin"), 1, 1))
      << "embedded files never open for writing";
}

TEST_F(EndianStreamTest, OneNestingLimitForEveryProtocol) {
  InitTextStreamModule();
  const char* const protocols[] = {
      "bigendian::", "littleendian::", "latin1::", "utf8::", "utf16be::", "utf16le::"};
  for (const char* only : protocols) {
    for (bool mixed : {false, true}) {
      SCOPED_TRACE(std::string(only) + (mixed ? " mixed" : ""));
      std::string url = "incbin::endian-test.bin";
      for (int i = 0; i < kMaxUrlNesting - 1; ++i)
        url = (mixed ? protocols[i % 6] : only) + url;
      EXPECT_TRUE(OpenStreamUrl(String(url.c_str()), 1, 0));
      url = only + url;
      EXPECT_TRUE(OpenStreamUrl(String(url.c_str()), 1, 0)) << "the limit itself opens";
      url = only + url;
      EXPECT_FALSE(OpenStreamUrl(String(url.c_str()), 1, 0));
    }
  }
  // Forty thousand levels are refused at the limit, without a copy of the rest per level.
  std::string deep;
  for (int i = 0; i < 40000; ++i)
    deep += "latin1::";
  EXPECT_FALSE(OpenStreamUrl(String((deep + "incbin::endian-test.bin").c_str()), 1, 0));
  // The depth count is restored afterwards, also after a factory threw.
  EXPECT_TRUE(OpenStreamUrl(String("bigendian::incbin::endian-test.bin"), 1, 0));
}

TEST_F(EndianStreamTest, WritesSwapEveryTypedValue) {
  std::array<uint8_t, 26> block{};
  Ref<TStream> s = WrapBigEndian(NewRamStream(block.data(), 26, 1, 1));
  s->WriteShort(0x10203);  // the low 16 bits
  s->WriteInt(0x01020304);
  s->WriteLong(0x0102030405060708LL);
  s->WriteFloat(1.0f);
  s->WriteDouble(-2.0);
  std::array<uint8_t, 26> expected = {0x02, 0x03, 1,    2, 3, 4,    1, 2, 3, 4, 5, 6, 7,
                                      8,    0x3F, 0x80, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(block, expected);

  s->Seek(0);
  EXPECT_EQ(s->ReadShort(), 0x0203);
  EXPECT_EQ(s->ReadInt(), 0x01020304);
  EXPECT_EQ(s->ReadLong(), 0x0102030405060708LL);
  EXPECT_EQ(s->ReadFloat(), 1.0f);
  EXPECT_EQ(s->ReadDouble(), -2.0);

  // Bytes, strings and lines pass unchanged.
  s->Seek(0);
  s->WriteByte(0x41);
  s->WriteString("BC");
  s->Seek(0);
  EXPECT_EQ(s->ReadString(3).ToCString(), "ABC");

  EXPECT_FALSE(TXEndianStream::Create(nullptr));
  Ref<TStream> plain = NewRamStream(block.data(), 26, 1, 1);
  EXPECT_EQ(WrapLittleEndian(plain), plain);
}

TEST_F(EndianStreamTest, AWrappedBigEndianStreamForwardsIntsButNotLongs) {
  Ref<TStream> big = OpenStreamUrl(String("bigendian::incbin::endian-test.bin"), 1, 0);
  Ref<TStream> outer = OpenStreamUrl(big, 1, 0);
  ASSERT_TRUE(outer.As<TStreamStream>());
  EXPECT_EQ(outer->ReadInt(), 258);  // forwarded: swapped
  outer->Seek(0);
  int64_t raw = 0;
  std::memcpy(&raw, kBigInts, 8);
  EXPECT_EQ(outer->ReadLong(), raw);  // run on the wrapper itself over the raw bytes
  outer->Close();
  EXPECT_EQ(big->Pos(), 8) << "closing the outer wrapper leaves the stream open";
}

}  // namespace
}  // namespace vxl
