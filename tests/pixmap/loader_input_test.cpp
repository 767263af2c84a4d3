// The loaders on hand-made bytes: the exact decoding rules, and damaged or hostile input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>

#include "pixmap/loaders/bmp_loader.h"
#include "pixmap/loaders/jpeg_codec.h"
#include "pixmap/loaders/jpeg_loader.h"
#include "pixmap/loaders/png_codec.h"
#include "pixmap/loaders/png_loader.h"
#include "pixmap/loaders/tga_loader.h"
#include "support/test_streams.h"

namespace vxl {
namespace {

std::string Le(int64_t v, int bytes) {
  std::string s;
  for (int i = 0; i < bytes; ++i)
    s += char(i < 8 ? (v >> (8 * i)) & 255 : 0);
  return s;
}

// A BMP file: headers, `palette` (4 bytes an entry) and `rows` as given.
std::string Bmp(int32_t w, int32_t h, int bits, const std::string& palette, const std::string& rows,
                int32_t compression = 0, int32_t colours = 0) {
  return "BM" + Le(0, 4) + Le(0, 4) + Le(54 + palette.size(), 4) + Le(40, 4) + Le(w, 4) + Le(h, 4) +
         Le(1, 2) + Le(bits, 2) + Le(compression, 4) + Le(0, 12) + Le(colours, 4) + Le(0, 4) +
         palette + rows;
}

// A 32-bit BMP with a 124-byte header holding the red, green, blue and alpha masks, as image
// editors write images with alpha.
std::string BmpV5(int32_t w, int32_t h, uint32_t red, uint32_t alpha, const std::string& rows) {
  return "BM" + Le(0, 4) + Le(0, 4) + Le(138, 4) + Le(124, 4) + Le(w, 4) + Le(h, 4) + Le(1, 2) +
         Le(32, 2) + Le(3, 4) + Le(0, 12) + Le(0, 4) + Le(0, 4) + Le(red, 4) + Le(0xFF00, 4) +
         Le(0xFF, 4) + Le(alpha, 4) + Le(0, 124 - 56) + rows;
}

std::string Tga(int type, int w, int h, int bits, const std::string& body, int colourMap = 0,
                int descriptor = 0) {
  return std::string{0, char(colourMap), char(type), 0, 0, 0, 0, 0} + Le(0, 4) + Le(w, 2) +
         Le(h, 2) + char(bits) + char(descriptor) + body;
}

Ref<TPixmap> Load(const std::string& bytes) {
  return PixmapFromUrl(Ref<Object>(test::TMemoryStream::Of(bytes)));
}

// Every loader called directly on a stream that cannot tell its size, as a program may call one
// on a pipe; the first pixmap any of them makes.
Ref<TPixmap> LoadFromPipe(const std::string& bytes) {
  for (Ref<TPixmapLoader> l = PixmapLoaders(); l; l = l->_succ)
    if (Ref<TPixmap> p = l->LoadPixmap(test::TOneWayStream::Of(bytes, 100))) return p;
  return nullptr;
}

// A small real JPEG whose frame header claims `width` x `height`, cut or padded to `size` bytes.
std::string JpegClaiming(int32_t width, int32_t height, size_t size) {
  auto file = test::TMemoryStream::Of("");
  EXPECT_TRUE(SaveAsJpeg(NewPixmap(16, 16, FORMAT_RGB24, 4), Ref<Object>(file), 90));
  std::string bytes = file->bytes;
  size_t sof = bytes.find("\xFF\xC0");
  EXPECT_NE(sof, std::string::npos);
  bytes[sof + 5] = char(height >> 8), bytes[sof + 6] = char(height);
  bytes[sof + 7] = char(width >> 8), bytes[sof + 8] = char(width);
  bytes.resize(size, '\0');
  return bytes;
}

class LoaderInputTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitBmpLoaderModule();
    InitJpegLoaderModule();
    InitPngLoaderModule();
    InitTgaLoaderModule();
  }
};

