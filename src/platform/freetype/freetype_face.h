// Font faces through FreeType, opened on first use (platform/library, name "libfreetype"), so the
// launcher's start-up loads no library but the C library.
//
//   platform::freetype::Face* face = platform::freetype::OpenFaceFile("DejaVuSans.ttf");
//   if (face && platform::freetype::SetPixelSize(face, 16)) {
//     platform::freetype::GlyphImage g;
//     if (platform::freetype::RenderGlyph(face, platform::freetype::CharIndex(face, 'A'), g)) ...
//   }
//   platform::freetype::CloseFace(face);
//
// No FreeType type appears here. A Null face has no glyphs and refuses every size. Faces belong to the one FreeType library of the process, which
// is created by the first call that needs it and never released. Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vxl::platform::freetype {

// An open face (opaque).
struct Face;

// The face record and its size metrics as FreeType reports them (26.6 fixed point where noted).
struct FaceInfo {
  int32_t num_glyphs = 0;
  int32_t ascender = 0;   // 26.6, of the size set last
  int32_t descender = 0;  // 26.6
  int32_t height = 0;     // 26.6
};

// A rendered glyph. The bitmap is either 1 bit per pixel, most significant bit first, or one byte
// of coverage 0..255 per pixel; rows run downwards `pitch` bytes apart (pitch is never negative:
// bitmaps FreeType stores upwards, and 2-, 4-bit or other grey ranges, come converted to 8-bit
// coverage). `buffer` stays valid until the next RenderGlyph on the face or CloseFace.
struct GlyphImage {
  int32_t bitmap_left = 0;
  int32_t bitmap_top = 0;
  int32_t width = 0;
  int32_t rows = 0;
  int32_t pitch = 0;
  int32_t num_grays = 0;  // 256 for coverage bytes, 0 for 1-bit bitmaps
  int32_t advance_x = 0;  // 26.6
  const uint8_t* buffer = nullptr;
};

// Creates the FreeType library on first use; false when libfreetype cannot be loaded or fails to
// start.
bool Available();
// Face 0 of a font file; Null when the library is missing or FreeType cannot open it.
Face* OpenFaceFile(const char* path);
// Face 0 of a font file held in memory; the bytes must stay valid and unchanged until CloseFace.
Face* OpenFaceMemory(const uint8_t* data, size_t size);
// Requests a pixel height (width chosen by the face); false when the face refuses it.
bool SetPixelSize(Face* face, uint32_t pixels);
// The face record and the metrics of the size set last.
FaceInfo Info(Face* face);
// FreeType's glyph index of a character code (0: the face has none).
uint32_t CharIndex(Face* face, uint32_t code);
// Loads and renders glyph `index`; false when FreeType cannot, or its bitmap is of a kind that
// cannot be given as described above.
bool RenderGlyph(Face* face, uint32_t index, GlyphImage& out);
// Releases the face (Null does nothing).
void CloseFace(Face* face);

}  // namespace vxl::platform::freetype
