#include "platform/files/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace vxl::platform {

struct Folder {
  int fd;
};

namespace {

void Fill(const struct stat& st, FileStatus& status) {
  status.mode = static_cast<uint32_t>(st.st_mode);
  status.size = static_cast<int64_t>(st.st_size);
  status.modifiedTime = static_cast<int64_t>(st.st_mtime);
  status.device = static_cast<uint64_t>(st.st_dev);
  status.inode = static_cast<uint64_t>(st.st_ino);
}

// A C string stops at the first 0, so a path holding one would name a different file.
bool Usable(const std::string& path) {
  return path.find('\0') == std::string::npos;
}

// Writes all of buf at `offset`; false if the system takes less.
// Writes all of buf at `offset`, or where the descriptor stands when `offset` is -1; false if the
// system takes less.
bool WriteAll(int fd, const char* buf, size_t count, off_t offset) {
  while (count > 0) {
    ssize_t n = offset < 0 ? write(fd, buf, count) : pwrite(fd, buf, count, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    buf += n;
    count -= static_cast<size_t>(n);
    if (offset >= 0) offset += n;
  }
  return true;
}

// Copies the bytes of the regular file `in` (whose status is `st`) from `inStart` to its end into
// `out` at `outStart`, or, when `outStart` is -1 (a pipe, a device), wherever `out` stands. Holes
// in a sparse source are skipped when writing at offsets (the end is then set with ftruncate), so
// such a file copies quickly and stays sparse. All counts are 64-bit; false unless every byte
// arrived.
bool CopyDescriptor(int in, const struct stat& st, off_t inStart, int out, off_t outStart) {
  const off_t end = st.st_size;
  // Only a file with fewer blocks than bytes can hold holes worth looking for.
  const bool sparse = outStart >= 0 && static_cast<off_t>(st.st_blocks) * 512 < end;
  constexpr off_t kChunk = 256 * 1024;
  const size_t bufferSize = static_cast<size_t>(std::clamp<off_t>(end - inStart, 1, kChunk));
  std::unique_ptr<char[]> buffer;  // made on the first bytes to copy
  off_t pos = inStart;
  while (pos < end) {
    off_t data = pos, hole = end;
    if (sparse) {
      data = lseek(in, pos, SEEK_DATA);
      if (data < 0 && errno == ENXIO) break;  // only a hole is left
      if (data < 0) data = pos;               // no hole information: everything is data
      if (data >= end) break;
      hole = lseek(in, data, SEEK_HOLE);
      if (hole <= data || hole > end) hole = end;
    }
    if (!buffer) buffer.reset(new char[bufferSize]);
    for (off_t at = data; at < hole;) {
      size_t want = static_cast<size_t>(std::min<off_t>(hole - at, bufferSize));
      ssize_t n = pread(in, buffer.get(), want, at);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;  // the file ended early: a short copy is a failed one
      off_t to = outStart < 0 ? -1 : outStart + (at - inStart);
      if (!WriteAll(out, buffer.get(), static_cast<size_t>(n), to)) {
        return false;
      }
      at += n;
    }
    pos = hole;
  }
  if (pos >= end) return true;
  // A trailing hole: the destination is lengthened to the source's size without writing.
  const off_t outEnd = outStart + (end - inStart);
  struct stat ost;
  if (fstat(out, &ost) != 0) return false;
  return ost.st_size >= outEnd || ftruncate(out, outEnd) == 0;
}

// Opens `name` in `folder` for writing without following a link; a link in the way is removed
// first, so the copy replaces it rather than writing to where it points.
int OpenTarget(Folder* folder, const std::string& name) {
  constexpr int kFlags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int fd = openat(folder->fd, name.c_str(), kFlags, 0666);
  if (fd < 0 && errno == ELOOP && unlinkat(folder->fd, name.c_str(), 0) == 0) {
    fd = openat(folder->fd, name.c_str(), kFlags, 0666);
  }
  return fd;
}

}  // namespace

bool SystemPath(std::u16string_view path, std::string& bytes) {
  bytes.resize(path.size());
  for (size_t i = 0; i < path.size(); ++i) {
    char16_t c = path[i];
    if (c == 0 || c > 0xFF) return false;
    bytes[i] = static_cast<char>(c);
  }
  return true;
}

static_assert(S_IFMT == kModeTypeMask && S_IFREG == kModeRegular && S_IFDIR == kModeDirectory &&
              S_IFLNK == kModeLink);

bool StatPath(const std::string& path, FileStatus& status) {
  struct stat st;
  if (!Usable(path) || stat(path.c_str(), &st) != 0) return false;
  Fill(st, status);
  return true;
}

bool OpenFileStatus(std::FILE* file, FileStatus& status) {
  struct stat st;
  if (!file || fstat(fileno(file), &st) != 0) return false;
  Fill(st, status);
  return true;
}

bool ChangeMode(const std::string& path, uint32_t mode) {
  return Usable(path) && chmod(path.c_str(), static_cast<mode_t>(mode)) == 0;
}

bool MakeDirectory(const std::string& path) {
  return Usable(path) && mkdir(path.c_str(), 0777) == 0;
}

bool RemoveDirectory(const std::string& path) {
  return Usable(path) && rmdir(path.c_str()) == 0;
}

// unlink needs write access to the directory only, so a read-only file goes too.
bool RemoveFile(const std::string& path) {
  return Usable(path) && unlink(path.c_str()) == 0;
}

bool RenamePath(const std::string& from, const std::string& to) {
  return Usable(from) && Usable(to) && rename(from.c_str(), to.c_str()) == 0;
}

bool CreateEmptyFile(const std::string& path) {
  if (!Usable(path)) return false;
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  return close(fd) == 0;
}

struct DirectoryListing {
  DIR* dir;
};

DirectoryListing* OpenDirectoryListing(const std::string& path) {
  if (!Usable(path)) return nullptr;
  DIR* dir = opendir(path.c_str());
  if (!dir) return nullptr;
  return new DirectoryListing{dir};
}

bool NextDirectoryName(DirectoryListing* listing, std::string& name) {
  if (!listing) return false;
  dirent* entry = readdir(listing->dir);
  if (!entry) return false;
  name = entry->d_name;
  return true;
}

void CloseDirectoryListing(DirectoryListing* listing) {
  if (!listing) return;
  closedir(listing->dir);
  delete listing;
}

namespace {

FolderPtr FolderOf(int fd) {
  if (fd < 0) return FolderPtr();
  return FolderPtr(new Folder{fd});
}

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

}  // namespace

void CloseFolder(Folder* folder) {
  if (!folder) return;
  close(folder->fd);
  delete folder;
}

FolderPtr OpenFolder(const std::string& path, bool followLink) {
  if (!Usable(path)) return FolderPtr();
  return FolderOf(open(path.c_str(), kFolderFlags | (followLink ? 0 : O_NOFOLLOW)));
}

FolderPtr OpenSubfolder(Folder* parent, const std::string& name) {
  if (!Usable(name)) return FolderPtr();
  return FolderOf(openat(parent->fd, name.c_str(), kFolderFlags | O_NOFOLLOW));
}

bool FolderStatus(Folder* folder, FileStatus& status) {
  struct stat st;
  if (fstat(folder->fd, &st) != 0) return false;
  Fill(st, status);
  return true;
}

bool FolderNames(Folder* folder, bool withDots, std::vector<std::string>& names) {
  // The enumeration takes its own descriptor; it shares the position, so it starts from the top.
  int fd = dup(folder->fd);
  if (fd < 0) return false;
  DIR* dir = fdopendir(fd);
  if (!dir) {
    close(fd);
    return false;
  }
  rewinddir(dir);
  while (dirent* entry = readdir(dir)) {
    const char* n = entry->d_name;
    bool dots = n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0));
    if (withDots || !dots) names.emplace_back(n);
  }
  closedir(dir);
  return true;
}

