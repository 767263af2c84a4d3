// Hostile bytes and operation sequences through embedded-file, bank and byte-order streams:
// typed reads through chains of byte-order and text protocols nested up to past the limit, partial
// reads, seeks anywhere, writes that grow a bank. Nothing may crash, hang or allocate without
// bound, and the position of a memory stream always stays within 0..Size().
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "bank/bank.h"
#include "memstream/bank_stream.h"
#include "memstream/embedded_files.h"
#include "memstream/endian_stream.h"
#include "memstream/ram_stream.h"
#include "stream/text_stream.h"

namespace {

using namespace vxl;

constexpr size_t kEmbeddedCapacity = 4096;
// One block shared by every embedded test file; the files differ only in their lengths.
uint8_t g_embedded[kEmbeddedCapacity];
constexpr int32_t kLengths[] = {0, 1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 100, 1024, 4096};
constexpr int kFiles = sizeof kLengths / sizeof kLengths[0];

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

String FileName(int i) {
  return String(("fuzz" + std::to_string(i) + ".bin").c_str());
}

void Setup() {
  InitRamStreamModule();
  InitEndianStreamModule();
  InitBankStreamModule();
  InitTextStreamModule();
  for (int i = 0; i < kFiles; ++i)
    RegisterEmbeddedFile(FileName(i), g_embedded, kLengths[i]);
}

// A URL made of protocol tokens ending in one of the embedded files (or a name nobody knows), so
// it never names a file on disk that exists. Byte-order and text protocols mix at any depth, up
// to well past the nesting limit; `levels` counts the nesting protocols in front of "incbin::".
String MakeUrl(FuzzedDataProvider& in, int& levels) {
  static const char* const kNesting[] = {"bigendian::", "littleendian::", "BigEndian::", "latin1::",
                                         "UTF8::",      "utf16be::",      "utf16le::"};
  static const char* const kOthers[] = {"incbin::", "::", "nosuch::"};
  std::string url;
  levels = 0;
  int depth = in.ConsumeBool() ? in.ConsumeIntegralInRange(0, 8)
                               : in.ConsumeIntegralInRange(kMaxUrlNesting - 2, kMaxUrlNesting + 40);
  for (int i = 0; i < depth; ++i) {
    url += kNesting[in.ConsumeIntegralInRange<size_t>(0, std::size(kNesting) - 1)];
  }
  levels = depth;
  if (in.ConsumeBool()) {
    url += kOthers[in.ConsumeIntegralInRange<size_t>(0, std::size(kOthers) - 1)];
    levels = -1;  // no longer a plain chain of nesting protocols
  }
  url += "incbin::";
  int file = in.ConsumeIntegralInRange(0, kFiles);  // kFiles: an unknown name
  url += "fuzz" + std::to_string(file) + ".bin";
  return String(url.c_str());
}

// The stream to drive: an embedded file through a protocol chain, or a bank stream, plain or
// wrapped for big-endian access. `bankStream` is set when the innermost stream is a bank stream.
Ref<TStream> OpenSubject(FuzzedDataProvider& in, Ref<TBankStream>& bankStream) {
  if (in.ConsumeBool()) {
    int levels;
    String url = MakeUrl(in, levels);
    Ref<TStream> s = OpenStreamUrl(url, 1, in.ConsumeBool() ? 1 : 0);
    Check(levels <= kMaxUrlNesting || !s);  // one limit, whichever protocols nest
    return s;
  }
  std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange(0, 2048));
  Ref<TBank> bank = NewBank(static_cast<int32_t>(bytes.size()));
  if (!bytes.empty()) std::memcpy(bank->Buf(), bytes.data(), bytes.size());
  Ref<TStream> s = OpenStreamUrl(Ref<Object>(bank), 1, 1);  // the bank stream factory
  bankStream = s.As<TBankStream>();
  Check(bankStream != nullptr);
  for (int wraps = in.ConsumeIntegralInRange(0, 3); wraps > 0; --wraps) {
    s = in.ConsumeBool() ? WrapBigEndian(s) : WrapLittleEndian(s);
  }
  return s;
}

void Drive(FuzzedDataProvider& in, const Ref<TStream>& s, const Ref<TBankStream>& bank) {
  std::vector<uint8_t> buf(8192);
  for (int op = 0; op < 64 && in.remaining_bytes() > 0; ++op) {
    try {
      switch (in.ConsumeIntegralInRange(0, 19)) {
        case 0:
          s->ReadByte();
          break;
        case 1:
          Check(static_cast<uint32_t>(s->ReadShort()) <= 0xFFFF);
          break;
        case 2:
          s->ReadInt();
          break;
        case 3:
          s->ReadLong();
          break;
        case 4:
          s->ReadFloat();
          break;
        case 5:
          s->ReadDouble();
          break;
        case 6:
          s->ReadLine();
          break;
        case 7: {
          int32_t n = in.ConsumeIntegralInRange(0, 5000);
          Check(s->ReadString(n).Length() == n);
          break;
        }
        case 8: {
          int32_t n = in.ConsumeIntegralInRange(0, static_cast<int32_t>(buf.size()));
          Check(s->ReadBytes(buf.data(), n) == n);
          break;
        }
        case 9: {
          int32_t n = in.ConsumeIntegralInRange(0, static_cast<int32_t>(buf.size()));
          int32_t got = s->Read(buf.data(), n);
          Check(got >= 0 && got <= n);
          break;
        }
        case 10:
          s->SkipBytes(in.ConsumeIntegralInRange(-100, 10000));
          break;
        case 11:
          s->Seek(in.ConsumeIntegral<int32_t>());
          break;
        case 12:
          s->Seek(in.ConsumeIntegralInRange(-2, 5000));
          break;
        case 13:
          s->WriteByte(in.ConsumeIntegral<int32_t>());
          break;
        case 14:
          s->WriteShort(in.ConsumeIntegral<int32_t>());
          break;
        case 15:
          s->WriteInt(in.ConsumeIntegral<int32_t>());
          break;
        case 16:
          s->WriteLong(in.ConsumeIntegral<int64_t>());
          break;
        case 17:
          s->WriteDouble(in.ConsumeFloatingPoint<double>());
          break;
        case 18: {
          std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange(0, 600));
          s->WriteBytes(bytes.data(), static_cast<int32_t>(bytes.size()));
          break;
        }
        case 19:
          s->WriteString(String(in.ConsumeRandomLengthString(300).c_str()));
          break;
      }
    } catch (const Thrown& e) {
      // Running out of data or room is reported with the stream exceptions; a text stream's
      // hexadecimal lines may also be malformed. Nothing else.
      Check(e.As<TStreamException>() != nullptr ||
            (e.IsString() && e.Text() == String("Malformed line terminator")));
    }
    int32_t pos = s->Pos(), size = s->Size();
    Check(pos >= 0 && pos <= size);
    Check(s->Eof() == (pos == size ? 1 : 0));
    if (bank) Check(bank->_bank->Size() == size && size <= 2048 + 64 * 8192);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = (Setup(), true);
  (void)ready;
  FuzzedDataProvider in(data, size);
  std::vector<uint8_t> content = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 64));
  std::memset(g_embedded, 0, sizeof g_embedded);
  for (size_t i = 0; i < kEmbeddedCapacity && !content.empty(); ++i) {
    g_embedded[i] = content[i % content.size()];
  }

  Ref<TBankStream> bank;
  Ref<TStream> s = OpenSubject(in, bank);
  if (s) Drive(in, s, bank);
  return 0;
}
