// JPEG decoding and encoding between streams and pixmaps, over the native codec in platform/jpeg
// (libjpeg, whose types and messages stay there).
#pragma once

#include <cstdint>

#include "pixmap/pixmap.h"

namespace vxl {

// Decodes the JPEG at the stream's position, taken in place from the stream's buffered view or read
// with its Read 4096 bytes at a time. Grey images give FORMAT_GREY8, colour images FORMAT_RGB24;
// other component counts, damaged files and sizes the stream cannot hold give Null. Data that ends
// early after the first bytes is completed with an end-of-image marker, so a cut-short file still
// loads. An exception thrown by the stream passes through once the decoder is released.
Ref<TPixmap> JpegDecode(const Ref<TStream>& stream);

// Writes an RGB24 pixmap as a baseline JPEG of the given quality through the stream's Write.
// False when the encoder fails (a short write included).
bool JpegEncode(const Ref<TPixmap>& rgb, const Ref<TStream>& stream, int32_t quality);

// The libjpeg binding module.
int InitJpegCodecModule();

}  // namespace vxl
