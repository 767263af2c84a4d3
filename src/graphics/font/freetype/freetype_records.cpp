#include "graphics/font/freetype/freetype_records.h"

#include "runtime/class_binder.h"
#include "runtime/module.h"

namespace vxl {

VXL_DEFINE_CLASS(FTFace)
VXL_DEFINE_CLASS(FTMetrics)
VXL_DEFINE_CLASS(FTGlyph)

// The records are copies: writing them changes nothing FreeType holds.
void FTFace::Bind(ClassBinder<FTFace>& b) {
  b.Field<&FTFace::num_glyphs>("num_glyphs");
}

void FTMetrics::Bind(ClassBinder<FTMetrics>& b) {
  b.Field<&FTMetrics::ascender>("ascender");
  b.Field<&FTMetrics::descender>("descender");
  b.Field<&FTMetrics::height>("height");
}

void FTGlyph::Bind(ClassBinder<FTGlyph>& b) {
  b.Field<&FTGlyph::advance_x>("advance_x");
  b.Field<&FTGlyph::rows>("rows");
  b.Field<&FTGlyph::width>("width");
  b.Field<&FTGlyph::pitch>("pitch");
  b.Field<&FTGlyph::num_grays>("num_grays");
  b.Field<&FTGlyph::bitmap_left>("bitmap_left");
  b.Field<&FTGlyph::bitmap_top>("bitmap_top");
}

int InitZlibBindingModule() {
  static ModuleGuard guard("zlib binding");
  return guard.Run({InitCoreModule}, [] {});
}

int InitFreeTypeRecordsModule() {
  static ModuleGuard guard("FreeType records");
  return guard.Run({InitCoreModule, InitZlibBindingModule}, [] {
    RegisterClass<FTFace>();
    RegisterClass<FTMetrics>();
    RegisterClass<FTGlyph>();
  });
}

}  // namespace vxl
