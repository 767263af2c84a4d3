// Image fonts: fonts whose glyphs are Kor2D images, made from any font on first use of a glyph,
// and the built-in 8 x 16 font of the printable ASCII characters ("vexelfont.bin").
//
//   Ref<TImageFont> font = TImageFont::Load(String("serif.ttf"), 24, SMOOTH_FONT_STYLE);
//   Ref<TImageFont> plain = TImageFont::CreateDefault();   // every glyph 8 x 16, advance 8
//   plain->Draw(String("Score"), 10, 10, 1, 0, 0, 1);     // through the current render driver
#pragma once

#include <cstdint>

#include "graphics/font/font.h"
#include "graphics/kor2d/image.h"

namespace vxl {

class TImageGlyph : public TGlyph {
 public:
  VXL_CLASS(TImageGlyph, TGlyph)
  Ref<TImage> _image;  // Null for an empty glyph
  float _advance = 0;
  int32_t _x = 0;
  int32_t _y = 0;
  int32_t _w = 0;
  int32_t _h = 0;

  Ref<Object> Pixels() override;
  float Advance() override;
  void GetRect(int32_t& x, int32_t& y, int32_t& width, int32_t& height) override;

  static void Bind(ClassBinder<TImageGlyph>& b);
};

class TImageFont : public TFont {
 public:
  VXL_CLASS(TImageFont, TFont)
  Ref<TFont> _src_font;             // Null for the built-in font
  Array<Ref<TImageGlyph>> _glyphs;  // one slot per glyph, Null until loaded
  int32_t _imageFlags = 0;          // flags of the glyph images

  // Without a source: style 0, height 16, characters 32..127 as glyphs 0..95.
  int32_t Style() override;
  int32_t Height() override;
  int32_t CountGlyphs() override;
  int32_t CharToGlyph(int32_t character) override;
  // The glyph, made from the source glyph on first use; an index outside the font raises
  // TArrayBoundsException.
  Ref<TGlyph> LoadGlyph(int32_t index) override;
  // Draws the text with the pen starting at (x, y), moving along (ix, jx) by each advance; the
  // glyph pictures are placed with the matrix (ix, iy, jx, jy). Characters without a glyph
  // neither draw nor move the pen.
  void Draw(const String& text, float x, float y, float ix, float iy, float jx, float jy);

  // An image font over the font the loader chain gives; Null when none does.
  static Ref<TImageFont> Load(const Url& url, int32_t size, int32_t style);
  // A new instance of the built-in font.
  static Ref<TImageFont> CreateDefault();

  static void Bind(ClassBinder<TImageFont>& b);

 private:
  Ref<TFont> _SrcFont() const { return _src_font; }
  Array<Ref<TImageGlyph>> _Glyphs() const { return _glyphs; }
};

// Registers "vexelfont.bin" (before its imports), then the image font classes.
int InitImageFontModule();

}  // namespace vxl
