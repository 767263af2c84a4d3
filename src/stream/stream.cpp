// The stream classes: the TIO defaults, the TStream algorithms and the wrappers.
#include "stream/stream.h"

#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/class_binder.h"
#include "stream/byte_scan.h"
#include "stream/length_check.h"

namespace vxl {

VXL_DEFINE_CLASS(TStreamException)
VXL_DEFINE_CLASS(TStreamReadException)
VXL_DEFINE_CLASS(TStreamWriteException)
VXL_DEFINE_CLASS(TIO)
VXL_DEFINE_CLASS(TStream)
VXL_DEFINE_CLASS(TStreamWrapper)
VXL_DEFINE_CLASS(TStreamStream)

String TStreamReadException::ToString() const {
  return "Error reading from stream";
}
String TStreamWriteException::ToString() const {
  return "Error writing to stream";
}

void ThrowStreamRead() {
  Throw(Ref<Object>(New<TStreamReadException>()));
}
void ThrowStreamWrite() {
  Throw(Ref<Object>(New<TStreamWriteException>()));
}

int32_t TIO::Eof() {
  return Pos() == Size() ? 1 : 0;
}
int32_t TIO::Pos() {
  return -1;
}
int32_t TIO::Size() {
  return 0;
}
int32_t TIO::Seek(int32_t) {
  return -1;
}
int32_t TIO::Flush() {
  return 0;
}
int32_t TIO::Close() {
  return 0;
}
int32_t TIO::Read(uint8_t*, int32_t) {
  RaiseRuntimeError("Stream is not readable");
}
int32_t TIO::Write(const uint8_t*, int32_t) {
  RaiseRuntimeError("Stream is not writeable");
}

void TIO::Bind(ClassBinder<TIO>& b) {
  b.Method<&TIO::Eof>("Eof");
  b.Method<&TIO::Pos>("Pos");
  b.Method<&TIO::Size>("Size");
  b.Method<&TIO::Seek>("Seek");
  b.Method<&TIO::Flush>("Flush");
  b.Method<&TIO::Close>("Close");
}

int32_t TStream::ReadBytes(uint8_t* buf, int32_t count) {
  int32_t remaining = count;
  while (remaining > 0 && Eof() == 0) {
    int32_t n = Read(buf, remaining);
    if (n == 0) ThrowStreamRead();
    buf += n;
    remaining -= n;
  }
  return count;
}

int32_t TStream::WriteBytes(const uint8_t* buf, int32_t count) {
  int32_t remaining = count;
  while (remaining > 0) {
    int32_t n = Write(buf, remaining);
    if (n == 0) ThrowStreamWrite();
    buf += n;
    remaining -= n;
  }
  return count;
}

int32_t TStream::SkipBytes(int32_t count) {
  uint8_t scratch[1024];
  int32_t remaining = count;
  while (remaining > 0 && Eof() == 0) {
    int32_t n = Read(scratch, remaining < 1024 ? remaining : 1024);
    if (n == 0) ThrowStreamRead();
    remaining -= n;
  }
  return count;
}

namespace {

// Fills a zeroed value from the stream: bytes missing at the end stay zero.
template <class T>
T ReadValue(TStream& s) {
  uint8_t bytes[sizeof(T)] = {};
  s.ReadBytes(bytes, sizeof(T));
  T value;
  std::memcpy(&value, bytes, sizeof(T));
  return value;
}

// The platform is little-endian, which is the stream byte order, so values go out as they are.
template <class T>
int32_t WriteValue(TStream& s, T value) {
  uint8_t bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  s.WriteBytes(bytes, sizeof(T));
  return 0;
}

static_assert(std::endian::native == std::endian::little, "typed stream data assume little-endian");

}  // namespace

int32_t TStream::ReadByte() {
  return ReadValue<uint8_t>(*this);
}
int32_t TStream::WriteByte(int32_t n) {
  return WriteValue(*this, static_cast<uint8_t>(n));
}
int32_t TStream::ReadShort() {
  return ReadValue<uint16_t>(*this);
}
int32_t TStream::WriteShort(int32_t n) {
  return WriteValue(*this, static_cast<uint16_t>(n));
}
int32_t TStream::ReadInt() {
  return ReadValue<int32_t>(*this);
}
int32_t TStream::WriteInt(int32_t n) {
  return WriteValue(*this, n);
}
int64_t TStream::ReadLong() {
  return ReadValue<int64_t>(*this);
}
int32_t TStream::WriteLong(int64_t n) {
  return WriteValue(*this, n);
}
float TStream::ReadFloat() {
  return ReadValue<float>(*this);
}
int32_t TStream::WriteFloat(float x) {
  return WriteValue(*this, x);
}
double TStream::ReadDouble() {
  return ReadValue<double>(*this);
}
int32_t TStream::WriteDouble(double x) {
  return WriteValue(*this, x);
}

namespace {

String Latin1String(const uint8_t* p, size_t n) {
  return String::Make(static_cast<int64_t>(n),
                      [&](char16_t* out) { stream_detail::WidenLatin1(p, n, out); });
}

}  // namespace

String TStream::ReadLine() {
  // Bytes the stream holds in memory are scanned in place; the rest arrive one Read(b, 1) each.
  std::string pending;  // the line so far, when it does not lie whole in one view
  for (;;) {
    std::span<const uint8_t> held = PeekBuffered();
    if (held.empty()) {
      uint8_t b;
      if (Read(&b, 1) != 1 || b == 0 || b == 10) break;
      if (b != 13) {
        stream_detail::CheckLength(pending.size() + 1);
        pending.push_back(static_cast<char>(b));
      }
      continue;
    }
    const uint8_t* p = held.data();
    size_t n = held.size();
    size_t i = stream_detail::FindAnyOf3(p, n, 0, 10, 13);
    if (pending.empty()) {
      // The usual case: the whole line is in view, ended by LF, CR LF or 0.
      size_t used = 0;
      if (i < n && p[i] != 13) {
        used = i + 1;
      } else if (i + 1 < n && p[i] == 13 && p[i + 1] == 10) {
        used = i + 2;
      }
      if (used) {
        String line = Latin1String(p, i);
        ConsumeBuffered(used);
        return line;
      }
    }
    size_t at = 0;
    bool ended = false;
    for (;;) {
      stream_detail::CheckLength(pending.size() + (i - at));
      pending.append(reinterpret_cast<const char*>(p + at), i - at);
      if (i == n) {
        at = n;
        break;
      }
      at = i + 1;
      if (p[i] != 13) {
        ended = true;
        break;
      }
      i = at + stream_detail::FindAnyOf3(p + at, n - at, 0, 10, 13);
    }
    ConsumeBuffered(at);
    if (ended) break;
  }
  return Latin1String(reinterpret_cast<const uint8_t*>(pending.data()), pending.size());
}

int32_t TStream::WriteLine(const String& text) {
  std::string bytes = text.ToCString();
  int32_t n = static_cast<int32_t>(bytes.size());
  if (Write(reinterpret_cast<const uint8_t*>(bytes.data()), n) != n) return 0;
  static const uint8_t crlf[2] = {13, 10};
  return Write(crlf, 2) == 2 ? 1 : 0;
}

String TStream::ReadString(int32_t length) {
  if (length <= 0) return String();
  std::vector<uint8_t> bytes(static_cast<size_t>(length));
  ReadBytes(bytes.data(), length);
  return String::FromBytes(bytes.data(), length);
}

int32_t TStream::WriteString(const String& text) {
  std::string bytes = text.ToCString();
  WriteBytes(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()));
  return 0;
}

