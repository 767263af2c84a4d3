#include "memstream/endian_stream.h"

#include <algorithm>
#include <cstring>

#include "runtime/class_binder.h"

namespace vxl {

VXL_DEFINE_CLASS(TXEndianStream)
VXL_DEFINE_CLASS(TXEndianStreamFactory)

namespace {

// Reads `size` bytes (zero where the stream ends) and returns them reversed as a T.
template <class T>
T ReadSwapped(TStream& s) {
  uint8_t bytes[sizeof(T)] = {};
  s.ReadBytes(bytes, sizeof(T));
  std::reverse(bytes, bytes + sizeof(T));
  T value;
  std::memcpy(&value, bytes, sizeof(T));
  return value;
}

template <class T>
int32_t WriteSwapped(TStream& s, T value) {
  uint8_t bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  std::reverse(bytes, bytes + sizeof(T));
  s.WriteBytes(bytes, sizeof(T));
  return 0;
}

}  // namespace

void TXEndianStream::Swap2(uint8_t* p) {
  std::reverse(p, p + 2);
}
void TXEndianStream::Swap4(uint8_t* p) {
  std::reverse(p, p + 4);
}
void TXEndianStream::Swap8(uint8_t* p) {
  std::reverse(p, p + 8);
}

int32_t TXEndianStream::ReadShort() {
  return ReadSwapped<uint16_t>(*this);
}
int32_t TXEndianStream::WriteShort(int32_t n) {
  return WriteSwapped(*this, static_cast<uint16_t>(n));
}
int32_t TXEndianStream::ReadInt() {
  return ReadSwapped<int32_t>(*this);
}
int32_t TXEndianStream::WriteInt(int32_t n) {
  return WriteSwapped(*this, n);
}
int64_t TXEndianStream::ReadLong() {
  return ReadSwapped<int64_t>(*this);
}
int32_t TXEndianStream::WriteLong(int64_t n) {
  return WriteSwapped(*this, n);
}
float TXEndianStream::ReadFloat() {
  return ReadSwapped<float>(*this);
}
int32_t TXEndianStream::WriteFloat(float x) {
  return WriteSwapped(*this, x);
}
double TXEndianStream::ReadDouble() {
  return ReadSwapped<double>(*this);
}
int32_t TXEndianStream::WriteDouble(double x) {
  return WriteSwapped(*this, x);
}

Ref<TXEndianStream> TXEndianStream::Create(const Ref<TStream>& stream) {
  if (!stream) return nullptr;
  auto s = New<TXEndianStream>();
  s->SetStream(stream);
  return s;
}

Ref<TStream> TXEndianStream::BigEndian(const Ref<TStream>& stream) {
  return Create(stream);
}

Ref<TStream> TXEndianStream::LittleEndian(const Ref<TStream>& stream) {
  return stream;
}

Ref<TStream> TXEndianStreamFactory::CreateStream(const Ref<Object>&, const String& proto,
                                                 const String& path, int32_t readable,
                                                 int32_t writeable) {
  bool big = proto == String("bigendian");
  if (!big && proto != String("littleendian")) return nullptr;
  Ref<TStream> inner = OpenStreamUrl(path, readable, writeable);
  return big ? TXEndianStream::BigEndian(inner) : TXEndianStream::LittleEndian(inner);
}

Ref<TStream> WrapBigEndian(const Ref<TStream>& stream) {
  return TXEndianStream::BigEndian(stream);
}

Ref<TStream> WrapLittleEndian(const Ref<TStream>& stream) {
  return TXEndianStream::LittleEndian(stream);
}

int InitEndianStreamModule() {
  static ModuleGuard guard("endian stream");
  return guard.Run({InitCoreModule, InitStreamModule}, [] {
    RegisterClass<TXEndianStream>();
    RegisterClass<TXEndianStreamFactory>();
    New<TXEndianStreamFactory>();
  });
}

}  // namespace vxl
