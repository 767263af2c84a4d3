#include "platform/files/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

namespace vxl::platform {

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

}  // namespace

static_assert(S_IFMT == kModeTypeMask && S_IFREG == kModeRegular && S_IFDIR == kModeDirectory &&
              S_IFLNK == kModeLink);

bool StatPath(const std::string& path, FileStatus& status) {
  struct stat st;
  if (!Usable(path) || stat(path.c_str(), &st) != 0) return false;
  Fill(st, status);
  return true;
}

bool LinkStatus(const std::string& path, FileStatus& status) {
  struct stat st;
  if (!Usable(path) || lstat(path.c_str(), &st) != 0) return false;
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

bool ReadLink(const std::string& path, std::string& target) {
  if (!Usable(path)) return false;
  std::vector<char> buf(256);
  for (;;) {
    ssize_t n = readlink(path.c_str(), buf.data(), buf.size());
    if (n < 0) return false;
    if (static_cast<size_t>(n) < buf.size()) {
      target.assign(buf.data(), static_cast<size_t>(n));
      return true;
    }
    buf.resize(buf.size() * 2);
  }
}

bool MakeLink(const std::string& target, const std::string& path) {
  return Usable(target) && Usable(path) && symlink(target.c_str(), path.c_str()) == 0;
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

}  // namespace vxl::platform
