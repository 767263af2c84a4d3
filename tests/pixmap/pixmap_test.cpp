#include "pixmap/pixmap.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "support/test_streams.h"

namespace vxl {
namespace {

using Bytes = std::vector<uint8_t>;

class PixmapTest : public ::testing::Test {
 protected:
  void SetUp() override { InitPixmapModule(); }
};

// The conversion table written out plainly: one pixel of `format` to R, G, B, A and back. Red,
// green, blue and luminance pixels are opaque, like every other format without alpha.
std::array<uint8_t, 4> RefToStandard(int32_t f, const uint8_t* p) {
  uint8_t v = p[0];
  switch (f) {
    case FORMAT_GREY8:
      return {v, v, v, 255};
    case FORMAT_ALPHA8:
      return {255, 255, 255, v};
    case FORMAT_BGR24:
      return {p[2], p[1], p[0], 255};
    case FORMAT_RGB24:
      return {p[0], p[1], p[2], 255};
    case FORMAT_BGRA32:
      return {p[2], p[1], p[0], p[3]};
    case FORMAT_RGBA32:
      return {p[0], p[1], p[2], p[3]};
    case FORMAT_RED8:
      return {v, 0, 0, 255};
    case FORMAT_GREEN8:
      return {0, v, 0, 255};
    case FORMAT_BLUE8:
      return {0, 0, v, 255};
    case FORMAT_SHADOW8:
      return {0, 0, 0, v};
    case FORMAT_INTENSITY8:
      return {v, v, v, v};
    case FORMAT_LUMINANCE8:
      return {v, v, v, 255};
  }
  return {};
}

Bytes RefFromStandard(int32_t f, const std::array<uint8_t, 4>& s) {
  uint8_t R = s[0], G = s[1], B = s[2], A = s[3];
  switch (f) {
    case FORMAT_GREY8:
    case FORMAT_LUMINANCE8:
      return {uint8_t((R + G + B) / 3)};
    case FORMAT_ALPHA8:
    case FORMAT_SHADOW8:
      return {A};
    case FORMAT_BGR24:
      return {B, G, R};
    case FORMAT_RGB24:
      return {R, G, B};
    case FORMAT_BGRA32:
      return {B, G, R, A};
    case FORMAT_RGBA32:
      return {R, G, B, A};
    case FORMAT_RED8:
      return {R};
    case FORMAT_GREEN8:
      return {G};
    case FORMAT_BLUE8:
      return {B};
    case FORMAT_INTENSITY8:
      return {uint8_t((R + G + B + A) >> 2)};
  }
  return {};
}

TEST_F(PixmapTest, FormatTables) {
  const int32_t bytes[] = {0, 1, 1, 3, 3, 4, 4, 1, 1, 1, 1, 1, 1};
  const int32_t alpha[] = {0, 0, 8, 0, 0, 8, 8, 0, 0, 0, 8, 0, 0};
  for (int32_t f = 0; f < FORMAT_COUNT; ++f) {
    EXPECT_EQ(FormatBytes[f], bytes[f]) << f;
    EXPECT_EQ(FormatAlphaBits[f], alpha[f]) << f;
  }
}

// Every pair of formats, runs of many lengths at odd offsets: the bytes are exactly those of
// the two-step conversion through the standard format, also in place between formats of one size.
TEST_F(PixmapTest, TranslatePixelsEqualsTheTwoStepConversion) {
  std::mt19937 rng(7);
  for (int32_t sf = 1; sf < FORMAT_COUNT; ++sf) {
    for (int32_t df = 1; df < FORMAT_COUNT; ++df) {
      for (int32_t n : {0, 1, 3, 15, 16, 17, 33, 64, 100, 517, 1100}) {
        const int32_t sb = FormatBytes[sf], db = FormatBytes[df];
        Bytes src(size_t(n) * sb + 1), dst(size_t(n) * db + 2, 0xEE), want;
        for (uint8_t& b : src)
          b = uint8_t(rng());
        for (int32_t i = 0; i < n; ++i) {
          Bytes px = RefFromStandard(df, RefToStandard(sf, &src[1 + i * sb]));
          want.insert(want.end(), px.begin(), px.end());
        }
        TranslatePixels(src.data() + 1, sf, dst.data() + 1, df, n);
        ASSERT_EQ(Bytes(dst.begin() + 1, dst.end() - 1), want) << sf << "->" << df << " n=" << n;
        ASSERT_EQ(dst.front(), 0xEE);
        ASSERT_EQ(dst.back(), 0xEE);
        if (sb == db) {  // in place as well
          Bytes inPlace = src;
          TranslatePixels(inPlace.data() + 1, sf, inPlace.data() + 1, df, n);
          ASSERT_EQ(Bytes(inPlace.begin() + 1, inPlace.end()), want)
              << sf << "->" << df << " n=" << n;
        }
      }
    }
  }
}

// Images large enough to be written past the caches give the same bytes as the run functions,
// at aligned and unaligned destinations.
TEST_F(PixmapTest, LargeConversionsEqualTheRunFunctions) {
  std::mt19937 rng(5);
  for (auto [from, to] : {std::pair{FORMAT_RGB24, FORMAT_BGRA32},
                          {FORMAT_RGBA32, FORMAT_BGR24},
                          {FORMAT_BGRA32, FORMAT_RGBA32},
                          {FORMAT_RGB24, FORMAT_GREY8}}) {
    Ref<TPixmap> src = NewPixmap(1030, 1021, from, 4);
    for (int32_t i = 0; i < src->capacity; ++i)
      src->pixels[i] = uint8_t(rng());
    Ref<TPixmap> converted = src->Convert(to);
    Ref<TPixmap> pasted = NewPixmap(1032, 1021, to, 4);
    pasted->Paste(src, 1, 0);
    Bytes want(size_t(1030) * FormatBytes[to]);
    for (int32_t y = 0; y < 1021; ++y) {
      TranslatePixels(src->PixelPtr(0, y), from, want.data(), to, 1030);
      ASSERT_EQ(0, std::memcmp(converted->PixelPtr(0, y), want.data(), want.size())) << y;
      ASSERT_EQ(0, std::memcmp(pasted->PixelPtr(1, y), want.data(), want.size())) << y;
    }
  }
}

TEST_F(PixmapTest, ReadAndWritePixelPerFormat) {
  struct Case {
    int32_t format;
    uint32_t written;
    Bytes stored;
    uint32_t read;
  } cases[] = {
      {FORMAT_GREY8, 0x801E3C5B, {60}, 0xFF3C3C3C},
      {FORMAT_ALPHA8, 0x40112233, {0x40}, 0x40FFFFFF},
      {FORMAT_BGR24, 0x80112233, {0x33, 0x22, 0x11}, 0xFF112233},
      {FORMAT_RGB24, 0x80112233, {0x11, 0x22, 0x33}, 0xFF112233},
      {FORMAT_BGRA32, 0x80112233, {0x33, 0x22, 0x11, 0x80}, 0x80112233},
      {FORMAT_RGBA32, 0x80112233, {0x11, 0x22, 0x33, 0x80}, 0x80112233},
      {FORMAT_RED8, 0x80112233, {0xAB}, 0},  // other formats: unchanged, read as 0
      {FORMAT_INTENSITY8, 0x80112233, {0xAB}, 0},
  };
  for (const Case& c : cases) {
    Ref<TPixmap> p = NewPixmap(3, 2, c.format, 4);
    std::memset(p->pixels, 0xAB, p->capacity);
    SetPixelOfPixmap(p, 2, 1, c.written);
    EXPECT_EQ(Bytes(p->PixelPtr(2, 1), p->PixelPtr(2, 1) + c.stored.size()), c.stored) << c.format;
    EXPECT_EQ(PixelOfPixmap(p, 2, 1), c.read) << c.format;
    EXPECT_EQ(p->PixelPtr(2, 1), p->pixels + p->pitch + 2 * FormatBytes[c.format]);
  }
}

TEST_F(PixmapTest, CreateFollowsThePitchRuleWithAlignedMemory) {
  struct Case {
    int32_t w, h, format, align, pitch;
  } cases[] = {{3, 2, FORMAT_RGB24, 4, 12},
               {3, 2, FORMAT_RGB24, 1, 9},
               {5, 3, FORMAT_GREY8, 16, 16},
               {0, 4, FORMAT_RGBA32, 4, 0},
               {7, 1, FORMAT_BGRA32, 8, 32}};
  for (const Case& c : cases) {
    Ref<TPixmap> p = TPixmap::Create(c.w, c.h, c.format, c.align);
    EXPECT_EQ(p->pitch, c.pitch);
    EXPECT_EQ(p->capacity, c.pitch * c.h);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p->pixels) % 16, 0u);
  }
  // A size that cannot be allocated is refused, never wrapped.
  for (auto [w, h, f] : {std::array{-1, 1, 4}, std::array{1, -1, 4}, std::array{1, 1, 13},
                         std::array{65536, 65536, 4}}) {
    EXPECT_THROW(TPixmap::Create(w, h, f, 4), Thrown) << w << "x" << h;
  }
}

