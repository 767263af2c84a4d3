// TTextStream: characters in four encodings, numbers as decimal lines, bytes as hexadecimal lines.
#include "stream/text_stream.h"

#include <algorithm>
#include <typeinfo>

#include "runtime/class_binder.h"
#include "stream/length_check.h"

namespace vxl {

VXL_DEFINE_CLASS(TTextStream)
VXL_DEFINE_CLASS(TTextStreamFactory)

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// '0'-'9' give 0-9; anything above '9' counts from 'A' = 10 (so 'a' gives 42). Unsigned, so odd
// bytes from a nested text stream wrap instead of overflowing.
uint32_t HexValue(int32_t d) {
  return d <= 57 ? static_cast<uint32_t>(d) - 48u : static_cast<uint32_t>(d) - 55u;
}

// One character by the ReadChar rules from the bytes `next` yields, as a 16-bit code. The byte
// values are normally 0..255, but a nested text stream's ReadByte can yield any int.
template <class NextByte>
int32_t DecodeChar(int32_t encoding, NextByte&& next) {
  switch (encoding) {
    case TTextStream::LATIN1:
      return static_cast<int32_t>(static_cast<uint32_t>(next()) & 0xFFFF);
    case TTextStream::UTF8: {
      int32_t a = next();
      if (a < 128) return static_cast<int32_t>(static_cast<uint32_t>(a) & 0xFFFF);
      if (a >= 224) {
        uint32_t b = static_cast<uint32_t>(next());
        uint32_t c = static_cast<uint32_t>(next());
        if (a >= 240) return 0;
        return static_cast<int32_t>(((a - 224u) * 4096u + (b - 128u) * 64u + (c - 128u)) & 0xFFFF);
      }
      uint32_t b = static_cast<uint32_t>(next());
      return static_cast<int32_t>(((a - 192u) * 64u + (b - 128u)) & 0xFFFF);
    }
    case TTextStream::UTF16BE: {
      uint32_t hi = static_cast<uint32_t>(next());
      uint32_t lo = static_cast<uint32_t>(next());
      return static_cast<int32_t>((hi * 256u + lo) & 0xFFFF);
    }
    case TTextStream::UTF16LE: {
      uint32_t lo = static_cast<uint32_t>(next());
      uint32_t hi = static_cast<uint32_t>(next());
      return static_cast<int32_t>((hi * 256u + lo) & 0xFFFF);
    }
    default:
      next();
      return 0;
  }
}

// The bytes of one character by the WriteChar rules, handed to `put` (which keeps the low 8 bits).
template <class PutByte>
void EncodeChar(int32_t encoding, int32_t c, PutByte&& put) {
  switch (encoding) {
    case TTextStream::LATIN1:
      put(c);
      break;
    case TTextStream::UTF8:
      if (c < 128) {
        put(c);
      } else if (c < 2048) {
        put(192 + c / 64);
        put(128 + c % 64);
      } else {
        put(224 + c / 4096);
        put(128 + (c / 64) % 64);
        put(128 + c % 64);
      }
      break;
    case TTextStream::UTF16BE:
      put(c >> 8);
      put(c);
      break;
    case TTextStream::UTF16LE:
      put(c);
      put(c >> 8);
      break;
    default:
      break;
  }
}

// Decodes whole characters of one buffered run to `out` (room for n characters). With kLine it
// stops after a line end (0 or 10, not stored), setting `ended`, and drops 13. Returns the bytes
// used; a character cut by the end of the run is left for the caller. `written` counts the
// characters stored.
template <int32_t kEncoding, bool kLine>
size_t DecodeRun(const uint8_t* p, size_t n, char16_t* out, size_t& written, bool& ended) {
  char16_t* o = out;
  size_t i = 0;
  while (i < n) {
    uint32_t c;
    uint32_t a = p[i];
    if constexpr (kEncoding == TTextStream::LATIN1) {
      c = a;
      i += 1;
    } else if constexpr (kEncoding == TTextStream::UTF8) {
      if (a < 128) {
        c = a;
        i += 1;
      } else if (a >= 224) {
        if (n - i < 3) break;
        c = a >= 240 ? 0
                     : ((a - 224u) * 4096u + (p[i + 1] - 128u) * 64u + (p[i + 2] - 128u)) & 0xFFFF;
        i += 3;
      } else {
        if (n - i < 2) break;
        c = ((a - 192u) * 64u + (p[i + 1] - 128u)) & 0xFFFF;
        i += 2;
      }
    } else {
      if (n - i < 2) break;
      c = kEncoding == TTextStream::UTF16BE ? a * 256u + p[i + 1] : p[i + 1] * 256u + a;
      i += 2;
    }
    if constexpr (kLine) {
      if (c == 0 || c == 10) {
        ended = true;
        break;
      }
      if (c == 13) continue;
    }
    *o++ = static_cast<char16_t>(c);
  }
  written = static_cast<size_t>(o - out);
  return i;
}

template <bool kLine>
size_t DecodeRunAs(int32_t encoding, const uint8_t* p, size_t n, char16_t* out, size_t& written,
                   bool& ended) {
  written = 0;
  switch (encoding) {
    case TTextStream::LATIN1:
      return DecodeRun<TTextStream::LATIN1, kLine>(p, n, out, written, ended);
    case TTextStream::UTF8:
      return DecodeRun<TTextStream::UTF8, kLine>(p, n, out, written, ended);
    case TTextStream::UTF16BE:
      return DecodeRun<TTextStream::UTF16BE, kLine>(p, n, out, written, ended);
    case TTextStream::UTF16LE:
      return DecodeRun<TTextStream::UTF16LE, kLine>(p, n, out, written, ended);
    default:
      return 0;  // unknown encodings go the slow way
  }
}

// What repeated `readChar` calls give while `in` is not at its end, decoded in place from the
// bytes `in` holds in memory; `readChar` reads the rest (and refills what the view shows).
template <bool kLine, class Chars, class ReadChar>
void DecodeStream(TStream& in, int32_t encoding, Chars& out, ReadChar&& readChar) {
  while (in.Eof() == 0) {
    size_t used = 0;
    // A memory stream shows all it has: decode at most a chunk at a time, so a short line does
    // not reserve room for the whole rest.
    std::span<const uint8_t> run = in.PeekBuffered();
    run = run.first(std::min<size_t>(run.size(), 16384));
    if (!run.empty()) {
      bool ended = false;
      size_t written;
      char16_t* room = out.Room(run.size());
      used = DecodeRunAs<kLine>(encoding, run.data(), run.size(), room, written, ended);
      out.size += written;
      in.ConsumeBuffered(used);
      if (ended) return;
    }
    if (used == 0) {
      // Nothing held, or a character cut by the end of the view: one character the slow way.
      int32_t c = readChar();
      if (kLine) {
        if (c == 0 || c == 10) return;
        if (c == 13) continue;
      }
      out.Push(static_cast<char16_t>(c));
    }
  }
}

}  // namespace

