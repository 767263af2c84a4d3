// Streams over a growable TBank: reading stops at the bank's size, writing at or past the end
// grows the bank. A TBank passed as a URL opens as a bank stream.
//
//   Ref<TBankStream> s = NewBankStream(nullptr);   // over a new, empty bank
//   s->WriteInt(7);                                // the bank is now 4 bytes long
//   s->Seek(0);
//   int32_t seven = s->ReadInt();
#pragma once

#include <cstdint>

#include "bank/bank.h"
#include "stream/stream.h"

namespace vxl {

class TBankStream : public TStream {
 public:
  VXL_CLASS(TBankStream, TStream)
  int32_t _pos = 0;
  Ref<TBank> _bank;  // kept alive by the stream; Close leaves it alone

  // A stream at position 0 over `bank`.
  static Ref<TBankStream> Create(const Ref<TBank>& bank);

  int32_t Pos() override { return _pos; }
  int32_t Size() override;
  // Clamped to 0..Size(); returns the new position.
  int32_t Seek(int32_t pos) override;
  // Up to the bank's size; 0 when count < 1 or the position is at or past the end.
  int32_t Read(uint8_t* buf, int32_t count) override;
  // Grows the bank first when the bytes reach past its end; 0 when count < 1 or the position is
  // past the end (or the bank would pass 2 GiB).
  int32_t Write(const uint8_t* buf, int32_t count) override;
  // The rest of the bank.
  std::span<const uint8_t> PeekBuffered() override;
  void ConsumeBuffered(size_t count) override;

  static void Bind(ClassBinder<TBankStream>& b);
};

// Opens a stream over any TBank given as URL, whatever the protocol and flags.
class TBankStreamFactory : public TStreamFactory {
 public:
  VXL_CLASS(TBankStreamFactory, TStreamFactory)
  Ref<TStream> CreateStream(const Ref<Object>& url, const String& proto, const String& path,
                            int32_t readable, int32_t writeable) override;
};

// A bank stream over `bank`, or over a new empty bank when `bank` is Null.
Ref<TBankStream> NewBankStream(const Ref<TBank>& bank);

// The bank stream module: registers the classes and creates the factory.
int InitBankStreamModule();

}  // namespace vxl
