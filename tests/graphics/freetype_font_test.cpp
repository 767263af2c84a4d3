// Fonts from real files, checked against FreeType's own rendering of the same request (FreeType
// called directly here, with a library of the test's own), and a BDF font written by the test.
#include "graphics/font/freetype/freetype_font.h"

#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>
#include <cstring>
#include <string>

#include "graphics/collision_reference.h"
#include "graphics/kor2d/collision.h"
#include "graphics/kor2d/image_font.h"
#include "runtime/module.h"
#include "support/temp_dir.h"
#include "support/test_streams.h"

namespace vxl {
namespace {

const char* const kSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char* const kMono = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";

// Serves "fontbytes::<path>" from the file at <path>, through a stream closed after the read.
class TFontBytesFactory : public TStreamFactory {
 public:
  VXL_CLASS(TFontBytesFactory, TStreamFactory)
  Ref<TStream> CreateStream(const Ref<Object>&, const String& proto, const String& path, int32_t,
                            int32_t) override {
    if (proto != String("fontbytes")) return nullptr;
    return test::TMemoryStream::Of(test::TempDir::Read(path.ToCString()));
  }
};
VXL_DEFINE_CLASS(TFontBytesFactory)

int InitFontBytesTestModule() {
  static ModuleGuard guard("font bytes test");
  return guard.Run({InitCoreModule, InitStreamModule}, [] { New<TFontBytesFactory>(); });
}

// FreeType's answer for one request.
struct Oracle {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  Oracle(const char* path, int size) {
    EXPECT_EQ(FT_Init_FreeType(&library), 0);
    EXPECT_EQ(FT_New_Face(library, path, 0, &face), 0);
    EXPECT_EQ(FT_Set_Pixel_Sizes(face, 0, size), 0);
  }
  ~Oracle() {
    FT_Done_Face(face);
    FT_Done_FreeType(library);
  }
};

class FreeTypeFont : public ::testing::Test {
 protected:
  void SetUp() override {
    InitFreeTypeFontModule();
    InitFontBytesTestModule();
  }
};

TEST_F(FreeTypeFont, GlyphsMatchFreeTypesOwnBitmaps) {
  const char32_t text[] = U"Ag.,jW@\u00e9\u0416 |";
  for (const char* path : {kSans, kMono}) {
    for (int size : {9, 16, 33}) {
      for (int style : {0, SMOOTH_FONT_STYLE | BOLD_FONT_STYLE}) {
        Oracle ref(path, size);
        Ref<TFreeTypeFont> font = TFreeTypeFont::Load(String(path), size, style);
        ASSERT_TRUE(font) << path;
        SCOPED_TRACE(std::string(path) + " size " + std::to_string(size) + " style " +
                     std::to_string(style));
        EXPECT_EQ(font->Style(), style);
        EXPECT_EQ(font->Height(), ref.face->size->metrics.height >> 6);
        EXPECT_EQ(font->CountGlyphs(), ref.face->num_glyphs);
        const int ascend = int(ref.face->size->metrics.ascender >> 6);
        const bool smooth = style & SMOOTH_FONT_STYLE;
        for (const char32_t* c = text; *c; ++c) {
          const int32_t index = font->CharToGlyph(int32_t(*c));
          ASSERT_EQ(index, int32_t(FT_Get_Char_Index(ref.face, *c)) - 1);
          ASSERT_GE(index, 0);
          ASSERT_EQ(FT_Load_Char(ref.face, *c, FT_LOAD_RENDER), 0);
          const FT_GlyphSlot slot = ref.face->glyph;
          const FT_Bitmap& bm = slot->bitmap;
          Ref<TGlyph> glyph = font->LoadGlyph(index);
          EXPECT_EQ(glyph.Get(), font->LoadGlyph(index).Get());  // cached
          EXPECT_EQ(glyph->Advance(), float(slot->advance.x >> 6));
          Ref<TPixmap> pixmap = glyph->Pixels().As<TPixmap>();
          int32_t x, y, w, h;
          glyph->GetRect(x, y, w, h);
          if (bm.width == 0) {  // the space
            EXPECT_FALSE(pixmap);
            continue;
          }
          const int pad = smooth ? 1 : 0;
          ASSERT_TRUE(pixmap);
          EXPECT_EQ(pixmap->format, FORMAT_ALPHA8);
          EXPECT_EQ(x, slot->bitmap_left - pad);
          EXPECT_EQ(y, ascend - slot->bitmap_top - pad);
          ASSERT_EQ(w, int32_t(bm.width) + 2 * pad);
          ASSERT_EQ(h, int32_t(bm.rows) + 2 * pad);
          ASSERT_EQ(pixmap->width, w);
          ASSERT_EQ(pixmap->height, h);
          for (int32_t py = 0; py < h; ++py) {
            for (int32_t px = 0; px < w; ++px) {
              const int32_t bx = px - pad, by = py - pad;
              const bool inside =
                  bx >= 0 && by >= 0 && bx < int32_t(bm.width) && by < int32_t(bm.rows);
              const uint8_t want = inside ? bm.buffer[by * bm.pitch + bx] : 0;
              ASSERT_EQ(*pixmap->PixelPtr(px, py), want)
                  << "char " << uint32_t(*c) << " at " << px << "," << py;
            }
          }
        }
        // A character the font lacks: -1, so it neither draws nor moves the pen.
        EXPECT_EQ(font->CharToGlyph(0x10FFFD), -1);
      }
    }
  }
}

// A 9-pixel-wide glyph spans two bytes per row: the bits expand most significant first.
const char* const kBdfRows[10] = {"FF80", "8000", "4000", "2000", "1000",
                                  "0800", "0400", "0200", "0100", "0080"};

std::string BdfFont() {
  std::string s =
      "STARTFONT 2.1\nFONT -test-grid-medium-r-normal--10-100-75-75-c-100-iso10646-1\n"
      "SIZE 10 75 75\nFONTBOUNDINGBOX 9 10 0 -2\nSTARTPROPERTIES 3\nFONT_ASCENT 8\n"
      "FONT_DESCENT 2\nPIXEL_SIZE 10\nENDPROPERTIES\nCHARS 2\n"
      "STARTCHAR A\nENCODING 65\nSWIDTH 1000 0\nDWIDTH 10 0\nBBX 9 10 0 -2\nBITMAP\n";
  for (const char* row : kBdfRows)
    s += std::string(row) + "\n";
  s += "ENDCHAR\nSTARTCHAR B\nENCODING 66\nSWIDTH 1000 0\nDWIDTH 10 0\nBBX 1 1 0 0\nBITMAP\n80\n"
       "ENDCHAR\nENDFONT\n";
  return s;
}

TEST_F(FreeTypeFont, BitmapFontSizesAndMonoExpansion) {
  test::TempDir dir;
  const std::string path = dir.Write("grid.bdf", BdfFont());
  struct Case {
    int32_t asked;
    bool opens;
  } cases[] = {{10, true}, {14, true},  {2147483647, true},      {9, false},
               {0, false}, {-5, false}, {-2147483647 - 1, false}};
  for (const Case& c : cases) {
    Ref<TFreeTypeFont> font = TFreeTypeFont::Load(String(path.c_str()), c.asked, 0);
    ASSERT_EQ(bool(font), c.opens) << c.asked;
    if (!font) continue;
    EXPECT_EQ(font->_ascend, 8);
    Ref<TGlyph> a = font->LoadGlyph(font->CharToGlyph('A'));
    EXPECT_EQ(a->Advance(), 10);
    int32_t x, y, w, h;
    a->GetRect(x, y, w, h);
    EXPECT_EQ(std::vector<int32_t>({x, y, w, h}), std::vector<int32_t>({0, 0, 9, 10}));
    Ref<TPixmap> p = a->Pixels().As<TPixmap>();
    ASSERT_TRUE(p);
    for (int32_t row = 0; row < 10; ++row) {
      const unsigned bits = unsigned(std::stoul(kBdfRows[row], nullptr, 16));
      for (int32_t col = 0; col < 9; ++col)
        ASSERT_EQ(*p->PixelPtr(col, row), (bits >> (15 - col) & 1) ? 255 : 0) << row << "," << col;
    }
  }
}

// Glyph 'A' of a BDF 2.3 font of `bpp` bits per pixel: 2- and 4-bit bitmaps come as 8-bit coverage
// with the levels scaled to 0..255.
std::string GreyBdfFont(int bpp, const std::vector<std::vector<unsigned>>& rows) {
  const int width = int(rows[0].size()), height = int(rows.size());
  std::string s =
      "STARTFONT 2.3\nFONT -test-grey-medium-r-normal--4-40-75-75-c-40-iso10646-1\n"
      "SIZE 4 75 75 " +
      std::to_string(bpp) + "\nFONTBOUNDINGBOX " + std::to_string(width) + " " +
      std::to_string(height) +
      " 0 0\nSTARTPROPERTIES 3\nFONT_ASCENT 4\nFONT_DESCENT 0\nPIXEL_SIZE 4\n"
      "ENDPROPERTIES\nCHARS 1\nSTARTCHAR A\nENCODING 65\nSWIDTH 1000 0\nDWIDTH 4 0\n"
      "BBX " +
      std::to_string(width) + " " + std::to_string(height) + " 0 0\nBITMAP\n";
  for (const std::vector<unsigned>& row : rows) {
    std::vector<uint8_t> bytes(size_t(width * bpp + 7) / 8);
    for (int x = 0; x < width; ++x)
      bytes[size_t(x * bpp / 8)] |= uint8_t(row[size_t(x)] << (8 - bpp - x * bpp % 8));
    for (uint8_t b : bytes) {
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02X", b);
      s += hex;
    }
    s += "\n";
  }
  return s + "ENDCHAR\nENDFONT\n";
}

TEST_F(FreeTypeFont, GreyBitmapDepthsBecomeCoverage) {
  test::TempDir dir;
  for (int bpp : {2, 4, 8}) {
    const unsigned top = (1u << bpp) - 1;
    const std::vector<std::vector<unsigned>> rows = {
        {top, 1, 0, top / 2, 2}, {0, top - 1, top, 1, 0}, {top, top, 0, 0, 1}};
    const std::string path =
        dir.Write("grey" + std::to_string(bpp) + ".bdf", GreyBdfFont(bpp, rows));
    Ref<TFreeTypeFont> font = TFreeTypeFont::Load(String(path.c_str()), 4, 0);
    ASSERT_TRUE(font) << bpp;
    Ref<TPixmap> p = font->LoadGlyph(font->CharToGlyph('A'))->Pixels().As<TPixmap>();
    ASSERT_TRUE(p) << bpp;
    ASSERT_EQ(p->width, 5);
    ASSERT_EQ(p->height, 3);
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 5; ++x)
        EXPECT_EQ(*p->PixelPtr(x, y), rows[size_t(y)][size_t(x)] * 255 / top)
            << bpp << " " << x << "," << y;
    }
  }
}

