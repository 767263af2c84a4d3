#include "bank/bank.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "runtime/class_binder.h"

namespace vxl {

VXL_DEFINE_CLASS(TBank)
VXL_DEFINE_CLASS(TBankDataType)

namespace {

// The one shared instance, kept for the whole process (never released).
TBankDataType* g_bankDataType = nullptr;

// Reading a bank from a stream that cannot tell its length grows the bank this much at a time,
// so a damaged length costs no more memory than the bytes that really arrive.
constexpr int32_t kReadChunk = 1 << 20;

uint8_t* Allocate(int32_t size) {
  return static_cast<uint8_t*>(::operator new (static_cast<size_t>(size), std::align_val_t{16}));
}

void Free(uint8_t* block) {
  ::operator delete (block, std::align_val_t{16});
}

}  // namespace

// The bytes past the size are cleared so that no stale memory can reach a file or a peer.
void TBank::_MoveToNewBlock(int32_t capacity) {
  uint8_t* block = Allocate(capacity);
  if (_size > 0) std::memcpy(block, _buf, static_cast<size_t>(_size));
  std::memset(block + _size, 0, static_cast<size_t>(capacity - _size));
  if (_capacity >= 0 && _buf) Free(_buf);
  _buf = block;
  _capacity = capacity;
}

void TBank::_FitCapacity() {
  if (_capacity != _size) _MoveToNewBlock(_size);
}

template <class T>
T TBank::_Peek(int32_t offset) const {
  _CheckRange(offset, sizeof(T));
  T value;
  std::memcpy(&value, _buf + offset, sizeof(T));
  return value;
}

template <class T>
int32_t TBank::_Poke(int32_t offset, T value) {
  _CheckRange(offset, sizeof(T));
  std::memcpy(_buf + offset, &value, sizeof(T));
  return 0;
}

TBank::~TBank() {
  if (_capacity >= 0 && _buf) Free(_buf);
}

Ref<TDataType> TBank::DataType() const {
  return g_bankDataType;
}

void TBank::_CheckRange(int64_t offset, int64_t count) const {
  if (offset < 0 || count < 0 || offset + count > _size) ThrowArrayBounds();
}

int32_t TBank::Resize(int32_t size) {
  if (size < 0) ThrowArrayBounds();
  if (_capacity < 0) {
    // A static bank shrinks in place; it grows into a block of its own, and the caller's memory
    // is neither written past its end nor freed.
    if (size > _size) _MoveToNewBlock(size);
  } else if (size > _capacity) {
    int64_t capacity = int64_t(_capacity) * 3 / 2;
    if (capacity < size) capacity = size;
    _MoveToNewBlock(static_cast<int32_t>(std::min<int64_t>(capacity, INT32_MAX)));
  }
  _size = size;
  return 0;
}

int32_t TBank::Read(const Ref<TStream>& stream, int32_t offset, int32_t count) {
  _CheckRange(offset, count);
  return stream->Read(_buf + offset, count);
}

int32_t TBank::Write(const Ref<TStream>& stream, int32_t offset, int32_t count) {
  _CheckRange(offset, count);
  return stream->Write(_buf + offset, count);
}

int32_t TBank::PeekByte(int32_t offset) const {
  return _Peek<uint8_t>(offset);
}
int32_t TBank::PokeByte(int32_t offset, int32_t value) {
  return _Poke<uint8_t>(offset, static_cast<uint8_t>(value));
}
int32_t TBank::PeekShort(int32_t offset) const {
  return _Peek<uint16_t>(offset);
}
int32_t TBank::PokeShort(int32_t offset, int32_t value) {
  return _Poke<uint16_t>(offset, static_cast<uint16_t>(value));
}
int32_t TBank::PeekInt(int32_t offset) const {
  return _Peek<int32_t>(offset);
}
int32_t TBank::PokeInt(int32_t offset, int32_t value) {
  return _Poke(offset, value);
}
int64_t TBank::PeekLong(int32_t offset) const {
  return _Peek<int64_t>(offset);
}
int32_t TBank::PokeLong(int32_t offset, int64_t value) {
  return _Poke(offset, value);
}
float TBank::PeekFloat(int32_t offset) const {
  return _Peek<float>(offset);
}
int32_t TBank::PokeFloat(int32_t offset, float value) {
  return _Poke(offset, value);
}
double TBank::PeekDouble(int32_t offset) const {
  return _Peek<double>(offset);
}
int32_t TBank::PokeDouble(int32_t offset, double value) {
  return _Poke(offset, value);
}

bool TBank::Save(const Url& url) const {
  Ref<TStream> stream = OpenStreamUrl(url, 0, 1);
  if (!stream) return false;
  stream->WriteBytes(_buf, _size);
  return stream->Close() == 0;
}

Ref<TBank> TBank::Load(const Url& url) {
  Ref<TStream> stream = OpenStreamUrl(url, 1, 0);
  if (!stream) return Ref<TBank>();
  auto bank = New<TBank>();
  int32_t size = ReadStreamToEnd(*stream, [&](int32_t capacity, int32_t) {
    bank->Resize(capacity);
    return bank->_buf;
  });
  bank->Resize(size);
  bank->_FitCapacity();
  stream->Close();
  return bank;
}

Ref<TBank> TBank::Create(int32_t size) {
  if (size < 0) ThrowArrayBounds();
  auto bank = New<TBank>();
  if (size > 0) bank->_MoveToNewBlock(size);
  bank->_size = size;
  return bank;
}

Ref<TBank> TBank::CreateStatic(uint8_t* buf, int32_t size) {
  if (size < 0) ThrowArrayBounds();
  if (!buf && size > 0) ThrowNullObject();
  auto bank = New<TBank>();
  bank->_buf = buf;
  bank->_size = size;
  bank->_capacity = -1;
  return bank;
}

void TBank::Bind(ClassBinder<TBank>& b) {
  // The size is written through Resize, so reflection cannot make it exceed the memory.
  b.AccessorField<&TBank::Size, &TBank::Resize>("_size");
  b.AccessorField<&TBank::Capacity>("_capacity");
  b.ReadOnlyField<&TBank::_locked>("_locked");
  b.Method<&TBank::DataType>("DataType");
  b.Method<&TBank::Unlock>("Unlock");
  b.Method<&TBank::Size>("Size");
  b.Method<&TBank::Capacity>("Capacity");
  b.Method<&TBank::Resize>("Resize");
  b.Method<&TBank::Read>("Read");
  b.Method<&TBank::Write>("Write");
  b.Method<&TBank::PeekByte>("PeekByte");
  b.Method<&TBank::PokeByte>("PokeByte");
  b.Method<&TBank::PeekShort>("PeekShort");
  b.Method<&TBank::PokeShort>("PokeShort");
  b.Method<&TBank::PeekInt>("PeekInt");
  b.Method<&TBank::PokeInt>("PokeInt");
  b.Method<&TBank::PeekLong>("PeekLong");
  b.Method<&TBank::PokeLong>("PokeLong");
  b.Method<&TBank::PeekFloat>("PeekFloat");
  b.Method<&TBank::PokeFloat>("PokeFloat");
  b.Method<&TBank::PeekDouble>("PeekDouble");
  b.Method<&TBank::PokeDouble>("PokeDouble");
}

String TBankDataType::Tag() const {
  return "VXL.Bank.TBank";
}

void TBankDataType::WriteObject(const Ref<Object>& object, const Ref<TStream>& stream) {
  auto bank = object.As<TBank>();
  stream->WriteInt(bank->_size);
  stream->WriteBytes(bank->_buf, bank->_size);
}

Ref<Object> TBankDataType::ReadObject(const Ref<TStream>& stream) {
  int32_t size = ReadDataCount(stream, 1);
  if (StreamBytesLeft(*stream) >= 0) {
    // The stream holds that many bytes: ReadDataCount has checked.
    auto bank = TBank::Create(size);
    stream->ReadBytes(bank->_buf, size);
    return bank;
  }
  auto bank = New<TBank>();
  for (int32_t got = 0; got < size;) {
    int32_t chunk = std::min(size - got, kReadChunk);
    bank->Resize(got + chunk);
    stream->ReadBytes(bank->_buf + got, chunk);
    got += chunk;
  }
  bank->_FitCapacity();
  return bank;
}

Ref<TBank> NewBank(int32_t size) {
  return TBank::Create(size);
}
Ref<TBank> NewStaticBank(uint8_t* buf, int32_t size) {
  return TBank::CreateStatic(buf, size);
}
Ref<TBank> BankFromUrl(const Url& url) {
  return TBank::Load(url);
}
bool BankToUrl(const Ref<TBank>& bank, const Url& url) {
  return bank->Save(url);
}
uint8_t* BankPointer(const Ref<TBank>& bank) {
  return bank->Buf();
}
uint8_t* BankLock(const Ref<TBank>& bank) {
  return bank->Lock();
}
void BankUnlock(const Ref<TBank>& bank) {
  bank->Unlock();
}
int32_t BankLength(const Ref<TBank>& bank) {
  return bank->Size();
}
int32_t BankAllocated(const Ref<TBank>& bank) {
  return bank->Capacity();
}
int32_t BankResize(const Ref<TBank>& bank, int32_t size) {
  return bank->Resize(size);
}

void BankCopy(const Ref<TBank>& src, int32_t srcOffset, const Ref<TBank>& dst, int32_t dstOffset,
              int32_t count) {
  src->_CheckRange(srcOffset, count);
  dst->_CheckRange(dstOffset, count);
  if (count > 0) std::memmove(dst->Buf() + dstOffset, src->Buf() + srcOffset, count);
}

int32_t BankPeekByte(const Ref<TBank>& bank, int32_t offset) {
  return bank->PeekByte(offset);
}
int32_t BankPeekShort(const Ref<TBank>& bank, int32_t offset) {
  return bank->PeekShort(offset);
}
int32_t BankPeekInt(const Ref<TBank>& bank, int32_t offset) {
  return bank->PeekInt(offset);
}
int64_t BankPeekLong(const Ref<TBank>& bank, int32_t offset) {
  return bank->PeekLong(offset);
}
float BankPeekFloat(const Ref<TBank>& bank, int32_t offset) {
  return bank->PeekFloat(offset);
}
double BankPeekDouble(const Ref<TBank>& bank, int32_t offset) {
  return bank->PeekDouble(offset);
}
int32_t BankPokeByte(const Ref<TBank>& bank, int32_t offset, int32_t value) {
  return bank->PokeByte(offset, value);
}
int32_t BankPokeShort(const Ref<TBank>& bank, int32_t offset, int32_t value) {
  return bank->PokeShort(offset, value);
}
int32_t BankPokeInt(const Ref<TBank>& bank, int32_t offset, int32_t value) {
  return bank->PokeInt(offset, value);
}
int32_t BankPokeLong(const Ref<TBank>& bank, int32_t offset, int64_t value) {
  return bank->PokeLong(offset, value);
}
int32_t BankPokeFloat(const Ref<TBank>& bank, int32_t offset, float value) {
  return bank->PokeFloat(offset, value);
}
int32_t BankPokeDouble(const Ref<TBank>& bank, int32_t offset, double value) {
  return bank->PokeDouble(offset, value);
}
int32_t BankReadFrom(const Ref<TBank>& bank, const Ref<TStream>& stream, int32_t offset,
                     int32_t count) {
  return bank->Read(stream, offset, count);
}
int32_t BankWriteTo(const Ref<TBank>& bank, const Ref<TStream>& stream, int32_t offset,
                    int32_t count) {
  return bank->Write(stream, offset, count);
}

int InitBankModule() {
  static ModuleGuard guard("bank");
  return guard.Run({InitCoreModule, InitDataModule}, [] {
    RegisterClass<TBank>();
    RegisterClass<TBankDataType>();
    if (!g_bankDataType) g_bankDataType = New<TBankDataType>().Leak();
  });
}

}  // namespace vxl
