// Child processes on pipes: real children running shell scripts written by the tests.
#include "process/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <string>

#include "platform/process/child_process.h"
#include "support/child_process.h"
#include "support/temp_dir.h"
#include "support/thrown_text.h"

namespace vxl {
namespace {

class Processes : public ::testing::Test {
 protected:
  void SetUp() override { InitProcessModule(); }
  void TearDown() override { TProcess::TerminateAll(); }

  // Starts `sh` on a script with the given body.
  Ref<TProcess> Run(const std::string& body) {
    std::string script = tmp_.Write("s" + std::to_string(scripts_++) + ".sh", body);
    return RunProcess(String(("/bin/sh " + script).c_str()), 0);
  }
  test::TempDir tmp_;
  int scripts_ = 0;
};

// Waits until at least n bytes wait in the pipe, or its writer is gone.
void AwaitBytes(TPipeStream& s, int32_t n) {
  pollfd p{s.readhandle, POLLIN, 0};
  while (s.ReadAvail() < n && poll(&p, 1, 5000) > 0 && !(p.revents & POLLHUP)) {
  }
}

// Waits until the pipe's writer is gone (the child has ended, with everything it wrote waiting).
void AwaitEnd(TPipeStream& s) {
  pollfd p{s.readhandle, 0, 0};
  poll(&p, 1, 5000);
}

// Waits until process `pid` (not necessarily our child) has ended; false after 5 s.
bool AwaitDeath(pid_t pid) {
  int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (fd < 0) return errno == ESRCH;
  pollfd p{fd, POLLIN, 0};
  bool dead = poll(&p, 1, 5000) == 1;
  close(fd);
  return dead;
}

bool Alive(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  size_t close = text.rfind(')');
  return close != std::string::npos && text[close + 2] != 'Z';
}

TEST_F(Processes, ReadLineNeverBlocksAndKeepsPartialLines) {
  Ref<TProcess> p =
      Run("printf 'a\\r\\nb'; read x; printf '\\n\\n'; printf 'one\\ntwo\\n'; read x; "
          "printf three; read x; printf 'x\\r\\nlast'");
  ASSERT_TRUE(p);
  TPipeStream& s = *p->pipe;
  AwaitBytes(s, 4);
  EXPECT_EQ(s.ReadLine().ToCString(), "a");
  EXPECT_EQ(s.ReadLine().ToCString(), "");  // b waits for its line feed
  EXPECT_EQ(s.ReadLine().ToCString(), "");

  s.WriteLine("go");
  AwaitBytes(s, 1 + 1 + 8);
  EXPECT_EQ(s.ReadLine().ToCString(), "b");
  EXPECT_EQ(s.ReadLine().ToCString(), "");  // an empty line
  EXPECT_EQ(s.ReadLine().ToCString(), "one");

  // "two\n" is buffered now: Read takes only what is still in the pipe.
  s.WriteLine("go");
  AwaitBytes(s, 5);
  uint8_t buf[16] = {};
  EXPECT_EQ(s.Read(buf, sizeof buf), 5);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 5), "three");
  EXPECT_EQ(s.ReadLine().ToCString(), "two");

  // After the child has gone, its last line comes out without a line feed.
  s.WriteLine("go");
  AwaitEnd(s);
  EXPECT_EQ(s.ReadLine().ToCString(), "x");
  EXPECT_EQ(s.ReadLine().ToCString(), "last");
  EXPECT_EQ(s.ReadLine().ToCString(), "");
  EXPECT_EQ(s.ReadPipe().Length(), 0);
}

TEST_F(Processes, StandardErrorOverflowAndAGoneReader) {
  Ref<TProcess> p = Run("echo out; echo err >&2; head -c 5000 /dev/zero | tr '\\0' x >&2; read x");
  ASSERT_TRUE(p);
  AwaitBytes(*p->pipe, 4);
  EXPECT_EQ(p->pipe->ReadLine().ToCString(), "out");
  AwaitBytes(*p->err, 4 + 5000);
  EXPECT_EQ(p->err->ReadLine().ToCString(), "err");
  EXPECT_EQ(p->err->ReadLine().ToCString(), "");  // 4096 of 5000 bytes held, no line feed
  EXPECT_THROW_TEXT(p->err->ReadLine(), "PipeStream ReadBuffer Overflow");

  EXPECT_EQ(ProcessRunning(p), 1);
  p->pipe->WriteLine("done");
  AwaitEnd(*p->pipe);
  while (ProcessRunning(p))
    AwaitEnd(*p->pipe);
  // The child is collected, not left as a zombie, and writing to it fails quietly.
  pid_t pid = platform::ChildProcessId(p->handle);
  EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), -1);
  EXPECT_EQ(p->pipe->Write(reinterpret_cast<const uint8_t*>("x"), 1), 0);
}

