// Banks: resizable blocks of raw memory with typed peeks and pokes at byte offsets.
//
//   Ref<TBank> b = NewBank(16);
//   b->PokeInt(3, 258);                 // any offset, no alignment needed; little-endian here
//   int32_t lo = b->PeekByte(3);        // 2
//   b->Resize(100);                     // grows to at least 3/2 of the old capacity
//   b->Save(String("dump.bin"));
//
// A bank owns its memory, or is a static bank over memory someone else owns (capacity -1): such
// a bank never frees that memory and never writes past it; growing one moves it to a new block
// of its own. Every access is checked against Size(): a peek, poke, transfer or copy that does not
// lie wholly inside the bank throws TArrayBoundsException and touches nothing.
#pragma once

#include <cstdint>

#include "data/data.h"

namespace vxl {

class TBank : public TData {
 public:
  VXL_CLASS(TBank, TData)
  TBank() = default;
  ~TBank() override;

  int32_t _locked = 0;  // holders of the raw pointer (bookkeeping only)

  Ref<TDataType> DataType() const override;
  uint8_t* Buf() const { return _buf; }
  // Counts a holder of the raw pointer; bookkeeping only, nothing is refused while locked.
  uint8_t* Lock() {
    ++_locked;
    return _buf;
  }
  void Unlock() { --_locked; }
  int32_t Size() const { return _size; }
  int32_t Capacity() const { return _capacity; }
  // Sets the size. Growing past the capacity allocates max(size, capacity * 3 / 2) bytes and keeps
  // the old bytes; shrinking keeps the memory. Returns 0.
  int32_t Resize(int32_t size);
  // One raw Read / Write of the stream into / out of bytes offset..offset+count-1; returns the
  // number of bytes transferred.
  int32_t Read(const Ref<TStream>& stream, int32_t offset, int32_t count);
  int32_t Write(const Ref<TStream>& stream, int32_t offset, int32_t count);

  int32_t PeekByte(int32_t offset) const;  // 0..255
  int32_t PokeByte(int32_t offset, int32_t value);
  int32_t PeekShort(int32_t offset) const;  // 0..65535
  int32_t PokeShort(int32_t offset, int32_t value);
  int32_t PeekInt(int32_t offset) const;
  int32_t PokeInt(int32_t offset, int32_t value);
  int64_t PeekLong(int32_t offset) const;
  int32_t PokeLong(int32_t offset, int64_t value);
  float PeekFloat(int32_t offset) const;
  int32_t PokeFloat(int32_t offset, float value);
  double PeekDouble(int32_t offset) const;
  int32_t PokeDouble(int32_t offset, double value);

  // Writes the bank's bytes to the URL; false when it does not open or the bytes do not all
  // arrive.
  bool Save(const Url& url) const;
  // A bank holding everything the URL delivers; Null when it does not open.
  static Ref<TBank> Load(const Url& url);
  // A bank of `size` bytes of its own (cleared), size and capacity both `size`.
  static Ref<TBank> Create(int32_t size);
  // A static bank over `size` bytes at `buf`, which the caller keeps owning.
  static Ref<TBank> CreateStatic(uint8_t* buf, int32_t size);

  // Throws TArrayBoundsException unless offset..offset+count-1 lies inside the bank.
  void _CheckRange(int64_t offset, int64_t count) const;

  static void Bind(ClassBinder<TBank>& b);

 private:
  friend class TBankDataType;
  // Moves the bytes to an owned block of exactly `capacity` bytes (at least the size).
  void _MoveToNewBlock(int32_t capacity);
  // Makes the capacity exactly the size.
  void _FitCapacity();
  template <class T>
  T _Peek(int32_t offset) const;
  template <class T>
  int32_t _Poke(int32_t offset, T value);

  // Only the bank's own operations change these, so _size never exceeds the memory at _buf:
  // capacity bytes of its own, or the static block it was made over (it only shrinks in place).
  uint8_t* _buf = nullptr;
  int32_t _size = 0;
  int32_t _capacity = 0;  // -1: a static bank over memory it does not own
};

// A bank's data-stream form: its size as an int, then the bytes.
class TBankDataType : public TDataType {
 public:
  VXL_CLASS(TBankDataType, TDataType)
  // "VXL.Bank.TBank".
  String Tag() const override;
  Ref<Object> ReadObject(const Ref<TStream>& stream) override;
  void WriteObject(const Ref<Object>& object, const Ref<TStream>& stream) override;
};

// Module functions.
Ref<TBank> NewBank(int32_t size);
Ref<TBank> NewStaticBank(uint8_t* buf, int32_t size);
Ref<TBank> BankFromUrl(const Url& url);
bool BankToUrl(const Ref<TBank>& bank, const Url& url);
uint8_t* BankPointer(const Ref<TBank>& bank);
uint8_t* BankLock(const Ref<TBank>& bank);
void BankUnlock(const Ref<TBank>& bank);
int32_t BankLength(const Ref<TBank>& bank);
int32_t BankAllocated(const Ref<TBank>& bank);
int32_t BankResize(const Ref<TBank>& bank, int32_t size);
// Copies count bytes as if through a temporary buffer, so overlapping ranges are fine.
void BankCopy(const Ref<TBank>& src, int32_t srcOffset, const Ref<TBank>& dst, int32_t dstOffset,
              int32_t count);
int32_t BankPeekByte(const Ref<TBank>& bank, int32_t offset);
int32_t BankPeekShort(const Ref<TBank>& bank, int32_t offset);
int32_t BankPeekInt(const Ref<TBank>& bank, int32_t offset);
int64_t BankPeekLong(const Ref<TBank>& bank, int32_t offset);
float BankPeekFloat(const Ref<TBank>& bank, int32_t offset);
double BankPeekDouble(const Ref<TBank>& bank, int32_t offset);
int32_t BankPokeByte(const Ref<TBank>& bank, int32_t offset, int32_t value);
int32_t BankPokeShort(const Ref<TBank>& bank, int32_t offset, int32_t value);
int32_t BankPokeInt(const Ref<TBank>& bank, int32_t offset, int32_t value);
int32_t BankPokeLong(const Ref<TBank>& bank, int32_t offset, int64_t value);
int32_t BankPokeFloat(const Ref<TBank>& bank, int32_t offset, float value);
int32_t BankPokeDouble(const Ref<TBank>& bank, int32_t offset, double value);
int32_t BankReadFrom(const Ref<TBank>& bank, const Ref<TStream>& stream, int32_t offset,
                     int32_t count);
int32_t BankWriteTo(const Ref<TBank>& bank, const Ref<TStream>& stream, int32_t offset,
                    int32_t count);

// Registers the bank classes and creates the bank data type.
int InitBankModule();

}  // namespace vxl