std::span<const uint8_t> TStream::PeekBuffered() {
  return {};
}
void TStream::ConsumeBuffered(size_t) {}

Ref<Object> TStream::ReadObject() {
  Throw("Unable to read object");
}
int32_t TStream::WriteObject(const Ref<Object>&) {
  Throw("Unable to write object");
}

void TStream::Bind(ClassBinder<TStream>& b) {
  b.Method<&TStream::SkipBytes>("SkipBytes");
  b.Method<&TStream::ReadByte>("ReadByte");
  b.Method<&TStream::WriteByte>("WriteByte");
  b.Method<&TStream::ReadShort>("ReadShort");
  b.Method<&TStream::WriteShort>("WriteShort");
  b.Method<&TStream::ReadInt>("ReadInt");
  b.Method<&TStream::WriteInt>("WriteInt");
  b.Method<&TStream::ReadLong>("ReadLong");
  b.Method<&TStream::WriteLong>("WriteLong");
  b.Method<&TStream::ReadFloat>("ReadFloat");
  b.Method<&TStream::WriteFloat>("WriteFloat");
  b.Method<&TStream::ReadDouble>("ReadDouble");
  b.Method<&TStream::WriteDouble>("WriteDouble");
  b.Method<&TStream::ReadLine>("ReadLine");
  b.Method<&TStream::WriteLine>("WriteLine");
  b.Method<&TStream::ReadString>("ReadString");
  b.Method<&TStream::WriteString>("WriteString");
  b.Method<&TStream::ReadObject>("ReadObject");
  b.Method<&TStream::WriteObject>("WriteObject");
}