char16_t* TTextStream::Chars::Room(size_t extra) {
  // Past the bound a line cannot be held, so it stops growing there (a run may take it over by
  // less than one run, which Take refuses).
  if (size > static_cast<size_t>(INT32_MAX)) TooLong();
  if (capacity - size < extra) {
    size_t grown = std::max(capacity * 2, size + extra);
    auto bigger = std::make_unique_for_overwrite<char16_t[]>(grown);
    std::copy(data.get(), data.get() + size, bigger.get());
    data = std::move(bigger);
    capacity = grown;
  }
  return data.get() + size;
}

void TTextStream::Chars::TooLong() {
  size_t length = size;
  size = 0;
  data.reset();
  capacity = 0;
  runtime_detail::ThrowLengthTooLong(static_cast<int64_t>(length));
}

String TTextStream::Chars::Take() {
  if (size > static_cast<size_t>(INT32_MAX)) TooLong();
  String s{std::u16string_view(data.get(), size)};
  size = 0;
  if (capacity > 65536) {
    data.reset();
    capacity = 0;
  }
  return s;
}

Ref<TTextStream> TTextStream::Create(const Ref<TStream>& stream, int32_t encoding) {
  auto s = New<TTextStream>();
  s->_stream = stream;
  s->_encoding = encoding;
  s->_bufcount = 0;
  return s;
}