TEST_F(PixmapTest, WindowSharesMemoryAndKeepsItsSourceAlive) {
  Ref<TPixmap> window;
  {
    Ref<TPixmap> source = NewPixmap(4, 4, FORMAT_RGBA32, 4);
    source->ClearPixels(0);
    window = PixmapSubWindow(source, 1, 1, 2, 2);
  }
  EXPECT_EQ(window->capacity, -1);
  window->WritePixel(0, 0, 0xFF123456);
  auto source = window->_source.As<TPixmap>();
  ASSERT_TRUE(source);
  EXPECT_EQ(source->ReadPixel(1, 1), 0xFF123456u);
  EXPECT_EQ(window->pitch, source->pitch);
  // A static pixmap never frees the caller's memory.
  uint8_t block[8] = {};
  NewStaticPixmap(block, 2, 2, 4, FORMAT_GREY8)->ClearPixels(0xFFFFFFFF);
  EXPECT_EQ(Bytes(block, block + 8), (Bytes{255, 255, 0, 0, 255, 255, 0, 0}));
}

TEST_F(PixmapTest, PixelsAndWindowsOutsideThePixmapReachNoMemoryAroundIt) {
  Ref<TPixmap> p = NewPixmap(4, 4, FORMAT_RGBA32, 4);
  p->ClearPixels(0xFF010203);
  for (auto [x, y] :
       {std::pair{-1, 0}, {0, -1}, {4, 0}, {0, 4}, {INT32_MIN, INT32_MIN}, {INT32_MAX, 1}}) {
    p->WritePixel(x, y, 0xFFFFFFFF);
    EXPECT_EQ(p->ReadPixel(x, y), 0u) << x << "," << y;
  }
  struct Case {
    int32_t x, y, w, h;
    int32_t left, top, width, height;  // the part of the pixmap the window shows (empty: 0, 0)
  };
  const Case cases[] = {
      {1, 1, 2, 2, 1, 1, 2, 2},   {2, 3, 5, 5, 2, 3, 2, 1},
      {-1, -2, 3, 3, 0, 0, 2, 1}, {5, 0, 1, 1, 0, 0, 0, 1},
      {0, 0, -3, 2, 0, 0, 0, 2},  {INT32_MAX, INT32_MAX, INT32_MAX, 1, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    Ref<TPixmap> w = p->Window(c.x, c.y, c.w, c.h);
    EXPECT_EQ(w->width, c.width) << c.x << "," << c.y;
    EXPECT_EQ(w->height, c.height) << c.x << "," << c.y;
    EXPECT_EQ(w->pixels, p->PixelPtr(c.left, c.top)) << c.x << "," << c.y;
    w->ClearPixels(0xFFFFFFFF);
  }
  int white = 0;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
      white += p->ReadPixel(x, y) == 0xFFFFFFFF;
  EXPECT_EQ(white, 4 + 2 + 2);  // (1,1)-(2,2), (2,3)-(3,3), (0,0)-(1,0)
}

TEST_F(PixmapTest, CopyConvertAndPaste) {
  Ref<TPixmap> bgra = NewPixmap(3, 2, FORMAT_BGRA32, 16);
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 3; ++x)
      bgra->WritePixel(x, y, 0x10000000u * (x + 1) + 0x10203 * (y + 5));
  Ref<TPixmap> rgb = PixmapToFormat(bgra, FORMAT_RGB24);
  Ref<TPixmap> copy = DuplicatePixmap(bgra);
  EXPECT_EQ(rgb->pitch, 12);
  EXPECT_EQ(copy->pitch, 12);
  for (int32_t y = 0; y < 2; ++y) {
    for (int32_t x = 0; x < 3; ++x) {
      EXPECT_EQ(rgb->ReadPixel(x, y), bgra->ReadPixel(x, y) | 0xFF000000u);
      EXPECT_EQ(copy->ReadPixel(x, y), bgra->ReadPixel(x, y));
    }
  }
  // Paste converts into place and touches nothing around the pasted rectangle.
  Ref<TPixmap> canvas = NewPixmap(5, 4, FORMAT_GREY8, 4);
  canvas->ClearPixels(0);
  canvas->Paste(rgb, 1, 2);
  for (int32_t y = 0; y < 4; ++y) {
    for (int32_t x = 0; x < 5; ++x) {
      bool inside = x >= 1 && x < 4 && y >= 2;
      uint32_t c = inside ? rgb->ReadPixel(x - 1, y - 2) : 0;
      uint32_t grey = ((c >> 16 & 255) + (c >> 8 & 255) + (c & 255)) / 3;
      EXPECT_EQ(canvas->PixelPtr(x, y)[0], inside ? grey : 0) << x << "," << y;
    }
  }
  // A source that sticks out of the pixmap is drawn only where it lands inside: nothing is
  // written around it, nor past the pixmap's memory.
  for (auto [px, py] : {std::pair{3, 3}, {-2, -1}, {4, -1}, {5, 0}, {0, 4}, {-3, 0}, {-9, -9}}) {
    Ref<TPixmap> small = NewPixmap(4, 3, FORMAT_RGB24, 1);  // no padding: every byte is a pixel
    small->ClearPixels(0xFF0A0A0A);
    small->Paste(rgb, px, py);
    for (int32_t y = 0; y < 3; ++y) {
      for (int32_t x = 0; x < 4; ++x) {
        bool inside = x - px >= 0 && x - px < 3 && y - py >= 0 && y - py < 2;
        uint32_t want = inside ? rgb->ReadPixel(x - px, y - py) : 0xFF0A0A0A;
        EXPECT_EQ(small->ReadPixel(x, y), want) << px << "," << py << " at " << x << "," << y;
      }
    }
  }
}

