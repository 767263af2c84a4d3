#include "runtime/classic_text.h"

#include <algorithm>

#include "runtime/module.h"

namespace vxl {

// Positions and counts are worked out in 64 bits: no argument can overflow them.

String MidText(const String& s, int32_t pos, int32_t count) {
  if (pos > s.Length()) return String();
  int64_t p = int64_t(pos) - 1;
  if (count >= 0) {
    int64_t n = count;
    if (p < 0) {
      n += p;
      p = 0;
    }
    return s.Slice(p, p + std::min(n, s.Length() - p));
  }
  return s.Slice(p, s.Length());
}

int32_t FindTextFrom(const String& s, const String& sub, int32_t start) {
  // Find counts every start below 0 as 0.
  return s.Find(sub, start > 0 ? start - 1 : 0) + 1;
}

String LeftText(const String& s, int32_t n) {
  return s.Slice(0, std::min(n, s.Length()));
}

String RightText(const String& s, int32_t n) {
  return s.Slice(s.Length() - std::min<int64_t>(n, s.Length()), s.Length());
}

String PadRightTo(const String& s, int32_t n) {
  return s.Slice(0, n);
}

String PadLeftTo(const String& s, int32_t n) {
  return s.Slice(int64_t(s.Length()) - n, s.Length());
}

String ReplaceText(const String& s, const String& find, const String& with) {
  return s.Replace(find, with);
}
String TrimText(const String& s) {
  return s.Trim();
}
String LowerText(const String& s) {
  return s.ToLower();
}
String UpperText(const String& s) {
  return s.ToUpper();
}

namespace {

template <int Bits, int DigitBits>
String FixedDigits(uint64_t v) {
  constexpr int kDigits = Bits / DigitBits;
  char buf[kDigits];
  for (int i = kDigits - 1; i >= 0; --i) {
    buf[i] = "0123456789ABCDEF"[v & ((1u << DigitBits) - 1)];
    v >>= DigitBits;
  }
  return String(std::string_view(buf, kDigits));
}

}  // namespace

String HexText(int32_t n) {
  return FixedDigits<32, 4>(static_cast<uint32_t>(n));
}
String BinaryText(int32_t n) {
  return FixedDigits<32, 1>(static_cast<uint32_t>(n));
}
String LongHexText(int64_t n) {
  return FixedDigits<64, 4>(static_cast<uint64_t>(n));
}
String LongBinaryText(int64_t n) {
  return FixedDigits<64, 1>(static_cast<uint64_t>(n));
}

int InitClassicTextModule() {
  static ModuleGuard guard("classic text");
  return guard.Run({InitCoreModule}, [] {});
}

}  // namespace vxl
