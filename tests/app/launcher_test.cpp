// End-to-end tests of the built launcher and of the start-up sequence it shares.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <set>

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

// Module globals are never destroyed, so an exit function that runs last still finds the
// factory chain, the class records and the standard streams whole.
TEST(Startup, ExitFunctionRunningLastFindsTheModuleGlobalsWhole) {
  auto result = test::RunChild({Bin("startup_probe"), "late-exit-function"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.err, "");
  size_t atExit = result.out.find("at exit:");
  ASSERT_NE(atExit, std::string::npos) << result.out;
  std::string running = result.out.substr(0, atExit);
  ASSERT_EQ(running.rfind("running: T", 0), 0u) << running;
  EXPECT_EQ(result.out.substr(atExit), "at exit:" + running.substr(8) + "Quillon Application\r\n");
}

// The launcher needs only the C library, and its start-up loads nothing else: SDL2, the image,
// sound, font and network libraries are opened on first use.
TEST(Launcher, NeedsAndLoadsOnlyTheCLibrary) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer runtimes are loaded by design";
#endif
  LauncherDir app;
  auto elf = test::RunChild({"/usr/bin/readelf", "-d", app.launcher});
  ASSERT_EQ(elf.exitCode, 0) << elf.err;
  std::set<std::string> needed;
  for (size_t at = elf.out.find("Shared library: ["); at != std::string::npos;
       at = elf.out.find("Shared library: [", at + 1)) {
    size_t begin = at + 17;
    needed.insert(elf.out.substr(begin, elf.out.find(']', begin) - begin));
  }
  // The program interpreter is mapped by the kernel with every dynamic executable (the static
  // unwinder asks it for the frame tables); it is not a library the launcher loads.
  auto headers = test::RunChild({"/usr/bin/readelf", "-l", app.launcher});
  size_t interp = headers.out.find("program interpreter: ");
  ASSERT_NE(interp, std::string::npos) << headers.out;
  std::string interpreter =
      headers.out.substr(interp + 21, headers.out.find(']', interp) - interp - 21);
  needed.erase(interpreter.substr(interpreter.rfind('/') + 1));
  EXPECT_EQ(needed, std::set<std::string>{"libc.so.6"}) << elf.out;

  setenv("LD_DEBUG", "libs", 1);
  auto result = test::RunChild({app.launcher});
  unsetenv("LD_DEBUG");
  EXPECT_EQ(result.exitCode, 0);
  std::set<std::string> searched;
  for (size_t at = result.err.find("find library="); at != std::string::npos;
       at = result.err.find("find library=", at + 1)) {
    size_t begin = at + 13;
    searched.insert(result.err.substr(begin, result.err.find_first_of(" \t\n[", begin) - begin));
  }
  EXPECT_EQ(searched, std::set<std::string>{"libc.so.6"}) << result.err;
}

// SDL starts at start-up only for the Direct3D 7 drivers' mode list, with VXL_D3D7=1.
TEST(Startup, MainsInitialisersLoadSdlOnlyForTheDirect3D7Setting) {
  const struct {
    const char* setting;  // nullptr: unset
    const char* out;
  } cases[] = {
      {nullptr, "SDL2 loaded: no\n"}, {"0", "SDL2 loaded: no\n"}, {"1", "SDL2 loaded: yes\n"}};
  const char* video = std::getenv("SDL_VIDEODRIVER");
  const std::string savedVideo = video ? video : "";
  setenv("SDL_VIDEODRIVER", "offscreen", 1);  // the mode list needs no display
  for (const auto& c : cases) {
    SCOPED_TRACE(c.setting ? c.setting : "unset");
    if (c.setting) {
      setenv("VXL_D3D7", c.setting, 1);
    } else {
      unsetenv("VXL_D3D7");
    }
    auto result = test::RunChild({Bin("startup_probe"), "sdl-after-start"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, c.out);
  }
  unsetenv("VXL_D3D7");
  if (video) {
    setenv("SDL_VIDEODRIVER", savedVideo.c_str(), 1);
  } else {
    unsetenv("SDL_VIDEODRIVER");
  }
}

// The exit functions registered at start-up run in reverse order of registration, however the
// program ends.
TEST(Startup, ExitFunctionsOfTheModulesRunInTheirOrder) {
  const std::string trace =
      "process termination\nENet deinitialise\nsystem driver\naudio shutdown\nsocket clean-up\n";
  struct Case {
    const char* mode;
    int exitCode;
    const char* err;
  };
  for (const Case& c :
       {Case{"exit-trace", 0, ""}, Case{"exit-trace-throw", 255, "thrown after start-up"}}) {
    auto result = test::RunChild({Bin("startup_probe"), c.mode});
    EXPECT_EQ(result.exitCode, c.exitCode) << c.mode;
    EXPECT_EQ(result.err, c.err) << c.mode;
    EXPECT_EQ(result.out, trace) << c.mode;
  }
}

TEST(Startup, ExitFunctionsRunInReverseOrderOfRegistration) {
  auto result = test::RunChild({Bin("startup_probe"), "exit-functions"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out, "second registered\nfirst registered\n");
}

}  // namespace
}  // namespace vxl
