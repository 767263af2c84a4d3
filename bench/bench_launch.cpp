// Time of the launcher starting a trivial companion and exiting, next to a minimal C program that
// does only the launch, measured alternately in one run; the time of the module initialisers alone,
// measured inside fresh processes (they run once per process); the launcher's file size.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_util.h"
#include "startup/startup.h"

extern char** environ;

namespace {

std::string BinDir() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  std::string path(buf, n > 0 ? static_cast<size_t>(n) : 0);
  return path.substr(0, path.rfind('/'));
}

// Runs the program to its end; returns the processor time it used (with the children it waited
// for), in milliseconds.
double RunToExit(const std::string& path, const std::string& arg, const std::string& cwd) {
  std::string cmdPath = path;
  char* argv[] = {cmdPath.data(), arg.empty() ? nullptr : const_cast<char*>(arg.c_str()), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  pid_t pid;
  if (posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ) != 0) std::abort();
  int status;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  posix_spawn_file_actions_destroy(&actions);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::abort();
  auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// The initialisers' time in a child process of this benchmark, in microseconds.
double InitialisersInChildUs(const std::string& self) {
  int fds[2];
  if (pipe(fds) != 0) std::abort();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  std::string path = self;
  char flag[] = "--initialisers";
  char* argv[] = {path.data(), flag, nullptr};
  pid_t pid;
  if (posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ) != 0) std::abort();
  close(fds[1]);
  char buf[64] = {};
  ssize_t n = read(fds[0], buf, sizeof buf - 1);
  close(fds[0]);
  int status;
  waitpid(pid, &status, 0);
  posix_spawn_file_actions_destroy(&actions);
  if (n <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) std::abort();
  return std::atof(buf);
}

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  if (argc > 1 && std::string(argv[1]) == "--initialisers") {
    auto start = std::chrono::steady_clock::now();
    vxl::InitFrameworkModules();
    std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
    std::printf("%.3f\n", took.count());
    return 0;
  }
  int rounds = argc > 1 ? std::atoi(argv[1]) : 300;
  fs::path dir = fs::temp_directory_path() / ("bench_launch_" + std::to_string(getpid()));
  fs::create_directories(dir);
  fs::copy_file(BinDir() + "/launcher", dir / "launcher");
  fs::copy_file(BinDir() + "/bench_launch_min", dir / "launch_min");
  // The companion: the smallest program there is.
  fs::copy_file("/bin/true", dir / "nw.exe");
  std::string companion = (dir / "nw.exe").string();

  std::vector<double> launcherCpu, minimalCpu;
  auto [launcher, minimal] = vxl::bench::MedianPairMs(
      rounds, [&] { launcherCpu.push_back(RunToExit((dir / "launcher").string(), "", "/")); },
      [&] { minimalCpu.push_back(RunToExit((dir / "launch_min").string(), companion, "/")); });
  vxl::bench::Print("launch_ms", launcher, "ms");
  vxl::bench::Print("launch_min_c_ms", minimal, "ms");
  vxl::bench::Print("launch_vs_min_c_ratio", launcher / minimal);
  // Processor time, which a loaded machine disturbs less than the wall clock (the kernel counts
  // it in whole scheduler ticks, so the means are given).
  auto mean = [](const std::vector<double>& v) {
    double sum = 0;
    for (double x : v)
      sum += x;
    return v.empty() ? 0.0 : sum / static_cast<double>(v.size());
  };
  vxl::bench::Print("launch_cpu_ms", mean(launcherCpu), "ms");
  vxl::bench::Print("launch_min_c_cpu_ms", mean(minimalCpu), "ms");

  std::vector<double> initialisers;
  for (int i = 0; i < rounds / 3 + 1; ++i)
    initialisers.push_back(InitialisersInChildUs(BinDir() + "/bench_launch"));
  vxl::bench::Print("launch_initialisers_us", vxl::bench::Median(initialisers), "us");
  vxl::bench::Print("launcher_size_kb",
                    static_cast<double>(fs::file_size(BinDir() + "/launcher")) / 1024, "kB");
  fs::remove_all(dir);
  return 0;
}
