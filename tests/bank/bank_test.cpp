#include "bank/bank.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "support/temp_dir.h"
#include "support/test_streams.h"
#include "support/thrown_text.h"

namespace vxl {
namespace {

using test::TMemoryStream;
using test::TOneWayStream;

class BankTest : public ::testing::Test {
 protected:
  void SetUp() override { InitBankModule(); }
};

template <class F>
void ExpectOutOfBounds(F&& f) {
  EXPECT_THROW_TEXT_AS(TArrayBoundsException, f(),
                       "Attempt to index array element beyond array length");
}

TEST_F(BankTest, GrowthRule) {
  auto bank = NewBank(0);
  EXPECT_EQ(bank->Size(), 0);
  EXPECT_EQ(bank->Capacity(), 0);
  bank->Resize(10);
  EXPECT_EQ(bank->Capacity(), 10);

  auto a = NewBank(100);
  a->Resize(101);
  EXPECT_EQ(a->Capacity(), 150);
  EXPECT_EQ(a->Size(), 101);
  auto b = NewBank(100);
  b->Resize(200);
  EXPECT_EQ(b->Capacity(), 200);
  auto c = NewBank(101);
  c->Resize(102);
  EXPECT_EQ(c->Capacity(), 151);  // 101 * 3 / 2, rounded toward zero
}

TEST_F(BankTest, ShrinkingKeepsMemoryAndGrowingKeepsBytes) {
  auto bank = NewBank(8);
  for (int i = 0; i < 8; ++i)
    bank->PokeByte(i, i + 1);
  uint8_t* buf = bank->Buf();
  bank->Resize(3);
  EXPECT_EQ(bank->Capacity(), 8);
  EXPECT_EQ(bank->Buf(), buf);
  bank->Resize(8);  // within the capacity: same memory
  EXPECT_EQ(bank->Buf(), buf);
  bank->Resize(50);  // moves, keeping the bytes
  EXPECT_EQ(bank->Capacity(), 50);
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(bank->PeekByte(i), i + 1);
  ExpectOutOfBounds([&] { bank->Resize(-1); });
  ExpectOutOfBounds([] { NewBank(-5); });
}

TEST_F(BankTest, PokesAreLittleEndianAndKeepTheLowBits) {
  auto bank = NewBank(8);
  bank->PokeInt(0, 258);
  EXPECT_EQ(bank->PeekByte(0), 2);
  EXPECT_EQ(bank->PeekByte(1), 1);
  EXPECT_EQ(bank->PeekByte(2), 0);
  EXPECT_EQ(bank->PeekByte(3), 0);
  bank->PokeShort(0, -1);
  EXPECT_EQ(bank->PeekShort(0), 65535);
  bank->PokeByte(0, 300);
  EXPECT_EQ(bank->PeekByte(0), 44);
  bank->PokeInt(4, -2);
  EXPECT_EQ(bank->PeekInt(4), -2);
  EXPECT_EQ(bank->PeekByte(7), 255);
}

TEST_F(BankTest, PeekPokeRoundTripsAtOddOffsets) {
  auto bank = NewBank(64);
  for (int32_t off : {1, 3, 7, 13, 55}) {
    bank->PokeLong(off, INT64_C(-0x123456789ABCDEF));
    EXPECT_EQ(bank->PeekLong(off), INT64_C(-0x123456789ABCDEF));
    bank->PokeDouble(off, -1.0 / 3.0);
    EXPECT_EQ(bank->PeekDouble(off), -1.0 / 3.0);
    bank->PokeFloat(off, 3.1415927f);
    EXPECT_EQ(bank->PeekFloat(off), 3.1415927f);
    bank->PokeInt(off, INT32_MIN);
    EXPECT_EQ(bank->PeekInt(off), INT32_MIN);
    bank->PokeShort(off, 0xBEEF);
    EXPECT_EQ(bank->PeekShort(off), 0xBEEF);
  }
  bank->PokeDouble(9, std::numeric_limits<double>::infinity());
  EXPECT_TRUE(std::isinf(bank->PeekDouble(9)));
  // The last bytes of the bank are reachable, one past is not.
  bank->PokeLong(56, 42);
  EXPECT_EQ(BankPeekLong(bank, 56), 42);
}

TEST_F(BankTest, AccessOutsideTheBankIsRefusedAndChangesNothing) {
  auto bank = NewBank(16);
  for (int i = 0; i < 16; ++i)
    bank->PokeByte(i, 0x5A);
  ExpectOutOfBounds([&] { bank->PeekByte(16); });
  ExpectOutOfBounds([&] { bank->PeekByte(-1); });
  ExpectOutOfBounds([&] { bank->PokeInt(13, 1); });
  ExpectOutOfBounds([&] { bank->PokeLong(9, 1); });
  ExpectOutOfBounds([&] { bank->PeekDouble(INT32_MAX); });
  ExpectOutOfBounds([&] { bank->PokeShort(INT32_MIN, 1); });
  for (int i = 0; i < 16; ++i)
    EXPECT_EQ(bank->PeekByte(i), 0x5A);
  // After shrinking, the bytes past the size are out of reach too.
  bank->Resize(4);
  ExpectOutOfBounds([&] { bank->PeekInt(1); });
  auto stream = TMemoryStream::Of("abcdef");
  ExpectOutOfBounds([&] { bank->Read(stream, 2, 3); });
  ExpectOutOfBounds([&] { bank->Write(stream, -1, 2); });
  ExpectOutOfBounds([&] { bank->Write(stream, 0, -1); });
  ExpectOutOfBounds([&] { BankCopy(bank, 0, bank, 2, 3); });
  EXPECT_EQ(stream->pos, 0);
  auto empty = New<TBank>();  // plain construction: no memory at all
  ExpectOutOfBounds([&] { empty->PeekByte(0); });
}

TEST_F(BankTest, StaticBankLeavesTheCallersMemoryAlone) {
  std::vector<uint8_t> memory(32, 0xEE);
  for (int i = 0; i < 8; ++i)
    memory[i] = static_cast<uint8_t>(i);
  {
    auto bank = NewStaticBank(memory.data(), 8);
    EXPECT_EQ(bank->Capacity(), -1);
    EXPECT_EQ(bank->Buf(), memory.data());
    bank->PokeByte(7, 70);  // pokes reach the caller's memory while the bank is over it
    EXPECT_EQ(memory[7], 70);
    bank->Resize(4);  // shrinking only sets the size
    EXPECT_EQ(bank->Buf(), memory.data());
    EXPECT_EQ(bank->Capacity(), -1);
    bank->Resize(12);  // growing moves to an owned block with the first 4 bytes
    EXPECT_NE(bank->Buf(), memory.data());
    EXPECT_EQ(bank->Capacity(), 12);
    EXPECT_EQ(bank->Size(), 12);
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(bank->PeekByte(i), i);
    for (int i = 4; i < 12; ++i)
      EXPECT_EQ(bank->PeekByte(i), 0);
    bank->PokeInt(8, -1);
  }  // releasing it frees only its own block
  for (int i = 0; i < 7; ++i)
    EXPECT_EQ(memory[i], i);
  EXPECT_EQ(memory[7], 70);
  for (int i = 8; i < 32; ++i)
    EXPECT_EQ(memory[i], 0xEE);
  ExpectOutOfBounds([] { NewStaticBank(nullptr, -1); });
}

TEST_F(BankTest, CopyBetweenOverlappingRangesIsLikeThroughATemporary) {
  auto make = [] {
    auto b = NewBank(10);
    for (int i = 0; i < 10; ++i)
      b->PokeByte(i, i);
    return b;
  };
  auto forward = make();
  BankCopy(forward, 0, forward, 3, 6);
  std::vector<int> expectForward{0, 1, 2, 0, 1, 2, 3, 4, 5, 9};
  for (int i = 0; i < 10; ++i)
    EXPECT_EQ(forward->PeekByte(i), expectForward[i]);
  auto backward = make();
  BankCopy(backward, 3, backward, 0, 6);
  std::vector<int> expectBackward{3, 4, 5, 6, 7, 8, 6, 7, 8, 9};
  for (int i = 0; i < 10; ++i)
    EXPECT_EQ(backward->PeekByte(i), expectBackward[i]);
  auto other = NewBank(4);
  BankCopy(make(), 6, other, 0, 4);
  EXPECT_EQ(other->PeekInt(0), 0x09080706);
  BankCopy(other, 4, other, 0, 0);  // an empty copy at the very end is fine
}

TEST_F(BankTest, ReadAndWriteMoveBytesBetweenStreamAndBank) {
  auto bank = NewBank(8);
  auto in = TOneWayStream::Of("abcdef", 2);
  EXPECT_EQ(bank->Read(in, 3, 5), 2);  // one raw Read: it may deliver less
  EXPECT_EQ(bank->PeekByte(3), 'a');
  EXPECT_EQ(bank->PeekByte(4), 'b');
  auto out = TMemoryStream::Of("");
  EXPECT_EQ(BankWriteTo(bank, Ref<TStream>(out), 3, 2), 2);
  EXPECT_EQ(out->bytes, "ab");
  EXPECT_EQ(BankReadFrom(bank, Ref<TStream>(TMemoryStream::Of("xyz")), 0, 3), 3);
  EXPECT_EQ(bank->PeekByte(2), 'z');
}

TEST_F(BankTest, SaveAndLoadThroughFiles) {
  test::TempDir dir;
  auto bank = NewBank(3000);
  for (int i = 0; i < 3000; ++i)
    bank->PokeByte(i, i * 7);
  String path(dir.File("bank.bin").c_str());
  EXPECT_TRUE(BankToUrl(bank, path));
  auto loaded = BankFromUrl(path);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->Size(), 3000);
  EXPECT_EQ(loaded->Capacity(), 3000);
  EXPECT_EQ(std::memcmp(loaded->Buf(), bank->Buf(), 3000), 0);

