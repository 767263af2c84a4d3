#include "filesystem/file_system.h"

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "filesystem/disk_path.h"
#include "platform/files/files.h"
#include "platform/process/process_image.h"

namespace vxl {

using namespace filesystem::detail;

namespace {

// Removes everything inside an open directory, depth first. Entries are reached only through
// their open parent and links are never followed, so nothing outside the tree is touched even
// when an entry is swapped for a link meanwhile. Failures of single entries are not reported.
// Below kMaxTreeDepth nothing is removed, so such a directory stays.
void EraseContents(platform::Folder* folder, int depth) {
  std::vector<std::string> names;
  if (depth > kMaxTreeDepth || !platform::FolderNames(folder, false, names)) return;
  for (const std::string& name : names) {
    if (platform::FolderPtr sub = platform::OpenSubfolder(folder, name)) {
      EraseContents(sub.get(), depth + 1);
      platform::RemoveSubfolder(folder, name);
    } else {
      platform::RemoveEntry(folder, name);
    }
  }
}

}  // namespace

int32_t PathKind(const String& path) {
  std::string p;
  return DiskPath(path, p) ? DiskPathKind(p) : kPathNone;
}

int32_t PathByteSize(const String& path) {
  std::string p;
  platform::FileStatus st;
  if (!DiskPath(path, p) || !QueryStatus(p, st)) return -1;
  // Sizes are 32-bit: a larger file answers as a failed query rather than a wrong size.
  if (st.size > INT32_MAX) return -1;
  return static_cast<int32_t>(st.size);
}

int64_t PathModifiedTime(const String& path) {
  std::string p;
  platform::FileStatus st;
  if (!DiskPath(path, p) || !QueryStatus(p, st)) return 0;
  return st.modifiedTime;
}

int32_t PathPermissions(const String& path) {
  std::string p;
  platform::FileStatus st;
  if (!DiskPath(path, p) || !QueryStatus(p, st)) return -1;
  return static_cast<int32_t>(st.mode & 0777);
}

int32_t SetPathPermissions(const String& path, int32_t mode) {
  std::string p;
  if (DiskPath(path, p)) platform::ChangeMode(p, static_cast<uint32_t>(mode));
  return 0;
}

int32_t MakeEmptyFile(const String& path) {
  std::string p;
  if (!DiskPath(path, p)) return 0;
  platform::RemoveFile(p);
  platform::CreateEmptyFile(p);
  return DiskPathKind(p) == kPathFile ? 1 : 0;
}

// Like a missing file, a path the system cannot take leaves nothing behind: 1.
int32_t RemoveFile(const String& path) {
  std::string p;
  if (!DiskPath(path, p)) return 1;
  platform::RemoveFile(p);
  return DiskPathKind(p) == kPathNone ? 1 : 0;
}

int32_t MovePath(const String& from, const String& to) {
  std::string f, t;
  return DiskPath(from, f) && DiskPath(to, t) && platform::RenamePath(f, t) ? 1 : 0;
}

int32_t MakeDirectory(const String& path, int32_t recursive) {
  std::string p;
  if (!DiskPath(path, p, 1)) return 0;
  if (!recursive) {
    platform::MakeDirectory(p);
    return DiskPathKind(p) == kPathDirectory ? 1 : 0;
  }
  String absolute = AbsolutePath(NormalisePath(path, 1));
  std::string full;
  // The working directory comes from the system, so only the caller's part can be unusable.
  if (!platform::SystemPath(absolute.View(), full)) return 0;
  full += '/';
  // The first prefix is the root itself.
  size_t first = static_cast<size_t>(std::max<int32_t>(PathRoot(absolute).Length() - 1, 0));
  for (size_t slash = full.find('/', first); slash != std::string::npos;
       slash = full.find('/', slash + 1)) {
    std::string prefix = full.substr(0, slash + 1);
    // Roots keep their "/"; any other prefix is made without it.
    if (!IsPathRoot(NameString(prefix))) prefix.pop_back();
    if (prefix.empty()) continue;
    int32_t kind = DiskPathKind(prefix);
    if (kind == kPathDirectory) continue;
    if (kind == kPathFile) return 0;
    platform::MakeDirectory(prefix);
    if (DiskPathKind(prefix) != kPathDirectory) return 0;
  }
  return 1;
}

int32_t EraseDirectory(const String& path, int32_t recursive) {
  std::string p;
  // A path that names nothing answers as a missing directory: it cannot be opened, and nothing is
  // left at it.
  if (!DiskPath(path, p, 1)) return recursive ? 0 : 1;
  // A symbolic link to a directory is not opened (and so not emptied): what it points to is not
  // being erased.
  if (recursive) {
    platform::FolderPtr folder = platform::OpenFolder(p, false);
    if (!folder) return 0;
    EraseContents(folder.get(), 1);
  }
  platform::RemoveDirectory(p);
  return DiskPathKind(p) == kPathNone ? 1 : 0;
}

int32_t SetWorkingDirectory(const String& path) {
  std::string p;
  return DiskPath(path, p, 1) && platform::ChangeDirectory(p) ? 1 : 0;
}

DirectoryHandle OpenDirectory(const String& path) {
  std::string p;
  return DiskPath(path, p, 1) ? platform::OpenDirectoryListing(p) : nullptr;
}

String NextDirectoryEntry(DirectoryHandle handle) {
  std::string name;
  if (!platform::NextDirectoryName(handle, name)) return String();
  return NameString(name);
}

void CloseDirectory(DirectoryHandle handle) {
  platform::CloseDirectoryListing(handle);
}

Array<String> ListDirectory(const String& path, int32_t skipDots) {
  std::string p;
  std::vector<std::string> names;
  platform::FolderPtr folder;
  if (!DiskPath(path, p, 1) || !(folder = platform::OpenFolder(p, true)) ||
      !platform::FolderNames(folder.get(), !skipDots, names)) {
    return Array<String>();
  }
  auto result = Array<String>::New(static_cast<int32_t>(names.size()));
  for (size_t i = 0; i < names.size(); ++i)
    result[static_cast<int32_t>(i)] = NameString(names[i]);
  return result;
}

}  // namespace vxl
