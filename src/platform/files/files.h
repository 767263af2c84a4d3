// Native file-system calls: status, permissions, directories, removal, renaming, symbolic links,
// directory enumeration, walking a tree through open directories, and copying file contents (the
// working directory is in process/process_image.h). Paths are byte strings in the system's own
// form (on POSIX any byte but 0 may appear; "/" separates names); SystemPath makes them from the
// framework's strings. A path holding a 0 byte names nothing: every call fails on it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vxl::platform {

// The bytes the system takes for a path of 16-bit characters, one byte per character. False when
// the path cannot be passed unchanged: a 0 would cut it short and a character above 255 has no
// byte of its own (keeping its low byte could turn a name into ".." or "/"). Callers treat such a
// path as one that names nothing.
bool SystemPath(std::u16string_view path, std::string& bytes);

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

  bool SameFile(const FileStatus& other) const {
    return device == other.device && inode == other.inode;
  }
};

// Status of the file a path names, following symbolic links. False if it cannot be read.
bool StatPath(const std::string& path, FileStatus& status);

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

// Enumeration of the names in a directory, in the order the system gives them, "." and ".."
// included where the system lists them.
struct DirectoryListing;
// nullptr if the directory cannot be opened.
DirectoryListing* OpenDirectoryListing(const std::string& path);
// The next name, or false at the end.
bool NextDirectoryName(DirectoryListing* listing, std::string& name);
void CloseDirectoryListing(DirectoryListing* listing);

// A directory held open. Entries are named relative to it and symbolic links among them are
// never followed, so a walk from folder to sub-folder stays inside the tree it started in, even
// when another process renames an entry or swaps it for a link between two steps.
struct Folder;
void CloseFolder(Folder* folder);
struct FolderCloser {
  void operator()(Folder* folder) const { CloseFolder(folder); }
};
using FolderPtr = std::unique_ptr<Folder, FolderCloser>;

// Opens the directory a path names (a link as the last name is followed only when `followLink`).
// Null if it is not a directory or cannot be opened.
FolderPtr OpenFolder(const std::string& path, bool followLink);
// Opens the sub-directory `name` of `parent`. Null if that entry is not a directory (a link to one
// included) or cannot be opened.
FolderPtr OpenSubfolder(Folder* parent, const std::string& name);
// Status of the open directory itself.
bool FolderStatus(Folder* folder, FileStatus& status);
// Every name in the directory, in the system's order; "." and ".." only when `withDots`. False if
// it cannot be read.
bool FolderNames(Folder* folder, bool withDots, std::vector<std::string>& names);
// Status of the entry `name` itself (a link reports kModeLink).
bool EntryStatus(Folder* folder, const std::string& name, FileStatus& status);
// Removes the entry `name` when it is not a directory (a link is removed as a link).
bool RemoveEntry(Folder* folder, const std::string& name);
// Removes the entry `name` when it is an empty directory.
bool RemoveSubfolder(Folder* folder, const std::string& name);
// Creates the directory `name`.
bool MakeSubfolder(Folder* folder, const std::string& name);
// The text of the symbolic link `name`; false if it is not a link.
bool ReadEntryLink(Folder* folder, const std::string& name, std::string& target);
// Creates a symbolic link `name` holding `target`.
bool MakeEntryLink(Folder* folder, const std::string& name, const std::string& target);

// Copies the contents of the regular file `fromName` in `from` into the file `toName` in `to`,
// created (permissions 0666 less the process's mask) or truncated; a symbolic link at `toName` is
// replaced, never written through. False, with `toName` untouched, when the source is not a
// regular file (a link included) or both name the same file; false when not every byte could be
// written.
bool CopyEntry(Folder* from, const std::string& fromName, Folder* to, const std::string& toName);

// Copies the open regular file `from`, from its current position to its end, to the open file
// `to` (any kind: a file, a pipe, a device) at its current position, counting in 64 bits (holes
// of a sparse file stay holes in a regular `to`). True only when every byte up to the end of
// `from` was written. Bytes buffered for `to` are written first; the streams' own positions are
// left as they were, so both are only fit to be closed afterwards.
bool CopyOpenFile(std::FILE* from, std::FILE* to);

}  // namespace vxl::platform
