#include "filesystem/file_copy.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "filesystem/file_stream.h"
#include "filesystem/file_system.h"
#include "stream/memory/embedded_files.h"
#include "stream/memory/ram_stream.h"
#include "support/temp_dir.h"

namespace vxl {
namespace {

using test::TempDir;

String P(const std::string& s) {
  return String(s.c_str());
}

std::string Bytes(size_t n, int seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i)
    s[i] = static_cast<char>((i * 131 + seed * 7) & 0xFF);
  return s;
}

std::string LinkText(const std::string& path) {
  char buf[4096];
  ssize_t n = readlink(path.c_str(), buf, sizeof buf);
  return n < 0 ? std::string() : std::string(buf, n);
}

// Every path below `root`, relative to it, sorted; directories end with "/", links with "@".
void Walk(const std::string& root, const std::string& rel, std::vector<std::string>& out) {
  for (const String& n : ListDirectory(P(root + rel), 1)) {
    std::string name = rel + n.ToCString();
    struct stat st;
    lstat((root + name).c_str(), &st);
    if (S_ISLNK(st.st_mode)) {
      out.push_back(name + "@" + LinkText(root + name));
    } else if (S_ISDIR(st.st_mode)) {
      out.push_back(name + "/");
      Walk(root, name + "/", out);
    } else {
      out.push_back(name + "=" + TempDir::Read(root + name));
    }
  }
}

std::vector<std::string> Tree(const std::string& root) {
  std::vector<std::string> out;
  Walk(root + "/", "", out);
  std::sort(out.begin(), out.end());
  return out;
}

// A stream whose Read raises a runtime error.
class TFailingStream : public TStream {
  VXL_CLASS(TFailingStream, TStream)
 public:
  int32_t Pos() override { return 0; }
  int32_t Size() override { return 10; }
  int32_t Read(uint8_t*, int32_t) override { RaiseRuntimeError("device gone"); }
};
VXL_DEFINE_CLASS(TFailingStream)

class FileCopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitFileSystemModule();
    InitRamStreamModule();
  }
  TempDir dir;
  String At(const std::string& name) const { return P(dir.File(name)); }
};

TEST_F(FileCopyTest, DuplicateFileCopiesAnyReadableUrl) {
  std::string content = Bytes(10000, 1);
  dir.Write("src.bin", content);
  EXPECT_EQ(DuplicateFile(At("src.bin"), At("dst.bin")), 1);
  EXPECT_EQ(TempDir::Read(dir.File("dst.bin")), content);
  // Over an existing, longer file: truncated first.
  dir.Write("short.bin", "abc");
  EXPECT_EQ(DuplicateFile(At("short.bin"), At("dst.bin")), 1);
  EXPECT_EQ(TempDir::Read(dir.File("dst.bin")), "abc");

  static const uint8_t kEmbedded[] = {'h', 'e', 'l', 'l', 'o'};
  RegisterEmbeddedFile("copy-test.txt", kEmbedded, 5);
  EXPECT_EQ(DuplicateFile(String("incbin::copy-test.txt"), At("hello.txt")), 1);
  EXPECT_EQ(TempDir::Read(dir.File("hello.txt")), "hello");

  EXPECT_EQ(DuplicateFile(At("missing"), At("x")), 0);
  EXPECT_EQ(PathKind(At("x")), 0);
  EXPECT_EQ(DuplicateFile(At("src.bin"), At("nodir/x")), 0);
  EXPECT_EQ(DuplicateFile(P(dir.Path()), At("x")), 0) << "a directory has no contents to copy";
}

TEST_F(FileCopyTest, DuplicateFileOntoItselfLeavesItAlone) {
  std::string content = Bytes(5000, 2);
  dir.Write("same.bin", content);
  ASSERT_EQ(MakeDirectory(At("sub"), 0), 1);
  EXPECT_EQ(DuplicateFile(At("same.bin"), At("same.bin")), 0);
  EXPECT_EQ(DuplicateFile(At("same.bin"), At("sub/../same.bin")), 0);
  EXPECT_EQ(DuplicateFile(At("same.bin"), At("sub\\..\\same.bin")), 0);
  EXPECT_EQ(DuplicateFile(At("same.bin"), P("littleendian::" + dir.File("same.bin"))), 0);
  ASSERT_EQ(symlink(dir.File("same.bin").c_str(), dir.File("alias").c_str()), 0);
  EXPECT_EQ(DuplicateFile(At("alias"), At("same.bin")), 0);
  ASSERT_EQ(link(dir.File("same.bin").c_str(), dir.File("hard").c_str()), 0);
  EXPECT_EQ(DuplicateFile(At("same.bin"), At("hard")), 0);
  EXPECT_EQ(TempDir::Read(dir.File("same.bin")), content);
}