int32_t TStreamWrapper::Eof() {
  return _stream->Eof();
}
int32_t TStreamWrapper::Pos() {
  return _stream->Pos();
}
int32_t TStreamWrapper::Size() {
  return _stream->Size();
}
int32_t TStreamWrapper::Seek(int32_t pos) {
  return _stream->Seek(pos);
}
int32_t TStreamWrapper::Flush() {
  return _stream->Flush();
}
int32_t TStreamWrapper::Close() {
  return _stream->Close();
}
int32_t TStreamWrapper::Read(uint8_t* buf, int32_t count) {
  return _stream->Read(buf, count);
}
int32_t TStreamWrapper::Write(const uint8_t* buf, int32_t count) {
  return _stream->Write(buf, count);
}
int32_t TStreamWrapper::ReadByte() {
  return _stream->ReadByte();
}
int32_t TStreamWrapper::WriteByte(int32_t n) {
  return _stream->WriteByte(n);
}
int32_t TStreamWrapper::ReadShort() {
  return _stream->ReadShort();
}
int32_t TStreamWrapper::WriteShort(int32_t n) {
  return _stream->WriteShort(n);
}
int32_t TStreamWrapper::ReadInt() {
  return _stream->ReadInt();
}
int32_t TStreamWrapper::WriteInt(int32_t n) {
  return _stream->WriteInt(n);
}
float TStreamWrapper::ReadFloat() {
  return _stream->ReadFloat();
}
int32_t TStreamWrapper::WriteFloat(float x) {
  return _stream->WriteFloat(x);
}
double TStreamWrapper::ReadDouble() {
  return _stream->ReadDouble();
}
int32_t TStreamWrapper::WriteDouble(double x) {
  return _stream->WriteDouble(x);
}
String TStreamWrapper::ReadLine() {
  return _stream->ReadLine();
}
int32_t TStreamWrapper::WriteLine(const String& text) {
  return _stream->WriteLine(text);
}
String TStreamWrapper::ReadString(int32_t length) {
  return _stream->ReadString(length);
}
int32_t TStreamWrapper::WriteString(const String& text) {
  return _stream->WriteString(text);
}
Ref<Object> TStreamWrapper::ReadObject() {
  return _stream->ReadObject();
}
int32_t TStreamWrapper::WriteObject(const Ref<Object>& object) {
  return _stream->WriteObject(object);
}
std::span<const uint8_t> TStreamWrapper::PeekBuffered() {
  return _stream->PeekBuffered();
}
void TStreamWrapper::ConsumeBuffered(size_t count) {
  _stream->ConsumeBuffered(count);
}

void TStreamWrapper::Bind(ClassBinder<TStreamWrapper>& b) {
  b.ReadOnlyField<&TStreamWrapper::_stream>("_stream");
}

Ref<TStreamStream> TStreamStream::Create(const Ref<TStream>& stream) {
  auto s = New<TStreamStream>();
  s->_stream = stream;
  return s;
}

int32_t TStreamStream::Close() {
  _stream = nullptr;
  return 0;
}

}  // namespace vxl
