#include "memstream/ram_stream.h"

#include <algorithm>
#include <cstring>

#include "runtime/class_binder.h"
#include "memstream/embedded_files.h"

namespace vxl {

VXL_DEFINE_CLASS(TRamStream)
VXL_DEFINE_CLASS(TRamStreamFactory)

Ref<TRamStream> TRamStream::Create(uint8_t* buf, int32_t size, int32_t readable,
                                   int32_t writeable) {
  auto s = New<TRamStream>();
  s->_buf = buf;
  s->_size = s->_length = std::max(size, 0);
  s->_read = readable;
  s->_write = writeable;
  return s;
}

std::span<uint8_t> TRamStream::Rest() const {
  int32_t end = std::clamp(_size, 0, _length);
  if (_pos < 0 || _pos >= end) return {};
  return {_buf + _pos, static_cast<size_t>(end - _pos)};
}

int32_t TRamStream::Seek(int32_t pos) {
  _pos = std::clamp(pos, 0, std::max(_size, 0));
  return _pos;
}

int32_t TRamStream::Read(uint8_t* buf, int32_t count) {
  if (count <= 0 || !_read) return 0;
  std::span<uint8_t> rest = Rest();
  auto n = static_cast<int32_t>(std::min(static_cast<size_t>(count), rest.size()));
  if (n <= 0) return 0;
  std::memcpy(buf, rest.data(), static_cast<size_t>(n));
  _pos += n;
  return n;
}

int32_t TRamStream::Write(const uint8_t* buf, int32_t count) {
  if (count <= 0 || !_write) return 0;
  std::span<uint8_t> rest = Rest();
  auto n = static_cast<int32_t>(std::min(static_cast<size_t>(count), rest.size()));
  if (n <= 0) return 0;
  std::memmove(rest.data(), buf, static_cast<size_t>(n));
  _pos += n;
  return n;
}

std::span<const uint8_t> TRamStream::PeekBuffered() {
  if (!_read) return {};
  return Rest();
}

void TRamStream::ConsumeBuffered(size_t count) {
  _pos += static_cast<int32_t>(count);
}

void TRamStream::Bind(ClassBinder<TRamStream>& b) {
  b.ReadOnlyField<&TRamStream::_pos>("_pos");
  b.ReadOnlyField<&TRamStream::_size>("_size");
  b.ReadOnlyField<&TRamStream::_read>("_read");
  b.ReadOnlyField<&TRamStream::_write>("_write");
}

Ref<TStream> TRamStreamFactory::CreateStream(const Ref<Object>&, const String& proto,
                                             const String& path, int32_t readable,
                                             int32_t writeable) {
  if (writeable || proto != String("incbin")) return nullptr;
  const uint8_t* data = EmbeddedFileData(path);
  if (!data) return nullptr;
  // The stream is read-only, so the embedded data are never written through it.
  return TRamStream::Create(const_cast<uint8_t*>(data), EmbeddedFileLength(path), readable, 0);
}

Ref<TRamStream> NewRamStream(uint8_t* buf, int32_t size, int32_t readable, int32_t writeable) {
  return TRamStream::Create(buf, size, readable, writeable);
}

int InitRamStreamModule() {
  static ModuleGuard guard("RAM stream");
  return guard.Run({InitCoreModule, InitStreamModule}, [] {
    RegisterClass<TRamStream>();
    RegisterClass<TRamStreamFactory>();
    New<TRamStreamFactory>();
  });
}

}  // namespace vxl