TEST_F(PixmapTest, ClearPixelsFillsOnlyPixelBytes) {
  for (int32_t format : {FORMAT_RGB24, FORMAT_GREY8, FORMAT_INTENSITY8, FORMAT_BGRA32}) {
    for (uint32_t colour : {0u, 0x80112233u}) {
      Ref<TPixmap> p = NewPixmap(3, 3, format, 8);
      std::memset(p->pixels, 0xAB, p->capacity);
      p->ClearPixels(colour);
      Ref<TPixmap> one = NewPixmap(1, 1, format, 1);
      std::memset(one->pixels, 0xAB, 4 > one->capacity ? one->capacity : 4);
      if (colour)
        one->WritePixel(0, 0, colour);
      else
        std::memset(one->pixels, 0, FormatBytes[format]);
      const int32_t bytes = FormatBytes[format];
      for (int32_t y = 0; y < 3; ++y) {
        for (int32_t i = 0; i < p->pitch; ++i) {
          uint8_t want = i < 3 * bytes ? one->pixels[i % bytes] : 0xAB;
          ASSERT_EQ(p->pixels[y * p->pitch + i], want) << format << " " << colour << " " << i;
        }
      }
    }
  }
}

TEST_F(PixmapTest, DataTypeRoundTripWithoutPadding) {
  Ref<TPixmap> p = NewPixmap(3, 2, FORMAT_RGB24, 16);
  for (int32_t i = 0; i < p->capacity; ++i)
    p->pixels[i] = uint8_t(i);
  auto out = test::TMemoryStream::Of("");
  auto data = TDataStream::WithStream(out);
  data->WriteObject(p);
  const std::string header = std::string("\x01VXL.Pixmap.TPixmap\r\n", 21) +
                             std::string("\x03\0\0\0\x02\0\0\0\x04\0\0\0", 12);
  std::string rows;
  for (int32_t i : {0, 1, 2, 3, 4, 5, 6, 7, 8, 16, 17, 18, 19, 20, 21, 22, 23, 24})
    rows += char(i);
  EXPECT_EQ(out->bytes, header + rows);

  auto back =
      TDataStream::WithStream(test::TMemoryStream::Of(out->bytes))->ReadObject().As<TPixmap>();
  ASSERT_TRUE(back);
  EXPECT_EQ(back->pitch, 12);
  EXPECT_EQ(back->capacity, 24);
  for (int32_t y = 0; y < 2; ++y)
    EXPECT_EQ(0, std::memcmp(back->PixelPtr(0, y), p->PixelPtr(0, y), 9));

  // Sizes the stream cannot hold, or that cannot be, are refused before allocating.
  for (std::string dims : {std::string("\xff\xff\0\0\xff\xff\0\0\x04\0\0\0", 12),
                           std::string("\xff\xff\xff\xff\x01\0\0\0\x04\0\0\0", 12),
                           std::string("\x01\0\0\0\x01\0\0\0\x63\0\0\0", 12)}) {
    auto in = TDataStream::WithStream(test::TMemoryStream::Of(header.substr(0, 21) + dims + "xyz"));
    EXPECT_THROW(
        try { in->ReadObject(); } catch (const Thrown& e) {
          EXPECT_TRUE(e.As<TStreamReadException>());
          throw;
        },
        Thrown);
  }
}

