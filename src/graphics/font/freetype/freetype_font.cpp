#include "graphics/font/freetype/freetype_font.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/freetype/freetype_face.h"
#include "runtime/class_binder.h"
#include "runtime/module.h"
#include "stream/stream.h"

namespace vxl {

VXL_DEFINE_CLASS(TFreeTypeGlyph)
VXL_DEFINE_CLASS(TFreeTypeFont)
VXL_DEFINE_CLASS(TFreeTypeFontLoader)

namespace ft = platform::freetype;

namespace {

// FreeType's largest pixel size: asking for more gives the same font.
constexpr int32_t kLargestPixelSize = 65535;

// An ALPHA8 pixmap of w x h with 4-byte rows fits the pixmap size limit.
bool PixmapCanHold(int32_t w, int32_t h) {
  const int64_t pitch = (int64_t(w) + 3) / 4 * 4;
  return pitch * h <= std::numeric_limits<int32_t>::max();
}

// The glyph's coverage in a FORMAT_ALPHA8 pixmap with `border` clear pixels around it, written in
// one pass: grey rows copied, 1-bit rows expanded most significant bit first (a set bit 255).
Ref<TPixmap> CoveragePixmap(const ft::GlyphImage& g, int32_t border) {
  Ref<TPixmap> p = TPixmap::Create(g.width + 2 * border, g.rows + 2 * border, FORMAT_ALPHA8, 4);
  if (border > 0) p->ClearPixels(0);
  for (int32_t y = 0; y < g.rows; ++y) {
    const uint8_t* row = g.buffer + int64_t(y) * g.pitch;
    uint8_t* out = p->PixelPtr(border, y + border);
    if (g.num_grays == 256) {
      std::memcpy(out, row, size_t(g.width));
    } else {
      for (int32_t x = 0; x < g.width; ++x)
        out[x] = (row[x >> 3] >> (7 - (x & 7)) & 1) ? 255 : 0;
    }
  }
  return p;
}

}  // namespace


Ref<Object> TFreeTypeGlyph::Pixels() {
  return _pixmap;
}

float TFreeTypeGlyph::Advance() {
  return _advance;
}

void TFreeTypeGlyph::GetRect(int32_t& x, int32_t& y, int32_t& width, int32_t& height) {
  x = _x;
  y = _y;
  width = _w;
  height = _h;
}

void TFreeTypeGlyph::Bind(ClassBinder<TFreeTypeGlyph>& b) {
  b.Field<&TFreeTypeGlyph::_pixmap>("_pixmap");
  b.Field<&TFreeTypeGlyph::_advance>("_advance");
  b.Field<&TFreeTypeGlyph::_x>("_x");
  b.Field<&TFreeTypeGlyph::_y>("_y");
  b.Field<&TFreeTypeGlyph::_w>("_w");
  b.Field<&TFreeTypeGlyph::_h>("_h");
}


TFreeTypeFont::~TFreeTypeFont() {
  // The face reads _buf until it is released, so it goes first.
  ft::CloseFace(_ft_face);
}

int32_t TFreeTypeFont::Style() {
  return _style;
}

int32_t TFreeTypeFont::Height() {
  return _height;
}

int32_t TFreeTypeFont::CountGlyphs() {
  return _glyphs.Length();
}

int32_t TFreeTypeFont::CharToGlyph(int32_t character) {
  return int32_t(ft::CharIndex(_ft_face, uint32_t(character))) - 1;
}

Ref<TGlyph> TFreeTypeFont::LoadGlyph(int32_t index) {
  Ref<TFreeTypeGlyph>& slot = _glyphs[index];
  if (slot) return slot;
  auto glyph = New<TFreeTypeGlyph>();
  slot = glyph;
  ft::GlyphImage g;
  if (!ft::RenderGlyph(_ft_face, uint32_t(index) + 1, g)) return glyph;
  const bool smooth = (_style & SMOOTH_FONT_STYLE) != 0;
  if (g.width > 0 && (!g.buffer || g.rows < 1 ||
                      !PixmapCanHold(g.width + (smooth ? 2 : 0), g.rows + (smooth ? 2 : 0))))
    return glyph;  // nothing a pixmap can hold: stays empty
  glyph->_x = g.bitmap_left;
  glyph->_y = _ascend - g.bitmap_top;
  glyph->_w = g.width;
  glyph->_h = g.rows;
  glyph->_advance = float(g.advance_x >> 6);
  if (g.width == 0) return glyph;
  if (smooth) {
    // A clear border, so that filtered scaling fades to transparency at the edges.
    glyph->_x -= 1;
    glyph->_y -= 1;
    glyph->_w += 2;
    glyph->_h += 2;
  }
  Ref<TPixmap> pixmap = CoveragePixmap(g, smooth ? 1 : 0);
  glyph->_pixmap = pixmap;
  return glyph;
}

Ref<TFreeTypeFont> TFreeTypeFont::Load(const Ref<Object>& src, int32_t size, int32_t style) {
  if (!String::IsString(src.Get()) || size < 1) return nullptr;
  if (!ft::Available()) return nullptr;
  const String url = String::Of(src);
  auto font = New<TFreeTypeFont>();
  if (url.View().find(u"::", 1) != std::u16string_view::npos) {
    Array<uint8_t> bytes = BytesFromUrl(url);
    if (bytes.IsEmpty()) return nullptr;
    font->_buf = std::make_unique<uint8_t[]>(size_t(bytes.Length()));
    std::memcpy(font->_buf.get(), bytes.Data(), size_t(bytes.Length()));
    font->_buf_size = bytes.Length();
    font->_ft_face = ft::OpenFaceMemory(font->_buf.get(), size_t(font->_buf_size));
  } else {
    font->_ft_face = ft::OpenFaceFile(url.ToCString().c_str());
  }
  if (!font->_ft_face) return nullptr;
  int32_t pixels = std::min(size, kLargestPixelSize);
  while (pixels > 0 && !ft::SetPixelSize(font->_ft_face, uint32_t(pixels)))
    --pixels;
  if (pixels == 0) return nullptr;  // the face is released with the font
  const ft::FaceInfo info = ft::Info(font->_ft_face);
  font->_face = New<FTFace>();
  font->_face->num_glyphs = info.num_glyphs;
  font->_style = style;
  font->_height = info.height >> 6;
  font->_ascend = info.ascender >> 6;
  font->_descend = info.descender >> 6;
  font->_glyphs = Array<Ref<TFreeTypeGlyph>>::New(std::max(info.num_glyphs, 0));
  return font;
}

void TFreeTypeFont::Bind(ClassBinder<TFreeTypeFont>& b) {
  // The face, the glyph slots and the buffer belong to the FreeType face: read-only.
  b.AccessorField<&TFreeTypeFont::_Face>("_face");
  b.Field<&TFreeTypeFont::_style>("_style");
  b.Field<&TFreeTypeFont::_height>("_height");
  b.Field<&TFreeTypeFont::_ascend>("_ascend");
  b.Field<&TFreeTypeFont::_descend>("_descend");
  b.AccessorField<&TFreeTypeFont::_Glyphs>("_glyphs");
  b.AccessorField<&TFreeTypeFont::_BufSize>("_buf_size");
}


Ref<TFont> TFreeTypeFontLoader::LoadFont(const Ref<Object>& url, int32_t size, int32_t style) {
  if (!String::IsString(url.Get()) || String::Of(url).IsEmpty()) return nullptr;
  return TFreeTypeFont::Load(url, size, style);
}

int InitFreeTypeFontModule() {
  static ModuleGuard guard("FreeType font");
  return guard.Run({InitCoreModule, InitStreamModule, InitPixmapModule, InitFontModule,
                    InitZlibBindingModule, InitFreeTypeRecordsModule},
                   [] {
                     RegisterClass<TFreeTypeGlyph>();
                     RegisterClass<TFreeTypeFont>();
                     RegisterClass<TFreeTypeFontLoader>();
                     AddFontLoaderLink(New<TFreeTypeFontLoader>());
                   });
}

}  // namespace vxl
