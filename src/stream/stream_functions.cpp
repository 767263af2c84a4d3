// The stream module's functions: open, load, save and copy, the Stream* forwarders and
// TrueCaseFileName.
#include <algorithm>
#include <cstdlib>
#include <new>
#include <vector>

#include "platform/files/files.h"
#include "stream/length_check.h"
#include "stream/stream.h"

namespace vxl {

Ref<TStream> OpenForReading(const Url& url) {
  return OpenStreamUrl(url, 1, 0);
}
Ref<TStream> OpenForWriting(const Url& url) {
  return OpenStreamUrl(url, 0, 1);
}
void CloseWritten(const Ref<TStream>& stream) {
  if (stream->Close() != 0) ThrowStreamWrite();
}

namespace {

// A byte array over a block from malloc, whose bytes a load has just written: zeroing a large
// file's worth of memory first would cost a whole extra pass.
class LoadedByteArray final : public ArrayObject {
 public:
  LoadedByteArray(uint8_t* block, int32_t length)
      : ArrayObject(TypeTag<uint8_t>::Get(), {length}, length, 1), block_(block) {}
  ~LoadedByteArray() override { std::free(block_); }
  void* Data() noexcept override { return block_; }

 private:
  uint8_t* block_;
};

}  // namespace

int32_t ReadStreamToEnd(TStream& stream,
                        const std::function<uint8_t*(int32_t capacity, int32_t kept)>& resize) {
  int32_t pos = stream.Pos();
  int64_t left = pos < 0 ? 1024 : std::max<int64_t>(0, int64_t(stream.Size()) - pos);
  int32_t capacity = static_cast<int32_t>(std::min<int64_t>(left, INT32_MAX));
  uint8_t* block = resize(capacity, 0);
  int32_t used = 0;
  while (stream.Eof() == 0) {
    if (used == capacity) {
      if (capacity == INT32_MAX) {
        // Full at the largest length an array or bank can have: complete only if nothing is left.
        uint8_t probe;
        if (stream.Read(&probe, 1) > 0) runtime_detail::ThrowLengthTooLong(int64_t(INT32_MAX) + 1);
        break;
      }
      int64_t grown = std::max<int64_t>(int64_t(used) * 3 / 2, int64_t(used) + 1024);
      capacity = static_cast<int32_t>(std::min<int64_t>(grown, INT32_MAX));
      block = resize(capacity, used);
    }
    int32_t n = stream.Read(block + used, capacity - used);
    // A stream that never reports its end (the TIO defaults) ends when Read delivers nothing.
    if (n <= 0) break;
    used += n;
  }
  return used;
}

Array<uint8_t> BytesFromUrl(const Url& url) {
  Ref<TStream> stream = OpenForReading(url);
  if (!stream) ThrowStreamRead();
  struct Block {
    uint8_t* data = nullptr;
    ~Block() { std::free(data); }
  } block;
  // realloc moves a large block by remapping its pages, not by copying its bytes.
  int32_t used = ReadStreamToEnd(*stream, [&](int32_t capacity, int32_t) {
    void* grown = std::realloc(block.data, std::max<size_t>(static_cast<size_t>(capacity), 1));
    if (!grown) throw std::bad_alloc();
    return block.data = static_cast<uint8_t*>(grown);
  });
  stream->Close();
  if (void* fitted = std::realloc(block.data, std::max<size_t>(static_cast<size_t>(used), 1)))
    block.data = static_cast<uint8_t*>(fitted);
  auto bytes = New<LoadedByteArray>(block.data, used);
  block.data = nullptr;
  return Array<uint8_t>::Cast(Ref<Object>(bytes));
}

String StringFromUrl(const Url& url) {
  Array<uint8_t> bytes = BytesFromUrl(url);
  return String::FromBytes(bytes.Data(), bytes.Length());
}

int32_t BytesToUrl(const Array<uint8_t>& bytes, const Url& url) {
  Ref<TStream> stream = OpenForWriting(url);
  if (!stream) ThrowStreamWrite();
  stream->WriteBytes(bytes.Data(), bytes.Length());
  CloseWritten(stream);
  return 0;
}

int32_t StringToUrl(const String& text, const Url& url) {
  Ref<TStream> stream = OpenForWriting(url);
  if (!stream) ThrowStreamWrite();
  std::string bytes = text.ToCString();
  stream->WriteBytes(reinterpret_cast<const uint8_t*>(bytes.data()),
                     static_cast<int32_t>(bytes.size()));
  CloseWritten(stream);
  return 0;
}

Ref<Object> ObjectFromUrl(const Url& url) {
  Ref<TStream> stream = OpenForReading(url);
  if (!stream) ThrowStreamRead();
  Ref<Object> object = stream->ReadObject();
  stream->Close();
  return object;
}

int32_t ObjectToUrl(const Ref<Object>& object, const Url& url) {
  Ref<TStream> stream = OpenForWriting(url);
  if (!stream) ThrowStreamWrite();
  stream->WriteObject(object);
  CloseWritten(stream);
  return 0;
}

int32_t CopyStreamData(const Ref<TStream>& from, const Ref<TStream>& to, int32_t bufferSize) {
  bufferSize = std::max(bufferSize, 1);  // a buffer of no bytes would copy nothing at all
  std::vector<uint8_t> buffer(static_cast<size_t>(bufferSize));
  while (from->Eof() == 0) {
    int32_t n = from->Read(buffer.data(), bufferSize);
    // As in BytesFromUrl: a stream without an end ends when Read delivers nothing.
    if (n <= 0) break;
    to->WriteBytes(buffer.data(), n);
  }
  return 0;
}

int32_t CopyStreamBytes(const Ref<TStream>& from, const Ref<TStream>& to, int32_t count,
                        int32_t bufferSize) {
  bufferSize = std::max(bufferSize, 1);
  std::vector<uint8_t> buffer(static_cast<size_t>(bufferSize));
  while (count > 0) {
    int32_t c = std::min(count, bufferSize);
    from->ReadBytes(buffer.data(), c);
    to->WriteBytes(buffer.data(), c);
    count -= c;
  }
  return 0;
}

int32_t StreamEof(const Ref<TStream>& stream) {
  return stream->Eof();
}
int32_t StreamPos(const Ref<TStream>& stream) {
  return stream->Pos();
}
int32_t StreamSize(const Ref<TStream>& stream) {
  return stream->Size();
}
int32_t StreamSeek(const Ref<TStream>& stream, int32_t pos) {
  return stream->Seek(pos);
}
int32_t StreamFlush(const Ref<TStream>& stream) {
  return stream->Flush();
}
int32_t StreamClose(const Ref<TStream>& stream) {
  return stream->Close();
}
int32_t StreamReadByte(const Ref<TStream>& stream) {
  return stream->ReadByte();
}
int32_t StreamReadShort(const Ref<TStream>& stream) {
  return stream->ReadShort();
}
int32_t StreamReadInt(const Ref<TStream>& stream) {
  return stream->ReadInt();
}
int64_t StreamReadLong(const Ref<TStream>& stream) {
  return stream->ReadLong();
}
float StreamReadFloat(const Ref<TStream>& stream) {
  return stream->ReadFloat();
}
double StreamReadDouble(const Ref<TStream>& stream) {
  return stream->ReadDouble();
}
int32_t StreamWriteByte(const Ref<TStream>& stream, int32_t n) {
  return stream->WriteByte(n);
}
int32_t StreamWriteShort(const Ref<TStream>& stream, int32_t n) {
  return stream->WriteShort(n);
}
int32_t StreamWriteInt(const Ref<TStream>& stream, int32_t n) {
  return stream->WriteInt(n);
}
int32_t StreamWriteLong(const Ref<TStream>& stream, int64_t n) {
  return stream->WriteLong(n);
}
int32_t StreamWriteFloat(const Ref<TStream>& stream, float x) {
  return stream->WriteFloat(x);
}
int32_t StreamWriteDouble(const Ref<TStream>& stream, double x) {
  return stream->WriteDouble(x);
}
String StreamReadString(const Ref<TStream>& stream, int32_t length) {
  return stream->ReadString(length);
}
int32_t StreamWriteString(const Ref<TStream>& stream, const String& text) {
  return stream->WriteString(text);
}
String StreamReadLine(const Ref<TStream>& stream) {
  return stream->ReadLine();
}
int32_t StreamWriteLine(const Ref<TStream>& stream, const String& text) {
  return stream->WriteLine(text);
}

namespace {

// The first entry of `directory` that matches `name` ignoring ASCII case, or false.
bool FindEntry(const std::string& directory, const std::string& name, std::string& entry) {
  platform::DirectoryListing* listing = platform::OpenDirectoryListing(directory);
  if (!listing) return false;
  bool found = false;
  while (!found && platform::NextDirectoryName(listing, entry)) {
    found = EqualIgnoringAsciiCase(entry, name);
  }
  platform::CloseDirectoryListing(listing);
  return found;
}

bool IsFileOrDirectory(const String& path) {
  platform::FileStatus status;
  if (!platform::StatPath(path.ToCString(), status)) return false;
  uint32_t type = status.mode & platform::kModeTypeMask;
  return type == platform::kModeRegular || type == platform::kModeDirectory;
}

// The last "/" of path[0, end) that is not its final character, or -1.
int32_t NameSlash(const String& path, int32_t end) {
  for (int32_t i = end - 2; i >= 0; --i) {
    if (path[i] == u'/') return i;
  }
  return -1;
}

}  // namespace

// The definition recurses: the answer for a path is the path itself when it exists, otherwise
// the answer for its directory joined with the name as listed there. Here the directories are
// walked from the root end instead, one level per name, with no copy of the path per level: a
// path that exists has directories that exist, so the first level that does not exist (by the
// definition's test) is the deepest one the definition would have returned unchanged.
String TrueCaseFileName(const String& path) {
  // A path the system cannot take unchanged names nothing (nor do its parts); every other path
  // converts one byte per character below.
  std::string bytes;
  if (!platform::SystemPath(path.View(), bytes)) return String();
  // The ends of the path's directory levels, from the whole path (index 0) to the shortest.
  std::vector<int32_t> ends{path.Length()};
  for (int32_t slash = NameSlash(path, path.Length()); slash >= 1; slash = NameSlash(path, slash))
    ends.push_back(slash);
  // The deepest level that exists; `ends.size()` when none does.
  size_t known = ends.size();
  while (known > 0 && IsFileOrDirectory(path.Slice(0, ends[known - 1])))
    --known;
  if (known == 0) return path;

  std::u16string found;
  if (known < ends.size()) found = path.Slice(0, ends[known]).View();
  for (size_t level = known; level-- > 0;) {
    int32_t end = ends[level];
    int32_t slash = NameSlash(path, end);
    // The directory to search: "." without a "/", the root for a name right after a leading "/"
    // (on POSIX the root is "/", not the current directory), otherwise the levels found so far.
    std::string directory = slash == 0  ? "/"
                            : slash < 0 ? "."
                                        : String(std::u16string_view(found)).ToCString();
    std::string entry;
    if (!FindEntry(directory, path.Slice(slash + 1, end).ToCString(), entry)) return String();
    if (slash >= 0) found += u'/';
    for (char c : entry)
      found += static_cast<char16_t>(static_cast<uint8_t>(c));
  }
  return String(std::u16string_view(found));
}

}  // namespace vxl