// The shortcuts below give the same results as the character-at-a-time definitions; a subclass
// may have changed one of those steps, so they serve this exact class only.
bool TTextStream::DecodesInPlace() const {
  return typeid(*this) == typeid(TTextStream) && _stream;
}

bool TTextStream::WritesBytesDirectly() const {
  const TStream* inner = _stream.Get();
  return typeid(*this) == typeid(TTextStream) && inner &&
         (typeid(*inner) == typeid(TCStream) || typeid(*inner) == typeid(TCStandardIO));
}

std::span<const uint8_t> TTextStream::PeekBuffered() {
  return {};  // Read decodes hexadecimal digits: no byte is held as Read delivers it
}
void TTextStream::ConsumeBuffered(size_t) {}

int32_t TTextStream::_ReadByte() {
  return TStreamWrapper::ReadByte();
}
int32_t TTextStream::_WriteByte(int32_t n) {
  return TStreamWrapper::WriteByte(n);
}

int32_t TTextStream::_FlushRead() {
  if (_bufcount == 0) return 0;
  int32_t b = _ReadByte();
  if (b == 13) {
    if (_ReadByte() != 10) Throw("Malformed line terminator");
  } else if (b != 10) {
    Throw("Malformed line terminator");
  }
  _bufcount = 0;
  return 0;
}

int32_t TTextStream::_FlushWrite() {
  if (_bufcount == 0) return 0;
  _WriteByte(13);
  _WriteByte(10);
  _bufcount = 0;
  return 0;
}

int32_t TTextStream::ReadChar() {
  return DecodeChar(_encoding, [this] { return _ReadByte(); });
}

int32_t TTextStream::WriteChar(int32_t c) {
  EncodeChar(_encoding, c, [this](int32_t b) { _WriteByte(b); });
  return 0;
}

String TTextStream::ReadLine() {
  _FlushRead();
  line_.size = 0;  // a line cut short by an exception is not carried over
  if (DecodesInPlace()) {
    DecodeStream<true>(*_stream, _encoding, line_, [this] { return ReadChar(); });
    return line_.Take();
  }
  while (TStreamWrapper::Eof() == 0) {
    int32_t c = ReadChar();
    if (c == 0 || c == 10) break;
    if (c != 13) line_.Push(static_cast<char16_t>(c));
  }
  return line_.Take();
}

String TTextStream::ReadFile() {
  _FlushRead();
  line_.size = 0;
  if (DecodesInPlace()) {
    DecodeStream<false>(*_stream, _encoding, line_, [this] { return ReadChar(); });
    return line_.Take();
  }
  while (TStreamWrapper::Eof() == 0)
    line_.Push(static_cast<char16_t>(ReadChar()));
  return line_.Take();
}

String TTextStream::ReadString(int32_t count) {
  _FlushRead();
  std::u16string chars;
  for (int32_t i = 0; i < count; ++i)
    chars.push_back(static_cast<char16_t>(ReadChar()));
  return String(std::u16string_view(chars));
}

int32_t TTextStream::WriteString(const String& text) {
  _FlushWrite();
  if (WritesBytesDirectly()) {
    // All bytes in one WriteBytes: the same Write calls' worth of bytes as one WriteByte each.
    std::string bytes;
    bytes.reserve(static_cast<size_t>(text.Length()) * 2);
    for (char16_t c : text.View()) {
      EncodeChar(_encoding, c, [&](int32_t b) { bytes.push_back(static_cast<char>(b)); });
    }
    _stream->WriteBytes(reinterpret_cast<const uint8_t*>(bytes.data()),
                        static_cast<int32_t>(bytes.size()));
    return 0;
  }
  for (char16_t c : text.View())
    WriteChar(c);
  return 0;
}

int32_t TTextStream::WriteLine(const String& text) {
  _FlushWrite();
  WriteString(text);
  WriteString("\r\n");
  return 1;
}

