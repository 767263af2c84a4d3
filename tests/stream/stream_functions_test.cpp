// The stream module's functions: load, save, copy, forwarders and TrueCaseFileName.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include "stream/stream.h"
#include "stream/text_stream.h"
#include "support/temp_dir.h"
#include "support/test_streams.h"
#include "support/thrown_text.h"

namespace vxl {
namespace {

using test::TempDir;
using test::TMemoryStream;
using test::TOneWayStream;

class StreamFunctions : public ::testing::Test {
 protected:
  void SetUp() override { InitStreamModule(); }
  String Path(const std::string& name) { return String(dir.File(name).c_str()); }
  TempDir dir;
};

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i)
    s[i] = static_cast<char>(i * 31 + i / 256);
  return s;
}

TEST_F(StreamFunctions, BytesFromUrlReadsEverything) {
  for (size_t n : {size_t(0), size_t(1), size_t(1024), size_t(2000), size_t(100000)}) {
    std::string content = Pattern(n);
    dir.Write("b.bin", content);
    Array<uint8_t> bytes = BytesFromUrl(Path("b.bin"));
    ASSERT_EQ(bytes.Length(), static_cast<int32_t>(n));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes.Data()), n), content);
  }
  EXPECT_EQ(StringFromUrl(Path("b.bin")).Length(), 100000);
  dir.Write("l.txt", "\xE9\x01");
  EXPECT_EQ(StringFromUrl(Path("l.txt")), String(u"\u00E9\u0001"));
  EXPECT_THROW_TEXT_AS(TStreamReadException, BytesFromUrl(Path("missing")),
                       "Error reading from stream");
  EXPECT_THROW_TEXT_AS(TStreamReadException, StringFromUrl(String("nosuch::x")),
                       "Error reading from stream");
}

TEST_F(StreamFunctions, LoadingFromAStreamWithoutAnEndStops) {
  // Never at Eof, delivers 2500 bytes seven at a time, then Read gives 0: the load ends there.
  auto s = New<TOneWayStream>();
  s->bytes = Pattern(2500);
  s->piece = 7;
  Array<uint8_t> bytes = BytesFromUrl(Ref<Object>(s));
  ASSERT_EQ(bytes.Length(), 2500);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes.Data()), 2500), s->bytes);

  auto from = New<TOneWayStream>();
  from->bytes = "copied bytes";
  from->piece = 5;
  auto to = TMemoryStream::Of("");
  CopyStreamData(from, to, 4);
  EXPECT_EQ(to->bytes, "copied bytes");
}

TEST_F(StreamFunctions, SavingWritesAndClosesAndFailsLoudly) {
  auto bytes = Array<uint8_t>::Of({1, 2, 255});
  EXPECT_EQ(BytesToUrl(bytes, Path("out.bin")), 0);
  EXPECT_EQ(TempDir::Read(dir.File("out.bin")), "\x01\x02\xFF");
  StringToUrl(String(u"x\u00E9\u20AC"), Path("out.txt"));
  EXPECT_EQ(TempDir::Read(dir.File("out.txt")), "x\xE9\xAC");  // low bytes
  EXPECT_THROW_TEXT_AS(TStreamWriteException, BytesToUrl(bytes, Path("no/dir/x")),
                       "Error writing to stream");
  EXPECT_THROW_TEXT_AS(TStreamWriteException, StringToUrl("a", Path("no/dir/x")),
                       "Error writing to stream");
  EXPECT_THROW_TEXT_AS(TStreamWriteException, ObjectToUrl(bytes, Path("no/dir/x")),
                       "Error writing to stream");
  EXPECT_THROW_TEXT_AS(TStreamReadException, ObjectFromUrl(Path("no/dir/x")),
                       "Error reading from stream");
  // A full disk: a few bytes wait in the C library's buffer until Close, which must not hide
  // that they never arrived.
  if (access("/dev/full", W_OK) == 0) {
    EXPECT_THROW_TEXT_AS(TStreamWriteException, BytesToUrl(bytes, "/dev/full"),
                         "Error writing to stream");
    EXPECT_THROW_TEXT_AS(TStreamWriteException, StringToUrl("a", "/dev/full"),
                         "Error writing to stream");
    EXPECT_THROW_TEXT_AS(TStreamWriteException, TextToUrl(String(u"\u20AC"), "/dev/full"),
                         "Error writing to stream");
  }

  // A plain file has no object support: the bare strings come through.
  dir.Write("o.bin", "x");
  EXPECT_THROW_TEXT_AS(String, ObjectFromUrl(Path("o.bin")), "Unable to read object");
  EXPECT_THROW_TEXT_AS(String, ObjectToUrl(bytes, Path("o.bin")), "Unable to write object");
}

