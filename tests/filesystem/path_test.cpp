#include "filesystem/path.h"

#include <gtest/gtest.h>

#include "platform/process/process_image.h"
#include "support/temp_dir.h"

namespace vxl {
namespace {

std::string S(const String& s) {
  return s.ToCString();
}

TEST(NormalisePath, SeparatorsDrivesAndNetworkRoots) {
  EXPECT_EQ(S(NormalisePath("C:\\games\\x.png", 0)), "C:/games/x.png");
  EXPECT_EQ(S(NormalisePath("c:", 0)), "c:/");
  EXPECT_EQ(S(NormalisePath("c:dir/x", 0)), "c:/dir/x");
  EXPECT_EQ(S(NormalisePath("c:/x", 0)), "c:/x");
  EXPECT_EQ(S(NormalisePath("a/b:c", 0)), "a/b:c");
  EXPECT_EQ(S(NormalisePath("incbin::a.png", 0)), "incbin::a.png");
  EXPECT_EQ(S(NormalisePath("\\\\server", 0)), "//server/");
  EXPECT_EQ(S(NormalisePath("//server/share", 0)), "//server/share");
  EXPECT_EQ(S(NormalisePath("", 0)), "");
}

TEST(NormalisePath, DirectoryFormRemovesOneSlashExceptFromRoots) {
  EXPECT_EQ(S(NormalisePath("c:/dir/", 1)), "c:/dir");
  EXPECT_EQ(S(NormalisePath("c:/", 1)), "c:/");
  EXPECT_EQ(S(NormalisePath("/", 1)), "/");
  EXPECT_EQ(S(NormalisePath("//server/", 1)), "//server/");
  EXPECT_EQ(S(NormalisePath("//server", 1)), "//server/");
  EXPECT_EQ(S(NormalisePath("a//", 1)), "a/");
  EXPECT_EQ(S(NormalisePath("a\\", 1)), "a");
  EXPECT_EQ(S(NormalisePath("c:/dir/", 0)), "c:/dir/");
}

TEST(PathRoot, RootsAndAbsolutePaths) {
  EXPECT_EQ(S(PathRoot("//server/share/x")), "//server/");
  EXPECT_EQ(S(PathRoot("//server")), "");
  EXPECT_EQ(S(PathRoot("c:/x")), "c:/");
  EXPECT_EQ(S(PathRoot("c:x")), "");
  EXPECT_EQ(S(PathRoot("/usr/lib")), "/");
  EXPECT_EQ(S(PathRoot("usr/lib")), "");
  EXPECT_EQ(S(PathRoot("a/b:/c")), "");

  EXPECT_EQ(IsPathRoot("c:/"), 1);
  EXPECT_EQ(IsPathRoot("/"), 1);
  EXPECT_EQ(IsPathRoot("//server/"), 1);
  EXPECT_EQ(IsPathRoot("c:/x"), 0);
  EXPECT_EQ(IsPathRoot(""), 0);
  EXPECT_EQ(IsAbsolutePath("/x"), 1);
  EXPECT_EQ(IsAbsolutePath("d:/x"), 1);
  EXPECT_EQ(IsAbsolutePath("x/y"), 0);
}

TEST(PathParts, NamesAndExtensions) {
  EXPECT_EQ(S(PathExtension("dir.old/file")), "");
  EXPECT_EQ(S(PathExtension("a/b.tar.gz")), "gz");
  EXPECT_EQ(S(PathExtension("a\\b.txt")), "txt");
  EXPECT_EQ(S(PathWithoutExtension("a/b.tar.gz")), "a/b.tar");
  EXPECT_EQ(S(PathWithoutExtension("dir.old/file")), "dir.old/file");
  EXPECT_EQ(S(PathWithoutExtension("a\\b")), "a/b");
  EXPECT_EQ(S(PathFileName("c:\\games\\x.png")), "x.png");
  EXPECT_EQ(S(PathFileName("x.png")), "x.png");
  EXPECT_EQ(S(PathFileName("dir/")), "");
  EXPECT_EQ(S(PathBaseName("c:/games/x.tar.gz")), "x.tar");
  EXPECT_EQ(S(PathBaseName("dir.old/file")), "file");
  EXPECT_EQ(S(PathWithoutSlash("a/b/")), "a/b");
  EXPECT_EQ(S(PathWithoutSlash("c:/")), "c:/");
}

TEST(PathDirectory, ParentsAndRoots) {
  EXPECT_EQ(S(PathDirectory("file.txt")), "");
  EXPECT_EQ(S(PathDirectory("c:/file.txt")), "c:/");
  EXPECT_EQ(S(PathDirectory("c:\\x")), "c:/");
  EXPECT_EQ(S(PathDirectory("..")), "..");
  EXPECT_EQ(S(PathDirectory(".")), ".");
  EXPECT_EQ(S(PathDirectory("a/b/c")), "a/b");
  EXPECT_EQ(S(PathDirectory("/a")), "/");
  EXPECT_EQ(S(PathDirectory("/")), "/");
  EXPECT_EQ(S(PathDirectory("//server/x")), "//server/");
  EXPECT_EQ(S(PathDirectory("//server/share/x")), "//server/share");
  EXPECT_EQ(S(PathDirectory("c:")), "c:/");
  // Walking up always ends at a root that is its own directory.
  String p = "/usr/local/lib";
  int steps = 0;
  while (S(PathDirectory(p)) != S(p) && steps < 10) {
    p = PathDirectory(p);
    ++steps;
  }
  EXPECT_EQ(S(p), "/");
  EXPECT_EQ(steps, 3);
}

TEST(AbsolutePath, ResolvesDotsAgainstRootsAndTheWorkingDirectory) {
  EXPECT_EQ(S(AbsolutePath("c:/a/./b/../c")), "c:/a/c");
  EXPECT_EQ(S(AbsolutePath("c:\\a\\\\b")), "c:/a/b");
  EXPECT_EQ(S(AbsolutePath("c:/..")), "c:/");
  EXPECT_EQ(S(AbsolutePath("c:/a/..")), "c:/");
  EXPECT_EQ(S(AbsolutePath("c:/a/../b")), "c:/b");
  EXPECT_EQ(S(AbsolutePath("//server/a/../../b")), "//server/b");
  EXPECT_EQ(S(AbsolutePath("/tmp/../..")), "/");
  // No drive on this system: a path from "/" gets no drive prefix.
  EXPECT_EQ(S(WorkingDrive()), "");
  EXPECT_EQ(S(AbsolutePath("/tmp")), "/tmp");
  EXPECT_EQ(S(AbsolutePath("/tmp/x/")), "/tmp/x");
}

TEST(AbsolutePath, RelativePathsStartAtTheWorkingDirectory) {
  test::TempDir dir;
  std::string old = platform::CurrentDirectory();
  ASSERT_TRUE(platform::ChangeDirectory(dir.Path()));
  std::string cwd = platform::CurrentDirectory();
  EXPECT_EQ(S(WorkingDirectory()), cwd);
  EXPECT_EQ(S(AbsolutePath("x/y")), cwd + "/x/y");
  EXPECT_EQ(S(AbsolutePath("x\\.\\y\\..")), cwd + "/x");
  EXPECT_EQ(S(AbsolutePath("")), cwd);
  EXPECT_EQ(S(AbsolutePath("..")), S(PathDirectory(String(cwd.c_str()))));
  ASSERT_TRUE(platform::ChangeDirectory(old));
}

}  // namespace
}  // namespace vxl