// A stream that tells its position only so often: a reader that goes back to it once per row of
// an image without pixel bytes would ask it billions of times.
class TPatientStream : public test::TMemoryStream {
 public:
  VXL_CLASS(TPatientStream, test::TMemoryStream)
  int32_t asked = 0;
  int32_t Pos() override {
    if (++asked > 10000) RaiseRuntimeError("position asked too often");
    return TMemoryStream::Pos();
  }
};
VXL_DEFINE_CLASS(TPatientStream)

// Twelve bytes may describe an image of two billion rows without pixel bytes (width 0 or format
// 0): it is read and written at once, not row by row.
TEST_F(PixmapTest, DataTypeImagesWithoutPixelBytes) {
  const std::string header("\x01VXL.Pixmap.TPixmap\r\n", 21);
  struct Case {
    int32_t width, height, format;
  } cases[] = {{0, INT32_MAX, FORMAT_RGBA32}, {INT32_MAX, INT32_MAX, FORMAT_NONE}, {0, 0, 0}};
  for (const Case& c : cases) {
    auto in = New<TPatientStream>();
    in->bytes = header + std::string(reinterpret_cast<const char*>(&c), sizeof c);
    auto back = TDataStream::WithStream(in)->ReadObject().As<TPixmap>();
    ASSERT_TRUE(back) << c.width << " " << c.format;
    EXPECT_EQ(back->height, c.height);
    auto out = New<TPatientStream>();
    TDataStream::WithStream(out)->WriteObject(back);
    EXPECT_EQ(out->bytes, in->bytes);
  }
}