  EXPECT_TRUE(NewBank(0)->Save(path));
  auto empty = TBank::Load(path);
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->Size(), 0);

  EXPECT_TRUE(BankFromUrl(String(dir.File("missing.bin").c_str())).IsNull());
  EXPECT_FALSE(bank->Save(String(dir.File("no/such/dir/x.bin").c_str())));
  // A full disk shows only when the last buffered bytes are written, at Close.
  if (access("/dev/full", W_OK) == 0) {
    EXPECT_FALSE(NewBank(10)->Save("/dev/full"));
  }
}

TEST_F(BankTest, LoadReadsAStreamThatCannotTellItsLength) {
  std::string content;
  for (int i = 0; i < 5000; ++i)
    content.push_back(static_cast<char>(i % 251));
  auto bank = TBank::Load(Ref<Object>(TOneWayStream::Of(content, 700)));
  ASSERT_TRUE(bank);
  EXPECT_EQ(bank->Size(), 5000);
  EXPECT_EQ(bank->Capacity(), 5000);
  EXPECT_EQ(std::memcmp(bank->Buf(), content.data(), 5000), 0);
}

TEST_F(BankTest, LockCountsHolders) {
  auto bank = NewBank(4);
  EXPECT_EQ(BankLock(bank), bank->Buf());
  BankLock(bank);
  EXPECT_EQ(bank->_locked, 2);
  BankUnlock(bank);
  EXPECT_EQ(bank->_locked, 1);
  bank->Resize(100);  // nothing is refused while locked
  EXPECT_EQ(BankLength(bank), 100);
  EXPECT_EQ(BankAllocated(bank), 100);
  EXPECT_EQ(BankPointer(bank), bank->Buf());
}

