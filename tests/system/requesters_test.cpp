// Requesters, URLs, message boxes and date/time text, with fake desktop programs on PATH.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <regex>
#include <string>

#include "filesystem/path.h"
#include "support/temp_dir.h"
#include "system/requesters.h"
#include "system/system.h"

namespace vxl {
namespace {

std::string Visible(const String& s) {
  std::string out = s.ToCString();
  for (char& c : out) {
    if (c == 0) c = '|';
  }
  return out;
}

TEST(RequesterRules, FilterStringIndexAndStart) {
  struct Case {
    const char* exts;
    const char* path;
    int32_t index;
    const char* filter;  // NULs shown as |
  } cases[] = {
      {"Image Files:png,jpg;Text Files:txt", "pics/a.png", 1,
       "Image Files|*.png;*.jpg|Text Files|*.txt|"},
      {"Image Files:png,jpg;Text Files:txt", "a.txt", 0, nullptr},  // last group: no comma after
      {"Image Files:png,jpg;Text Files:txt", "a.JPG", 1, nullptr},
      {"Image Files:png,jpg;Text Files:txt", "noext", 0, nullptr},
      {"A:x;B:y;C:z", "f.y", 2, "A|*.x|B|*.y|C|*.z|"},
      {"png,jpg", "a.png", 0, "Files|*.png;*.jpg|"},
      {"png", "a.bmp", 0, "Files|*.png|"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RequesterFilterIndex(c.exts, c.path), c.index) << c.exts << " " << c.path;
    if (c.filter) {
      EXPECT_EQ(Visible(RequesterFilterString(c.exts)), c.filter) << c.exts;
    }
  }

  struct StartCase {
    const char *path, *folder, *file;
  } starts[] = {{"pics/a.png", "pics", "a.png"},
                {"a.txt", "", "a.txt"},
                {"/home/me/", "/home/me", ""},
                {"/x", "", "x"}};
  for (const StartCase& s : starts) {
    RequesterStart r = RequesterStartOf(s.path);
    EXPECT_EQ(r.folder, String(s.folder)) << s.path;
    EXPECT_EQ(r.file, String(s.file)) << s.path;
  }
}

TEST(RequesterRules, UrlPreparation) {
  test::TempDir dir;
  std::string file = dir.Write("page.html", "<p>");
  struct Case {
    std::string url, expected;
  } cases[] = {
      {"HTTP://Example.com/A", "HTTP://Example.com/A"},
      {"file:/tmp/x", "file:/tmp/x"},
      {"https://example.com", "https://example.com"},
      {"mailto:me@example.com", "mailto:me@example.com"},
      {file, "file:" + file},
      {file + "#top", "file:" + file + "#top"},
      {"www.example.com/none#a", "http:www.example.com/none#a"},
      {"c:/windows", "http:c:/windows"},  // one letter is a drive, not a scheme
  };
  for (const Case& c : cases)
    EXPECT_EQ(PrepareUrl(String(c.url.c_str())).ToCString(), c.expected) << c.url;
}

// A fake requester program: records its arguments one per line, prints `answer`, exits `code`
// (shell builtins only, so PATH can hold nothing but the fakes).
class FakeDesktop : public ::testing::Test {
 protected:
  void SetUp() override {
    InitSystemModule();
    oldPath_ = std::getenv("PATH");
    setenv("PATH", dir_.Path().c_str(), 1);  // only the fakes, whatever this machine has
  }
  void TearDown() override { setenv("PATH", oldPath_.c_str(), 1); }

  void Program(const std::string& name, const std::string& answer, int code) {
    std::string script = "#!/bin/sh\nfor a in \"$0\" \"$@\"; do printf '%s\\n' \"$a\"; done > '" +
                         dir_.File(name + ".args") + "'\nprintf '%s\\n' '" + answer + "'\nexit " +
                         std::to_string(code) + "\n";
    chmod(dir_.Write(name, script).c_str(), 0755);
  }
  std::string Args(const std::string& name) {
    std::string a = test::TempDir::Read(dir_.File(name + ".args"));
    return a.substr(a.find('\n') + 1);  // without $0
  }

