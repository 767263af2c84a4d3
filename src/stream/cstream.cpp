// TCStream: files through the C library.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "platform/files/c_file_buffer.h"
#include "platform/files/files.h"
#include "runtime/class_binder.h"
#include "stream/stream.h"

namespace vxl {

VXL_DEFINE_CLASS(TCStream)

TCStream::~TCStream() {
  CloseHandle();
}

Ref<TCStream> TCStream::OpenFile(const String& path, int32_t readable, int32_t writeable) {
  const char* mode = "rb";
  int32_t m = MODE_READ;
  if (readable && writeable) {
    mode = "r+b";
    m = MODE_READ | MODE_WRITE;
  } else if (writeable) {
    mode = "wb";
    m = MODE_WRITE;
  }
  // A path the system cannot take unchanged (a 0, a character above 255) names no file.
  std::string cpath;
  if (!platform::SystemPath(path.Replace("\\", "/").View(), cpath)) return Ref<TCStream>();
  std::FILE* f = std::fopen(cpath.c_str(), mode);
  if (!f) return Ref<TCStream>();
  constexpr size_t kBufferBytes = 64 * 1024;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kBufferBytes]);
  if (buffer) std::setvbuf(f, buffer.get(), _IOFBF, kBufferBytes);
  // POSIX lets fopen open a directory for reading; it is not a file, so it does not open.
  platform::FileStatus st;
  if (platform::OpenFileStatus(f, st) &&
      (st.mode & platform::kModeTypeMask) == platform::kModeDirectory) {
    std::fclose(f);
    return Ref<TCStream>();
  }
  Ref<TCStream> stream = CreateWithCStream(f, m);
  stream->_buffer = std::move(buffer);
  return stream;
}

Ref<TCStream> TCStream::CreateWithCStream(std::FILE* cstream, int32_t mode) {
  if (!cstream) return Ref<TCStream>();
  auto s = New<TCStream>();
  s->_cstream = cstream;
  s->_mode = mode;
  long pos = std::ftell(cstream);
  if (pos < 0 || std::fseek(cstream, 0, SEEK_END) != 0) {
    // Not seekable: _pos counts the bytes transferred from here.
    s->_seekable = false;
    return s;
  }
  s->_pos = pos;
  s->_size = std::ftell(cstream);
  std::fseek(cstream, pos, SEEK_SET);
  return s;
}

namespace {

int32_t Saturated(int64_t n) {
  return static_cast<int32_t>(std::min<int64_t>(n, INT32_MAX));
}

}  // namespace

int32_t TCStream::Pos() {
  return _cstream && !_seekable ? -1 : Saturated(_pos);
}

int32_t TCStream::Size() {
  return Saturated(_size);
}

int32_t TCStream::Eof() {
  if (_cstream && !_seekable) return 0;
  return _pos == _size ? 1 : 0;
}

int32_t TCStream::Seek(int32_t pos) {
  if (!_cstream) return Pos();
  if (!_seekable) return -1;
  std::fseek(_cstream, pos, SEEK_SET);
  _pos = std::ftell(_cstream);
  return Pos();
}

int32_t TCStream::Read(uint8_t* buf, int32_t count) {
  if (!_cstream) return TStream::Read(buf, count);
  if (count <= 0) return 0;
  // Small reads (typed values) straight from the C library's buffer when it holds enough.
  std::span<const uint8_t> held = platform::BufferedInput(_cstream);
  if (held.size() >= static_cast<size_t>(count)) {
    std::memcpy(buf, held.data(), static_cast<size_t>(count));
    platform::ConsumeBufferedInput(_cstream, static_cast<size_t>(count));
    _pos += count;
    return count;
  }
  auto n = static_cast<int32_t>(std::fread(buf, 1, static_cast<size_t>(count), _cstream));
  _pos += n;
  return n;
}

int32_t TCStream::Write(const uint8_t* buf, int32_t count) {
  if (!_cstream) return TStream::Write(buf, count);
  if (count <= 0) return 0;
  auto n = static_cast<int32_t>(std::fwrite(buf, 1, static_cast<size_t>(count), _cstream));
  _pos += n;
  if (_pos > _size) _size = _pos;
  return n;
}

int32_t TCStream::Flush() {
  if (!_cstream) return 0;
  // Bytes the C library could not hand on (a full disk, a closed pipe) would otherwise be lost
  // without a word: -1 tells a writer that not everything it wrote has arrived.
  return std::fflush(_cstream) == 0 && !std::ferror(_cstream) ? 0 : -1;
}

// -1 when bytes still held for the file could not be written: the writer's data did not arrive.
int32_t TCStream::Close() {
  return CloseHandle() ? 0 : -1;
}

bool TCStream::CloseHandle() {
  if (!_cstream) return true;
  bool written = std::fflush(_cstream) == 0 && !std::ferror(_cstream);
  written = std::fclose(_cstream) == 0 && written;
  _cstream = nullptr;
  _buffer.reset();
  _pos = 0;
  _size = 0;
  return written;
}

std::span<const uint8_t> TCStream::PeekBuffered() {
  if (!_cstream) return {};
  std::span<const uint8_t> held = platform::BufferedInput(_cstream);
  // A seekable file ends at _size even when it has grown since (Eof says so).
  if (_seekable)
    held = held.first(static_cast<size_t>(
        std::clamp<int64_t>(_size - _pos, 0, static_cast<int64_t>(held.size()))));
  return held;
}

void TCStream::ConsumeBuffered(size_t count) {
  if (count == 0) return;
  platform::ConsumeBufferedInput(_cstream, count);
  _pos += static_cast<int64_t>(count);
}

void TCStream::Bind(ClassBinder<TCStream>& b) {
  b.ReadOnlyField<&TCStream::_pos>("_pos");
  b.ReadOnlyField<&TCStream::_size>("_size");
  b.ReadOnlyField<&TCStream::_mode>("_mode");
}

}  // namespace vxl
