// Hostile bytes as a font file, read through a stream URL, every glyph (up to a cap) rendered at
// two sizes in the plain and the smooth style. Nothing may crash or hang; a font has a positive
// glyph count only as FreeType reports it, and every glyph picture is a FORMAT_ALPHA8 pixmap of
// the glyph's rectangle (the smooth one with a clear one-pixel border).
#include <cstdint>
#include <string>

#include "graphics/font/freetype/freetype_font.h"
#include "runtime/module.h"
#include "support/test_streams.h"

namespace {

using namespace vxl;

// Glyphs rendered per font and style: enough for every glyph of a small font, bounded for large
// glyph counts so one input stays fast.
constexpr int32_t kGlyphCap = 600;

std::string current;

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

// "fuzzbytes::" gives the input being fuzzed.
class TFuzzBytesFactory : public TStreamFactory {
 public:
  VXL_CLASS(TFuzzBytesFactory, TStreamFactory)
  Ref<TStream> CreateStream(const Ref<Object>&, const String& proto, const String&, int32_t,
                            int32_t) override {
    if (proto != String("fuzzbytes")) return nullptr;
    return test::TMemoryStream::Of(current);
  }
};
VXL_DEFINE_CLASS(TFuzzBytesFactory)

void CheckGlyph(const Ref<TGlyph>& glyph, bool smooth) {
  int32_t x, y, w, h;
  glyph->GetRect(x, y, w, h);
  Ref<TPixmap> p = glyph->Pixels().As<TPixmap>();
  if (!p) return;
  Check(p->format == FORMAT_ALPHA8 && p->width == w && p->height == h && w > 0 && h > 0);
  if (!smooth) return;
  for (int32_t i = 0; i < w; ++i)
    Check(*p->PixelPtr(i, 0) == 0 && *p->PixelPtr(i, h - 1) == 0);
  for (int32_t i = 0; i < h; ++i)
    Check(*p->PixelPtr(0, i) == 0 && *p->PixelPtr(w - 1, i) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    InitFreeTypeFontModule();
    New<TFuzzBytesFactory>();
    return true;
  }();
  (void)ready;
  current.assign(reinterpret_cast<const char*>(data), size);
  try {
    for (int32_t pixels : {7, 23}) {
      for (int32_t style : {0, SMOOTH_FONT_STYLE}) {
        Ref<TFont> font = LoadFontChain(String("fuzzbytes::font"), pixels, style);
        if (!font) continue;
        Check(font->CountGlyphs() >= 0);
        font->CharToGlyph('A');
        const int32_t n = std::min(font->CountGlyphs(), kGlyphCap);
        for (int32_t i = 0; i < n; ++i)
          CheckGlyph(font->LoadGlyph(i), style != 0);
      }
    }
  } catch (const Thrown&) {
    Check(false);  // a damaged font gives Null or empty glyphs, never a throw
  }
  return 0;
}
