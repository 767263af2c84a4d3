// Native file-system calls: status, permissions, directories, removal, renaming, symbolic links
// and directory enumeration (the working directory is in process/process_image.h). Paths are byte
// strings in the system's own form (on POSIX any byte but 0 may appear; "/" separates names).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace vxl::platform {

// Type bits of FileStatus::mode (the same values the C library uses on every system we know).
constexpr uint32_t kModeTypeMask = 0xF000;
constexpr uint32_t kModeRegular = 0x8000;
constexpr uint32_t kModeDirectory = 0x4000;
constexpr uint32_t kModeLink = 0xA000;

struct FileStatus {
  uint32_t mode = 0;         // type bits (kModeTypeMask) and permission bits (0777)
  int64_t size = 0;          // bytes
  int64_t modifiedTime = 0;  // seconds since 1970-01-01
  uint64_t device = 0;       // device and inode together identify a file
  uint64_t inode = 0;
};

// Status of the file a path names, following symbolic links. False if it cannot be read.
bool StatPath(const std::string& path, FileStatus& status);
// Status of the path itself: a symbolic link reports kModeLink. False if it cannot be read.
bool LinkStatus(const std::string& path, FileStatus& status);

// Status of the file an open C library stream reads or writes. False if it cannot be read.
bool OpenFileStatus(std::FILE* file, FileStatus& status);

// Sets the permission bits. False on failure.
bool ChangeMode(const std::string& path, uint32_t mode);
// Creates one directory (readable and writeable by everyone the process's mask allows).
bool MakeDirectory(const std::string& path);
// Removes an empty directory.
bool RemoveDirectory(const std::string& path);
// Removes a file, a symbolic link (never what it points to) or another non-directory entry,
// whatever the file's own permission bits say. Never removes a directory.
bool RemoveFile(const std::string& path);
// Renames (moves) a file or directory; an existing file at `to` is replaced where the system
// allows it.
bool RenamePath(const std::string& from, const std::string& to);
// Creates or truncates a file to length 0.
bool CreateEmptyFile(const std::string& path);

// The text a symbolic link holds; false if the path is not a link.
bool ReadLink(const std::string& path, std::string& target);
// Creates a symbolic link at `path` holding `target`.
bool MakeLink(const std::string& target, const std::string& path);

// Enumeration of the names in a directory, in the order the system gives them, "." and ".."
// included where the system lists them.
struct DirectoryListing;
// nullptr if the directory cannot be opened.
DirectoryListing* OpenDirectoryListing(const std::string& path);
// The next name, or false at the end.
bool NextDirectoryName(DirectoryListing* listing, std::string& name);
void CloseDirectoryListing(DirectoryListing* listing);

}  // namespace vxl::platform