TEST_F(LoaderInputTest, DecodingRules) {
  const std::string bw = Le(0, 4) + Le(0xFFFFFF, 4);
  struct Case {
    const char* name;
    std::string file;
    int32_t format, width, height;
    std::vector<uint32_t> pixels;  // ReadPixel, top row first
  } cases[] = {
      {"1-bit row 0xA0",
       Bmp(4, 1, 1, bw, std::string("\xA0\0\0\0", 4)),
       FORMAT_BGR24,
       4,
       1,
       {0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF, 0xFF000000}},
      {"1-bit whose colours-used field says 7: two entries all the same",
       Bmp(4, 1, 1, bw, std::string("\xA0\0\0\0", 4), 0, 7),
       FORMAT_BGR24,
       4,
       1,
       {0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF, 0xFF000000}},
      {"24-bit width 3: padded rows, last file row on top",
       Bmp(3, 2, 24, "",
           std::string("\1\2\3\4\5\6\7\x8\x9PPP\x11\x12\x13\x14\x15\x16\x17\x18\x19QQQ", 24)),
       FORMAT_BGR24,
       3,
       2,
       {0xFF131211, 0xFF161514, 0xFF191817, 0xFF030201, 0xFF060504, 0xFF090807}},
      {"32-bit alpha as stored",
       Bmp(1, 1, 32, "", std::string("\x10\x20\x30\0", 4)),
       FORMAT_BGRA32,
       1,
       1,
       {0x00302010}},
      {"32-bit bit fields after the header, in the byte order of the pixels",
       Bmp(2, 1, 32, Le(0xFF0000, 4) + Le(0xFF00, 4) + Le(0xFF, 4),
           std::string("\x10\x20\x30\x40\x11\x21\x31\x41", 8), 3),
       FORMAT_BGRA32,
       2,
       1,
       {0x40302010, 0x41312111}},
      {"32-bit bit fields and alpha mask in a 124-byte header",
       BmpV5(1, 2, 0xFF0000, 0xFF000000, std::string("\x10\x20\x30\x40\x11\x21\x31\x41", 8)),
       FORMAT_BGRA32,
       1,
       2,
       {0x41312111, 0x40302010}},
      {"24-bit with an optional colour table: rows from the pixel-data offset",
       Bmp(1, 1, 24, Le(0x123456, 4) + Le(0x654321, 4), std::string("\x10\x20\x30\0", 4), 0, 2),
       FORMAT_BGR24,
       1,
       1,
       {0xFF302010}},
      {"4-bit with a short palette: indices past it are black",
       Bmp(3, 1, 4, Le(0x112233, 4) + Le(0x445566, 4), std::string("\x01\x50\0\0", 4), 0, 2),
       FORMAT_BGR24,
       3,
       1,
       {0xFF112233, 0xFF445566, 0xFF000000}},
      {"TGA run packet 0x83",
       Tga(10, 4, 1, 24, "\x83\x30\x20\x10"),
       FORMAT_RGB24,
       4,
       1,
       {0xFF102030, 0xFF102030, 0xFF102030, 0xFF102030}},
      {"TGA 16-bit alpha bit, first row at the bottom",
       Tga(2, 1, 2, 16, Le(0x7FFF, 2) + Le(0xFFFF, 2)),
       FORMAT_RGBA32,
       1,
       2,
       {0x00F8F8F8, 0xFFF8F8F8}},
      {"TGA origin at the top: the first row is the top row",
       Tga(2, 1, 2, 16, Le(0x7FFF, 2) + Le(0xFFFF, 2), 0, 0x28),
       FORMAT_RGBA32,
       1,
       2,
       {0xFFF8F8F8, 0x00F8F8F8}},
      {"TGA 15-bit ignores bit 15",
       Tga(2, 1, 1, 15, Le(0xFC00, 2)),
       FORMAT_RGB24,
       1,
       1,
       {0xFFF80000}},
      {"TGA mixed packets",
       Tga(10, 3, 1, 32, std::string("\x00\1\2\3\4\x81\5\6\7\x8", 10)),
       FORMAT_RGBA32,
       3,
       1,
       {0x04030201, 0x08070605, 0x08070605}},
  };
  for (const Case& c : cases) {
    for (bool pipe : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (pipe ? " (from a pipe)" : ""));
      Ref<TPixmap> p = pipe ? LoadFromPipe(c.file) : Load(c.file);
      ASSERT_TRUE(p);
      EXPECT_EQ(p->format, c.format);
      ASSERT_EQ(p->width, c.width);
      ASSERT_EQ(p->height, c.height);
      for (int32_t i = 0; i < c.width * c.height; ++i)
        EXPECT_EQ(p->ReadPixel(i % c.width, i / c.width), c.pixels[i]) << "pixel " << i;
    }
  }
}