// The child reads one line and ends while a write much larger than the pipe waits for room: the
// write returns what went in, and the program is not ended by the broken pipe.
TEST_F(Processes, AReaderGoneDuringALongWriteEndsOnlyTheWrite) {
  Ref<TProcess> p = Run("read x");
  ASSERT_TRUE(p);
  std::string data = "x\n" + std::string(1 << 20, 'y');
  int32_t n = p->pipe->Write(reinterpret_cast<const uint8_t*>(data.data()),
                             static_cast<int32_t>(data.size()));
  EXPECT_GT(n, 0);
  EXPECT_LT(n, static_cast<int32_t>(data.size()));
  EXPECT_EQ(p->pipe->Write(reinterpret_cast<const uint8_t*>("z"), 1), 0);
}

TEST_F(Processes, ChildrenSeeOnlyTheirStandardStreams) {
  int inherited = open("/dev/null", O_RDONLY);  // not close-on-exec
  Ref<TProcess> p = Run("exec ls /proc/self/fd");
  close(inherited);
  ASSERT_TRUE(p);
  AwaitEnd(*p->pipe);
  std::set<std::string> fds;
  for (String line = p->pipe->ReadLine(); line.Length(); line = p->pipe->ReadLine())
    fds.insert(line.ToCString());
  EXPECT_EQ(fds, (std::set<std::string>{"0", "1", "2", "3"}));  // 3: the directory ls reads

  EXPECT_FALSE(RunProcess("no-such-program-anywhere.exe", 0));
  EXPECT_EQ(ProcessList()->Count(), 1);
}

TEST_F(Processes, TerminateEndsTheChildAndItsChildrenOnly) {
  std::string grandchildFile = tmp_.File("grandchild");
  Ref<TProcess> p = Run("sh -c 'sleep 1000 & echo $! > " + grandchildFile +
                        "; echo ready; wait' & echo $!; wait");
  ASSERT_TRUE(p);
  AwaitBytes(*p->pipe, 2);
  pid_t child = std::stoi(p->pipe->ReadLine().ToCString());
  AwaitBytes(*p->pipe, 6);
  EXPECT_EQ(p->pipe->ReadLine().ToCString(), "ready");
  pid_t grandchild = std::stoi(test::TempDir::Read(grandchildFile));
  pid_t top = platform::ChildProcessId(p->handle);

  EXPECT_NE(KillProcess(p), 0);
  EXPECT_FALSE(p->handle);
  EXPECT_FALSE(ProcessList()->Contains(p));
  EXPECT_EQ(waitpid(top, nullptr, WNOHANG), -1);  // collected
  EXPECT_TRUE(AwaitDeath(child));
  EXPECT_TRUE(Alive(grandchild));
  kill(grandchild, SIGKILL);

  EXPECT_EQ(p->Terminate(), 0);  // nothing left to end
  EXPECT_EQ(p->Status(), 0);
  p->Close();
  EXPECT_FALSE(p->pipe);
}

// A child whose output has ended is collected as having ended on its own, however quickly
// Terminate follows; one that only closed its output is still killed.
TEST_F(Processes, TerminateCollectsAChildThatClosedItsOutputByExiting) {
  struct Case {
    const char* body;
    int32_t terminated;
  } cases[] = {{"exit 0\n", 0}, {"echo bye\n", 0}, {"exec >&-\nsleep 1000\n", 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    for (int round = 0; round < (c.terminated ? 1 : 20); ++round) {
      Ref<TProcess> p = Run(c.body);
      ASSERT_TRUE(p);
      AwaitEnd(*p->pipe);
      pid_t pid = platform::ChildProcessId(p->handle);
      EXPECT_EQ(p->Terminate(), c.terminated);
      EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), -1);  // collected either way
      p->Close();
    }
  }
}

TEST_F(Processes, ChildrenEndWithTheProgram) {
  std::string probe = test::TestBinaryDir() + "/process_exit_probe";
  std::string script = tmp_.Write("long.sh", "sleep 1000\n");

  test::ChildResult exited = test::RunChild({probe, script, "exit"});
  ASSERT_EQ(exited.exitCode, 0) << exited.err;
  EXPECT_TRUE(AwaitDeath(std::stoi(exited.out)));

  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(sig);
    Ref<TProcess> probeProcess = RunProcess(String((probe + " " + script + " wait").c_str()), 0);
    ASSERT_TRUE(probeProcess);
    AwaitBytes(*probeProcess->pipe, 2);
    pid_t child = std::stoi(probeProcess->pipe->ReadLine().ToCString());
    kill(platform::ChildProcessId(probeProcess->handle), sig);
    EXPECT_TRUE(AwaitDeath(child));
    probeProcess->Terminate();
  }
}

}  // namespace
}  // namespace vxl
