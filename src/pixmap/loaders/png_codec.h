// The libpng binding: PNG decoding and encoding between streams and pixmaps. The library's
// types stay inside png_codec.cpp; its errors and warnings are trapped and never printed.
#pragma once

#include <cstdint>

#include "pixmap/pixmap.h"

namespace vxl {

// True when the 8 bytes are the PNG signature.
bool IsPngSignature(const uint8_t bytes[8]);

// Decodes the PNG whose signature has just been read from `stream`. Palette, low bit depth and
// 16-bit images arrive as 8 bits per channel; grey gives FORMAT_GREY8, RGB FORMAT_RGB24, and
// anything with alpha (transparency chunks included) FORMAT_RGBA32, grey copied into red, green
// and blue. Null for a damaged or truncated file, or one whose size the stream cannot hold. An
// exception thrown by the stream passes through once the decoder is released.
Ref<TPixmap> DecodePng(const Ref<TStream>& stream);

// Writes the pixmap as an 8-bit PNG (grey, RGB or RGBA; other formats as RGBA) with zlib level
// 0 to 9. False when the encoder fails; exceptions of the stream pass through.
bool EncodePng(const Ref<TPixmap>& pixmap, const Ref<TStream>& stream, int32_t level);

// The libpng binding module.
int InitPngCodecModule();

}  // namespace vxl
