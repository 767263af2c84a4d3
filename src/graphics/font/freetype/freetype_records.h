// The FreeType records the font reads, mirrored field by field in framework classes (26.6 fixed
// point where FreeType uses it), so no FreeType type is seen outside its native layer.
#pragma once

#include <cstdint>

#include "runtime/runtime.h"

namespace vxl {

// The face record: what the font keeps of it.
class FTFace : public Object {
 public:
  VXL_CLASS(FTFace, Object)
  int32_t num_glyphs = 0;

  static void Bind(ClassBinder<FTFace>& b);
};

// The size metrics of the pixel size set on a face.
class FTMetrics : public Object {
 public:
  VXL_CLASS(FTMetrics, Object)
  int32_t ascender = 0;   // 26.6
  int32_t descender = 0;  // 26.6, negative below the baseline
  int32_t height = 0;     // 26.6

  static void Bind(ClassBinder<FTMetrics>& b);
};

// The glyph slot after rendering (its bitmap is handed over separately).
class FTGlyph : public Object {
 public:
  VXL_CLASS(FTGlyph, Object)
  int32_t advance_x = 0;  // 26.6
  int32_t rows = 0;
  int32_t width = 0;
  int32_t pitch = 0;
  int32_t num_grays = 0;  // 256 for coverage bytes, 0 for 1-bit bitmaps
  int32_t bitmap_left = 0;
  int32_t bitmap_top = 0;

  static void Bind(ClassBinder<FTGlyph>& b);
};

// FreeType reads compressed fonts with its own zlib; this module has nothing to register.
int InitZlibBindingModule();
int InitFreeTypeRecordsModule();

}  // namespace vxl
