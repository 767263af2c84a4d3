// DuplicateDirectory against "cp -r" on the same tree of 2000 files, in the same run.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_util.h"
#include "filesystem/file_copy.h"
#include "filesystem/file_stream.h"
#include "filesystem/file_system.h"

extern char** environ;

namespace {

using vxl::String;

constexpr int kDirectories = 20;
constexpr int kFilesPerDirectory = 100;
constexpr int kRounds = 9;

String S(const std::string& s) {
  return String(s.c_str());
}

void WriteFile(const std::string& path, size_t size, int seed) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<char>(i * 31 + seed);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::perror(path.c_str());
    std::exit(1);
  }
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

bool RunCp(const std::string& from, const std::string& to) {
  std::vector<std::string> args = {"cp", "-r", from, to};
  std::vector<char*> argv;
  for (auto& a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  if (posix_spawnp(&pid, "cp", nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main() {
  vxl::InitFileSystemModule();
  char pattern[] = "/tmp/vxlbench-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  std::string root = pattern;
  std::string tree = root + "/tree";

  // 2000 files of 256 B to 16 KiB in 20 directories.
  vxl::MakeDirectory(S(tree), 0);
  size_t total = 0;
  for (int d = 0; d < kDirectories; ++d) {
    std::string dir = tree + "/dir" + std::to_string(d);
    vxl::MakeDirectory(S(dir), 0);
    for (int f = 0; f < kFilesPerDirectory; ++f) {
      size_t size = 256 + static_cast<size_t>((d * kFilesPerDirectory + f) * 7919) % 16128;
      WriteFile(dir + "/file" + std::to_string(f) + ".bin", size, f);
      total += size;
    }
  }

  std::vector<double> ours, theirs;
  for (int round = 0; round < kRounds; ++round) {
    std::string a = root + "/copy_vxl", b = root + "/copy_cp";
    vxl::EraseDirectory(S(a), 1);
    vxl::EraseDirectory(S(b), 1);
    bool okA = true, okB = true;
    auto runOurs = [&] { okA = vxl::DuplicateDirectory(S(tree), S(a)) == 1; };
    auto runCp = [&] { okB = RunCp(tree, b); };
    // Alternate which goes first so neither always finds the other's dirty pages.
    if (round % 2 == 0) {
      ours.push_back(vxl::bench::TimeMs(runOurs));
      theirs.push_back(vxl::bench::TimeMs(runCp));
    } else {
      theirs.push_back(vxl::bench::TimeMs(runCp));
      ours.push_back(vxl::bench::TimeMs(runOurs));
    }
    if (!okA || !okB) {
      std::fprintf(stderr, "copy failed (DuplicateDirectory %d, cp %d)\n", okA, okB);
      return 1;
    }
  }
  vxl::EraseDirectory(S(root), 1);

  double tOurs = vxl::bench::Median(ours), tCp = vxl::bench::Median(theirs);
  vxl::bench::Print("tree_files", kDirectories * kFilesPerDirectory);
  vxl::bench::Print("tree_mib", total / 1048576.0, "MiB");
  vxl::bench::Print("duplicatedirectory_ms", tOurs, "ms");
  vxl::bench::Print("cp_r_ms", tCp, "ms");
  vxl::bench::Print("duplicatedirectory_vs_cp_ratio", tOurs / tCp);
  return 0;
}
