// Font files through FreeType: TrueType, OpenType, BDF and whatever else FreeType opens, rendered
// glyph by glyph into FORMAT_ALPHA8 pixmaps.
//
//   Ref<TFont> serif = TFreeTypeFont::Load(String("fonts/serif.ttf"), 24, SMOOTH_FONT_STYLE);
//   Ref<TFont> packed = TFreeTypeFont::Load(String("incbin::ui.ttf"), 12, 0);  // read whole
//   Ref<TGlyph> g = serif->LoadGlyph(serif->CharToGlyph('A'));
//   Ref<TPixmap> coverage = g->Pixels().As<TPixmap>();      // Null for a space
//
// Usually reached through the font loader chain (OpenImageFont), where the FreeType module links
// its loader at the head. A URL containing "::" after its first character is read whole into a
// buffer the font keeps; any other string is a file path. The size is the pixel height asked for;
// a face that cannot give it opens at the largest smaller size it can (FreeType's own sizes end at
// 65 535); sizes below 1 give Null.
#pragma once

#include <cstdint>
#include <memory>

#include "graphics/font/font.h"
#include "graphics/font/freetype/freetype_records.h"
#include "pixmap/pixmap.h"

namespace vxl {

namespace platform::freetype {
struct Face;
}

class TFreeTypeGlyph : public TGlyph {
 public:
  VXL_CLASS(TFreeTypeGlyph, TGlyph)
  Ref<TPixmap> _pixmap;  // FORMAT_ALPHA8 coverage; Null for an empty glyph
  float _advance = 0;
  int32_t _x = 0;
  int32_t _y = 0;
  int32_t _w = 0;
  int32_t _h = 0;

  Ref<Object> Pixels() override;
  float Advance() override;
  void GetRect(int32_t& x, int32_t& y, int32_t& width, int32_t& height) override;

  static void Bind(ClassBinder<TFreeTypeGlyph>& b);
};

class TFreeTypeFont : public TFont {
 public:
  VXL_CLASS(TFreeTypeFont, TFont)
  Ref<FTFace> _face;                             // copy of the face record
  platform::freetype::Face* _ft_face = nullptr;  // the FreeType face, released with the font
  int32_t _style = 0;
  int32_t _height = 0;                 // pixels
  int32_t _ascend = 0;                 // pixels above the baseline
  int32_t _descend = 0;                // pixels, negative below the baseline
  Array<Ref<TFreeTypeGlyph>> _glyphs;  // one slot per glyph of the face, Null until loaded
  std::unique_ptr<uint8_t[]> _buf;     // the font file when it was read from a stream
  int32_t _buf_size = 0;

  ~TFreeTypeFont() override;

  int32_t Style() override;
  int32_t Height() override;
  int32_t CountGlyphs() override;
  // FreeType's glyph index of the character minus 1: -1 when the face has none.
  int32_t CharToGlyph(int32_t character) override;
  // The glyph, rendered on first use; an index outside the font raises TArrayBoundsException. A
  // glyph FreeType cannot render, or too large for a pixmap, is empty (no picture, advance 0).
  Ref<TGlyph> LoadGlyph(int32_t index) override;

  // The font, or Null when the URL is not a non-empty string, nothing can be read or FreeType
  // cannot open it at any size from the one asked down to 1.
  static Ref<TFreeTypeFont> Load(const Ref<Object>& src, int32_t size, int32_t style);

  static void Bind(ClassBinder<TFreeTypeFont>& b);

 private:
  Ref<FTFace> _Face() const { return _face; }
  Array<Ref<TFreeTypeGlyph>> _Glyphs() const { return _glyphs; }
  int32_t _BufSize() const { return _buf_size; }
};

class TFreeTypeFontLoader : public TFontLoader {
 public:
  VXL_CLASS(TFreeTypeFontLoader, TFontLoader)
  // TFreeTypeFont.Load for a string of at least one character; Null for anything else.
  Ref<TFont> LoadFont(const Ref<Object>& url, int32_t size, int32_t style) override;
};

int InitFreeTypeFontModule();

}  // namespace vxl
