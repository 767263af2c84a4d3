// TCStream: files through the C library.
#include <cstring>
#include <string>

#include "platform/files/files.h"
#include "runtime/class_binder.h"
#include "stream/byte_scan.h"
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
  s->_mode = mode;
  long pos = std::ftell(cstream);
  if (pos < 0 || std::fseek(cstream, 0, SEEK_END) != 0) {
    // Not seekable: positions count the bytes transferred from here.
    s->_seekable = false;
    return s;
  }
  s->_pos = static_cast<int32_t>(pos);
  s->_size = static_cast<int32_t>(std::ftell(cstream));
  std::fseek(cstream, pos, SEEK_SET);
  return s;
}

int32_t TCStream::Seek(int32_t pos) {
  if (!_cstream) return _pos;
  if (!_seekable) return -1;
  std::fseek(_cstream, pos, SEEK_SET);
  _pos = static_cast<int32_t>(std::ftell(_cstream));
  return _pos;
}

int32_t TCStream::Read(uint8_t* buf, int32_t count) {
  if (!_cstream) return TStream::Read(buf, count);
  if (count <= 0) return 0;
  // Small reads (typed values) straight from the C library's buffer when it holds enough.
  detail::Buffered in = detail::BufferedInput(_cstream);
  if (in.count >= static_cast<size_t>(count)) {
    std::memcpy(buf, in.data, static_cast<size_t>(count));
    detail::ConsumeBuffered(_cstream, static_cast<size_t>(count));
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

namespace {

String Latin1String(const uint8_t* p, size_t n) {
  if (n == 0) return String();
  Ref<StringObject> rep = StringObject::Allocate(static_cast<int32_t>(n));
  detail::WidenLatin1(p, n, rep->MutableData());
  return String::Of(rep);
}

}  // namespace

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
    size_t n = in.count;
    size_t i = detail::FindAnyOf3(p, n, 0, 10, 13);
    if (pending.empty()) {
      // The usual case: the whole line is in the buffer, ended by LF, CR LF or 0.
      size_t used = 0;
      if (i < n && p[i] != 13) {
        used = i + 1;
      } else if (i + 1 < n && p[i] == 13 && p[i + 1] == 10) {
        used = i + 2;
      }
      if (used) {
        String line = Latin1String(p, i);
        detail::ConsumeBuffered(f, used);
        _pos += static_cast<int32_t>(used);
        return line;
      }
    }
    size_t at = 0;
    bool ended = false;
    for (;;) {
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
      i = at + detail::FindAnyOf3(p + at, n - at, 0, 10, 13);
    }
    detail::ConsumeBuffered(f, at);
    _pos += static_cast<int32_t>(at);
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