// The loader chain

// A stream whose Close is counted.
class TProbeStream : public test::TMemoryStream {
 public:
  VXL_CLASS(TProbeStream, test::TMemoryStream)
  static inline int closed = 0;
  int32_t Close() override { return ++closed; }
};
VXL_DEFINE_CLASS(TProbeStream)

// "probe::<bytes>" opens a TProbeStream over the bytes after "probe::" with position 2.
class TProbeFactory : public TStreamFactory {
 public:
  VXL_CLASS(TProbeFactory, TStreamFactory)
  Ref<TStream> CreateStream(const Ref<Object>&, const String& proto, const String& path, int32_t,
                            int32_t) override {
    if (!(proto == String("probe"))) return nullptr;
    auto s = New<TProbeStream>();
    s->bytes = path.ToCString();
    s->pos = 2;
    return s;
  }
};
VXL_DEFINE_CLASS(TProbeFactory)

// A loader that records its turn and reads its answer from the stream: the byte after the start
// says what it does when it is the loader with that letter.
class TScriptedLoader : public TPixmapLoader {
 public:
  VXL_CLASS(TScriptedLoader, TPixmapLoader)
  char letter = 0;
  static inline std::string turns;
  Ref<TPixmap> LoadPixmap(const Ref<TStream>& stream) override {
    turns += letter;
    EXPECT_EQ(stream->Pos(), 2);  // every loader starts at the remembered position
    std::string script = stream->ReadLine().ToCString();
    if (script.find(std::string(1, letter) + "read") != std::string::npos) ThrowStreamRead();
    if (script.find(std::string(1, letter) + "boom") != std::string::npos) Throw("boom");
    if (script.find(std::string(1, letter) + "ok") != std::string::npos)
      return NewPixmap(1, 1, FORMAT_GREY8, 4);
    return nullptr;
  }
};
VXL_DEFINE_CLASS(TScriptedLoader)

