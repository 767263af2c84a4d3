#include "filesystem/file_copy.h"

#include <cstdio>
#include <string>
#include <vector>

#include "filesystem/disk_path.h"
#include "filesystem/file_system.h"
#include "platform/files/files.h"
#include "stream/stream.h"

namespace vxl {

using namespace filesystem_detail;

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
  platform::FileStatus target;
  if (!platform::StatPath(path.Replace("\\", "/").ToCString(), target)) return false;
  return source.device == target.device && source.inode == target.inode;
}

// Steps 2 to 4 of a file copy once the source is open; closes `in` in every outcome that does
// not throw.
int32_t CopyOpened(const Ref<TStream>& in, const Ref<TStream>& out) {
  if (!out) {
    in->Close();
    return 0;
  }
  int32_t done = 0;
  try {
    CopyStreamData(in, out, kCopyBuffer);
    // A file keeps its last bytes in the C library's buffer: a copy is finished only when they
    // have been written too (Close would drop that error silently).
    out->Flush();
    std::FILE* file = FileUnder(out);
    done = file && std::ferror(file) ? 0 : 1;
  } catch (const Thrown& e) {
    if (!e.As<TStreamWriteException>()) throw;
  }
  out->Close();
  in->Close();
  return done;
}

std::string Join(const std::string& dir, const std::string& name) {
  if (!dir.empty() && dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

struct TreeCopy {
  // The top-level destination, never copied into itself when it lies inside the source.
  platform::FileStatus destination;

  bool File(const std::string& from, const std::string& to, const platform::FileStatus& source) {
    platform::FileStatus existing;
    if (platform::StatPath(to, existing) && existing.device == source.device &&
        existing.inode == source.inode) {
      return false;  // the same file: opening it for writing would truncate it
    }
    Ref<TStream> in = TCStream::OpenFile(NameString(from), 1, 0);
    if (!in) return false;
    return CopyOpened(in, TCStream::OpenFile(NameString(to), 0, 1)) == 1;
  }

  bool Link(const std::string& from, const std::string& to) {
    std::string target;
    if (!platform::ReadLink(from, target)) return false;
    platform::FileStatus existing;
    if (platform::LinkStatus(to, existing) && !IsDirectoryMode(existing.mode)) {
      platform::RemoveFile(to);
    }
    return platform::MakeLink(target, to);
  }

  bool Directory(const std::string& from, const std::string& to) {
    std::vector<std::string> names;
    platform::DirectoryListing* listing = platform::OpenDirectoryListing(from);
    if (!listing) return false;
    std::string name;
    while (platform::NextDirectoryName(listing, name)) {
      if (name != "." && name != "..") names.push_back(name);
    }
    platform::CloseDirectoryListing(listing);

    for (const std::string& n : names) {
      std::string source = Join(from, n);
      std::string target = Join(to, n);
      platform::FileStatus st;
      if (!platform::LinkStatus(source, st)) return false;
      bool ok;
      if (IsLinkMode(st.mode)) {
        ok = Link(source, target);
      } else if (IsDirectoryMode(st.mode)) {
        if (st.device == destination.device && st.inode == destination.inode) continue;
        ok = MakeTarget(target) && Directory(source, target);
      } else if (IsRegularMode(st.mode)) {
        ok = File(source, target, st);
      } else {
        ok = false;  // a device, pipe or socket has no contents to copy
      }
      if (!ok) return false;
    }
    return true;
  }

  // Makes the directory `to` when it does not exist; true when it is a directory then.
  static bool MakeTarget(const std::string& to) {
    if (DiskPathKind(to) == 0) platform::MakeDirectory(to);
    return DiskPathKind(to) == 2;
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
  std::string source = DiskPath(from);
  std::string target = DiskPath(to);
  if (DiskPathKind(source) != 2) return 0;
  TreeCopy copy;
  if (!TreeCopy::MakeTarget(target) || !platform::StatPath(target, copy.destination)) return 0;
  return copy.Directory(source, target) ? 1 : 0;
}

}  // namespace vxl
