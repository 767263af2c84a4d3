// The loaders on real files written by another imaging tool, compared pixel by pixel with that
// tool's own decode; and the savers' files read back by that tool.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pixmap/loaders/bmp_loader.h"
#include "pixmap/loaders/jpeg_loader.h"
#include "pixmap/loaders/png_loader.h"
#include "pixmap/loaders/tga_loader.h"
#include "pixmap/pixmap_ops.h"
#include "support/temp_dir.h"
#include "support/test_streams.h"

#ifndef VXL_IMAGE_TOOL
#error "VXL_IMAGE_TOOL names the script that makes the reference images"
#endif

namespace vxl {
namespace {

// "lastbytes::" opens a memory stream that takes every byte and whose Close reports (or not, as
// the URL's path says) that the last of them did not arrive, as a file on a full disk does.
class TLastBytesStream : public test::TMemoryStream {
 public:
  VXL_CLASS(TLastBytesStream, test::TMemoryStream)
  bool closeFails = false;
  int32_t Close() override { return closeFails ? -1 : 0; }
};
VXL_DEFINE_CLASS(TLastBytesStream)

class TLastBytesFactory : public TStreamFactory {
 public:
  VXL_CLASS(TLastBytesFactory, TStreamFactory)
  Ref<TStream> CreateStream(const Ref<Object>&, const String& proto, const String& path, int32_t,
                            int32_t) override {
    if (proto != String("lastbytes")) return nullptr;
    auto s = New<TLastBytesStream>();
    s->closeFails = path == String("lost");
    return s;
  }
};
VXL_DEFINE_CLASS(TLastBytesFactory)

int InitLastBytesTestModule() {
  static ModuleGuard guard("last bytes test");
  return guard.Run({InitCoreModule, InitStreamModule}, [] { New<TLastBytesFactory>(); });
}

struct Reference {
  int32_t width = 0, height = 0;
  uint8_t masks[4] = {};
  std::vector<uint8_t> rgba;
};

Reference ReadReference(const std::string& path) {
  std::string bytes = test::TempDir::Read(path);
  Reference r;
  if (bytes.size() < 12) return r;
  std::memcpy(&r.width, bytes.data(), 4);
  std::memcpy(&r.height, bytes.data() + 4, 4);
  std::memcpy(r.masks, bytes.data() + 8, 4);
  r.rgba.assign(bytes.begin() + 12, bytes.end());
  return r;
}

int RunTool(const std::string& args) {
  return std::system(("/usr/bin/python3 " VXL_IMAGE_TOOL " " + args).c_str());
}

// Compares every pixel (as standard RGBA) under the reference's channel masks; counts the
// pixels that differ.
int32_t DifferingPixels(const Ref<TPixmap>& p, const Reference& r) {
  Ref<TPixmap> rgba = PixmapToFormat(p, FORMAT_RGBA32);
  int32_t differ = 0;
  for (int32_t y = 0; y < r.height; ++y) {
    for (int32_t x = 0; x < r.width; ++x) {
      const uint8_t* got = rgba->PixelPtr(x, y);
      const uint8_t* want = &r.rgba[(size_t(y) * r.width + x) * 4];
      for (int c = 0; c < 4; ++c) {
        if ((got[c] & r.masks[c]) != want[c]) {
          ++differ;
          break;
        }
      }
    }
  }
  return differ;
}

class ImageFilesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitBmpLoaderModule();
    InitJpegLoaderModule();
    InitPngLoaderModule();
    InitTgaLoaderModule();
    dir_ = new test::TempDir;
    made_ = RunTool("make " + dir_->Path()) == 0;
  }
  static void TearDownTestSuite() { delete dir_; }
  void SetUp() override { ASSERT_TRUE(made_) << "the reference images could not be made"; }

  static inline test::TempDir* dir_ = nullptr;
  static inline bool made_ = false;
};

