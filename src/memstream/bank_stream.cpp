#include "memstream/bank_stream.h"

#include <algorithm>
#include <cstring>

#include "runtime/class_binder.h"

namespace vxl {

VXL_DEFINE_CLASS(TBankStream)
VXL_DEFINE_CLASS(TBankStreamFactory)

Ref<TBankStream> TBankStream::Create(const Ref<TBank>& bank) {
  auto s = New<TBankStream>();
  s->_bank = bank;
  return s;
}

int32_t TBankStream::Size() {
  return _bank->Size();
}

int32_t TBankStream::Seek(int32_t pos) {
  _pos = std::clamp(pos, 0, Size());
  return _pos;
}

// _pos is a public field: a position outside 0..Size() reads and writes nothing.
int32_t TBankStream::Read(uint8_t* buf, int32_t count) {
  int32_t size = Size();
  if (count < 1 || _pos < 0 || _pos >= size) return 0;
  int32_t n = std::min(count, size - _pos);
  std::memcpy(buf, _bank->Buf() + _pos, static_cast<size_t>(n));
  _pos += n;
  return n;
}

int32_t TBankStream::Write(const uint8_t* buf, int32_t count) {
  if (count < 1 || _pos < 0 || _pos > Size() || count > INT32_MAX - _pos) return 0;
  if (_pos + count > Size()) _bank->Resize(_pos + count);
  std::memmove(_bank->Buf() + _pos, buf, static_cast<size_t>(count));
  _pos += count;
  return count;
}

std::span<const uint8_t> TBankStream::PeekBuffered() {
  int32_t size = Size();
  if (_pos < 0 || _pos >= size) return {};
  return {_bank->Buf() + _pos, static_cast<size_t>(size - _pos)};
}

void TBankStream::ConsumeBuffered(size_t count) {
  _pos += static_cast<int32_t>(count);
}

void TBankStream::Bind(ClassBinder<TBankStream>& b) {
  b.ReadOnlyField<&TBankStream::_pos>("_pos");
  b.ReadOnlyField<&TBankStream::_bank>("_bank");
}

Ref<TStream> TBankStreamFactory::CreateStream(const Ref<Object>& url, const String&, const String&,
                                              int32_t, int32_t) {
  if (auto bank = url.As<TBank>()) return NewBankStream(bank);
  return nullptr;
}

Ref<TBankStream> NewBankStream(const Ref<TBank>& bank) {
  return TBankStream::Create(bank ? bank : TBank::Create(0));
}

int InitBankStreamModule() {
  static ModuleGuard guard("bank stream");
  return guard.Run({InitCoreModule, InitStreamModule, InitBankModule}, [] {
    RegisterClass<TBankStream>();
    RegisterClass<TBankStreamFactory>();
    New<TBankStreamFactory>();
  });
}

}  // namespace vxl
