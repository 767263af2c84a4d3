// A temporary directory for one test, removed with everything in it when the object goes.
#pragma once

#include <string>

namespace vxl::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }
  // Path() + "/" + name.
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  // Writes `bytes` to the file `name` inside the directory; returns its path.
  std::string Write(const std::string& name, const std::string& bytes) const;
  // The whole content of a file ("" if it cannot be read).
  static std::string Read(const std::string& path);

 private:
  std::string path_;
};

}  // namespace vxl::test
