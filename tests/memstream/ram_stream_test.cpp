// RAM streams over caller memory and the embedded files behind "incbin::".
#include "memstream/ram_stream.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "memstream/embedded_files.h"
#include "support/thrown_text.h"

namespace vxl {
namespace {

const uint8_t kFontData[1536] = {1, 2, 3, 4};
const uint8_t kOther[4] = {9, 9, 9, 9};

class RamStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitRamStreamModule();
    RegisterEmbeddedFile("ram-test-font.bin", kFontData, sizeof kFontData);
  }
};

TEST_F(RamStreamTest, EmbeddedFilesOpenReadOnlyByExactName) {
  Ref<TStream> s = OpenStreamUrl(String("InCbIn::ram-test-font.bin"), 1, 0);
  ASSERT_TRUE(s);
  auto ram = s.As<TRamStream>();
  ASSERT_TRUE(ram);
  EXPECT_EQ(s->Size(), 1536);
  EXPECT_EQ(s->ReadInt(), 0x04030201);
  EXPECT_EQ(ram->Writeable(), 0);
  uint8_t b = 7;
  EXPECT_EQ(s->Write(&b, 1), 0);
  EXPECT_THROW(s->WriteByte(1), Thrown);
  EXPECT_EQ(kFontData[4], 0);

  EXPECT_FALSE(OpenStreamUrl(String("incbin::RAM-TEST-FONT.BIN"), 1, 0));
  EXPECT_FALSE(OpenStreamUrl(String("incbin::ram-test-font.bin"), 1, 1));
  EXPECT_FALSE(OpenStreamUrl(String("incbin::ram-test-font.bin"), 0, 1));
  EXPECT_FALSE(OpenStreamUrl(String("incbin::nothing"), 1, 0));
  EXPECT_FALSE(OpenStreamUrl(String("ram::ram-test-font.bin"), 1, 0));
}

TEST_F(RamStreamTest, RegisteringANameTwiceKeepsTheFirstData) {
  EXPECT_EQ(RegisterEmbeddedFile("ram-test-once", kFontData, 8), 1);
  EXPECT_EQ(RegisterEmbeddedFile("ram-test-once", kOther, 4), 0);
  EXPECT_EQ(EmbeddedFileData("ram-test-once"), kFontData);
  EXPECT_EQ(EmbeddedFileLength("ram-test-once"), 8);
  EXPECT_EQ(EmbeddedFileData("ram-test-ONCE"), nullptr);
  EXPECT_EQ(EmbeddedFileLength("missing"), 0);
}

TEST_F(RamStreamTest, ReadsWritesAndSeeksStayInsideTheBlock) {
  std::array<uint8_t, 6> block{};
  Ref<TRamStream> s = NewRamStream(block.data(), 6, 1, 1);
  EXPECT_EQ(s->Pos(), 0);
  EXPECT_EQ(s->Seek(-5), 0);
  EXPECT_EQ(s->Seek(99), 6);
  EXPECT_EQ(s->Eof(), 1);
  s->Seek(0);
  s->WriteInt(0x11223344);
  EXPECT_EQ(block[0], 0x44);
  EXPECT_EQ(block[3], 0x11);
  // Past the end: what fits is written, then WriteBytes throws for the rest.
  EXPECT_THROW_TEXT_AS(TStreamWriteException, s->WriteInt(0x55667788), "Error writing to stream");
  EXPECT_EQ(block[4], 0x88);
  EXPECT_EQ(block[5], 0x77);
  EXPECT_EQ(s->Pos(), 6);

  s->Seek(2);
  uint8_t buf[8] = {};
  EXPECT_EQ(s->Read(buf, 8), 4);
  EXPECT_EQ(s->Read(buf, 8), 0);
  EXPECT_EQ(s->Read(buf, 0), 0);
  EXPECT_EQ(s->Read(buf, -3), 0);
  s->Seek(4);
  EXPECT_EQ(s->ReadInt(), 0x7788) << "a read past the end leaves the missing bytes zero";

  Ref<TRamStream> readOnly = NewRamStream(block.data(), 6, 1, 0);
  EXPECT_EQ(readOnly->Write(buf, 1), 0);
  Ref<TRamStream> writeOnly = NewRamStream(block.data(), 6, 0, 1);
  EXPECT_EQ(writeOnly->Read(buf, 1), 0);
  EXPECT_EQ(NewRamStream(block.data(), -4, 1, 1)->Size(), 0);
}

}  // namespace
}  // namespace vxl
