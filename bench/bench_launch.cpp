// Time of the launcher starting a trivial companion and exiting, next to a minimal C program that
// does only the launch, measured alternately in one run.
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench_util.h"

extern char** environ;

namespace {

std::string BinDir() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  std::string path(buf, n > 0 ? static_cast<size_t>(n) : 0);
  return path.substr(0, path.rfind('/'));
}

void RunToExit(const std::string& path, const std::string& arg, const std::string& cwd) {
  std::string cmdPath = path;
  char* argv[] = {cmdPath.data(), arg.empty() ? nullptr : const_cast<char*>(arg.c_str()), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  pid_t pid;
  if (posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ) != 0) std::abort();
  int status;
  waitpid(pid, &status, 0);
  posix_spawn_file_actions_destroy(&actions);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::abort();
}

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  int rounds = argc > 1 ? std::atoi(argv[1]) : 300;
  fs::path dir = fs::temp_directory_path() / ("bench_launch_" + std::to_string(getpid()));
  fs::create_directories(dir);
  fs::copy_file(BinDir() + "/launcher", dir / "launcher");
  fs::copy_file(BinDir() + "/bench_launch_min", dir / "launch_min");
  // The companion: the smallest program there is.
  fs::copy_file("/bin/true", dir / "nw.exe");
  std::string companion = (dir / "nw.exe").string();

  auto [launcher, minimal] = vxl::bench::MedianPairMs(
      rounds, [&] { RunToExit((dir / "launcher").string(), "", "/"); },
      [&] { RunToExit((dir / "launch_min").string(), companion, "/"); });
  vxl::bench::Print("launch_ms", launcher, "ms");
  vxl::bench::Print("launch_min_c_ms", minimal, "ms");
  vxl::bench::Print("launch_vs_min_c_ratio", launcher / minimal);
  fs::remove_all(dir);
  return 0;
}