int32_t TTextStream::ReadByte() {
  _FlushRead();
  return ReadLine().ToInt();
}
int32_t TTextStream::ReadShort() {
  _FlushRead();
  return ReadLine().ToInt();
}
int32_t TTextStream::ReadInt() {
  _FlushRead();
  return ReadLine().ToInt();
}
int64_t TTextStream::ReadLong() {
  _FlushRead();
  return ReadLine().ToLong();
}
float TTextStream::ReadFloat() {
  _FlushRead();
  return ReadLine().ToFloat();
}
double TTextStream::ReadDouble() {
  _FlushRead();
  return ReadLine().ToDouble();
}

int32_t TTextStream::WriteByte(int32_t n) {
  return WriteInt(n);
}
int32_t TTextStream::WriteShort(int32_t n) {
  return WriteInt(n);
}
int32_t TTextStream::WriteInt(int32_t n) {
  _FlushWrite();
  WriteLine(String::FromInt(n));
  return 0;
}
int32_t TTextStream::WriteLong(int64_t n) {
  _FlushWrite();
  WriteLine(String::FromLong(n));
  return 0;
}
int32_t TTextStream::WriteFloat(float x) {
  _FlushWrite();
  WriteLine(String::FromFloat(x));
  return 0;
}
int32_t TTextStream::WriteDouble(double x) {
  _FlushWrite();
  WriteLine(String::FromDouble(x));
  return 0;
}

int32_t TTextStream::Read(uint8_t* buf, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    if (_bufcount == 32) _FlushRead();
    int32_t h = _ReadByte();
    int32_t l = _ReadByte();
    buf[i] = static_cast<uint8_t>(((HexValue(h) << 4) | HexValue(l)) & 0xFF);
    ++_bufcount;
  }
  return count;
}

int32_t TTextStream::Write(const uint8_t* buf, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    _WriteByte(kHexDigits[buf[i] >> 4]);
    _WriteByte(kHexDigits[buf[i] & 15]);
    if (++_bufcount == 32) _FlushWrite();
  }
  return count;
}

void TTextStream::Bind(ClassBinder<TTextStream>& b) {
  b.ReadOnlyField<&TTextStream::_encoding>("_encoding");
  b.ReadOnlyField<&TTextStream::_bufcount>("_bufcount");
  b.Method<&TTextStream::ReadFile>("ReadFile");
  b.Method<&TTextStream::ReadChar>("ReadChar");
  b.Method<&TTextStream::WriteChar>("WriteChar");
}

Ref<TStream> TTextStreamFactory::CreateStream(const Ref<Object>&, const String& proto,
                                              const String& path, int32_t readable,
                                              int32_t writeable) {
  int32_t encoding;
  if (proto == String("latin1")) {
    encoding = TTextStream::LATIN1;
  } else if (proto == String("utf8")) {
    encoding = TTextStream::UTF8;
  } else if (proto == String("utf16be")) {
    encoding = TTextStream::UTF16BE;
  } else if (proto == String("utf16le")) {
    encoding = TTextStream::UTF16LE;
  } else {
    return Ref<TStream>();
  }
  Ref<TStream> inner = OpenStreamUrl(path, readable, writeable);
  if (!inner) return Ref<TStream>();
  return TTextStream::Create(inner, encoding);
}

int32_t TextToUrl(const String& text, const Url& url) {
  bool latin1 =
      std::all_of(text.View().begin(), text.View().end(), [](char16_t c) { return c <= 255; });
  if (latin1) return StringToUrl(text, url);
  Ref<TStream> stream = OpenForWriting(url);
  if (!stream) ThrowStreamWrite();
  stream->WriteByte(255);  // the UTF-16LE byte-order mark
  stream->WriteByte(254);
  Ref<TTextStream> text16 = TTextStream::Create(stream, TTextStream::UTF16LE);
  text16->WriteString(text);
  CloseWritten(text16);  // closes the stream it wraps
  return 0;
}

int InitTextStreamModule() {
  static ModuleGuard guard("text stream");
  return guard.Run({InitCoreModule, InitStreamModule}, [] {
    RegisterClass<TTextStream>();
    RegisterClass<TTextStreamFactory>();
    New<TTextStreamFactory>();
  });
}

}  // namespace vxl