TEST_F(StreamFunctions, CopyStreamDataAndBytes) {
  std::string content = Pattern(10000);
  dir.Write("src.bin", content);
  Ref<TStream> in = OpenForReading(Path("src.bin"));
  auto out = TMemoryStream::Of("");
  CopyStreamData(in, out, 333);
  EXPECT_EQ(out->bytes, content);
  for (int32_t bufferSize : {0, -5}) {  // copied a byte at a time, not dropped
    in->Seek(9000);
    auto small = TMemoryStream::Of("");
    CopyStreamData(in, small, bufferSize);
    EXPECT_EQ(small->bytes, content.substr(9000)) << bufferSize;
  }

  in->Seek(9990);
  auto part = TMemoryStream::Of("");
  CopyStreamBytes(in, part, 4, 3);
  EXPECT_EQ(part->bytes, content.substr(9990, 4));
  // Past the end the copy still writes `count` bytes; those not read repeat the buffer's bytes.
  CopyStreamBytes(in, part, 10, 100);
  EXPECT_EQ(part->bytes.size(), 14u);
  EXPECT_EQ(part->bytes.substr(4, 6), content.substr(9994, 6));
}

TEST_F(StreamFunctions, ForwardersCallTheMethods) {
  auto s = TMemoryStream::Of("");
  StreamWriteByte(s, 1);
  StreamWriteShort(s, 2);
  StreamWriteInt(s, 3);
  StreamWriteLong(s, 4);
  StreamWriteFloat(s, 5.5f);
  StreamWriteDouble(s, 6.5);
  StreamWriteString(s, "ab");
  StreamWriteLine(s, "line");
  EXPECT_EQ(StreamSize(s), 1 + 2 + 4 + 8 + 4 + 8 + 2 + 6);
  EXPECT_EQ(StreamSeek(s, 0), 0);
  EXPECT_EQ(StreamPos(s), 0);
  EXPECT_EQ(StreamReadByte(s), 1);
  EXPECT_EQ(StreamReadShort(s), 2);
  EXPECT_EQ(StreamReadInt(s), 3);
  EXPECT_EQ(StreamReadLong(s), 4);
  EXPECT_EQ(StreamReadFloat(s), 5.5f);
  EXPECT_EQ(StreamReadDouble(s), 6.5);
  EXPECT_EQ(StreamReadString(s, 2), String("ab"));
  EXPECT_EQ(StreamReadLine(s), String("line"));
  EXPECT_EQ(StreamEof(s), 1);
  EXPECT_EQ(StreamFlush(s), 0);
  EXPECT_EQ(StreamClose(s), 0);
}

TEST_F(StreamFunctions, TrueCaseFileName) {
  ASSERT_EQ(mkdir(dir.File("Alpha").c_str(), 0700), 0);
  dir.Write("Alpha/Beta.TXT", "");
  String root(dir.Path().c_str());
  EXPECT_EQ(TrueCaseFileName(root + "/Alpha/Beta.TXT"), root + "/Alpha/Beta.TXT");
  EXPECT_EQ(TrueCaseFileName(root + "/alpha/beta.txt"), root + "/Alpha/Beta.TXT");
  EXPECT_EQ(TrueCaseFileName(root + "/ALPHA"), root + "/Alpha");
  EXPECT_EQ(TrueCaseFileName(root + "/alpha/gamma.txt"), String(""));
  EXPECT_EQ(TrueCaseFileName(root + "/beta/beta.txt"), String(""));
  // Each name is looked up in the directory as listed, ".." included.
  EXPECT_EQ(TrueCaseFileName(root + "/alpha/../ALPHA/beta.txt"), root + "/Alpha/../Alpha/Beta.TXT");
  // Names directly under the root directory are looked up there.
  EXPECT_EQ(TrueCaseFileName("/TMP"), String("/tmp"));
  EXPECT_EQ(TrueCaseFileName("/TMP/"), String(""));
}

TEST_F(StreamFunctions, TrueCaseFileNameOfAVeryLongPathNeedsNoStackPerName) {
#ifdef VXL_CHECKED
  GTEST_SKIP() << "runs on a second thread, which checked builds refuse";
#endif
  // 50 000 names, on a thread with a 256 KiB stack: one call per name would overflow it.
  ASSERT_EQ(mkdir(dir.File("Alpha").c_str(), 0700), 0);
  std::string path = dir.File("ALPHA");
  for (int i = 0; i < 50000; ++i)
    path += "/x";
  struct Job {
    String path;
    String result = "not run";
  } job{String(path.c_str())};
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 256 * 1024);
  pthread_t thread;
  auto run = [](void* p) -> void* {
    auto* j = static_cast<Job*>(p);
    j->result = TrueCaseFileName(j->path);
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, run, &job), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
  EXPECT_EQ(job.result, String(""));
}

}  // namespace
}  // namespace vxl
