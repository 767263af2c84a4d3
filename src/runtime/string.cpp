#include "runtime/string.h"

#include <algorithm>
#include <new>

#include "runtime/array.h"
#include "runtime/checked_length.h"
#include "runtime/class_binder.h"
#include "runtime/exceptions.h"

namespace vxl {

VXL_DEFINE_CLASS(StringObject)

Ref<StringObject> StringObject::Allocate(int64_t length) {
  int32_t n = runtime_detail::CheckedLength(length);
  size_t bytes = sizeof(StringObject) + sizeof(char16_t) * static_cast<size_t>(n);
  void* mem = ::operator new(bytes);
  return Ref<StringObject>::Adopt(new (mem) StringObject(n));
}

// Never destroyed, so references still held during static destruction stay valid.
StringObject& StringObject::Empty() noexcept {
  static StringObject* empty = new StringObject(ImmortalTag{});
  return *empty;
}

String StringObject::ToString() const {
  return String::Of(Ref<Object>(const_cast<StringObject*>(this)));
}

namespace {

int CompareCodes(const char16_t* a, int32_t na, const char16_t* b, int32_t nb) noexcept {
  int32_t n = std::min(na, nb);
  for (int32_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return int(a[i]) - int(b[i]);
  }
  return na - nb;
}

}  // namespace

int StringObject::Compare(const Object* other) const {
  if (!String::IsString(other)) return Object::Compare(other);
  auto* o = static_cast<const StringObject*>(other);
  return CompareCodes(Data(), Length(), o->Data(), o->Length());
}

namespace {

String Copy(const char16_t* codes, size_t n) {
  return String::Make(static_cast<int64_t>(n),
                      [&](char16_t* out) { std::memcpy(out, codes, n * sizeof(char16_t)); });
}

template <class T>
String Widen(const T* items, size_t n, uint32_t mask) {
  return String::Make(static_cast<int64_t>(n), [&](char16_t* out) {
    for (size_t i = 0; i < n; ++i)
      out[i] = static_cast<char16_t>(static_cast<uint32_t>(items[i]) & mask);
  });
}

}  // namespace

String::String(const char* latin1)
    : String(latin1 ? Widen(reinterpret_cast<const uint8_t*>(latin1), std::strlen(latin1), 0xFF)
                    : String()) {}

String::String(const char16_t* codes)
    : String(codes ? Copy(codes, std::char_traits<char16_t>::length(codes)) : String()) {}

String::String(std::u16string_view codes) : String(Copy(codes.data(), codes.size())) {}

String::String(std::string_view latin1)
    : String(Widen(reinterpret_cast<const uint8_t*>(latin1.data()), latin1.size(), 0xFF)) {}

String String::FromBytes(const uint8_t* bytes, int32_t count) {
  return Widen(bytes, std::max(count, 0), 0xFF);
}
String String::FromShorts(const uint16_t* codes, int32_t count) {
  return Widen(codes, std::max(count, 0), 0xFFFF);
}
String String::FromInts(const int32_t* codes, int32_t count) {
  return Widen(codes, std::max(count, 0), 0xFFFF);
}
String String::FromChar(int32_t code) {
  char16_t c = static_cast<char16_t>(code);
  return Copy(&c, 1);
}

String String::Of(const Ref<Object>& o) {
  if (!IsString(o.Get())) return String();
  return String(Ref<StringObject>(static_cast<StringObject*>(o.Get())));
}

char16_t String::operator[](int32_t i) const {
  if (i < 0 || i >= Length()) ThrowArrayBounds();
  return Data()[i];
}

int String::Compare(const String& other) const noexcept {
  return CompareCodes(Data(), Length(), other.Data(), other.Length());
}

String String::operator+(const String& other) const {
  if (other.IsEmpty()) return *this;
  if (IsEmpty()) return other;
  auto rep = StringObject::Allocate(int64_t(Length()) + other.Length());
  std::memcpy(rep->MutableData(), Data(), Length() * sizeof(char16_t));
  std::memcpy(rep->MutableData() + Length(), other.Data(), other.Length() * sizeof(char16_t));
  return String(std::move(rep));
}

int32_t String::Find(const String& sub, int32_t start) const noexcept {
  if (start < 0) start = 0;
  if (sub.IsEmpty()) return start;
  if (start >= Length()) return -1;
  size_t at = View().find(sub.View(), static_cast<size_t>(start));
  return at == std::u16string_view::npos ? -1 : static_cast<int32_t>(at);
}

int32_t String::FindLast(const String& sub, int32_t start) const noexcept {
  int64_t from = std::min(int64_t(Length()) - start, int64_t(Length()) - sub.Length());
  if (from < 0) return -1;
  size_t at = View().rfind(sub.View(), static_cast<size_t>(from));
  return at == std::u16string_view::npos ? -1 : static_cast<int32_t>(at);
}

String String::Slice(int64_t a, int64_t b) const {
  if (b <= a) return String();
  if (a == 0 && b == Length()) return *this;
  const int64_t n = b - a;  // no wrap: callers pass int32 arithmetic done in 64 bits
  return Make(n, [&](char16_t* out) {
    // Spaces before the string, the characters inside it, spaces after it.
    const int64_t inFrom = std::clamp<int64_t>(-a, 0, n);
    const int64_t inTo = std::clamp<int64_t>(Length() - a, inFrom, n);
    std::fill(out, out + inFrom, u' ');
    if (inTo > inFrom) std::copy(Data() + (a + inFrom), Data() + (a + inTo), out + inFrom);
    std::fill(out + inTo, out + n, u' ');
  });
}

String String::Trim() const {
  int32_t a = 0, b = Length();
  while (a < b && Data()[a] <= 32)
    ++a;
  while (b > a && Data()[b - 1] <= 32)
    --b;
  if (a == 0 && b == Length()) return *this;
  return Slice(a, b);
}

namespace {

template <char16_t From, char16_t To>
String MapRange(const String& s, int delta) {
  const char16_t* d = s.Data();
  int32_t n = s.Length();
  int32_t first = 0;
  while (first < n && !(d[first] >= From && d[first] <= To))
    ++first;
  if (first == n) return s;
  return String::Make(n, [&](char16_t* out) {
    for (int32_t i = 0; i < n; ++i)
      out[i] = (d[i] >= From && d[i] <= To) ? static_cast<char16_t>(d[i] + delta) : d[i];
  });
}

}  // namespace

String String::ToLower() const {
  return MapRange<u'A', u'Z'>(*this, LowerAscii(u'A') - u'A');
}
String String::ToUpper() const {
  return MapRange<u'a', u'z'>(*this, -32);
}

String String::Replace(const String& find, const String& with) const {
  if (find.IsEmpty()) return *this;
  int32_t at = Find(find);
  if (at < 0) return *this;
  std::u16string out;
  out.reserve(Length());
  int32_t from = 0;
  while (at >= 0) {
    out.append(View().substr(from, at - from));
    out.append(with.View());
    from = at + find.Length();
    at = Find(find, from);
  }
  out.append(View().substr(from));
  return String(std::u16string_view(out));
}

Array<String> String::Split(const String& separator) const {
  std::vector<String> pieces;
  if (separator.IsEmpty()) {
    int32_t i = 0, n = Length();
    while (i < n) {
      while (i < n && Data()[i] <= 32)
        ++i;
      int32_t start = i;
      while (i < n && Data()[i] > 32)
        ++i;
      if (i > start) pieces.push_back(Slice(start, i));
    }
  } else {
    int32_t from = 0;
    for (int32_t at = Find(separator); at >= 0; at = Find(separator, from)) {
      pieces.push_back(Slice(from, at));
      from = at + separator.Length();
    }
    pieces.push_back(Slice(from, Length()));
  }
  auto out = Array<String>::New(static_cast<int32_t>(pieces.size()));
  for (size_t i = 0; i < pieces.size(); ++i)
    out[static_cast<int32_t>(i)] = std::move(pieces[i]);
  return out;
}

String String::Join(const Array<String>& pieces) const {
  std::u16string out;
  for (int32_t i = 0; i < pieces.Length(); ++i) {
    if (i) out.append(View());
    out.append(pieces[i].View());
  }
  return String(std::u16string_view(out));
}

bool String::StartsWith(const String& s) const noexcept {
  return s.Length() <= Length() && View().substr(0, s.Length()) == s.View();
}

bool String::EndsWith(const String& s) const noexcept {
  return s.Length() <= Length() && View().substr(Length() - s.Length()) == s.View();
}

std::string String::ToCString() const {
  std::string out(static_cast<size_t>(Length()), '\0');
  for (int32_t i = 0; i < Length(); ++i)
    out[i] = static_cast<char>(Data()[i] & 0xFF);
  return out;
}

StringBuilder& StringBuilder::AppendLatin1(std::string_view bytes) {
  size_t at = buf_.size();
  buf_.resize(at + bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i)
    buf_[at + i] = static_cast<unsigned char>(bytes[i]);
  return *this;
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(static_cast<unsigned char>(a[i])) !=
        LowerAscii(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

}  // namespace vxl
