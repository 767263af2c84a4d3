#include "platform/freetype/freetype_face.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <limits>
#include <vector>

#include "platform/library/lazy_library.h"

namespace vxl::platform::freetype {

struct Face {
  FT_Face face = nullptr;
  std::vector<uint8_t> converted;  // the last glyph's bitmap when it had to be converted
};

namespace {

struct Library {
  decltype(&::FT_Init_FreeType) Init_FreeType;
  decltype(&::FT_New_Face) New_Face;
  decltype(&::FT_New_Memory_Face) New_Memory_Face;
  decltype(&::FT_Set_Pixel_Sizes) Set_Pixel_Sizes;
  decltype(&::FT_Get_Char_Index) Get_Char_Index;
  decltype(&::FT_Load_Glyph) Load_Glyph;
  decltype(&::FT_Done_Face) Done_Face;
};

const Library* FreeTypeLibrary() {
  Library& t = EntryPoints<Library>();
  static LazyLibrary& library = LazyLibrary::Define(
      "libfreetype", {"libfreetype.so.6", "libfreetype.so"},
      {Required("FT_Init_FreeType", t.Init_FreeType), Required("FT_New_Face", t.New_Face),
       Required("FT_New_Memory_Face", t.New_Memory_Face),
       Required("FT_Set_Pixel_Sizes", t.Set_Pixel_Sizes),
       Required("FT_Get_Char_Index", t.Get_Char_Index), Required("FT_Load_Glyph", t.Load_Glyph),
       Required("FT_Done_Face", t.Done_Face)});
  return library.Load() ? &t : nullptr;
}

// The process's FreeType library, made on first use (never released: faces may outlive any
// owner that would release it). Null when it cannot be made.
FT_Library Handle() {
  static FT_Library handle = [] {
    FT_Library made = nullptr;
    const Library* ft = FreeTypeLibrary();
    if (ft && ft->Init_FreeType(&made) != 0) made = nullptr;
    return made;
  }();
  return handle;
}

int32_t Clamp32(long v) {
  return static_cast<int32_t>(std::clamp<long>(v, std::numeric_limits<int32_t>::min(),
                                               std::numeric_limits<int32_t>::max()));
}

template <class Open>
Face* Wrap(Open open) {
  FT_Face face = nullptr;
  if (open(&face) != 0 || !face) return nullptr;
  return new Face{face, {}};
}

// The bitmap as 8-bit coverage rows running downwards, or false when its mode has no coverage
// form here.
bool ToCoverage(const FT_Bitmap& b, std::vector<uint8_t>& out) {
  const int32_t width = int32_t(b.width), rows = int32_t(b.rows);
  int bits;
  switch (b.pixel_mode) {
    case FT_PIXEL_MODE_MONO:
      bits = 1;
      break;
    case FT_PIXEL_MODE_GRAY2:
      bits = 2;
      break;
    case FT_PIXEL_MODE_GRAY4:
      bits = 4;
      break;
    case FT_PIXEL_MODE_GRAY:
      bits = 8;
      break;
    default:
      return false;
  }
  const int32_t levels = bits == 8 ? std::max<int32_t>(b.num_grays, 2) : 1 << bits;
  const int64_t stride = b.pitch < 0 ? -int64_t(b.pitch) : int64_t(b.pitch);
  if (stride * 8 < int64_t(width) * bits) return false;
  out.resize(size_t(width) * rows);
  for (int32_t y = 0; y < rows; ++y) {
    // An upward bitmap starts with its bottom row.
    const uint8_t* row = b.buffer + (b.pitch < 0 ? (rows - 1 - y) : y) * stride;
    for (int32_t x = 0; x < width; ++x) {
      const int64_t bit = int64_t(x) * bits;
      const unsigned value = (row[bit >> 3] >> (8 - bits - (bit & 7))) & ((1u << bits) - 1);
      out[size_t(y) * width + x] =
          uint8_t(std::min<unsigned>(255, value * 255 / unsigned(levels - 1)));
    }
  }
  return true;
}

}  // namespace

bool Available() {
  return Handle() != nullptr;
}

Face* OpenFaceFile(const char* path) {
  FT_Library library = Handle();
  if (!library) return nullptr;
  return Wrap([&](FT_Face* face) { return FreeTypeLibrary()->New_Face(library, path, 0, face); });
}

Face* OpenFaceMemory(const uint8_t* data, size_t size) {
  FT_Library library = Handle();
  if (!library || size > size_t(std::numeric_limits<FT_Long>::max())) return nullptr;
  return Wrap([&](FT_Face* face) {
    return FreeTypeLibrary()->New_Memory_Face(library, data, FT_Long(size), 0, face);
  });
}

bool SetPixelSize(Face* face, uint32_t pixels) {
  if (!face) return false;
  return FreeTypeLibrary()->Set_Pixel_Sizes(face->face, 0, pixels) == 0;
}

FaceInfo Info(Face* face) {
  FaceInfo info;
  if (!face) return info;
  info.num_glyphs = Clamp32(face->face->num_glyphs);
  if (const FT_Size size = face->face->size) {
    info.ascender = Clamp32(size->metrics.ascender);
    info.descender = Clamp32(size->metrics.descender);
    info.height = Clamp32(size->metrics.height);
  }
  return info;
}

uint32_t CharIndex(Face* face, uint32_t code) {
  if (!face) return 0;
  return FreeTypeLibrary()->Get_Char_Index(face->face, code);
}

bool RenderGlyph(Face* face, uint32_t index, GlyphImage& out) {
  if (!face) return false;
  if (FreeTypeLibrary()->Load_Glyph(face->face, index, FT_LOAD_RENDER) != 0) return false;
  const FT_GlyphSlot slot = face->face->glyph;
  const FT_Bitmap& b = slot->bitmap;
  if (b.width > uint32_t(std::numeric_limits<int32_t>::max()) ||
      b.rows > uint32_t(std::numeric_limits<int32_t>::max()))
    return false;
  out = GlyphImage{};
  out.bitmap_left = slot->bitmap_left;
  out.bitmap_top = slot->bitmap_top;
  out.width = int32_t(b.width);
  out.rows = int32_t(b.rows);
  out.advance_x = Clamp32(slot->advance.x);
  if (out.width == 0 || out.rows == 0 || !b.buffer) return true;
  const bool direct = b.pitch >= 0 && ((b.pixel_mode == FT_PIXEL_MODE_GRAY && b.num_grays == 256) ||
                                       b.pixel_mode == FT_PIXEL_MODE_MONO);
  if (direct) {
    out.pitch = b.pitch;
    out.num_grays = b.pixel_mode == FT_PIXEL_MODE_GRAY ? 256 : 0;
    out.buffer = b.buffer;
    return true;
  }
  if (!ToCoverage(b, face->converted)) return false;
  out.pitch = out.width;
  out.num_grays = 256;
  out.buffer = face->converted.data();
  return true;
}

void CloseFace(Face* face) {
  if (!face) return;
  FreeTypeLibrary()->Done_Face(face->face);
  delete face;
}

}  // namespace vxl::platform::freetype