  test::TempDir dir_;
  std::string oldPath_;
};

TEST_F(FakeDesktop, FileRequesterRunsZenityWithTheSelectedFilterFirst) {
  Program("zenity", "/chosen/b.txt", 0);
  String got = AskFile("Pick", "Image Files:png,jpg;Text Files:txt;Any:*", 0, "pics/a.png");
  EXPECT_EQ(got, String("/chosen/b.txt"));
  EXPECT_EQ(Args("zenity"),
            "--file-selection\n--title=Pick\n--filename=pics/a.png\n"
            "--file-filter=Image Files | *.png *.jpg\n--file-filter=Text Files | *.txt\n"
            "--file-filter=Any | *.*\n");

  AskFile("Save as", "Text Files:txt;Image Files:png;Any:*", 1, "docs/b.png");
  EXPECT_EQ(Args("zenity"),
            "--file-selection\n--title=Save as\n--save\n--confirm-overwrite\n"
            "--filename=docs/b.png\n--file-filter=Image Files | *.png\n"
            "--file-filter=Text Files | *.txt\n--file-filter=Any | *.*\n");

  Program("zenity", "ignored", 1);  // cancelled
  EXPECT_EQ(AskFile("Pick", "", 0, ""), String());
  EXPECT_EQ(Args("zenity"), "--file-selection\n--title=Pick\n");
}

TEST_F(FakeDesktop, FolderRequesterAndKdialogFallback) {
  Program("kdialog", "/picked", 0);
  EXPECT_EQ(AskDir("Folder", "/tmp"), String("/picked"));
  EXPECT_EQ(Args("kdialog"), "--getexistingdirectory\n/tmp\n--title\nFolder\n");
  EXPECT_EQ(AskFile("Open", "png,jpg", 0, "x/y.png"), String("/picked"));
  EXPECT_EQ(Args("kdialog"), "--getopenfilename\nx/y.png\n*.png *.jpg|Files\n--title\nOpen\n");

  Program("zenity", "/z", 0);
  EXPECT_EQ(AskDir("Folder", "rel"), String("/z"));
  EXPECT_EQ(Args("zenity"), "--file-selection\n--directory\n--title=Folder\n--filename=" +
                                AbsolutePath("rel").ToCString() + "/\n");
}

// The requester gets its standard streams and nothing else this program has open.
TEST_F(FakeDesktop, ARequesterGetsOnlyTheStandardStreams) {
  chmod(dir_.Write("zenity", "#!/bin/sh\nexec /bin/ls /proc/self/fd\n").c_str(), 0755);
  int inherited = open("/dev/null", O_RDONLY);  // not close-on-exec
  ASSERT_GE(inherited, 3);
  String got = AskDir("Folder", "/tmp");
  close(inherited);
  EXPECT_EQ(got, String("0\n1\n2\n3"));  // 3: the listing's own directory
}

// A requester that leaves a program of its own running, holding the output open, is done when
// it ends: the answer comes without waiting for that program.
TEST_F(FakeDesktop, ARequesterIsDoneWhenItEndsWhoeverKeepsItsOutputOpen) {
  std::string fifo = dir_.File("release");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string script =
      "#!/bin/sh\nprintf '%s\\n' /chosen/c.txt\n(read line < '" + fifo + "') &\nexit 0\n";
  chmod(dir_.Write("zenity", script).c_str(), 0755);
  EXPECT_EQ(AskFile("Pick", "txt", 0, ""), String("/chosen/c.txt"));
  int release = open(fifo.c_str(), O_WRONLY);  // ends the program left behind
  ASSERT_GE(release, 0);
  EXPECT_EQ(write(release, "\n", 1), 1);
  close(release);
}

TEST_F(FakeDesktop, NoRequesterInstalledIsACancelledRequester) {
  EXPECT_EQ(AskFile("Pick", "png", 0, "a.png"), String());
  EXPECT_EQ(AskDir("Pick", "/"), String());
  EXPECT_EQ(LaunchUrl("http://example.com"), 0);
}

TEST_F(FakeDesktop, LaunchUrlStartsXdgOpenDetached) {
  // The detached opener reports through a FIFO: opening it for reading waits for the writer.
  std::string fifo = dir_.File("opened");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string script =
      "#!/bin/sh\nexec </dev/null >/dev/null 2>&1\nprintf '%s' \"$1\" > '" + fifo + "'\n";
  chmod(dir_.Write("xdg-open", script).c_str(), 0755);
  std::string page = dir_.Write("index.html", "<p>");
  EXPECT_EQ(LaunchUrl(String(page.c_str()) + "#intro"), 0);
  std::string got = test::TempDir::Read(fifo);
  EXPECT_EQ(got, "file:" + page + "#intro");
}

TEST(MessageBoxes, WithoutADisplayAnswerAtOnce) {
  InitSystemModule();
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  EXPECT_EQ(NotifyUser("hello", 0), 0);
  EXPECT_EQ(ConfirmUser("sure?", 1), 0);
  EXPECT_EQ(ProceedUser("save?", 0), -1);
}

TEST(DateAndTime, FixedFormatsWithEnglishMonthNames) {
  InitSystemModule();
  setlocale(LC_ALL, "");
  std::string date = DateText().ToCString(), time = TimeText().ToCString();
  EXPECT_TRUE(std::regex_match(
      date, std::regex("[0-3][0-9] (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [0-9]{4}")))
      << date;
  EXPECT_TRUE(std::regex_match(time, std::regex("[0-2][0-9]:[0-5][0-9]:[0-6][0-9]"))) << time;
}

}  // namespace
}  // namespace vxl