TEST_F(BankTest, ReflectedFieldsCannotOutgrowTheMemory) {
  const auto& fields = TBank::StaticClass().Fields();
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_EQ(fields[0].name + fields[0].tag + fields[1].name + fields[1].tag, "_sizei_capacityi");
  uint8_t block[8] = {};
  for (Ref<TBank> bank : {NewBank(16), NewStaticBank(block, 8)}) {
    // Writing the size resizes the bank, so every access it then allows lies in real memory.
    fields[0].set(bank.Get(), String("1000"));
    EXPECT_EQ(String::Of(fields[0].get(bank.Get())), String("1000"));
    EXPECT_GE(bank->Capacity(), 1000);
    bank->PokeByte(999, 7);
    EXPECT_EQ(bank->PeekByte(999), 7);
    ExpectOutOfBounds([&] { fields[0].set(bank.Get(), String("-1")); });
    EXPECT_THROW_TEXT_AS(String, fields[1].set(bank.Get(), String("5000")), "ERROR");
    EXPECT_EQ(bank->Size(), 1000);
  }
  EXPECT_EQ(block[7], 0);  // the static block was left behind, not written past
}

TEST_F(BankTest, DataTypeWritesSizeThenBytes) {
  auto bank = NewBank(5);
  for (int i = 0; i < 5; ++i)
    bank->PokeByte(i, 'a' + i);
  auto out = TMemoryStream::Of("");
  bank->DataType()->WriteObject(bank, out);
  EXPECT_EQ(out->bytes, std::string("\x05\0\0\0abcde", 9));
  EXPECT_EQ(bank->DataType()->Tag().ToCString(), "VXL.Bank.TBank");
  out->Seek(0);
  auto back = bank->DataType()->ReadObject(out).As<TBank>();
  ASSERT_TRUE(back);
  EXPECT_EQ(back->Size(), 5);
  EXPECT_EQ(back->Capacity(), 5);
  EXPECT_EQ(back->PeekByte(4), 'e');
}

TEST_F(BankTest, DataTypeRefusesLengthsTheStreamCannotHold) {
  auto type = New<TBank>()->DataType();
  auto expectReadError = [&](const Ref<TStream>& s) {
    EXPECT_THROW_TEXT_AS(TStreamReadException, type->ReadObject(s), "Error reading from stream");
  };
  expectReadError(TMemoryStream::Of(std::string("\x10\0\0\0abc", 7)));
  expectReadError(TMemoryStream::Of(std::string("\xff\xff\xff\xff", 4)));  // negative
  // 2 GiB claimed by a stream that cannot tell its length: only what arrives is stored.
  expectReadError(
      TOneWayStream::Of(std::string("\xff\xff\xff\x7f"
                                    "abc",
                                    7)));
  // A pipe that does deliver everything works, in pieces.
  std::string big(3 << 20, 'q');
  int32_t n = static_cast<int32_t>(big.size());
  std::string encoded(reinterpret_cast<const char*>(&n), 4);
  auto bank = type->ReadObject(TOneWayStream::Of(encoded + big, 100000)).As<TBank>();
  ASSERT_TRUE(bank);
  EXPECT_EQ(bank->Size(), n);
  EXPECT_EQ(bank->Capacity(), n);
  EXPECT_EQ(bank->PeekByte(n - 1), 'q');
}

}  // namespace
}  // namespace vxl
