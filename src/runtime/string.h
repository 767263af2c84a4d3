// Strings: immutable sequences of 16-bit character codes, shared by reference.
//
//   String s = "Hello";                  // from Latin-1 bytes, one character per byte
//   String t = s + ", world";            // a new string
//   int at = t.Find("world");            // 7
//   Ref<Object> o = t;                   // a string is an object too (thrown, passed as a URL)
//   if (String::IsString(o.Get())) ...   // and can be recognised again
//
// Every string of length 0 is one shared empty string. C strings convert one byte per character
// (Latin-1) both ways; numbers format with the C library's "%#.9g" (float) and "%#.17lg" (double).
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <typeinfo>

#include "runtime/object.h"

namespace vxl {

template <class T>
class Array;

// The object that holds a string's characters. Use String, not this. Its characters are written
// only while String builds it; after that it is shared and never changes.
class StringObject final : public Object {
 public:
  VXL_CLASS(StringObject, Object)
  int32_t Length() const noexcept { return length_; }
  const char16_t* Data() const noexcept { return chars_; }

  String ToString() const override;
  int Compare(const Object* other) const override;

  static void operator delete(void* p) { ::operator delete(p); }

 private:
  friend class String;
  // A new string object of `length` characters (left uninitialised): length 1 or more, and a
  // length that does not fit raises an error (runtime_detail::CheckedLength).
  static Ref<StringObject> Allocate(int64_t length);
  static StringObject& Empty() noexcept;
  char16_t* MutableData() noexcept { return chars_; }

  explicit StringObject(int32_t length) noexcept : length_(length) {}
  explicit StringObject(ImmortalTag tag) noexcept : Object(tag), length_(0) { chars_[0] = 0; }

  int32_t length_;
  char16_t chars_[1];  // the characters continue past the end of the object
};

class String {
 public:
  String() noexcept : rep_(&StringObject::Empty()) {}
  // From Latin-1 bytes up to the terminating 0 (nullptr gives "").
  String(const char* latin1);
  // From 16-bit codes up to the terminating 0 (nullptr gives "").
  String(const char16_t* codes);
  explicit String(std::u16string_view codes);
  explicit String(std::string_view latin1);

  static String FromCString(const char* latin1) { return String(latin1); }
  static String FromWideString(const char16_t* codes) { return String(codes); }
  static String FromBytes(const uint8_t* bytes, int32_t count);
  static String FromShorts(const uint16_t* codes, int32_t count);
  static String FromInts(const int32_t* codes, int32_t count);
  static String FromChar(int32_t code);
  static String FromInt(int32_t n);
  static String FromLong(int64_t n);
  static String FromFloat(float x);
  static String FromDouble(double x);
  // A new string of `length` characters that `fill(char16_t* out)` writes; "" for a length of 0
  // or less. A length above INT32_MAX raises an error.
  template <class F>
  static String Make(int64_t length, F&& fill) {
    if (length <= 0) return String();
    Ref<StringObject> rep = StringObject::Allocate(length);
    fill(rep->MutableData());
    return String(std::move(rep));
  }

  // True if the object is a string.
  static bool IsString(const Object* o) noexcept { return o && typeid(*o) == typeid(StringObject); }
  // The object as a string if it is one, otherwise the empty string.
  static String Of(const Ref<Object>& o);

  int32_t Length() const noexcept { return rep_.Get()->Length(); }
  bool IsEmpty() const noexcept { return Length() == 0; }
  const char16_t* Data() const noexcept { return rep_.Get()->Data(); }
  std::u16string_view View() const noexcept { return {Data(), static_cast<size_t>(Length())}; }
  // The character at i; throws TArrayBoundsException outside 0..Length()-1.
  char16_t operator[](int32_t i) const;
  // The code of the first character, or -1 for "".
  int32_t Asc() const noexcept { return Length() ? Data()[0] : -1; }

  // Code by code; a prefix sorts first. Difference of the first differing codes, else of lengths.
  int Compare(const String& other) const noexcept;
  friend bool operator==(const String& a, const String& b) noexcept {
    return a.rep_.Get() == b.rep_.Get() ||
           (a.Length() == b.Length() &&
            std::memcmp(a.Data(), b.Data(), sizeof(char16_t) * a.Length()) == 0);
  }
  friend bool operator<(const String& a, const String& b) noexcept { return a.Compare(b) < 0; }

  String operator+(const String& other) const;
  String& operator+=(const String& other) { return *this = *this + other; }

  // First position at or after start (a negative start counts as 0), or -1. An empty sub gives
  // start.
  int32_t Find(const String& sub, int32_t start = 0) const noexcept;
  // Searches backwards from Length() - start (or Length() - sub.Length() if smaller); -1 if absent.
  int32_t FindLast(const String& sub, int32_t start = 0) const noexcept;
  // Characters a..b-1; positions outside the string read as spaces. A result longer than
  // INT32_MAX raises an error.
  String Slice(int64_t a, int64_t b) const;
  // Without leading and trailing codes 0..32; the same string when nothing is removed.
  String Trim() const;
  // Only A-Z / a-z change (LowerAscii on each character); every other code is kept.
  String ToLower() const;
  String ToUpper() const;
  String Replace(const String& find, const String& with) const;
  // Empty separator: the runs of codes above 32. Otherwise n separators give n+1 pieces.
  Array<String> Split(const String& separator) const;
  String Join(const Array<String>& pieces) const;
  bool StartsWith(const String& s) const noexcept;
  bool EndsWith(const String& s) const noexcept;
  bool Contains(const String& s) const noexcept { return Find(s) >= 0; }

  // One byte per character: the low 8 bits of each code.
  std::string ToCString() const;
  std::u16string ToWideString() const { return std::u16string(View()); }
  // Leading white space, optional sign, then "%" binary, "$" hexadecimal or decimal digits;
  // wraps modulo 2^32 (2^64 for ToLong); no digits gives 0.
  int32_t ToInt() const noexcept;
  int64_t ToLong() const noexcept;
  float ToFloat() const;
  double ToDouble() const;

  // The string as an object (the same shared characters).
  const Ref<StringObject>& AsObject() const noexcept { return rep_; }
  operator Ref<Object>() const noexcept { return rep_; }

  size_t Hash() const noexcept { return std::hash<std::u16string_view>()(View()); }

 private:
  explicit String(Ref<StringObject> rep) noexcept : rep_(std::move(rep)) {}
  friend class StringBuilder;

  Ref<StringObject> rep_;  // never Null
};

inline String operator+(const char* a, const String& b) {
  return String(a) + b;
}

// Builds a string piece by piece with one final copy.
class StringBuilder {
 public:
  StringBuilder& Append(const String& s) {
    buf_.append(s.View());
    return *this;
  }
  StringBuilder& Append(char16_t c) {
    buf_.push_back(c);
    return *this;
  }
  StringBuilder& AppendLatin1(std::string_view bytes);
  void Reserve(size_t n) { buf_.reserve(n); }
  size_t Length() const { return buf_.size(); }
  String ToString() const { return String(std::u16string_view(buf_)); }

 private:
  std::u16string buf_;
};

// c with A-Z lowered; every other code unchanged. The one case rule for names, protocols and
// file names: String::ToLower applies it to each character.
constexpr char16_t LowerAscii(char16_t c) noexcept {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
}
// a and b equal under LowerAscii, byte by byte.
bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) noexcept;

}  // namespace vxl

template <>
struct std::hash<vxl::String> {
  size_t operator()(const vxl::String& s) const noexcept { return s.Hash(); }
};
