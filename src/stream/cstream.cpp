// TCStream: files through the C library.
#include <cstring>
#include <string>

#include "platform/file_system.h"
#include "runtime/class_binder.h"
#include "stream/cfile_buffer.h"
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
  std::string cpath = path.Replace("\\", "/").ToCString();
  std::FILE* f = std::fopen(cpath.c_str(), mode);
  if (!f) return Ref<TCStream>();
  // POSIX lets fopen open a directory for reading; it is not a file, so it does not open.
  platform::FileStatus st;
  if (platform::OpenFileStatus(f, st) &&
      (st.mode & platform::kModeTypeMask) == platform::kModeDirectory) {
    std::fclose(f);
    return Ref<TCStream>();
  }
  return CreateWithCStream(f, m);
}

Ref<TCStream> TCStream::CreateWithCStream(std::FILE* cstream, int32_t mode) {
  if (!cstream) return Ref<TCStream>();
  auto s = New<TCStream>();
  s->_cstream = cstream;
  s->_pos = static_cast<int32_t>(std::ftell(cstream));
  std::fseek(cstream, 0, SEEK_END);
  s->_size = static_cast<int32_t>(std::ftell(cstream));
  std::fseek(cstream, s->_pos, SEEK_SET);
  s->_mode = mode;
  return s;
}

int32_t TCStream::Seek(int32_t pos) {
  if (!_cstream) return _pos;
  std::fseek(_cstream, pos, SEEK_SET);
  _pos = static_cast<int32_t>(std::ftell(_cstream));
  return _pos;
}

int32_t TCStream::Read(uint8_t* buf, int32_t count) {
  if (!_cstream) return TStream::Read(buf, count);
  if (count <= 0) return 0;
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
  if (_cstream) std::fflush(_cstream);
  return 0;
}

int32_t TCStream::Close() {
  CloseHandle();
  return 0;
}

void TCStream::CloseHandle() {
  if (!_cstream) return;
  std::fflush(_cstream);
  std::fclose(_cstream);
  _cstream = nullptr;
  _pos = 0;
  _size = 0;
}

String TCStream::ReadLine() {
  if (!_cstream) return TStream::ReadLine();
  std::FILE* f = _cstream;
  std::string pending;  // bytes of a line that spans more than one buffer fill
  for (;;) {
    detail::Buffered in = detail::BufferedInput(f);
    if (in.count == 0) {
      // The buffer is empty: one byte through the C library refills it.
      int c = detail::GetByte(f);
      if (c == EOF) break;
      ++_pos;
      if (c == 0 || c == 10) break;
      if (c != 13) pending.push_back(static_cast<char>(c));
      continue;
    }
    const uint8_t* p = in.data;
    size_t len = in.count;
    bool ended = false;
    if (auto* lf = static_cast<const uint8_t*>(std::memchr(p, 10, len))) {
      len = static_cast<size_t>(lf - p);
      ended = true;
    }
    if (auto* nul = static_cast<const uint8_t*>(std::memchr(p, 0, len))) {
      len = static_cast<size_t>(nul - p);
      ended = true;
    }
    size_t used = len + (ended ? 1 : 0);
    if (ended && pending.empty()) {
      // The whole line is in the buffer: build the string straight from it.
      size_t keep = len > 0 && p[len - 1] == 13 ? len - 1 : len;
      if (!std::memchr(p, 13, keep)) {
        String line = String::FromBytes(p, static_cast<int32_t>(keep));
        detail::ConsumeBuffered(f, used);
        _pos += static_cast<int32_t>(used);
        return line;
      }
    }
    for (size_t i = 0; i < len; ++i) {
      if (p[i] != 13) pending.push_back(static_cast<char>(p[i]));
    }
    detail::ConsumeBuffered(f, used);
    _pos += static_cast<int32_t>(used);
    if (ended) break;
  }
  return String(std::string_view(pending));
}

void TCStream::Bind(ClassBinder<TCStream>& b) {
  b.Field<&TCStream::_pos>("_pos");
  b.Field<&TCStream::_size>("_size");
  b.Field<&TCStream::_mode>("_mode");
}

}  // namespace vxl