TEST_F(FileCopyTest, WriteFailuresGiveZeroOtherErrorsPass) {
  if (access("/dev/full", W_OK) == 0) {
    dir.Write("big.bin", Bytes(200000, 3));
    EXPECT_EQ(DuplicateFile(At("big.bin"), String("/dev/full")), 0);
    dir.Write("small.bin", "fits in the C library's buffer");
    EXPECT_EQ(DuplicateFile(At("small.bin"), String("/dev/full")), 0);
  }
  Ref<TStream> failing = New<TFailingStream>();
  EXPECT_THROW(DuplicateFile(Ref<Object>(failing), Ref<Object>(At("out.bin"))), Thrown);
}

TEST_F(FileCopyTest, DuplicateDirectoryCopiesTheWholeTree) {
  ASSERT_EQ(MakeDirectory(At("src/a/b"), 1), 1);
  ASSERT_EQ(MakeDirectory(At("src/empty"), 1), 1);
  dir.Write("src/top.txt", "top");
  dir.Write("src/a/mid.bin", Bytes(70000, 4));
  dir.Write("src/a/b/deep.bin", Bytes(1, 5));
  dir.Write("src/a/b/zero", "");

  EXPECT_EQ(DuplicateDirectory(At("src"), At("dst")), 1);
  EXPECT_EQ(Tree(dir.File("dst")), Tree(dir.File("src")));
  EXPECT_EQ(Tree(dir.File("dst")).size(), 7u);

  // Into an existing directory: merged, same-named files replaced.
  dir.Write("dst/top.txt", "old");
  dir.Write("dst/extra", "kept");
  EXPECT_EQ(DuplicateDirectory(At("src\\"), At("dst/")), 1);
  EXPECT_EQ(TempDir::Read(dir.File("dst/top.txt")), "top");
  EXPECT_EQ(TempDir::Read(dir.File("dst/extra")), "kept");

  EXPECT_EQ(DuplicateDirectory(At("src/top.txt"), At("d2")), 0);
  EXPECT_EQ(DuplicateDirectory(At("missing"), At("d2")), 0);
  EXPECT_EQ(PathKind(At("d2")), 0);
  EXPECT_EQ(DuplicateDirectory(At("src"), At("no/such/parent")), 0);
  EXPECT_EQ(DuplicateDirectory(At("src"), At("src/top.txt")), 0);
}

TEST_F(FileCopyTest, DuplicateDirectoryCopiesSymbolicLinksAsLinks) {
  ASSERT_EQ(MakeDirectory(At("outside"), 0), 1);
  dir.Write("outside/big.bin", Bytes(50000, 6));
  ASSERT_EQ(MakeDirectory(At("src/sub"), 1), 1);
  dir.Write("src/sub/file.txt", "x");
  ASSERT_EQ(symlink(dir.File("outside").c_str(), dir.File("src/dirlink").c_str()), 0);
  ASSERT_EQ(symlink("sub/file.txt", dir.File("src/filelink").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", dir.File("src/dangling").c_str()), 0);

  EXPECT_EQ(DuplicateDirectory(At("src"), At("dst")), 1);
  EXPECT_EQ(LinkText(dir.File("dst/dirlink")), dir.File("outside"));
  EXPECT_EQ(LinkText(dir.File("dst/filelink")), "sub/file.txt");
  EXPECT_EQ(LinkText(dir.File("dst/dangling")), "nowhere");
  EXPECT_EQ(Tree(dir.File("dst")), Tree(dir.File("src")));
  EXPECT_EQ(ListDirectory(At("outside"), 1).Length(), 1) << "the link's target is not copied into";

  // Copying again replaces the links rather than failing on them.
  EXPECT_EQ(DuplicateDirectory(At("src"), At("dst")), 1);
  EXPECT_EQ(Tree(dir.File("dst")), Tree(dir.File("src")));
}

TEST_F(FileCopyTest, DuplicateDirectoryIntoItselfEnds) {
  ASSERT_EQ(MakeDirectory(At("src/inner"), 1), 1);
  dir.Write("src/f", "f");
  dir.Write("src/inner/g", "g");
  std::vector<std::string> before = Tree(dir.File("src"));

  EXPECT_EQ(DuplicateDirectory(At("src"), At("src/inner/copy")), 1);
  std::vector<std::string> copy = Tree(dir.File("src/inner/copy"));
  EXPECT_EQ(copy, (std::vector<std::string>{"f=f", "inner/", "inner/g=g"}));
  EXPECT_EQ(before.size() + 4, Tree(dir.File("src")).size());

  // Onto itself: the first file refuses, nothing is truncated.
  EXPECT_EQ(DuplicateDirectory(At("src"), At("src")), 0);
  EXPECT_EQ(TempDir::Read(dir.File("src/f")), "f");
}

TEST_F(FileCopyTest, DuplicateDirectoryRefusesSpecialFiles) {
  ASSERT_EQ(MakeDirectory(At("src"), 0), 1);
  ASSERT_EQ(mkfifo(dir.File("src/pipe").c_str(), 0600), 0);
  EXPECT_EQ(DuplicateDirectory(At("src"), At("dst")), 0);
}

}  // namespace
}  // namespace vxl
