// Streams over a fixed block of memory the stream does not own, and the "incbin::" protocol
// that opens the embedded files through them.
//
//   uint8_t block[64];
//   Ref<TRamStream> s = NewRamStream(block, sizeof block, 1, 1);
//   s->WriteInt(7);                   // the block never grows: writing past its end throws
//   Ref<TStream> font = OpenStreamUrl(String("incbin::vexelfont.bin"), 1, 0);
#pragma once

#include <cstdint>

#include "stream/stream.h"

namespace vxl {

class TRamStream : public TStream {
 public:
  VXL_CLASS(TRamStream, TStream)
  // A stream at position 0 over `size` bytes at `buf` (a negative size counts as 0).
  static Ref<TRamStream> Create(uint8_t* buf, int32_t size, int32_t readable, int32_t writeable);

  int32_t Pos() override { return _pos; }
  int32_t Size() override { return _size; }
  // Clamped to 0..Size(); returns the new position.
  int32_t Seek(int32_t pos) override;
  // Up to the end of the block; 0 when not readable (writeable) or count < 1.
  int32_t Read(uint8_t* buf, int32_t count) override;
  int32_t Write(const uint8_t* buf, int32_t count) override;
  // The rest of the block when readable.
  std::span<const uint8_t> PeekBuffered() override;
  void ConsumeBuffered(size_t count) override;
  int32_t Readable() const { return _read; }
  int32_t Writeable() const { return _write; }

  static void Bind(ClassBinder<TRamStream>& b);

 private:
  // The bytes at [_pos, end) that the block holds, whatever _pos and _size say: _length, the
  // block's real length, is fixed at creation and never reflected.
  std::span<uint8_t> Rest() const;

  int32_t _pos = 0;
  int32_t _size = 0;
  uint8_t* _buf = nullptr;  // not owned
  int32_t _length = 0;
  int32_t _read = 0;   // readable flag
  int32_t _write = 0;  // writeable flag
};

// "incbin::name" opened for reading only: a read-only TRamStream over the embedded file.
class TRamStreamFactory : public TStreamFactory {
 public:
  VXL_CLASS(TRamStreamFactory, TStreamFactory)
  Ref<TStream> CreateStream(const Ref<Object>& url, const String& proto, const String& path,
                            int32_t readable, int32_t writeable) override;
};

Ref<TRamStream> NewRamStream(uint8_t* buf, int32_t size, int32_t readable, int32_t writeable);

// The RAM stream module: registers the classes and creates the "incbin" factory.
int InitRamStreamModule();

}  // namespace vxl