TEST_F(FreeTypeFont, UrlsThatGiveNoFont) {
  test::TempDir dir;
  const std::string junk = dir.Write("junk.ttf", std::string(300, 'x'));
  const std::string empty = dir.Write("empty.ttf", "");
  Ref<TFreeTypeFontLoader> loader = New<TFreeTypeFontLoader>();
  const Ref<Object> urls[] = {Ref<Object>(),
                              Ref<Object>(TPixmap::Create(1, 1, FORMAT_ALPHA8, 1)),
                              String(""),
                              String(junk.c_str()),
                              String(empty.c_str()),
                              String((std::string("fontbytes::") + empty).c_str()),
                              String((std::string("fontbytes::") + junk).c_str()),
                              String(dir.File("missing.ttf").c_str())};
  for (const Ref<Object>& url : urls) {
    EXPECT_FALSE(loader->LoadFont(url, 16, 0));
    EXPECT_FALSE(LoadFontChain(url, 16, 0));
  }
  // The FreeType loader is at the head of the chain.
  EXPECT_TRUE(FontLoaders().As<TFreeTypeFontLoader>());
  EXPECT_TRUE(LoadFontChain(String(kSans), 12, 0).As<TFreeTypeFont>());
}

// A font read from a stream keeps its own copy of the bytes after the stream is gone.
TEST_F(FreeTypeFont, StreamFontKeepsItsBuffer) {
  Ref<TFreeTypeFont> fromFile = TFreeTypeFont::Load(String(kMono), 20, 0);
  Ref<TFreeTypeFont> fromStream =
      TFreeTypeFont::Load(String((std::string("fontbytes::") + kMono).c_str()), 20, 0);
  ASSERT_TRUE(fromFile);
  ASSERT_TRUE(fromStream);
  EXPECT_EQ(fromStream->_buf_size, int32_t(test::TempDir::Read(kMono).size()));
  EXPECT_EQ(fromFile->_buf_size, 0);
  for (char c : std::string("Qy#")) {
    Ref<TPixmap> a = fromFile->LoadGlyph(fromFile->CharToGlyph(c))->Pixels().As<TPixmap>();
    Ref<TPixmap> b = fromStream->LoadGlyph(fromStream->CharToGlyph(c))->Pixels().As<TPixmap>();
    ASSERT_TRUE(a && b);
    ASSERT_EQ(a->width, b->width);
    ASSERT_EQ(a->height, b->height);
    for (int32_t y = 0; y < a->height; ++y)
      EXPECT_EQ(std::memcmp(a->PixelPtr(0, y), b->PixelPtr(0, y), size_t(a->width)), 0);
  }
}