TEST_F(LoaderInputTest, DamagedAndHostileFilesGiveNull) {
  const std::string row4 = std::string(4, '\x7F');
  const std::string png = "\x89PNG\r\n\x1A\n";
  const std::string ihdr = Le(0x0D000000, 4) + "IHDR";
  struct Case {
    const char* name;
    std::string file;
  } cases[] = {
      {"BMP top-down", Bmp(1, -1, 24, "", row4)},
      {"BMP zero width", Bmp(0, 1, 24, "", row4)},
      {"BMP 16 bits", Bmp(1, 1, 16, "", row4)},
      {"BMP run-length compressed", Bmp(1, 1, 8, std::string(1024, 0), row4, 1)},
      {"BMP bit fields in another order", BmpV5(1, 1, 0xFF, 0xFF000000, row4)},
      {"BMP bit fields on 24 bits",
       Bmp(1, 1, 24, Le(0xFF0000, 4) + Le(0xFF00, 4) + Le(0xFF, 4), row4, 3)},
      {"BMP palette larger than the table", Bmp(1, 1, 4, std::string(68, 0), row4, 0, 17)},
      {"BMP pixels beyond any 32-bit size", Bmp(0x7FFFFFFF, 0x7FFFFFFF, 32, "", row4)},
      {"BMP far more pixels than the file holds", Bmp(30000, 30000, 24, "", row4)},
      {"BMP header alone claiming 46000x15000", Bmp(46000, 15000, 24, "", "")},
      {"JPEG of 700 bytes claiming 30000x11000", JpegClaiming(30000, 11000, 700)},
      {"BMP info header shorter than 40 bytes",
       "BM" + Le(0, 12) + Le(12, 4) + Le(1, 4) + Le(1, 4) + Le(1, 2) + Le(24, 2) + row4},
      {"TGA colour-mapped", Tga(1, 1, 1, 24, "abc", 1)},
      {"TGA type 1", Tga(1, 1, 1, 24, "abc")},
      {"TGA width 4097", Tga(2, 4097, 1, 24, "abc")},
      {"TGA zero height", Tga(2, 1, 0, 24, "abc")},
      {"TGA 8 bits", Tga(2, 1, 1, 8, "abc")},
      {"TGA claiming 3855x3855 run-length pixels in a few bytes",
       Tga(10, 3855, 3855, 15, std::string(300, '\x0F'))},
      {"TGA run past the row", Tga(10, 2, 1, 24, "\x82\1\2\3")},
      {"TGA literal packet past the row", Tga(10, 2, 2, 24, "\x02\1\2\3\1\2\3\1\2\3")},
      {"PNG signature only", png},
      {"PNG cut inside the header", png + ihdr + Le(0x01000000, 4)},
      {"PNG bad header checksum",
       png + ihdr + std::string("\0\0\0\1\0\0\0\1\x08\x02\0\0\0", 13) + "CRC!"},
      {"PNG colour type 5",
       png + ihdr + std::string("\0\0\0\1\0\0\0\1\x08\x05\0\0\0", 13) + Le(0, 4)},
      {"JPEG start marker only", "\xFF\xD8"},
      {"JPEG garbage after the start marker", "\xFF\xD8\xFF\xC0\0\x11garbagegarbagegarb"},
      {"nothing any loader knows", "GIF89a..."},
      {"empty", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(Load(c.file));
    EXPECT_FALSE(LoadFromPipe(c.file)) << "from a pipe";
  }
}

// Uncompressed true-colour TGA files of both orientations, with and without row padding in the
// pixmap, whole and cut short: every pixel is the one the file's bytes give at its place.
TEST_F(LoaderInputTest, UncompressedTgaPixelsLandInPlace) {
  std::mt19937 rng(3);
  for (int bits : {24, 32}) {
    for (int w : {4, 5, 17}) {
      for (int h : {1, 2, 3, 8}) {
        for (int descriptor : {0, 0x20}) {
          const int stored = bits / 8;
          std::string body(size_t(w) * h * stored, '\0');
          for (char& c : body)
            c = char(rng());
          for (size_t kept : {body.size(), body.size() / 2 + 1}) {
            SCOPED_TRACE(testing::Message() << bits << " bits " << w << "x" << h << " descriptor "
                                            << descriptor << " bytes " << kept);
            Ref<TPixmap> p = Load(Tga(2, w, h, bits, body.substr(0, kept), 0, descriptor));
            ASSERT_TRUE(p);
            for (int r = 0; r < h; ++r) {
              for (int x = 0; x < w; ++x) {
                size_t at = (size_t(r) * w + x) * stored;
                auto byte = [&](size_t i) { return at + i < kept ? uint8_t(body[at + i]) : 0u; };
                uint32_t alpha = bits == 32 ? byte(3) : 255u;
                uint32_t want = alpha << 24 | byte(2) << 16 | byte(1) << 8 | byte(0);
                ASSERT_EQ(p->ReadPixel(x, descriptor ? r : h - 1 - r), want) << x << "," << r;
              }
            }
          }
        }
      }
    }
  }
}

TEST_F(LoaderInputTest, TruncatedPixelsReadAsZero) {
  // A 2x2 24-bit BMP whose data ends after the first (bottom) row.
  Ref<TPixmap> p = Load(Bmp(2, 2, 24, "", std::string("\1\2\3\4\5\6\0\0", 8)));
  ASSERT_TRUE(p);
  EXPECT_EQ(p->ReadPixel(0, 1), 0xFF030201u);
  EXPECT_EQ(p->ReadPixel(1, 1), 0xFF060504u);
  EXPECT_EQ(p->ReadPixel(0, 0), 0xFF000000u);
  EXPECT_EQ(p->ReadPixel(1, 0), 0xFF000000u);
}

// A stream that fails the way a script's or a network stream can: its size is asked for once the
// header is read, and that throws.
class TFailingSizeStream : public test::TMemoryStream {
 public:
  VXL_CLASS(TFailingSizeStream, test::TMemoryStream)
  int32_t Size() override {
    if (pos > 16) throw std::runtime_error("size lost");
    return TMemoryStream::Size();
  }
  // Reading goes on as before; only the question of size fails.
  std::span<const uint8_t> PeekBuffered() override {
    int32_t n = std::clamp(int32_t(bytes.size()) - pos, 0, window);
    return {reinterpret_cast<const uint8_t*>(bytes.data()) + pos, size_t(n)};
  }
  int32_t Read(uint8_t* buf, int32_t count) override {
    int32_t n = std::clamp(int32_t(bytes.size()) - pos, 0, std::max(count, 0));
    std::memcpy(buf, bytes.data() + pos, size_t(n));
    pos += n;
    return n;
  }
};
VXL_DEFINE_CLASS(TFailingSizeStream)

// The exception leaves the decode and the decoder's structures are released on the way (the
// leak checker of the sanitizer build is the judge of the second half).
TEST_F(LoaderInputTest, ExceptionLeavingADecodeReleasesTheDecoder) {
  Ref<TPixmap> image = NewPixmap(64, 48, FORMAT_RGB24, 4);
  for (int32_t y = 0; y < 48; ++y)
    for (int32_t x = 0; x < 64; ++x) image->WritePixel(x, y, uint32_t(x * 3 + y * 1000));
  struct Case {
    const char* name;
    bool (*encode)(const Ref<TPixmap>&, const Ref<TStream>&);
    Ref<TPixmap> (*decode)(const Ref<TStream>&);
  } cases[] = {
      {"PNG", [](const Ref<TPixmap>& p, const Ref<TStream>& s) { return EncodePng(p, s, 6); },
       [](const Ref<TStream>& s) { return DecodePng(s); }},
      {"JPEG", [](const Ref<TPixmap>& p, const Ref<TStream>& s) { return JpegEncode(p, s, 90); },
       [](const Ref<TStream>& s) { return JpegDecode(s); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto encoded = test::TMemoryStream::Of("");
    ASSERT_TRUE(c.encode(image, encoded));
    for (int32_t window : {0, 4096}) {
      auto stream = New<TFailingSizeStream>();
      stream->bytes = encoded->bytes;
      stream->window = window;
      // The PNG decoder starts after the signature, which its loader has read.
      const int32_t start = std::string(c.name) == "PNG" ? 8 : 0;
      stream->pos = start;
      EXPECT_THROW(c.decode(stream), std::runtime_error);
      // The same bytes from a stream that keeps its size decode whole.
      auto good = test::TMemoryStream::Of(encoded->bytes, window);
      good->pos = start;
      Ref<TPixmap> decoded = c.decode(good);
      ASSERT_TRUE(decoded);
      EXPECT_EQ(decoded->width, 64);
      EXPECT_EQ(decoded->height, 48);
    }
  }
}

// PNG allows sides up to 2^31 - 1; only the size of the pixmap and of the data bound what loads.
TEST_F(LoaderInputTest, PngSidesBeyond32768Load) {
  for (auto [width, height] : {std::pair{40000, 2}, {2, 40000}, {70000, 1}}) {
    Ref<TPixmap> p = NewPixmap(width, height, FORMAT_GREY8, 4);
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x)
        p->PixelPtr(x, y)[0] = uint8_t(x * 7 + y);
    auto file = test::TMemoryStream::Of("");
    ASSERT_TRUE(SaveAsPng(p, Ref<Object>(file), 6));
    Ref<TPixmap> back = Load(file->bytes);
    ASSERT_TRUE(back) << width << "x" << height;
    ASSERT_EQ(back->width, width);
    ASSERT_EQ(back->height, height);
    for (int32_t y = 0; y < height; ++y)
      ASSERT_EQ(std::memcmp(back->PixelPtr(0, y), p->PixelPtr(0, y), width), 0) << y;
  }
}

}  // namespace
}  // namespace vxl
