// Fonts: the abstract glyph and font, and the chain of font loaders.
//
//   Ref<TFont> font = LoadFontChain(String("fonts/serif.ttf"), 24, SMOOTH_FONT_STYLE);
//   int32_t g = font->CharToGlyph('A');                 // -1 when the font has no such glyph
//   if (g >= 0) width += font->LoadGlyph(g)->Advance();
//
// Text is drawn through an image font (graphics/kor2d/image_font.h), which turns the glyphs of
// any font into images.
#pragma once

#include <cstdint>

#include "runtime/runtime.h"
#include "stream/url.h"

namespace vxl {

// Font style bits. Smooth glyphs are scaled with filtering; bits 1 and 2 are kept and reported
// but change nothing.
constexpr int32_t BOLD_FONT_STYLE = 1;
constexpr int32_t ITALIC_FONT_STYLE = 2;
constexpr int32_t SMOOTH_FONT_STYLE = 4;

class TGlyph : public Object {
 public:
  VXL_CLASS(TGlyph, Object)
  // The glyph's picture: a pixmap or an image, Null for an empty glyph (abstract).
  virtual Ref<Object> Pixels();
  // The horizontal advance in pixels (abstract).
  virtual float Advance();
  // The picture's offset from the pen (x right, y down from the top of the line) and its size
  // (abstract).
  virtual void GetRect(int32_t& x, int32_t& y, int32_t& width, int32_t& height);

  static void Bind(ClassBinder<TGlyph>& b);
};

class TFont : public Object {
 public:
  VXL_CLASS(TFont, Object)
  // All abstract.
  virtual int32_t Style();
  // The line height in pixels.
  virtual int32_t Height();
  virtual int32_t CountGlyphs();
  // The glyph index of a character, -1 when there is none.
  virtual int32_t CharToGlyph(int32_t character);
  virtual Ref<TGlyph> LoadGlyph(int32_t index);

  static void Bind(ClassBinder<TFont>& b);
};

// Opens one kind of font file. Loaders are linked with AddFontLoaderLink.
class TFontLoader : public Object {
 public:
  VXL_CLASS(TFontLoader, Object)
  Ref<TFontLoader> _succ;

  // The font at `url` in `size` pixels, or Null when it is not this loader's (abstract).
  virtual Ref<TFont> LoadFont(const Ref<Object>& url, int32_t size, int32_t style);

  static void Bind(ClassBinder<TFontLoader>& b);

 private:
  Ref<TFontLoader> _Succ() const;
};

// Links a loader at the head of the chain (newest first). A loader already in the chain is not
// linked again.
void AddFontLoaderLink(const Ref<TFontLoader>& loader);
// The first font a loader gives, asking from the head of the chain; Null when none does.
Ref<TFont> LoadFontChain(const Url& url, int32_t size, int32_t style);
// The head of the loader chain (Null while there is none).
Ref<TFontLoader> FontLoaders();

int InitFontModule();

}  // namespace vxl
