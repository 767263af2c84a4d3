// Recursive erase and copy while another thread keeps swapping a directory of the tree for a
// symbolic link to a directory outside it: nothing outside may be removed, read or written.
#include <gtest/gtest.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "filesystem/file_copy.h"
#include "filesystem/file_stream.h"
#include "filesystem/file_system.h"
#include "support/temp_dir.h"

namespace vxl {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

constexpr int kRounds = 30;
constexpr int kFiles = 8;

String P(const std::string& s) {
  return String(s.c_str());
}

// While alive, swaps the directory `path` for a link to `target` and back, as fast as it can.
class Swapper {
 public:
  Swapper(std::string path, std::string park, std::string target)
      : path_(std::move(path)),
        park_(std::move(park)),
        target_(std::move(target)),
        thread_([this] { Run(); }) {}
  ~Swapper() {
    stop_ = true;
    thread_.join();
  }

 private:
  void Run() {
    while (!stop_) {
      bool parked = std::rename(path_.c_str(), park_.c_str()) == 0;
      (void)!symlink(target_.c_str(), path_.c_str());
      sched_yield();
      unlink(path_.c_str());  // never removes a directory
      if (parked) std::rename(park_.c_str(), path_.c_str());
    }
  }

  std::string path_, park_, target_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Every regular file below `root`, links not followed, as sorted "relative path=content" lines.
std::string Files(const std::string& root) {
  std::vector<std::string> lines;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    if (it->is_regular_file(ec) && !it->is_symlink(ec)) {
      lines.push_back(it->path().string().substr(root.size()) + "=" + TempDir::Read(it->path()));
    }
  }
  std::sort(lines.begin(), lines.end());
  std::string out;
  for (const std::string& line : lines)
    out += line + "\n";
  return out;
}

void Fill(const TempDir& dir, const std::string& folder, const std::string& content) {
  fs::create_directories(dir.File(folder));
  for (int i = 0; i < kFiles; ++i)
    dir.Write(folder + "/f" + std::to_string(i), content);
}

struct RaceCase {
  const char* name;
  const char* swapped;  // the directory swapped for a link to "outside"
  std::function<void(const TempDir&)> run;
};

TEST(TreeRace, SwappedDirectoriesNeverLeadOutsideTheTree) {
  InitFileSystemModule();
  const RaceCase cases[] = {
      {"erase", "tree/sub", [](const TempDir& d) { EraseDirectory(P(d.File("tree")), 1); }},
      {"copy from", "tree/sub",
       [](const TempDir& d) { DuplicateDirectory(P(d.File("tree")), P(d.File("copy"))); }},
      {"copy into", "copy/sub",
       [](const TempDir& d) { DuplicateDirectory(P(d.File("tree")), P(d.File("copy"))); }},
  };
  std::string expected;  // what "outside" holds, untouched
  {
    TempDir reference;
    Fill(reference, "outside", "outside");
    expected = Files(reference.File("outside"));
  }
  for (const RaceCase& c : cases) {
    SCOPED_TRACE(c.name);
    for (int round = 0; round < kRounds; ++round) {
      TempDir dir;
      Fill(dir, "tree/sub", "inside");
      Fill(dir, "outside", "outside");
      fs::create_directories(dir.File("park"));
      {
        Swapper swapper(dir.File(c.swapped), dir.File("park/sub"), dir.File("outside"));
        c.run(dir);
      }
      // Outside: every file still there, with nothing added; nothing from outside copied in.
      std::string outside = Files(dir.File("outside"));
      bool copiedIn = Files(dir.File("copy")).find("=outside") != std::string::npos;
      if (outside != expected || copiedIn) {
        ADD_FAILURE() << "round " << round << "\n" << outside;
        break;
      }
    }
  }
}

}  // namespace
}  // namespace vxl
