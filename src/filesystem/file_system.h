// Files and directories on disk: kind, size, time and permission queries, creating, removing and
// renaming, and directory listing. Every function normalises its path first (NormalisePath), so
// backslashes are fine; failures are reported through the result, never thrown.
//
//   if (PathKind("save") != 2) MakeDirectory("save/slots", 1);
//   for (String name : ListDirectory("save", 1)) ...
//   EraseDirectory("save", 1);
#pragma once

#include <cstdint>

#include "filesystem/path.h"
#include "runtime/array.h"
#include "runtime/string.h"

namespace vxl {

namespace platform {
struct DirectoryListing;
}

// Values of PathKind.
constexpr int32_t kPathNone = 0;       // missing, or neither a file nor a directory
constexpr int32_t kPathFile = 1;       // a regular file
constexpr int32_t kPathDirectory = 2;  // a directory

// The kind of file the path names (symbolic links are followed). A path containing "<" or ">"
// never exists.
int32_t PathKind(const String& path);
// The size in bytes, or -1 (also for a size beyond 32 bits).
int32_t PathByteSize(const String& path);
// Seconds since 1970-01-01 of the last change, or 0.
int64_t PathModifiedTime(const String& path);
// The permission bits (0777), or -1.
int32_t PathPermissions(const String& path);
// Sets the permission bits; returns 0 whatever happened.
int32_t SetPathPermissions(const String& path, int32_t mode);

// Changes return 1 for success and 0 for failure.

// Replaces any file at path by an empty one.
int32_t MakeEmptyFile(const String& path);
// Removes a file (a read-only one too); succeeds when nothing is left at the path.
int32_t RemoveFile(const String& path);
// Renames a file or directory.
int32_t MovePath(const String& from, const String& to);
// Creates a directory; recursive creates every missing directory on the way.
int32_t MakeDirectory(const String& path, int32_t recursive);
// Removes a directory; recursive removes everything in it first. Symbolic links inside are
// removed as links: what they point to is left alone. Succeeds when nothing is left at the path.
int32_t EraseDirectory(const String& path, int32_t recursive);
// Changes the process's working directory.
int32_t SetWorkingDirectory(const String& path);

// Directory enumeration: a handle owned by the caller from OpenDirectory to CloseDirectory.
using DirectoryHandle = platform::DirectoryListing*;
// nullptr if the directory cannot be opened.
DirectoryHandle OpenDirectory(const String& path);
// The next name in the system's order ("." and ".." included), or "" at the end.
String NextDirectoryEntry(DirectoryHandle handle);
void CloseDirectory(DirectoryHandle handle);
// Every name in the directory, in the system's order; without "." and ".." when skipDots is 1.
// The empty array when the directory cannot be opened.
Array<String> ListDirectory(const String& path, int32_t skipDots);

}  // namespace vxl