TEST_F(ImageFilesTest, EveryFileLoadsAsTheToolDecodesIt) {
  struct Case {
    const char* file;
    int32_t format;
  } cases[] = {
      {"bmp1.bmp", FORMAT_BGR24},       {"bmp4.bmp", FORMAT_BGR24},
      {"bmp8.bmp", FORMAT_BGR24},       {"bmp24.bmp", FORMAT_BGR24},
      {"bmp24v5.bmp", FORMAT_BGR24},    {"bmp32.bmp", FORMAT_BGRA32},
      {"tga15.tga", FORMAT_RGB24},      {"tga15rle.tga", FORMAT_RGB24},
      {"tga16.tga", FORMAT_RGBA32},     {"tga16rle.tga", FORMAT_RGBA32},
      {"tga24.tga", FORMAT_RGB24},      {"tga24rle.tga", FORMAT_RGB24},
      {"tga32.tga", FORMAT_RGBA32},     {"tga32rle.tga", FORMAT_RGBA32},
      {"grey.png", FORMAT_GREY8},       {"greyalpha.png", FORMAT_RGBA32},
      {"rgb.png", FORMAT_RGB24},        {"rgba.png", FORMAT_RGBA32},
      {"palette.png", FORMAT_RGB24},    {"palettetrns.png", FORMAT_RGBA32},
      {"bits1.png", FORMAT_GREY8},      {"bits2.png", FORMAT_RGB24},
      {"bits4.png", FORMAT_RGB24},      {"grey16.png", FORMAT_GREY8},
      {"interlaced.png", FORMAT_RGB24}, {"grey.jpg", FORMAT_GREY8},
      {"colour.jpg", FORMAT_RGB24},     {"progressive.jpg", FORMAT_RGB24},
  };
  for (const Case& c : cases) {
    std::string path = dir_->File(c.file);
    Reference ref = ReadReference(path + ".ref");
    ASSERT_GT(ref.width, 0) << c.file;
    Ref<TPixmap> p = PixmapFromUrl(String(path.c_str()));
    ASSERT_TRUE(p) << c.file;
    EXPECT_EQ(p->format, c.format) << c.file;
    ASSERT_EQ(p->width, ref.width) << c.file;
    ASSERT_EQ(p->height, ref.height) << c.file;
    EXPECT_EQ(DifferingPixels(p, ref), 0) << c.file;
  }
}

TEST_F(ImageFilesTest, ACutShortJpegStillLoads) {
  std::string whole = test::TempDir::Read(dir_->File("colour.jpg"));
  size_t scan = whole.find("\xFF\xDA");  // the first scan starts here
  ASSERT_NE(scan, std::string::npos);
  std::string path = dir_->Write("cut.jpg", whole.substr(0, scan + 40));
  Ref<TPixmap> p = PixmapFromUrl(String(path.c_str()));
  ASSERT_TRUE(p);
  EXPECT_EQ(p->width, 61);
  EXPECT_EQ(p->height, 47);
}

TEST_F(ImageFilesTest, SavedFilesReadBackByTheTool) {
  Ref<TPixmap> source = PixmapFromUrl(String(dir_->File("rgba.png").c_str()));
  ASSERT_TRUE(source);
  struct Case {
    int32_t format;
    bool jpeg;
  } cases[] = {{FORMAT_RGBA32, false}, {FORMAT_BGRA32, false},  {FORMAT_BGR24, false},
               {FORMAT_GREY8, false},  {FORMAT_SHADOW8, false}, {FORMAT_RGB24, true},
               {FORMAT_BGRA32, true}};
  for (const Case& c : cases) {
    Ref<TPixmap> p = ScalePixmap(PixmapToFormat(source, c.format), 40, 30);
    std::string path = dir_->File("saved" + std::to_string(c.format) + (c.jpeg ? ".jpg" : ".png"));
    ASSERT_TRUE(c.jpeg ? SaveAsJpeg(p, String(path.c_str()), 95)
                       : SaveAsPng(p, String(path.c_str()), 9));
    ASSERT_EQ(RunTool("decode " + path + " " + path + ".ref"), 0);
    Reference ref = ReadReference(path + ".ref");
    ASSERT_EQ(ref.width, 40);
    ASSERT_EQ(ref.height, 30);
    if (!c.jpeg) {  // lossless: exactly the pixmap
      EXPECT_EQ(DifferingPixels(p, ref), 0) << c.format;
      continue;
    }
    // Lossy: the tool's decode and ours agree exactly, and both stay close to the original.
    Ref<TPixmap> back = PixmapFromUrl(String(path.c_str()));
    ASSERT_TRUE(back);
    EXPECT_EQ(DifferingPixels(back, ref), 0);
    Ref<TPixmap> original = PixmapToFormat(p, FORMAT_RGB24);
    int64_t error = 0;
    for (int32_t y = 0; y < 30; ++y)
      for (int32_t i = 0; i < 120; ++i)
        error += std::abs(int(original->PixelPtr(0, y)[i]) - int(back->PixelPtr(0, y)[i]));
    EXPECT_LT(error / (30 * 120), 24);  // random pixels: the hardest case for the encoder
  }
  EXPECT_FALSE(SaveAsPng(source, String(dir_->File("missing/x.png").c_str()), 6));
  EXPECT_FALSE(SaveAsJpeg(source, String(dir_->File("missing/x.jpg").c_str()), 80));
  // A device that takes no bytes: a small file stays in the C library's buffer until the last
  // flush, which fails.
  Ref<TPixmap> small = ScalePixmap(source, 4, 4);
  EXPECT_FALSE(SaveAsPng(small, String("/dev/full"), 6));
  EXPECT_FALSE(SaveAsJpeg(small, String("/dev/full"), 80));
  // A stream that reports the loss only when it closes.
  InitLastBytesTestModule();
  for (const char* url : {"lastbytes::kept", "lastbytes::lost"}) {
    bool kept = String(url) == String("lastbytes::kept");
    EXPECT_EQ(SaveAsPng(small, String(url), 6), kept) << url;
    EXPECT_EQ(SaveAsJpeg(small, String(url), 80), kept) << url;
  }
}

}  // namespace
}  // namespace vxl
