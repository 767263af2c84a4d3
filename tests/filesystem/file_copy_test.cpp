#include "filesystem/file_copy.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "filesystem/file_stream.h"
#include "filesystem/file_system.h"
#include "memstream/embedded_files.h"
#include "memstream/ram_stream.h"
#include "support/temp_dir.h"
#include "support/thrown_text.h"

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
 public:
  VXL_CLASS(TFailingStream, TStream)
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
  EXPECT_THROW_TEXT_AS(TRuntimeException,
                       DuplicateFile(Ref<Object>(failing), Ref<Object>(At("out.bin"))),
                       "device gone");
}

TEST_F(FileCopyTest, DuplicateFileIntoAPipe) {
  const std::string content = Bytes(300000, 10);
  dir.Write("src.bin", content);
  ASSERT_EQ(mkfifo(dir.File("pipe").c_str(), 0600), 0);
  std::string received;
  std::thread reader([&] { received = TempDir::Read(dir.File("pipe")); });
  EXPECT_EQ(DuplicateFile(At("src.bin"), At("pipe")), 1);
  // Had the copy never opened the pipe, this end releases the reader.
  int writer = open(dir.File("pipe").c_str(), O_WRONLY | O_NONBLOCK);
  if (writer >= 0) close(writer);
  reader.join();
  EXPECT_EQ(received, content);
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

TEST_F(FileCopyTest, DuplicateDirectoryNeverWritesThroughLinksInTheDestination) {
  ASSERT_EQ(MakeDirectory(At("outside"), 0), 1);
  dir.Write("outside/file.txt", "outside");
  ASSERT_EQ(MakeDirectory(At("files"), 0), 1);
  dir.Write("files/file.txt", "inside");
  ASSERT_EQ(MakeDirectory(At("dirs/sub"), 1), 1);
  dir.Write("dirs/sub/file.txt", "inside");
  ASSERT_EQ(MakeDirectory(At("dst"), 0), 1);
  ASSERT_EQ(symlink(dir.File("outside/file.txt").c_str(), dir.File("dst/file.txt").c_str()), 0);
  ASSERT_EQ(symlink(dir.File("outside").c_str(), dir.File("dst/sub").c_str()), 0);

  EXPECT_EQ(DuplicateDirectory(At("files"), At("dst")), 1);
  EXPECT_EQ(TempDir::Read(dir.File("dst/file.txt")), "inside");
  EXPECT_EQ(LinkText(dir.File("dst/file.txt")), "") << "the link was replaced by a file";
  EXPECT_EQ(DuplicateDirectory(At("dirs"), At("dst")), 0) << "a link where a directory goes";
  EXPECT_EQ(TempDir::Read(dir.File("outside/file.txt")), "outside");
  EXPECT_EQ(ListDirectory(At("outside"), 1).Length(), 1);
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

TEST_F(FileCopyTest, EntryNamesAreUsedAsListed) {
  // A backslash is an ordinary character in a name here, not a separator.
  ASSERT_EQ(MakeDirectory(At("src"), 0), 1);
  ASSERT_EQ(mkdir(dir.File("src/back\\slash dir").c_str(), 0777), 0);
  dir.Write("src/back\\slash dir/in\\side", "inner");
  dir.Write("src/a\\b.txt", "top");
  ASSERT_EQ(symlink("a\\b.txt", dir.File("src/l\\nk").c_str()), 0);

  EXPECT_EQ(DuplicateDirectory(At("src"), At("dst")), 1);
  EXPECT_EQ(TempDir::Read(dir.File("dst/back\\slash dir/in\\side")), "inner");
  EXPECT_EQ(TempDir::Read(dir.File("dst/a\\b.txt")), "top");
  EXPECT_EQ(LinkText(dir.File("dst/l\\nk")), "a\\b.txt");
  EXPECT_EQ(EraseDirectory(At("dst"), 1), 1);
  EXPECT_EQ(PathKind(At("dst")), 0);
}

// Writes `tail` at the end of a sparse file of `size` bytes that starts with `head`.
bool MakeSparseFile(const std::string& path, int64_t size, const std::string& head,
                    const std::string& tail) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  bool ok = ftruncate(fd, size) == 0 &&
            pwrite(fd, head.data(), head.size(), 0) == static_cast<ssize_t>(head.size()) &&
            pwrite(fd, tail.data(), tail.size(), size - static_cast<int64_t>(tail.size())) ==
                static_cast<ssize_t>(tail.size());
  return close(fd) == 0 && ok;
}

std::string ReadAt(const std::string& path, int64_t offset, size_t count) {
  std::string out(count, '\0');
  int fd = open(path.c_str(), O_RDONLY);
  ssize_t n = fd < 0 ? -1 : pread(fd, out.data(), count, offset);
  if (fd >= 0) close(fd);
  out.resize(n < 0 ? 0 : static_cast<size_t>(n));
  return out;
}

TEST_F(FileCopyTest, FilesBeyond4GiBCopyWhole) {
  // Sparse: the copy skips the hole, so this needs neither gigabytes of disk nor minutes.
  const int64_t size = (int64_t{4} << 30) + 8192;
  const std::string head = Bytes(5000, 7), tail = Bytes(8192, 8);
  ASSERT_EQ(MakeDirectory(At("tree"), 0), 1);
  ASSERT_TRUE(MakeSparseFile(dir.File("tree/big"), size, head, tail));
  struct stat st;
  ASSERT_EQ(stat(dir.File("tree/big").c_str(), &st), 0);
  if (st.st_blocks * 512 >= size) GTEST_SKIP() << "no sparse files on this file system";

  EXPECT_EQ(DuplicateFile(At("tree/big"), At("copy")), 1);
  EXPECT_EQ(DuplicateDirectory(At("tree"), At("treecopy")), 1);
  for (const char* copy : {"copy", "treecopy/big"}) {
    SCOPED_TRACE(copy);
    ASSERT_EQ(stat(dir.File(copy).c_str(), &st), 0);
    EXPECT_EQ(st.st_size, size);
    EXPECT_EQ(ReadAt(dir.File(copy), 0, head.size()), head);
    EXPECT_EQ(ReadAt(dir.File(copy), size - 8192, 8192), tail);
    EXPECT_EQ(ReadAt(dir.File(copy), int64_t{3} << 30, 4), std::string(4, '\0'));
    EXPECT_LT(st.st_blocks * 512, int64_t{1} << 20) << "the copy stays sparse";
  }
}

TEST_F(FileCopyTest, ACopyCutShortFails) {
  // The system refuses to let this process write files past 64 KiB, so every copy of a bigger
  // file ends early and must say so.
  const std::string content = Bytes(200000, 9);
  ASSERT_EQ(MakeDirectory(At("tree"), 0), 1);
  dir.Write("tree/big.bin", content);
  dir.Write("small.bin", "small");
  struct rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit limited = old;
  limited.rlim_cur = 65536;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);

  int32_t file = DuplicateFile(At("tree/big.bin"), At("copy.bin"));
  int32_t tree = DuplicateDirectory(At("tree"), At("treecopy"));
  int32_t small = DuplicateFile(At("small.bin"), At("small copy"));

  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(file, 0);
  EXPECT_EQ(tree, 0);
  EXPECT_EQ(small, 1);
  EXPECT_EQ(TempDir::Read(dir.File("small copy")), "small");
}

}  // namespace
}  // namespace vxl
