#include "filesystem/file_system.h"

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "filesystem/disk_path.h"
#include "platform/files/files.h"
#include "platform/process/process_image.h"

namespace vxl {

using namespace filesystem_detail;

namespace {

bool IsDots(const std::string& name) {
  return name == "." || name == "..";
}

// The names in a directory other than "." and "..". False if it cannot be opened.
bool ReadNames(const std::string& dir, std::vector<std::string>& names) {
  platform::DirectoryListing* listing = platform::OpenDirectoryListing(dir);
  if (!listing) return false;
  std::string name;
  while (platform::NextDirectoryName(listing, name)) {
    if (!IsDots(name)) names.push_back(name);
  }
  platform::CloseDirectoryListing(listing);
  return true;
}

// Removes everything inside a directory, depth first. A symbolic link is removed as a link, so
// nothing outside the tree is touched. Failures of single entries are not reported.
void EraseContents(const std::string& dir, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    std::string child = dir + "/" + name;
    platform::FileStatus st;
    std::vector<std::string> inner;
    if (platform::LinkStatus(child, st) && IsDirectoryMode(st.mode) && ReadNames(child, inner)) {
      EraseContents(child, inner);
      platform::RemoveDirectory(child);
    } else {
      platform::RemoveFile(child);
    }
  }
}

}  // namespace

int32_t PathKind(const String& path) {
  return DiskPathKind(DiskPath(path));
}

int32_t PathByteSize(const String& path) {
  platform::FileStatus st;
  if (!QueryStatus(DiskPath(path), st)) return -1;
  // Sizes are 32-bit: a larger file answers as a failed query rather than a wrong size.
  if (st.size > INT32_MAX) return -1;
  return static_cast<int32_t>(st.size);
}

int64_t PathModifiedTime(const String& path) {
  platform::FileStatus st;
  if (!QueryStatus(DiskPath(path), st)) return 0;
  return st.modifiedTime;
}

int32_t PathPermissions(const String& path) {
  platform::FileStatus st;
  if (!QueryStatus(DiskPath(path), st)) return -1;
  return static_cast<int32_t>(st.mode & 0777);
}

int32_t SetPathPermissions(const String& path, int32_t mode) {
  platform::ChangeMode(DiskPath(path), static_cast<uint32_t>(mode));
  return 0;
}

int32_t MakeEmptyFile(const String& path) {
  std::string p = DiskPath(path);
  platform::RemoveFile(p);
  platform::CreateEmptyFile(p);
  return DiskPathKind(p) == 1 ? 1 : 0;
}

int32_t RemoveFile(const String& path) {
  std::string p = DiskPath(path);
  platform::RemoveFile(p);
  return DiskPathKind(p) == 0 ? 1 : 0;
}

int32_t MovePath(const String& from, const String& to) {
  return platform::RenamePath(DiskPath(from), DiskPath(to)) ? 1 : 0;
}

int32_t MakeDirectory(const String& path, int32_t recursive) {
  String dir = NormalisePath(path, 1);
  if (!recursive) {
    platform::MakeDirectory(dir.ToCString());
    return DiskPathKind(dir.ToCString()) == 2 ? 1 : 0;
  }
  String absolute = AbsolutePath(dir);
  std::string full = absolute.ToCString() + "/";
  // The first prefix is the root itself.
  size_t first = static_cast<size_t>(std::max<int32_t>(PathRoot(absolute).Length() - 1, 0));
  for (size_t slash = full.find('/', first); slash != std::string::npos;
       slash = full.find('/', slash + 1)) {
    std::string prefix = full.substr(0, slash + 1);
    // Roots keep their "/"; any other prefix is made without it.
    if (!IsPathRoot(String(std::string_view(prefix)))) prefix.pop_back();
    if (prefix.empty()) continue;
    int32_t kind = DiskPathKind(prefix);
    if (kind == 2) continue;
    if (kind == 1) return 0;
    platform::MakeDirectory(prefix);
    if (DiskPathKind(prefix) != 2) return 0;
  }
  return 1;
}

int32_t EraseDirectory(const String& path, int32_t recursive) {
  std::string p = DiskPath(path, 1);
  platform::FileStatus st;
  // A symbolic link to a directory is not emptied: what it points to is not being erased.
  bool link = platform::LinkStatus(p, st) && IsLinkMode(st.mode);
  if (recursive && !link) {
    std::vector<std::string> names;
    if (!ReadNames(p, names)) return 0;
    EraseContents(p, names);
  }
  platform::RemoveDirectory(p);
  return DiskPathKind(p) == 0 ? 1 : 0;
}

int32_t SetWorkingDirectory(const String& path) {
  return platform::ChangeDirectory(DiskPath(path, 1)) ? 1 : 0;
}

DirectoryHandle OpenDirectory(const String& path) {
  return platform::OpenDirectoryListing(DiskPath(path, 1));
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
  platform::DirectoryListing* listing = platform::OpenDirectoryListing(DiskPath(path, 1));
  if (!listing) return Array<String>();
  std::vector<String> names;
  std::string name;
  while (platform::NextDirectoryName(listing, name)) {
    if (skipDots && IsDots(name)) continue;
    names.push_back(NameString(name));
  }
  platform::CloseDirectoryListing(listing);
  auto result = Array<String>::New(static_cast<int32_t>(names.size()));
  for (size_t i = 0; i < names.size(); ++i)
    result[static_cast<int32_t>(i)] = names[i];
  return result;
}

}  // namespace vxl
