// String, array and classic-text functions driven with arbitrary integers: positions, counts and
// lengths anywhere in the int32 range, the extremes included.
//
// Each result is checked against a plain definition worked out in 64 bits: a slice is spaces
// outside the string and its characters inside; a result longer than INT32_MAX must raise the
// length error instead. Valid results longer than 4096 characters are not built, so the target
// stays fast.
//
// Input: byte 0 is the string's length (mod 32), then its bytes (Latin-1), then operations of
// 9 bytes each: an operation byte and two little-endian int32 arguments.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/array.h"
#include "runtime/classic_text.h"
#include "runtime/exceptions.h"

namespace {

using namespace vxl;

constexpr int64_t kMaxBuilt = 1 << 12;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "mismatch: %s\n", what);
  std::abort();
}

int32_t Int32At(const uint8_t* p) {
  uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  return static_cast<int32_t>(v);
}

// The slice rule, one character at a time: spaces outside s.
std::u16string SliceByDefinition(const std::u16string& s, int64_t a, int64_t b) {
  std::u16string out;
  for (int64_t i = a; i < b; ++i)
    out.push_back(i >= 0 && i < int64_t(s.size()) ? s[size_t(i)] : u' ');
  return out;
}

// Runs `call`, a slice of s from a to b by its rule, and checks the outcome.
template <class F>
void CheckSlice(const std::u16string& s, int64_t a, int64_t b, F&& call) {
  int64_t n = std::max<int64_t>(b - a, 0);
  if (n > INT32_MAX) {
    try {
      call();
    } catch (const Thrown& e) {
      if (!e.As<TRuntimeException>()) Fail("a length beyond INT32_MAX threw something else");
      return;
    }
    Fail("a length beyond INT32_MAX was not refused");
  }
  if (n > kMaxBuilt) return;
  String got = call();
  if (got.View() != SliceByDefinition(s, a, b)) Fail("slice");
}

void CheckFind(const std::u16string& s, const std::u16string& sub, int32_t result, int64_t from,
               int64_t to) {
  if (result == -1) return;
  if (result < from || result > to) Fail("find position outside the searched range");
  if (s.compare(size_t(result), sub.size(), sub) != 0) Fail("find position without a match");
}

void Run(const String& str, const std::u16string& s, uint8_t op, int32_t x, int32_t y) {
  const int64_t len = int64_t(s.size());
  std::u16string sub = s.substr(0, std::min<size_t>(op >> 5, s.size()));
  String subStr(sub);
  switch (op & 15) {
    case 0:
      CheckSlice(s, x, y, [&] { return str.Slice(x, y); });
      break;
    case 1: {  // MidText
      if (x > len) {
        if (!MidText(str, x, y).IsEmpty()) Fail("MidText past the end");
        break;
      }
      int64_t p = int64_t(x) - 1, n = y;
      if (y >= 0) {
        if (p < 0) {
          n += p;
          p = 0;
        }
        CheckSlice(s, p, p + std::min(n, len - p), [&] { return MidText(str, x, y); });
      } else {
        CheckSlice(s, p, len, [&] { return MidText(str, x, y); });
      }
      break;
    }
    case 2:
      CheckSlice(s, 0, std::min<int64_t>(x, len), [&] { return LeftText(str, x); });
      break;
    case 3:
      CheckSlice(s, len - std::min<int64_t>(x, len), len, [&] { return RightText(str, x); });
      break;
    case 4:
      CheckSlice(s, 0, x, [&] { return PadRightTo(str, x); });
      break;
    case 5:
      CheckSlice(s, len - x, len, [&] { return PadLeftTo(str, x); });
      break;
    case 6: {
      int32_t at = str.Find(subStr, x);
      if (sub.empty()) {
        if (at != std::max(x, 0)) Fail("an empty sub is found at the start");
        break;
      }
      CheckFind(s, sub, at, std::max<int64_t>(x, 0), len);
      break;
    }
    case 7: {
      int32_t at = str.FindLast(subStr, x);
      CheckFind(s, sub, at, 0, std::min(len - x, len - int64_t(sub.size())));
      break;
    }
    case 8: {
      int32_t at = FindTextFrom(str, subStr, x);
      if (sub.empty()) {
        if (at != std::max(x, 1)) Fail("an empty sub is found at the start");
        break;
      }
      if (at < 0 || at > len + 1) Fail("FindTextFrom out of range");
      if (at > 0) CheckFind(s, sub, at - 1, std::max<int64_t>(int64_t(x) - 1, 0), len);
      break;
    }
    case 9: {  // array slice, elements outside hold 0
      auto array = Array<int32_t>::New(static_cast<int32_t>(len));
      for (int32_t i = 0; i < array.Length(); ++i)
        array[i] = s[size_t(i)] + 1;
      int64_t n = std::max<int64_t>(int64_t(y) - x, 0);
      if (n > INT32_MAX) {
        try {
          array.Slice(x, y);
        } catch (const Thrown& e) {
          if (!e.As<TRuntimeException>()) Fail("array slice threw something else");
          break;
        }
        Fail("array slice beyond INT32_MAX was not refused");
      }
      if (n > kMaxBuilt) break;
      auto got = array.Slice(x, y);
      if (got.Length() != n) Fail("array slice length");
      for (int64_t i = 0; i < n; ++i) {
        int64_t at = x + i;
        int32_t want = at >= 0 && at < len ? int32_t(s[size_t(at)]) + 1 : 0;
        if (got[int32_t(i)] != want) Fail("array slice element");
      }
      break;
    }
    case 10: {  // two dimensions, small enough to build or too large to hold
      int64_t total = int64_t(x) * int64_t(y);
      if (x < 1 || y < 1) {
        if (Array<uint8_t>::New({x, y}).Length() != 0) Fail("empty dimensions");
      } else if (total > INT32_MAX) {
        try {
          Array<uint8_t>::New({x, y});
          Fail("array dimensions beyond INT32_MAX were not refused");
        } catch (const Thrown& e) {
          if (!e.As<TRuntimeException>()) Fail("array dimensions threw something else");
        }
      } else if (total <= kMaxBuilt) {
        if (Array<uint8_t>::New({x, y}).Length() != total) Fail("array dimensions");
      }
      break;
    }
    case 11: {  // checked indexing
      bool inside = x >= 0 && x < len;
      try {
        char16_t c = str[x];
        if (!inside || c != s[size_t(x)]) Fail("string index");
      } catch (const Thrown& e) {
        if (inside || !e.As<TArrayBoundsException>()) Fail("string index bounds");
      }
      break;
    }
    default:
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  size_t length = std::min<size_t>(data[0] % 32, size - 1);
  String str = String::FromBytes(data + 1, static_cast<int32_t>(length));
  std::u16string s(str.View());
  for (size_t at = 1 + length; at + 9 <= size; at += 9)
    Run(str, s, data[at], Int32At(data + at + 1), Int32At(data + at + 5));
  return 0;
}
