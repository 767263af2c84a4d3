// Byte order: a wrapper that reads and writes the typed values of a stream most significant byte
// first, and the "bigendian::" and "littleendian::" protocols that nest around any other URL.
//
//   Ref<TStream> s = OpenStreamUrl(String("bigendian::incbin::level.bin"), 1, 0);
//   int32_t magic = s->ReadInt();          // bytes 0, 0, 1, 2 give 258
//   Ref<TStream> same = WrapLittleEndian(file);   // already the native order: `file` itself
#pragma once

#include <cstdint>

#include "stream/stream.h"

namespace vxl {

// Reverses the bytes of shorts, ints, longs, floats and doubles. Everything else (bytes, lines,
// strings, Read, Write, positions, Close) is forwarded unchanged to the wrapped stream.
class TXEndianStream : public TStreamWrapper {
 public:
  VXL_CLASS(TXEndianStream, TStreamWrapper)
  // Reverse the 2, 4 or 8 bytes at p in place.
  static void Swap2(uint8_t* p);
  static void Swap4(uint8_t* p);
  static void Swap8(uint8_t* p);

  int32_t ReadShort() override;
  int32_t WriteShort(int32_t n) override;
  int32_t ReadInt() override;
  int32_t WriteInt(int32_t n) override;
  int64_t ReadLong() override;
  int32_t WriteLong(int64_t n) override;
  float ReadFloat() override;
  int32_t WriteFloat(float x) override;
  double ReadDouble() override;
  int32_t WriteDouble(double x) override;

  // A new wrapper around `stream`; Null for Null.
  static Ref<TXEndianStream> Create(const Ref<TStream>& stream);
  // Big-endian access: this system is little-endian, so the swapping wrapper.
  static Ref<TStream> BigEndian(const Ref<TStream>& stream);
  // Little-endian access: `stream` itself, unwrapped.
  static Ref<TStream> LittleEndian(const Ref<TStream>& stream);
};

// "bigendian::url" and "littleendian::url": the inner URL opened by the full URL rule, then
// wrapped by BigEndian or LittleEndian. Null when the inner URL does not open.
class TXEndianStreamFactory : public TStreamFactory {
 public:
  VXL_CLASS(TXEndianStreamFactory, TStreamFactory)
  Ref<TStream> CreateStream(const Ref<Object>& url, const String& proto, const String& path,
                            int32_t readable, int32_t writeable) override;
};

Ref<TStream> WrapBigEndian(const Ref<TStream>& stream);
Ref<TStream> WrapLittleEndian(const Ref<TStream>& stream);

// The endian stream module: registers the classes and creates the factory.
int InitEndianStreamModule();

}  // namespace vxl
