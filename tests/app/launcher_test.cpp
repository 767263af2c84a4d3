// End-to-end tests of the built launcher and of the start-up sequence it shares.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include <gtest/gtest.h>

#include "support/child_process.h"
#include "support/temp_dir.h"

namespace vxl {
namespace {

namespace fs = std::filesystem;

std::string Bin(const std::string& name) {
  return test::TestBinaryDir() + "/" + name;
}

// A copy of the launcher in its own directory, with an optional companion program beside it.
struct LauncherDir {
  test::TempDir dir;
  std::string launcher = dir.File("launcher");
  LauncherDir() { fs::copy_file(Bin("launcher"), launcher); }

  // A companion that waits for "go" on a FIFO (so it provably runs after the launcher ended),
  // then reports its working directory and arguments through another FIFO.
  void AddRecordingCompanion(const std::string& name) {
    mkfifo(dir.File("go").c_str(), 0600);
    mkfifo(dir.File("record").c_str(), 0600);
    std::string script = "#!/bin/sh\nexec >/dev/null 2>&1 </dev/null\nread go < '" +
                         dir.File("go") + "'\nprintf '%s|%s|%s\\n' \"$(pwd)\" \"$#\" \"$*\" > '" +
                         dir.File("record") + "'\n";
    std::string path = dir.Write(name, script);
    chmod(path.c_str(), 0755);
  }

  // Releases the companion and returns its record, or "" if none arrived within 20 seconds.
  std::string ReleaseAndReadRecord() {
    int go = open(dir.File("go").c_str(), O_RDWR);
    int record = open(dir.File("record").c_str(), O_RDWR | O_NONBLOCK);
    EXPECT_EQ(write(go, "go\n", 3), 3);
    std::string text;
    while (text.find('\n') == std::string::npos) {
      pollfd p{record, POLLIN, 0};
      if (poll(&p, 1, 20000) <= 0) break;
      char buf[512];
      ssize_t n = read(record, buf, sizeof buf);
      if (n > 0) text.append(buf, static_cast<size_t>(n));
    }
    close(go);
    close(record);
    return text;
  }
};

TEST(Launcher, LaunchesCompanionFromItsOwnDirectoryAndExitsZero) {
  LauncherDir app;
  app.AddRecordingCompanion("nw.exe");
  test::TempDir elsewhere;
  auto result = test::RunChild({app.launcher, "ignored", "args"}, elsewhere.Path());
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
  // The companion is released only now, after the launcher has ended: it was not waited for.
  EXPECT_EQ(app.ReleaseAndReadRecord(), app.dir.Path() + "|0|\n");
}

TEST(Launcher, FallsBackToTheNameWithoutExe) {
  LauncherDir app;
  app.AddRecordingCompanion("nw");
  auto result = test::RunChild({app.launcher});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(app.ReleaseAndReadRecord(), app.dir.Path() + "|0|\n");
}

TEST(Launcher, WithoutCompanionPrintsNothingAndExitsZero) {
  LauncherDir app;
  test::TempDir elsewhere;
  auto result = test::RunChild({app.launcher}, elsewhere.Path());
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
}

TEST(Startup, RecordsGlobalsAndChangesToTheApplicationDirectory) {
  test::TempDir appDir;
  std::string probe = appDir.File("probe");
  fs::copy_file(Bin("startup_probe"), probe);
  test::TempDir elsewhere;
  auto result = test::RunChild({probe, "print", "two words", "*.txt"}, elsewhere.Path());
  EXPECT_EQ(result.exitCode, 0);
  std::string dir = fs::canonical(appDir.Path()).string();
  std::string start = fs::canonical(elsewhere.Path()).string();
  EXPECT_EQ(result.out, "StartupDir=" + start + "\nApplicationDir=" + dir +
                            "\nApplicationPath=" + dir + "/probe" +
                            "\nApplicationTitle=Quillon Application\narg=" + probe +
                            "\narg=print\narg=two words\narg=*.txt\ncwd=" + dir + "\n");
}

TEST(Startup, UncaughtThrowPrintsItsTextAndExitsMinusOne) {
  auto result = test::RunChild({Bin("startup_probe"), "throw"});
  EXPECT_EQ(result.exitCode, 255);
  EXPECT_EQ(result.err, "boom at start-up");
  EXPECT_EQ(result.out, "");
  result = test::RunChild({Bin("startup_probe"), "throw-string"});
  EXPECT_EQ(result.exitCode, 255);
  EXPECT_EQ(result.err, "a thrown string");
}

TEST(Startup, SignalsPrintTheirLineThenFailAsReceivedSignal) {
  for (int sig : {SIGILL, SIGSEGV, SIGABRT, SIGTERM}) {
    auto result = test::RunChild({Bin("startup_probe"), "signal", std::to_string(sig)});
    EXPECT_EQ(result.exitCode, 255) << sig;
    EXPECT_EQ(result.out, "before the signal\nsignal!:" + std::to_string(sig) + "\n") << sig;
    EXPECT_EQ(result.err, "Received Signal") << sig;
  }
}

TEST(Startup, SignalFromOutsideIsReportedTheSameWay) {
  int in[2], out[2], err[2];
  ASSERT_EQ(pipe(in) | pipe(out) | pipe(err), 0);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    std::string probe = Bin("startup_probe");
    execl(probe.c_str(), probe.c_str(), "wait", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  auto readAll = [](int fd) {
    std::string text;
    char buf[256];
    for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;)
      text.append(buf, static_cast<size_t>(n));
    return text;
  };
  char first[8] = {};
  ASSERT_EQ(read(out[0], first, 8), 8);  // "waiting\n": the probe is blocked in read()
  kill(pid, SIGTERM);
  std::string out_text = readAll(out[0]);
  std::string err_text = readAll(err[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  close(in[1]);
  close(out[0]);
  close(err[0]);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 255);
  EXPECT_EQ(out_text, "signal!:15\n");
  EXPECT_EQ(err_text, "Received Signal");
}

TEST(Startup, HardwareFaultFailsAsUnhandledMemoryException) {
  auto result = test::RunChild({Bin("startup_probe"), "divide", "0"});
  EXPECT_EQ(result.exitCode, 255);
  EXPECT_EQ(result.err, "Unhandled Memory Exception Error");
}

TEST(Startup, ExitFunctionsRunInReverseOrderOfRegistration) {
  auto result = test::RunChild({Bin("startup_probe"), "exit-functions"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out, "second registered\nfirst registered\n");
}

}  // namespace
}  // namespace vxl
