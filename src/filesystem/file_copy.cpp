#include "filesystem/file_copy.h"

#include <cstdio>
#include <string>
#include <vector>

#include "filesystem/disk_path.h"
#include "filesystem/file_system.h"
#include "platform/files/files.h"
#include "stream/stream.h"

namespace vxl {

using namespace filesystem::detail;

namespace {

constexpr int32_t kCopyBuffer = 4096;

// The C library file under a stream, looking through wrappers; nullptr for anything else.
std::FILE* FileUnder(Ref<TStream> stream) {
  for (int depth = 0; stream && depth < 64; ++depth) {
    if (auto file = stream.As<TCStream>()) return file->_cstream;
    auto wrapper = stream.As<TStreamWrapper>();
    if (!wrapper) return nullptr;
    stream = wrapper->_stream;
  }
  return nullptr;
}

// True when copying from the open stream to the URL `to` must not start: the stream reads a
// directory (which has no contents to copy), or `to` would open the very file it reads, and
// opening it for writing would truncate it.
bool RefuseCopy(const Ref<TStream>& from, const Ref<Object>& to) {
  platform::FileStatus source;
  if (!platform::OpenFileStatus(FileUnder(from), source)) return false;
  if (IsDirectoryMode(source.mode)) return true;
  // A protocol chain ("bigendian::name") ends in the path it opens.
  String path = String::Of(to);
  if (path.IsEmpty()) return false;
  for (int32_t at = path.Find("::"); at >= 0; at = path.Find("::")) {
    path = path.Slice(at + 2, path.Length());
  }
  std::string bytes;
  platform::FileStatus target;
  if (!platform::SystemPath(path.Replace("\\", "/").View(), bytes) ||
      !platform::StatPath(bytes, target)) {
    return false;
  }
  return source.SameFile(target);
}

// The C library file of a plain file stream; nullptr for any other stream.
std::FILE* PlainFile(const Ref<TStream>& stream) {
  auto file = stream.As<TCStream>();
  return file ? file->_cstream : nullptr;
}

// True for a plain file stream reading a regular file.
bool ReadsRegularFile(const Ref<TStream>& stream) {
  platform::FileStatus st;
  return platform::OpenFileStatus(PlainFile(stream), st) && IsRegularMode(st.mode);
}

// Steps 2 to 4 of a file copy once the source is open; closes `in` in every outcome that does
// not throw.
int32_t CopyOpened(const Ref<TStream>& in, const Ref<TStream>& out) {
  if (!out) {
    in->Close();
    return 0;
  }
  int32_t done = 0;
  if (ReadsRegularFile(in) && PlainFile(out)) {
    // From a file to a file, pipe or device: counted in 64 bits whatever size the streams can
    // report, and finished only when every byte has arrived.
    done = platform::CopyOpenFile(PlainFile(in), PlainFile(out)) ? 1 : 0;
  } else {
    try {
      CopyStreamData(in, out, kCopyBuffer);
      done = 1;
    } catch (const Thrown& e) {
      if (!e.As<TStreamWriteException>()) throw;
    }
  }
  // A file keeps its last bytes in the C library's buffer: the copy is finished only when Close
  // has written them too.
  if (out->Close() != 0) done = 0;
  in->Close();
  return done;
}

// Copies the contents of one open directory into another. Entries are reached only through their
// open parents and links are never followed, on either side: an entry swapped for a link while
// the copy runs can neither bring in files from outside the source nor send files outside the
// destination. Names are used exactly as the directory lists them.
struct TreeCopy {
  // The top-level destination, never copied into itself when it lies inside the source.
  platform::FileStatus destination;

  bool Link(platform::Folder* from, platform::Folder* to, const std::string& name) {
    std::string target;
    if (!platform::ReadEntryLink(from, name, target)) return false;
    platform::FileStatus existing;
    if (platform::EntryStatus(to, name, existing) && !IsDirectoryMode(existing.mode)) {
      platform::RemoveEntry(to, name);
    }
    return platform::MakeEntryLink(to, name, target);
  }

  bool Subfolder(platform::Folder* from, platform::Folder* to, const std::string& name, int depth) {
    if (depth > kMaxTreeDepth) return false;
    platform::FolderPtr source = platform::OpenSubfolder(from, name);
    if (!source) return false;
    platform::FileStatus st;
    if (!platform::FolderStatus(source.get(), st)) return false;
    if (st.SameFile(destination)) return true;  // the copy itself
    platform::FolderPtr target = platform::OpenSubfolder(to, name);
    if (!target) {
      platform::MakeSubfolder(to, name);
      target = platform::OpenSubfolder(to, name);
    }
    return target && Directory(source.get(), target.get(), depth);
  }

  bool Directory(platform::Folder* from, platform::Folder* to, int depth) {
    std::vector<std::string> names;
    if (!platform::FolderNames(from, false, names)) return false;
    for (const std::string& name : names) {
      platform::FileStatus st;
      if (!platform::EntryStatus(from, name, st)) return false;
      bool ok;
      if (IsLinkMode(st.mode)) {
        ok = Link(from, to, name);
      } else if (IsDirectoryMode(st.mode)) {
        ok = Subfolder(from, to, name, depth + 1);
      } else if (IsRegularMode(st.mode)) {
        ok = platform::CopyEntry(from, name, to, name);
      } else {
        ok = false;  // a device, pipe or socket has no contents to copy
      }
      if (!ok) return false;
    }
    return true;
  }
};

}  // namespace

int32_t DuplicateFile(const Ref<Object>& from, const Ref<Object>& to) {
  Ref<TStream> in = OpenForReading(from);
  if (!in) return 0;
  if (RefuseCopy(in, to)) {
    in->Close();
    return 0;
  }
  return CopyOpened(in, OpenForWriting(to));
}

int32_t DuplicateDirectory(const String& from, const String& to) {
  std::string source, target;
  if (!DiskPath(from, source) || !DiskPath(to, target)) return 0;
  if (DiskPathKind(source) != kPathDirectory) return 0;
  if (DiskPathKind(target) == kPathNone) platform::MakeDirectory(target);
  platform::FolderPtr in = platform::OpenFolder(source, true);
  platform::FolderPtr out = platform::OpenFolder(target, true);
  TreeCopy copy;
  if (!in || !out || !platform::FolderStatus(out.get(), copy.destination)) return 0;
  return copy.Directory(in.get(), out.get(), 1) ? 1 : 0;
}

}  // namespace vxl
