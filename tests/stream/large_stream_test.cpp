// Lines and loads past what a string or an array can hold. Each needs gigabytes of memory, so
// they run only when VXL_LARGE_TESTS is set (label "large").
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "stream/text_stream.h"
#include "support/temp_dir.h"
#include "support/thrown_text.h"

namespace vxl {
namespace {

// A stream of `length` bytes 'a' and then one LF, made up as it is read and held in view 1 MiB
// at a time, so it costs no memory of its own.
class TLongLine : public TStream {
 public:
  VXL_CLASS(TLongLine, TStream)
  int64_t length = 0;
  int64_t at = 0;
  int32_t Read(uint8_t* buf, int32_t count) override {
    auto held = PeekBuffered();
    auto n = static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(count), held.size()));
    std::memcpy(buf, held.data(), static_cast<size_t>(n));
    at += n;
    return n;
  }
  std::span<const uint8_t> PeekBuffered() override {
    static const std::vector<uint8_t> block = [] {
      std::vector<uint8_t> b(1 << 20, 'a');
      b.push_back('\n');
      return b;
    }();
    if (at > length) return {};
    int64_t left = length - at;  // 'a' bytes before the LF
    if (left >= int64_t{1} << 20) return {block.data(), size_t{1} << 20};
    return {block.data() + ((int64_t{1} << 20) - left), static_cast<size_t>(left) + 1};
  }
  void ConsumeBuffered(size_t count) override { at += static_cast<int64_t>(count); }
};
VXL_DEFINE_CLASS(TLongLine)

class LargeStream : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("VXL_LARGE_TESTS")) GTEST_SKIP() << "set VXL_LARGE_TESTS to run";
    InitTextStreamModule();
  }
};

TEST_F(LargeStream, ALineLongerThanAStringCanHoldFailsClearly) {
  auto line = New<TLongLine>();
  line->length = (int64_t{1} << 32) + 16;
  EXPECT_THROW_TEXT(line->ReadLine(), "Length 2147483648 does not fit a string or array");
  line->at = 0;
  auto text = TTextStream::Create(line, TTextStream::LATIN1);
  EXPECT_EQ(test::ThrownText([&] { text->ReadLine(); }).substr(0, 7), "Length ");
}

TEST_F(LargeStream, AFileLargerThanAnArrayCanHoldFailsToLoad) {
  // A sparse file: 4 GiB + 8 KiB long, taking no disk space.
  test::TempDir dir;
  std::string path = dir.File("huge.bin");
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_TRUE(f);
  ASSERT_EQ(fseeko(f, (off_t{1} << 32) + 8191, SEEK_SET), 0);
  std::fputc('z', f);
  std::fclose(f);
  EXPECT_THROW_TEXT(BytesFromUrl(path.c_str()), "Length 2147483648 does not fit a string or array");
}

}  // namespace
}  // namespace vxl