bool EntryStatus(Folder* folder, const std::string& name, FileStatus& status) {
  struct stat st;
  if (!Usable(name) || fstatat(folder->fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    return false;
  }
  Fill(st, status);
  return true;
}

bool RemoveEntry(Folder* folder, const std::string& name) {
  return Usable(name) && unlinkat(folder->fd, name.c_str(), 0) == 0;
}

bool RemoveSubfolder(Folder* folder, const std::string& name) {
  return Usable(name) && unlinkat(folder->fd, name.c_str(), AT_REMOVEDIR) == 0;
}

bool MakeSubfolder(Folder* folder, const std::string& name) {
  return Usable(name) && mkdirat(folder->fd, name.c_str(), 0777) == 0;
}

bool ReadEntryLink(Folder* folder, const std::string& name, std::string& target) {
  if (!Usable(name)) return false;
  std::vector<char> buf(256);
  for (;;) {
    ssize_t n = readlinkat(folder->fd, name.c_str(), buf.data(), buf.size());
    if (n < 0) return false;
    if (static_cast<size_t>(n) < buf.size()) {
      target.assign(buf.data(), static_cast<size_t>(n));
      return true;
    }
    buf.resize(buf.size() * 2);
  }
}

bool MakeEntryLink(Folder* folder, const std::string& name, const std::string& target) {
  return Usable(name) && Usable(target) && symlinkat(target.c_str(), folder->fd, name.c_str()) == 0;
}

bool CopyEntry(Folder* from, const std::string& fromName, Folder* to, const std::string& toName) {
  if (!Usable(fromName) || !Usable(toName)) return false;
  // Non-blocking, so a pipe swapped in for the file cannot stall the open.
  int in =
      openat(from->fd, fromName.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat source;
  bool ok = fstat(in, &source) == 0 && S_ISREG(source.st_mode);
  // Opened without truncating: the same file reached by two names must be recognised first.
  int out = ok ? OpenTarget(to, toName) : -1;
  struct stat target;
  ok = out >= 0 && fstat(out, &target) == 0 && S_ISREG(target.st_mode) &&
       !(target.st_dev == source.st_dev && target.st_ino == source.st_ino) &&
       (target.st_size == 0 || ftruncate(out, 0) == 0) && CopyDescriptor(in, source, 0, out, 0);
  if (out >= 0 && close(out) != 0) ok = false;
  close(in);
  return ok;
}

bool CopyOpenFile(std::FILE* from, std::FILE* to) {
  if (!from || !to || std::fflush(to) != 0) return false;
  struct stat in, out;
  if (fstat(fileno(from), &in) != 0 || !S_ISREG(in.st_mode) || fstat(fileno(to), &out) != 0) {
    return false;
  }
  off_t inStart = ftello(from);
  // Anything but a regular file is written where it stands.
  off_t outStart = S_ISREG(out.st_mode) ? ftello(to) : -1;
  if (inStart < 0 || (S_ISREG(out.st_mode) && outStart < 0)) return false;
  return CopyDescriptor(fileno(from), in, inStart, fileno(to), outStart);
}

}  // namespace vxl::platform
