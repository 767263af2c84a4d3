#include "graphics/kor2d/image_font.h"

#include "graphics/kor2d/ascii_font_data.h"
#include "runtime/class_binder.h"
#include "runtime/module.h"
#include "memstream/embedded_files.h"

namespace vxl {

VXL_DEFINE_CLASS(TImageGlyph)
VXL_DEFINE_CLASS(TImageFont)

namespace {

constexpr int32_t kDefaultGlyphs = 96;
constexpr int32_t kDefaultHeight = 16;

// The built-in font's bytes as a 768 x 16 FORMAT_RGBA32 pixmap: opaque white where a bit is set,
// transparent elsewhere.
Ref<TPixmap> DefaultFontPixmap() {
  const uint8_t* bits = EmbeddedFileData("vexelfont.bin");
  if (!bits || EmbeddedFileLength("vexelfont.bin") < kAsciiFont8x16Size) bits = kAsciiFont8x16;
  auto pixmap = TPixmap::Create(kDefaultGlyphs * 8, kDefaultHeight, FORMAT_RGBA32, 4);
  for (int32_t row = 0; row < kDefaultHeight; ++row) {
    auto* out = reinterpret_cast<uint32_t*>(pixmap->PixelPtr(0, row));
    for (int32_t j = 0; j < kDefaultGlyphs; ++j) {
      const uint8_t byte = bits[row * kDefaultGlyphs + j];
      for (int32_t k = 0; k < 8; ++k)
        out[j * 8 + k] = (byte >> k) & 1 ? 0xFFFFFFFFu : 0;
    }
  }
  return pixmap;
}

}  // namespace

Ref<Object> TImageGlyph::Pixels() {
  return _image;
}
float TImageGlyph::Advance() {
  return _advance;
}
void TImageGlyph::GetRect(int32_t& x, int32_t& y, int32_t& width, int32_t& height) {
  x = _x;
  y = _y;
  width = _w;
  height = _h;
}

void TImageGlyph::Bind(ClassBinder<TImageGlyph>& b) {
  b.Field<&TImageGlyph::_image>("_image");
  b.Field<&TImageGlyph::_advance>("_advance");
  b.Field<&TImageGlyph::_x>("_x");
  b.Field<&TImageGlyph::_y>("_y");
  b.Field<&TImageGlyph::_w>("_w");
  b.Field<&TImageGlyph::_h>("_h");
}

int32_t TImageFont::Style() {
  return _src_font ? _src_font->Style() : 0;
}
int32_t TImageFont::Height() {
  return _src_font ? _src_font->Height() : kDefaultHeight;
}
int32_t TImageFont::CountGlyphs() {
  return _glyphs.Length();
}

int32_t TImageFont::CharToGlyph(int32_t character) {
  if (_src_font) return _src_font->CharToGlyph(character);
  return character >= 32 && character < 128 ? character - 32 : -1;
}

Ref<TGlyph> TImageFont::LoadGlyph(int32_t index) {
  Ref<TImageGlyph>& slot = _glyphs[index];
  if (slot || !_src_font) return slot;
  Ref<TGlyph> source = _src_font->LoadGlyph(index);
  auto glyph = New<TImageGlyph>();
  if (source) {
    glyph->_advance = source->Advance();
    source->GetRect(glyph->_x, glyph->_y, glyph->_w, glyph->_h);
    if (auto pixmap = source->Pixels().As<TPixmap>())
      glyph->_image = TImage::Load(pixmap->Copy(), _imageFlags, 0, 0, 0);
  }
  slot = glyph;
  return slot;
}

void TImageFont::Draw(const String& text, float x, float y, float ix, float iy, float jx,
                      float jy) {
  for (int32_t i = 0; i < text.Length(); ++i) {
    const int32_t g = CharToGlyph(text[i]);
    if (g < 0) continue;
    Ref<TGlyph> loaded = LoadGlyph(g);
    auto glyph = loaded.As<TImageGlyph>();
    if (!glyph) continue;
    if (Ref<TImage> image = glyph->_image) {
      if (Ref<TImageFrame> frame = image->Frame(0)) {
        const float gx = static_cast<float>(glyph->_x);
        const float gy = static_cast<float>(glyph->_y);
        frame->Draw(0, 0, static_cast<float>(image->width), static_cast<float>(image->height),
                    x + gx * ix + gy * iy, y + gx * jx + gy * jy);
      }
    }
    x += ix * glyph->_advance;
    y += jx * glyph->_advance;
  }
}

Ref<TImageFont> TImageFont::Load(const Url& url, int32_t size, int32_t style) {
  Ref<TFont> source = LoadFontChain(url, size, style);
  if (!source) return nullptr;
  auto font = New<TImageFont>();
  font->_src_font = source;
  font->_glyphs = Array<Ref<TImageGlyph>>::New(source->CountGlyphs());
  font->_imageFlags = (style & SMOOTH_FONT_STYLE) ? FILTEREDIMAGE | MIPMAPPEDIMAGE : 0;
  return font;
}

Ref<TImageFont> TImageFont::CreateDefault() {
  Ref<TPixmap> strip = DefaultFontPixmap();
  auto font = New<TImageFont>();
  font->_glyphs = Array<Ref<TImageGlyph>>::New(kDefaultGlyphs);
  for (int32_t j = 0; j < kDefaultGlyphs; ++j) {
    auto glyph = New<TImageGlyph>();
    glyph->_advance = 8;
    glyph->_w = 8;
    glyph->_h = kDefaultHeight;
    glyph->_image = TImage::Load(strip->Window(8 * j, 0, 8, kDefaultHeight)->Copy(), 0, 0, 0, 0);
    font->_glyphs[j] = glyph;
  }
  return font;
}

void TImageFont::Bind(ClassBinder<TImageFont>& b) {
  b.AccessorField<&TImageFont::_SrcFont>("_src_font");
  b.AccessorField<&TImageFont::_Glyphs>("_glyphs");
  b.Field<&TImageFont::_imageFlags>("_imageFlags");
  b.Method<&TImageFont::Draw>("Draw");
}

int InitImageFontModule() {
  static ModuleGuard guard("image font");
  if (!guard.Started()) RegisterEmbeddedFile("vexelfont.bin", kAsciiFont8x16, kAsciiFont8x16Size);
  return guard.Run({InitCoreModule, InitImageModule, InitFontModule}, [] {
    RegisterClass<TImageGlyph>();
    RegisterClass<TImageFont>();
  });
}

}  // namespace vxl
