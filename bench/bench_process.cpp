// Child processes and reflection: starting a child on three pipes against plain posix_spawn
// (rounds taking turns; the median of their ratios in wall time with its quartiles, and in
// processor time of this process and its children), reading a child's output through the pipe
// stream against a plain read loop, and the cost of a reflected call and field read by name.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "bench_util.h"
#include "process/process.h"
#include "reflection/reflection.h"
#include "runtime/class_binder.h"

extern char** environ;

namespace vxl {
namespace {

class TBenchTarget : public Object {
 public:
  VXL_CLASS(TBenchTarget, Object)
  int32_t value = 7;
  int32_t Add3(int32_t a, int32_t b, int32_t c) { return value = a + b + c; }
  static void Bind(ClassBinder<TBenchTarget>& b) {
    b.Field<&TBenchTarget::value>("value");
    b.Method<&TBenchTarget::Add3>("Add3");
  }
};
VXL_DEFINE_CLASS(TBenchTarget)

void SpawnPlain(const char* path) {
  int out[2], in[2], err[2];
  if (pipe2(out, O_CLOEXEC) || pipe2(in, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) return;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, in[0], 0);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  posix_spawn_file_actions_adddup2(&fa, err[1], 2);
  char* argv[] = {const_cast<char*>(path), nullptr};
  pid_t pid;
  posix_spawn(&pid, path, &fa, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&fa);
  for (int fd : {in[0], out[1], err[1]})
    close(fd);
  uint8_t b;
  while (read(out[0], &b, 1) > 0) {  // to the end of the child's output, as the framework does
  }
  waitpid(pid, nullptr, 0);
  for (int fd : {out[0], in[1], err[0]})
    close(fd);
}

void SpawnFramework() {
  Ref<TProcess> p = RunProcess("/bin/true", 0);
  uint8_t b;
  p->pipe->Read(&b, 1);  // returns at the child's end
  p->Terminate();        // collects it
  p->Close();
}

constexpr int64_t kPipeBytes = 200ll << 20;
const char* kProducer = "head -c 209715200 /dev/zero";

double ReadFramework() {
  return bench::TimeMs([] {
    Ref<TProcess> p = RunProcess(String("/bin/sh -c \"") + kProducer + "\"", 0);
    std::vector<uint8_t> buf(1 << 20);
    int64_t total = 0;
    for (;;) {
      int32_t n = p->pipe->ReadAvail();
      if (n <= 0) n = 1;  // nothing waiting: one blocking read tells data from the end
      int32_t got =
          p->pipe->Read(buf.data(), std::min<int32_t>(n, static_cast<int32_t>(buf.size())));
      if (got <= 0) break;
      total += got;
    }
    p->Terminate();
    p->Close();
    if (total != kPipeBytes)
      std::fprintf(stderr, "short read: %lld\n", static_cast<long long>(total));
  });
}

double ReadPlain() {
  return bench::TimeMs([] {
    int out[2];
    if (pipe2(out, O_CLOEXEC)) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    char* argv[] = {const_cast<char*>("/bin/sh"), const_cast<char*>("-c"),
                    const_cast<char*>(kProducer), nullptr};
    pid_t pid;
    posix_spawn(&pid, "/bin/sh", &fa, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&fa);
    close(out[1]);
    std::vector<uint8_t> buf(1 << 20);
    while (read(out[0], buf.data(), buf.size()) > 0) {
    }
    close(out[0]);
    waitpid(pid, nullptr, 0);
  });
}

// Wall and processor milliseconds (this process and its collected children, user and system).
struct Times {
  double wallMs = 0, cpuMs = 0;
};

double CpuMsSoFar() {
  auto ms = [](const timeval& t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
  rusage self{}, children{};
  getrusage(RUSAGE_SELF, &self);
  getrusage(RUSAGE_CHILDREN, &children);
  return ms(self.ru_utime) + ms(self.ru_stime) + ms(children.ru_utime) + ms(children.ru_stime);
}

template <class F>
Times Measure(F&& fn) {
  Times t;
  double cpu = CpuMsSoFar();
  t.wallMs = bench::TimeMs(fn);
  t.cpuMs = CpuMsSoFar() - cpu;
  return t;
}

}  // namespace
}  // namespace vxl

// With an argument ("spawn", "pipe" or "reflection") only that part runs.
int main(int argc, char** argv) {
  using namespace vxl;
  InitProcessModule();
  InitReflectionModule();
  auto wanted = [&](const char* part) { return argc < 2 || std::strcmp(argv[1], part) == 0; };

  if (wanted("spawn")) {
    // Rounds of 200 spawns each, the two contenders taking turns going first; the median of the
    // rounds' ratios, in wall time and in processor time of this process and its children.
    constexpr int kSpawns = 200, kRounds = 15;
    auto spawnOurs = [] {
      for (int i = 0; i < kSpawns; ++i)
        SpawnFramework();
    };
    auto spawnPlain = [] {
      for (int i = 0; i < kSpawns; ++i)
        SpawnPlain("/bin/true");
    };
    std::vector<double> wallOurs, wallRatios, cpuRatios;
    for (int round = 0; round < kRounds; ++round) {
      Times ours, plain;
      if (round % 2) {
        plain = Measure(spawnPlain);
        ours = Measure(spawnOurs);
      } else {
        ours = Measure(spawnOurs);
        plain = Measure(spawnPlain);
      }
      wallOurs.push_back(ours.wallMs);
      wallRatios.push_back(ours.wallMs / plain.wallMs);
      cpuRatios.push_back(ours.cpuMs / plain.cpuMs);
    }
    std::sort(wallRatios.begin(), wallRatios.end());
    bench::Print("spawn_us", bench::Median(wallOurs) * 1000 / kSpawns, "us");
    bench::Print("spawn_vs_posix_spawn_ratio", bench::Median(wallRatios));
    bench::Print("spawn_vs_posix_spawn_ratio_quartile_low", wallRatios[kRounds / 4]);
    bench::Print("spawn_vs_posix_spawn_ratio_quartile_high", wallRatios[kRounds - 1 - kRounds / 4]);
    bench::Print("spawn_vs_posix_spawn_cpu_ratio", bench::Median(cpuRatios));
  }

  if (wanted("pipe")) {
    std::vector<double> tf, tp;
    for (int i = 0; i < 3; ++i) {
      tf.push_back(ReadFramework());
      tp.push_back(ReadPlain());
    }
    double f = bench::Median(tf), p = bench::Median(tp);
    bench::Print("pipe_read_mb_s", 200 / (f / 1000), "MB/s");
    bench::Print("pipe_read_vs_read_ratio", f / p);
  }

  if (wanted("reflection")) {
    RegisterClass<TBenchTarget>();
    Ref<TTypeId> type = TTypeId::ForName("TBenchTarget");
    Ref<Object> target = type->NewObject();
    Ref<Object> args[] = {String("1"), String("2"), String("3")};
    constexpr int kCalls = 1000000;
    double invoke = bench::TimeMs([&] {
      for (int i = 0; i < kCalls; ++i)
        type->FindMethod("Add3")->Invoke(target, args);
    });
    bench::Print("invoke_ns", invoke * 1e6 / kCalls, "ns");
    double get = bench::TimeMs([&] {
      int64_t sum = 0;
      for (int i = 0; i < kCalls; ++i)
        sum += type->FindField("value")->GetInt(target);
      if (sum == 42) std::printf(" ");
    });
    bench::Print("field_get_ns", get * 1e6 / kCalls, "ns");
  }
}