// Through the image font: smooth fonts get filtered, mipmapped glyph images with the same offsets.
TEST_F(FreeTypeFont, ImageFontOverAFontFile) {
  InitImageFontModule();
  for (int style : {0, SMOOTH_FONT_STYLE}) {
    Ref<TImageFont> font = TImageFont::Load(String(kSans), 16, style);
    ASSERT_TRUE(font);
    EXPECT_EQ(font->_imageFlags, style ? 6 : 0);
    EXPECT_TRUE(font->_src_font.As<TFreeTypeFont>());
    const int32_t g = font->CharToGlyph('k');
    Ref<TGlyph> source = font->_src_font->LoadGlyph(g);
    Ref<TGlyph> image = font->LoadGlyph(g);
    int32_t a[4], b[4];
    source->GetRect(a[0], a[1], a[2], a[3]);
    image->GetRect(b[0], b[1], b[2], b[3]);
    EXPECT_EQ(std::vector<int32_t>(a, a + 4), std::vector<int32_t>(b, b + 4));
    EXPECT_EQ(source->Advance(), image->Advance());
  }
}

// Glyph images (FORMAT_ALPHA8, one byte per pixel) as collision masks: exact against the
// per-pixel reference at integer positions.
TEST_F(FreeTypeFont, GlyphImagesCollideByTheirCoverage) {
  InitImageFontModule();
  Ref<TImageFont> font = TImageFont::Load(String(kSans), 24, 0);
  ASSERT_TRUE(font);
  Ref<TImage> ring = font->LoadGlyph(font->CharToGlyph('O')).As<TImageGlyph>()->_image;
  Ref<TImage> bar = font->LoadGlyph(font->CharToGlyph('l')).As<TImageGlyph>()->_image;
  ASSERT_TRUE(ring && bar);
  ASSERT_EQ(ring->Lock(0, 1, 0)->format, FORMAT_ALPHA8);
  auto placed = [](const Ref<TImage>& image, float x, float y) {
    test::Placement p;
    p.mask = image->Lock(0, 1, 0);
    p.width = image->width;
    p.height = image->height;
    p.x = x;
    p.y = y;
    return test::PlacedMask(p);
  };
  int hits = 0, misses = 0;
  for (int y = -4; y <= 4; y += 2) {
    for (int x = -6; x <= ring->width + 2; ++x) {
      const bool want = test::BruteForceHit(placed(ring, 0, 0), placed(bar, float(x), float(y)));
      ASSERT_EQ(ImagesOverlap(ring, 0, 0, 0, bar, float(x), float(y), 0), want ? 1 : 0)
          << x << "," << y;
      (want ? hits : misses)++;
    }
  }
  // The bar inside the ring's hole misses; on its strokes it hits.
  EXPECT_GT(hits, 5);
  EXPECT_GT(misses, 5);
}

}  // namespace
}  // namespace vxl
