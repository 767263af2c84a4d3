#include "platform/process/command_launch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace vxl::platform::launch_detail {
namespace {

using Args = std::vector<std::string>;

TEST(CommandLine, ProgramNameEndsAtQuoteOrBlank) {
  EXPECT_EQ(SplitCommandLine("\"nw.exe\""), Args{"nw.exe"});
  EXPECT_EQ(SplitCommandLine("  nw.exe  a"), (Args{"nw.exe", "a"}));
  EXPECT_EQ(SplitCommandLine("\"C:\\Program Files\\x.exe\" y"),
            (Args{"C:\\Program Files\\x.exe", "y"}));
  EXPECT_EQ(SplitCommandLine("prog\\\"x"), Args{"prog\\\"x"});  // no escapes in the name
  EXPECT_EQ(SplitCommandLine(""), Args{});
  using namespace std::string_view_literals;
  EXPECT_EQ(SplitCommandLine("p a\0b c"sv), (Args{"p", "a"}));  // a C string: it ends at NUL
  EXPECT_EQ(SplitCommandLine("\0p"sv), Args{});
}

TEST(CommandLine, ArgumentQuotingAndBackslashes) {
  EXPECT_EQ(SplitCommandLine("p \"a b\" c"), (Args{"p", "a b", "c"}));
  EXPECT_EQ(SplitCommandLine("p a\\\\b"), (Args{"p", "a\\\\b"}));        // literal backslashes
  EXPECT_EQ(SplitCommandLine("p a\\\"b"), (Args{"p", "a\"b"}));          // 1 + quote: literal quote
  EXPECT_EQ(SplitCommandLine("p a\\\\\"b c\""), (Args{"p", "a\\b c"}));  // 2 + quote: \ and toggle
  EXPECT_EQ(SplitCommandLine("p \"a\"\"b\""), (Args{"p", "a\"b"}));      // "" inside quotes
  EXPECT_EQ(SplitCommandLine("p \"\""), (Args{"p", ""}));
  EXPECT_EQ(SplitCommandLine("p \t x"), (Args{"p", "x"}));
}

void MakeExecutable(const std::string& path) {
  test::TempDir::Read(path);
  FILE* f = std::fopen(path.c_str(), "w");
  std::fputs("#!/bin/sh\n", f);
  std::fclose(f);
  chmod(path.c_str(), 0755);
}

TEST(FindProgram, SearchOrderAndExeFallback) {
  test::TempDir exeDir, pathDir;
  MakeExecutable(pathDir.File("tool"));
  MakeExecutable(pathDir.File("both"));
  MakeExecutable(exeDir.File("both"));
  std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", ("/nonexistent:" + pathDir.Path()).c_str(), 1);
  EXPECT_EQ(FindProgram("tool", exeDir.Path()), pathDir.File("tool"));
  EXPECT_EQ(FindProgram("tool.exe", exeDir.Path()), pathDir.File("tool"));
  EXPECT_EQ(FindProgram("TOOL.EXE", exeDir.Path()), "");  // names are case-sensitive here
  EXPECT_EQ(FindProgram("both", exeDir.Path()), exeDir.File("both"));  // executable's dir first
  EXPECT_EQ(FindProgram("missing.exe", exeDir.Path()), "");
  EXPECT_EQ(FindProgram(pathDir.File("tool.exe"), exeDir.Path()), pathDir.File("tool"));
  // A file that is not executable is not a program.
  test::TempDir::Read(pathDir.File("plain"));
  std::fclose(std::fopen(pathDir.File("plain").c_str(), "w"));
  EXPECT_EQ(FindProgram("plain", exeDir.Path()), "");
  setenv("PATH", oldPath.c_str(), 1);
}

TEST(LaunchCommand, ReportsWhetherSomethingStarted) {
  EXPECT_FALSE(LaunchCommand("\"surely-no-such-program.exe\"", 1));
  EXPECT_FALSE(LaunchCommand("", 1));
  EXPECT_TRUE(LaunchCommand("true", 1));
}

// The detached program gets the standard streams and nothing else this process has open.
TEST(LaunchCommand, TheProgramGetsOnlyTheStandardStreams) {
  test::TempDir dir;
  std::string fifo = dir.File("fds");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  int inherited = open("/dev/null", O_RDONLY);  // not close-on-exec
  ASSERT_GE(inherited, 3);
  ASSERT_TRUE(LaunchDetached("/bin/sh", {"sh", "-c", "exec ls /proc/self/fd > '" + fifo + "'"}));
  close(inherited);
  EXPECT_EQ(test::TempDir::Read(fifo), "0\n1\n2\n3\n");  // 3: the listing's own directory
}

// One spawn leaves the program detached: it leads a session of its own, and once it has ended it
// does not stay behind as this process's zombie.
TEST(LaunchCommand, TheProgramLeadsItsOwnSessionAndIsReaped) {
  test::TempDir dir;
  std::string fifo = dir.File("stat");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_TRUE(LaunchDetached("/bin/sh", {"sh", "-c", "cat /proc/self/stat > '" + fifo + "'"}));
  // "pid (comm) state ppid pgrp session ...": the cat replaced nothing, it is sh's child; its
  // session is sh's, which must be sh's own pid.
  std::string stat = test::TempDir::Read(fifo);
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  char state;
  long ppid, pgrp, session;
  fields >> state >> ppid >> pgrp >> session;
  EXPECT_EQ(session, ppid) << stat;
  EXPECT_NE(session, long(getsid(0)));
  // The shell ends after cat; init, which adopted it, reaps it, so /proc loses it (no zombie
  // stays).
  std::string shell = "/proc/" + std::to_string(ppid);
  while (access(shell.c_str(), F_OK) == 0)
    usleep(1000);
}

}  // namespace
}  // namespace vxl::platform::launch_detail
