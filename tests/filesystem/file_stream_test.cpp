#include "filesystem/file_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>

#include <sys/stat.h>

#include "memstream/bank_stream.h"
#include "support/temp_dir.h"

namespace vxl {
namespace {

// Not seekable (Pos -1, as a socket): hands out its bytes a few at a time, then Read gives 0.
class TPipeLike : public TStream {
 public:
  VXL_CLASS(TPipeLike, TStream)
  std::string bytes;
  size_t at = 0;
  int32_t closes = 0;
  int32_t Read(uint8_t* buf, int32_t count) override {
    size_t n = std::min({static_cast<size_t>(std::max(count, 0)), bytes.size() - at, size_t{7}});
    std::memcpy(buf, bytes.data() + at, n);
    at += n;
    return static_cast<int32_t>(n);
  }
  int32_t Write(const uint8_t*, int32_t count) override { return count; }
  int32_t Close() override {
    ++closes;
    return 0;
  }
};
VXL_DEFINE_CLASS(TPipeLike)

// Not seekable and failing after its first bytes.
class TBrokenPipe : public TPipeLike {
 public:
  VXL_CLASS(TBrokenPipe, TPipeLike)
  int32_t Read(uint8_t* buf, int32_t count) override {
    if (at > 0) throw Thrown(New<TStreamReadException>());
    return TPipeLike::Read(buf, count);
  }
};
VXL_DEFINE_CLASS(TBrokenPipe)

// "testpipe::" opens the pipe stored in g_pipe, as a network protocol would open a socket.
Ref<TPipeLike> g_pipe;
class TPipeFactory : public TStreamFactory {
 public:
  VXL_CLASS(TPipeFactory, TStreamFactory)
  Ref<TStream> CreateStream(const Ref<Object>&, const String& proto, const String&, int32_t,
                            int32_t) override {
    return proto == String("testpipe") ? Ref<TStream>(g_pipe) : Ref<TStream>();
  }
};
VXL_DEFINE_CLASS(TPipeFactory)

int InitPipeTestModule() {
  static ModuleGuard guard("pipe test");
  return guard.Run({InitCoreModule, InitFileSystemModule}, [] { New<TPipeFactory>(); });
}

class FileStreamTest : public ::testing::Test {
 protected:
  void SetUp() override { InitPipeTestModule(); }
  test::TempDir dir;
};

TEST_F(FileStreamTest, SeekableStreamsAreReturnedAsTheyAre) {
  String path = String(dir.Write("f.bin", "0123456789").c_str());
  Ref<TStream> s = OpenFileForReading(path);
  ASSERT_TRUE(s.As<TCStream>());
  s->Seek(8);
  EXPECT_EQ(s->ReadString(2).ToCString(), "89");
  EXPECT_EQ(CloseFileStream(s), 0);

  Ref<TStream> w = OpenFileForWriting(String(dir.File("new.bin").c_str()));
  ASSERT_TRUE(w.As<TCStream>());
  w->WriteString("xy");
  CloseFileStream(w);
  EXPECT_EQ(test::TempDir::Read(dir.File("new.bin")), "xy");

  EXPECT_FALSE(OpenFileForReading(String(dir.File("missing").c_str())));
  EXPECT_FALSE(OpenFileUrl(String("nosuch::x"), 1, 0));
}

TEST_F(FileStreamTest, AStreamThatCannotSeekArrivesWholeInABank) {
  auto pipe = New<TPipeLike>();
  for (int i = 0; i < 3000; ++i)
    pipe->bytes += static_cast<char>(i % 251);
  Ref<TStream> s = OpenFileForReading(Ref<Object>(pipe));
  auto banked = s.As<TBankStream>();
  ASSERT_TRUE(banked);
  EXPECT_EQ(s->Size(), 3000);
  EXPECT_EQ(banked->_bank->Capacity(), 3000);
  s->Seek(2999);
  EXPECT_EQ(s->ReadByte(), 2999 % 251);
  s->Seek(251);
  EXPECT_EQ(s->ReadByte(), 0);
  EXPECT_EQ(pipe->at, pipe->bytes.size());
  EXPECT_EQ(pipe->closes, 0) << "a stream passed in by the caller stays open for the caller";

  // A stream opened from a protocol is closed once read: nobody else can reach it.
  g_pipe = New<TPipeLike>();
  g_pipe->bytes = "hello";
  s = OpenFileUrl(String("testpipe::x"), 1, 0);
  ASSERT_TRUE(s.As<TBankStream>());
  EXPECT_EQ(s->ReadString(5).ToCString(), "hello");
  EXPECT_EQ(g_pipe->closes, 1);
}

TEST_F(FileStreamTest, AFifoArrivesWholeInABank) {
  std::string fifo = dir.File("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string content(60000, 'x');  // fits in the pipe: the writer never waits for the reader
  content[59999] = 'z';
  std::thread writer([&] {
    std::FILE* f = std::fopen(fifo.c_str(), "wb");
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
  });
  Ref<TStream> s = OpenFileForReading(String(fifo.c_str()));
  writer.join();
  ASSERT_TRUE(s);
  EXPECT_TRUE(s.As<TBankStream>());
  EXPECT_EQ(s->Size(), 60000);
  EXPECT_EQ(s->Seek(59999), 59999);
  EXPECT_EQ(s->ReadByte(), 'z');
}

TEST_F(FileStreamTest, WritingToAStreamThatCannotSeekGoesToThatStream) {
  auto pipe = New<TPipeLike>();
  pipe->bytes = "never read";
  Ref<TStream> s = OpenFileForWriting(Ref<Object>(pipe));
  ASSERT_TRUE(s);
  EXPECT_FALSE(s.As<TBankStream>());
  EXPECT_EQ(pipe->at, 0u);
  EXPECT_EQ(s->Pos(), -1);
}

TEST_F(FileStreamTest, AFailedReadGivesNull) {
  auto broken = New<TBrokenPipe>();
  broken->bytes = std::string(100, 'x');
  EXPECT_FALSE(OpenFileForReading(Ref<Object>(broken)));
}

}  // namespace
}  // namespace vxl
