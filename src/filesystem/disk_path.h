// Private to the file-system module: paths as the native layer takes them.
#pragma once

#include <string>

#include "filesystem/path.h"
#include "platform/files/files.h"
#include "runtime/string.h"

namespace vxl::filesystem::detail {

// The normalised path as the system's bytes, one byte per character. False for a path the system
// cannot take unchanged (see platform::SystemPath): it names nothing.
inline bool DiskPath(const String& path, std::string& bytes, int32_t directoryForm = 0) {
  return platform::SystemPath(NormalisePath(path, directoryForm).View(), bytes);
}

// How deep the recursive erase and copy descend: each level holds a directory open, and the
// walk must end within the stack and the descriptors a process has. (Walking by paths ended
// sooner, at the system's path length limit.)
constexpr int kMaxTreeDepth = 1024;

// A name from the native layer as a string, one character per byte.
inline String NameString(const std::string& name) {
  return String(std::string_view(name));
}

// Status of a path for the queries: "<" and ">" never name a file.
inline bool QueryStatus(const std::string& path, platform::FileStatus& status) {
  if (path.find_first_of("<>") != std::string::npos) return false;
  return platform::StatPath(path, status);
}

inline bool IsDirectoryMode(uint32_t mode) {
  return (mode & platform::kModeTypeMask) == platform::kModeDirectory;
}
inline bool IsRegularMode(uint32_t mode) {
  return (mode & platform::kModeTypeMask) == platform::kModeRegular;
}
inline bool IsLinkMode(uint32_t mode) {
  return (mode & platform::kModeTypeMask) == platform::kModeLink;
}

// PathKind of a path already in disk form.
inline int32_t DiskPathKind(const std::string& path) {
  platform::FileStatus st;
  if (!QueryStatus(path, st)) return 0;
  if (IsRegularMode(st.mode)) return 1;
  if (IsDirectoryMode(st.mode)) return 2;
  return 0;
}

}  // namespace vxl::filesystem::detail