TEST_F(PixmapTest, PixmapFromUrlWalksTheChainNewestFirst) {
  New<TProbeFactory>();
  for (char letter : {'c', 'b', 'a'})
    New<TScriptedLoader>()->letter = letter;
  struct Case {
    std::string content;
    std::string turns;
    bool loaded;
    const char* propagated;
  } cases[] = {
      {"..nothing", "abc", false, nullptr},
      {"..bok cok", "ab", true, nullptr},
      {"..aread bread cok", "abc", true, nullptr},  // stream exceptions are failed attempts
      {"..aread bboom cok", "ab", false, "boom"},   // anything else passes through
  };
  for (const Case& c : cases) {
    TScriptedLoader::turns.clear();
    TProbeStream::closed = 0;
    Ref<TPixmap> p;
    std::string thrown;
    try {
      p = PixmapFromUrl(String(("probe::" + c.content).c_str()));
    } catch (const Thrown& e) {
      thrown = e.Text().ToCString();
    }
    // The chain continues past the loaders of this test into nothing else that reads "..".
    EXPECT_EQ(TScriptedLoader::turns, c.turns) << c.content;
    EXPECT_EQ(bool(p), c.loaded) << c.content;
    EXPECT_EQ(thrown, c.propagated ? c.propagated : "") << c.content;
    EXPECT_EQ(TProbeStream::closed, 1) << c.content;
  }
  EXPECT_FALSE(PixmapFromUrl(String("probe-none::x")));
  // A stream that cannot tell its position is closed unread.
  TScriptedLoader::turns.clear();
  EXPECT_FALSE(PixmapFromUrl(Ref<Object>(test::TOneWayStream::Of("..aok"))));
  EXPECT_EQ(TScriptedLoader::turns, "");
}

}  // namespace
}  // namespace vxl
