// Conversions between strings and numbers.
//
// Number text is always the C locale's ("1.5", never "1,5"), whatever locale the program sets:
// the C library's conversions run under a C locale made once for this thread's use.
#include <locale.h>

#include <cstdio>
#include <cstdlib>

#include "runtime/string.h"

namespace vxl {

namespace {

class CNumericLocale {
 public:
  // When a C locale cannot be made, uselocale(0) changes nothing: the process locale is used.
  CNumericLocale() : previous_(uselocale(Get())) {}
  ~CNumericLocale() { uselocale(previous_); }
  CNumericLocale(const CNumericLocale&) = delete;
  CNumericLocale& operator=(const CNumericLocale&) = delete;

 private:
  static locale_t Get() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(0));  // kept for the process
    return c;
  }
  locale_t previous_;
};

}  // namespace

String String::FromInt(int32_t n) {
  char buf[16];
  int len = std::snprintf(buf, sizeof buf, "%d", n);
  return String(std::string_view(buf, len));
}

String String::FromLong(int64_t n) {
  char buf[32];
  int len = std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(n));
  return String(std::string_view(buf, len));
}

String String::FromFloat(float x) {
  char buf[64];
  CNumericLocale c;
  int len = std::snprintf(buf, sizeof buf, "%#.9g", static_cast<double>(x));
  return String(std::string_view(buf, len));
}

String String::FromDouble(double x) {
  char buf[64];
  CNumericLocale c;
  int len = std::snprintf(buf, sizeof buf, "%#.17g", x);
  return String(std::string_view(buf, len));
}

namespace {

bool IsSpace(char16_t c) {
  return c == ' ' || (c >= 9 && c <= 13);
}

int DigitValue(char16_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// Unsigned arithmetic so that overflow wraps around instead of being undefined.
template <class U>
U ParseInteger(const char16_t* s, int32_t n) {
  int32_t i = 0;
  while (i < n && IsSpace(s[i]))
    ++i;
  bool negative = false;
  if (i < n && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  unsigned base = 10;
  if (i < n && s[i] == '%') {
    base = 2;
    ++i;
  } else if (i < n && s[i] == '$') {
    base = 16;
    ++i;
  }
  U value = 0;
  for (; i < n; ++i) {
    int d = DigitValue(s[i]);
    if (d >= static_cast<int>(base)) break;
    value = value * base + static_cast<U>(d);
  }
  return negative ? U(0) - value : value;
}

}  // namespace

int32_t String::ToInt() const noexcept {
  return static_cast<int32_t>(ParseInteger<uint32_t>(Data(), Length()));
}

int64_t String::ToLong() const noexcept {
  return static_cast<int64_t>(ParseInteger<uint64_t>(Data(), Length()));
}

float String::ToFloat() const {
  return static_cast<float>(ToDouble());
}

double String::ToDouble() const {
  // Through a C string, as the C library reads it: the text ends at the first 0 byte.
  std::string text = ToCString();
  CNumericLocale c;
  return std::atof(text.c_str());
}

}  // namespace vxl
