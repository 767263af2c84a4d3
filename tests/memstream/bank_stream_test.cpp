// Bank streams: reading and growing a TBank through the stream interface.
#include "memstream/bank_stream.h"

#include <gtest/gtest.h>

#include "memstream/endian_stream.h"
#include "support/temp_dir.h"

namespace vxl {
namespace {

class BankStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitBankStreamModule();
    InitEndianStreamModule();
  }
  test::TempDir dir;
};

TEST_F(BankStreamTest, WritingAtTheEndGrowsTheBank) {
  Ref<TBank> bank = NewBank(0);
  Ref<TBankStream> s = NewBankStream(bank);
  s->WriteInt(7);
  EXPECT_EQ(bank->Size(), 4);
  EXPECT_EQ(bank->PeekInt(0), 7);
  EXPECT_EQ(s->Seek(100), 4);
  EXPECT_EQ(s->Seek(-1), 0);
  s->Seek(2);
  s->WriteInt(0x01020304);  // overlaps the end: grows to 6
  EXPECT_EQ(bank->Size(), 6);
  EXPECT_EQ(bank->PeekShort(0), 7);
  EXPECT_EQ(bank->PeekInt(2), 0x01020304);

  s->Seek(0);
  EXPECT_EQ(s->ReadShort(), 7);
  EXPECT_EQ(s->ReadInt(), 0x01020304);
  EXPECT_EQ(s->Eof(), 1);
  uint8_t buf[4];
  EXPECT_EQ(s->Read(buf, 4), 0);
  EXPECT_EQ(s->ReadInt(), 0);
  EXPECT_EQ(s->Write(buf, 0), 0);
  EXPECT_EQ(bank->Size(), 6);
}

TEST_F(BankStreamTest, ABankGivenAsUrlOpensOverThatBank) {
  Ref<TBank> bank = NewBank(3);
  bank->PokeByte(0, 'a');
  bank->PokeByte(1, 'b');
  bank->PokeByte(2, '\n');
  for (int flags = 0; flags < 4; ++flags) {
    Ref<TStream> s = OpenStreamUrl(Ref<Object>(bank), flags & 1, flags >> 1);
    auto bs = s.As<TBankStream>();
    ASSERT_TRUE(bs);
    EXPECT_EQ(bs->_bank, bank);
    EXPECT_EQ(s->ReadLine().ToCString(), "ab");
    s->Close();
  }
  EXPECT_EQ(bank->Size(), 3) << "closing leaves the bank alone";

  // Saved and loaded back by a path given as a C string.
  std::string path = dir.File("bank.bin");
  EXPECT_TRUE(BankToUrl(bank, path.c_str()));
  EXPECT_EQ(BankFromUrl(path.c_str())->PeekByte(1), 'b');

  Ref<TBankStream> fresh = NewBankStream(nullptr);
  ASSERT_TRUE(fresh->_bank);
  EXPECT_EQ(fresh->Size(), 0);
}

TEST_F(BankStreamTest, StreamKeepsItsBankAliveAndSurvivesShrinking) {
  Ref<TBankStream> s = NewBankStream(NewBank(8));
  EXPECT_EQ(s->_bank->RefCount(), 1);
  s->Seek(8);
  s->_bank->Resize(2);  // someone else shrinks the bank under the stream
  uint8_t b = 1;
  EXPECT_EQ(s->Read(&b, 1), 0);
  EXPECT_EQ(s->Write(&b, 1), 0);
  EXPECT_THROW(s->WriteByte(1), Thrown);
  EXPECT_EQ(s->Seek(8), 2);
  EXPECT_EQ(s->Write(&b, 1), 1);
  EXPECT_EQ(s->Size(), 3);
}

TEST_F(BankStreamTest, BigEndianOverABank) {
  Ref<TBank> bank = NewBank(0);
  Ref<TStream> s = WrapBigEndian(NewBankStream(bank));
  s->WriteInt(258);
  s->WriteShort(0xABCD);
  EXPECT_EQ(bank->Size(), 6);
  EXPECT_EQ(bank->PeekByte(2), 1);
  EXPECT_EQ(bank->PeekByte(3), 2);
  EXPECT_EQ(bank->PeekByte(4), 0xAB);
  s->Seek(0);
  EXPECT_EQ(s->ReadInt(), 258);
  EXPECT_EQ(NewBankStream(bank)->ReadInt(), 0x02010000);
}

}  // namespace
}  // namespace vxl
