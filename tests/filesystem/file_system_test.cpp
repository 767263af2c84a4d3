#include "filesystem/file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <string>
#include <vector>

#include "platform/process/process_image.h"
#include "support/temp_dir.h"

namespace vxl {
namespace {

String P(const std::string& s) {
  return String(s.c_str());
}

std::vector<std::string> Sorted(const Array<String>& names) {
  std::vector<std::string> out;
  for (const String& n : names)
    out.push_back(n.ToCString());
  std::sort(out.begin(), out.end());
  return out;
}

class FileSystemTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  String At(const std::string& name) const { return P(dir.File(name)); }
};

TEST_F(FileSystemTest, QueriesOnFilesDirectoriesAndMissingPaths) {
  dir.Write("seven.bin", "1234567");
  EXPECT_EQ(PathKind(At("seven.bin")), 1);
  EXPECT_EQ(PathKind(P(dir.Path())), 2);
  EXPECT_EQ(PathKind(P(dir.Path() + "/")), 2);
  EXPECT_EQ(PathKind(At("missing")), 0);
  EXPECT_EQ(PathByteSize(At("seven.bin")), 7);
  EXPECT_EQ(PathByteSize(At("missing")), -1);
  EXPECT_EQ(PathModifiedTime(At("missing")), 0);
  EXPECT_NEAR(static_cast<double>(PathModifiedTime(At("seven.bin"))),
              static_cast<double>(time(nullptr)), 600.0);
  EXPECT_EQ(PathPermissions(At("missing")), -1);

  SetPathPermissions(At("seven.bin"), 0640);
  EXPECT_EQ(PathPermissions(At("seven.bin")), 0640);

  // Backslashes are separators; "<" and ">" never name an existing file.
  std::string back = dir.Path() + "\\seven.bin";
  EXPECT_EQ(PathKind(P(back)), 1);
  dir.Write("a<b", "x");
  EXPECT_EQ(PathKind(At("a<b")), 0);
  EXPECT_EQ(PathByteSize(At("a<b")), -1);
}

TEST_F(FileSystemTest, MakeEmptyFileReplacesEvenReadOnlyFiles) {
  dir.Write("old.txt", "content");
  SetPathPermissions(At("old.txt"), 0444);
  EXPECT_EQ(MakeEmptyFile(At("old.txt")), 1);
  EXPECT_EQ(PathByteSize(At("old.txt")), 0);
  EXPECT_EQ(MakeEmptyFile(At("new.txt")), 1);
  EXPECT_EQ(PathKind(At("new.txt")), 1);
  EXPECT_EQ(MakeEmptyFile(At("nodir/new.txt")), 0);

  // A directory is neither removed nor replaced.
  ASSERT_EQ(MakeDirectory(At("d"), 0), 1);
  EXPECT_EQ(MakeEmptyFile(At("d")), 0);
  EXPECT_EQ(PathKind(At("d")), 2);
}

TEST_F(FileSystemTest, RemoveAndMove) {
  dir.Write("ro.txt", "x");
  SetPathPermissions(At("ro.txt"), 0444);
  EXPECT_EQ(RemoveFile(At("ro.txt")), 1);
  EXPECT_EQ(PathKind(At("ro.txt")), 0);
  EXPECT_EQ(RemoveFile(At("ro.txt")), 1);  // nothing there: nothing left

  ASSERT_EQ(MakeDirectory(At("d"), 0), 1);
  EXPECT_EQ(RemoveFile(At("d")), 0);
  EXPECT_EQ(PathKind(At("d")), 2);
  EXPECT_EQ(PathPermissions(At("d")) & 0700, 0700) << "a failed removal keeps the directory usable";

  dir.Write("a.txt", "abc");
  EXPECT_EQ(MovePath(At("a.txt"), At("d\\b.txt")), 1);
  EXPECT_EQ(PathKind(At("a.txt")), 0);
  EXPECT_EQ(test::TempDir::Read(dir.File("d/b.txt")), "abc");
  EXPECT_EQ(MovePath(At("a.txt"), At("c.txt")), 0);
}

TEST_F(FileSystemTest, MakeDirectoryRecursiveAndBlockedByAFile) {
  EXPECT_EQ(MakeDirectory(At("a/b/c"), 0), 0);
  EXPECT_EQ(MakeDirectory(At("a/b/c/"), 1), 1);
  EXPECT_EQ(PathKind(At("a/b/c")), 2);
  EXPECT_EQ(MakeDirectory(At("a/b/c"), 1), 1);  // already there

  dir.Write("x", "");  // a file where a directory is wanted
  EXPECT_EQ(MakeDirectory(At("x/y/z"), 1), 0);
  EXPECT_EQ(PathKind(At("x")), 1);
  EXPECT_EQ(PathKind(At("x/y")), 0);

  // Relative paths are made against the working directory.
  std::string old = platform::CurrentDirectory();
  ASSERT_EQ(SetWorkingDirectory(P(dir.Path() + "/a/")), 1);
  EXPECT_EQ(MakeDirectory("r/./s/../t", 1), 1);
  ASSERT_TRUE(platform::ChangeDirectory(old));
  EXPECT_EQ(PathKind(At("a/r/t")), 2);
  EXPECT_EQ(PathKind(At("a/r/s")), 0);  // ".." is resolved before anything is made
  EXPECT_EQ(SetWorkingDirectory(At("missing")), 0);
}

TEST_F(FileSystemTest, ListingGivesEveryNameOnce) {
  ASSERT_EQ(MakeDirectory(At("empty"), 0), 1);
  EXPECT_EQ(Sorted(ListDirectory(At("empty"), 0)), (std::vector<std::string>{".", ".."}));
  EXPECT_EQ(ListDirectory(At("empty"), 1).Length(), 0);
  EXPECT_EQ(ListDirectory(At("missing"), 0).Length(), 0);

  ASSERT_EQ(MakeDirectory(At("many"), 0), 1);
  std::vector<std::string> expected;
  for (int i = 0; i < 250; ++i) {
    std::string name = "f" + std::to_string(i);
    dir.Write("many/" + name, "");
    expected.push_back(name);
  }
  std::sort(expected.begin(), expected.end());
  Array<String> names = ListDirectory(At("many/"), 1);
  EXPECT_EQ(names.Length(), 250);
  EXPECT_EQ(Sorted(names), expected);

  DirectoryHandle h = OpenDirectory(At("empty"));
  ASSERT_NE(h, nullptr);
  int count = 0;
  while (!NextDirectoryEntry(h).IsEmpty())
    ++count;
  EXPECT_EQ(count, 2);
  EXPECT_TRUE(NextDirectoryEntry(h).IsEmpty());
  CloseDirectory(h);
  EXPECT_EQ(OpenDirectory(At("missing")), nullptr);
  EXPECT_EQ(NextDirectoryEntry(nullptr).Length(), 0);
}

TEST_F(FileSystemTest, EraseDirectory) {
  ASSERT_EQ(MakeDirectory(At("t/a/b"), 1), 1);
  dir.Write("t/one", "1");
  dir.Write("t/a/two", "2");
  dir.Write("t/a/b/three", "3");
  SetPathPermissions(At("t/a/b/three"), 0400);

  EXPECT_EQ(EraseDirectory(At("t"), 0), 0) << "not empty";
  EXPECT_EQ(PathKind(At("t/a/b/three")), 1);
  EXPECT_EQ(EraseDirectory(At("t/"), 1), 1);
  EXPECT_EQ(PathKind(At("t")), 0);

  EXPECT_EQ(EraseDirectory(At("missing"), 1), 0);  // cannot be opened
  EXPECT_EQ(EraseDirectory(At("missing"), 0), 1);  // nothing left
  ASSERT_EQ(MakeDirectory(At("e"), 0), 1);
  EXPECT_EQ(EraseDirectory(At("e"), 0), 1);
}

TEST_F(FileSystemTest, EraseDirectoryRemovesSymbolicLinksNotTheirTargets) {
  ASSERT_EQ(MakeDirectory(At("outside/deep"), 1), 1);
  dir.Write("outside/keep.txt", "keep");
  dir.Write("outside/deep/keep2.txt", "keep");
  dir.Write("lonely.txt", "keep");
  SetPathPermissions(At("lonely.txt"), 0400);
  ASSERT_EQ(MakeDirectory(At("tree/sub"), 1), 1);
  ASSERT_EQ(symlink(dir.File("outside").c_str(), dir.File("tree/sub/dirlink").c_str()), 0);
  ASSERT_EQ(symlink(dir.File("lonely.txt").c_str(), dir.File("tree/filelink").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", dir.File("tree/dangling").c_str()), 0);

  EXPECT_EQ(EraseDirectory(At("tree"), 1), 1);
  EXPECT_EQ(PathKind(At("tree")), 0);
  EXPECT_EQ(test::TempDir::Read(dir.File("outside/keep.txt")), "keep");
  EXPECT_EQ(test::TempDir::Read(dir.File("outside/deep/keep2.txt")), "keep");
  EXPECT_EQ(PathPermissions(At("lonely.txt")), 0400);

  // A link given as the directory itself is not emptied either.
  ASSERT_EQ(symlink(dir.File("outside").c_str(), dir.File("toplink").c_str()), 0);
  EXPECT_EQ(EraseDirectory(At("toplink"), 1), 0);
  EXPECT_EQ(test::TempDir::Read(dir.File("outside/keep.txt")), "keep");
}

}  // namespace
}  // namespace vxl
