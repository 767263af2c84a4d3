#include "pixmap/loaders/bmp_loader.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "pixmap/loaders/loader_io.h"
#include "runtime/class_binder.h"
#include "stream/memory/endian_stream.h"

namespace vxl {

VXL_DEFINE_CLASS(TPixmapLoaderBMP)

namespace {

constexpr int32_t kFileHeaderBytes = 14;
constexpr int32_t kInfoHeaderBytes = 40;
constexpr int32_t kUncompressed = 0;
// Uncompressed pixels whose channels are placed by masks: red, green and blue (and alpha in
// headers of 56 bytes or more) follow the 40-byte part of the header.
constexpr int32_t kBitFields = 3;

struct BmpHeader {
  int32_t dataOffset, infoSize, width, height, bits, compression, coloursUsed;
};

// A file row: the row's bits rounded up to whole 32-bit words.
int64_t FileRowBytes(int32_t width, int32_t bits) {
  return (int64_t(width) * bits + 31) / 32 * 4;
}

}  // namespace

Ref<TPixmap> TPixmapLoaderBMP::LoadPixmap(const Ref<TStream>& source) {
  Ref<TStream> stream = WrapLittleEndian(source);
  uint8_t signature[2];
  ReadOrZero(*stream, signature, 2);
  if (signature[0] != 'B' || signature[1] != 'M') return nullptr;

  BmpHeader h;
  stream->ReadInt();  // file size
  stream->ReadInt();  // reserved
  h.dataOffset = stream->ReadInt();
  h.infoSize = stream->ReadInt();
  h.width = stream->ReadInt();
  h.height = stream->ReadInt();
  stream->ReadShort();  // planes
  h.bits = stream->ReadShort();
  h.compression = stream->ReadInt();
  stream->SkipBytes(12);  // image size, resolution
  h.coloursUsed = stream->ReadInt();
  stream->ReadInt();  // important colours

  // Only the bottom-up, uncompressed layouts (32-bit bit fields included) with an info header of
  // at least 40 bytes.
  if (h.width <= 0 || h.height <= 0 || h.infoSize < kInfoHeaderBytes) return nullptr;
  if (h.compression != kUncompressed && !(h.compression == kBitFields && h.bits == 32))
    return nullptr;
  int32_t tableSize = 0;
  switch (h.bits) {
    case 1:
      tableSize = 2;
      break;
    case 4:
      tableSize = 16;
      break;
    case 8:
      tableSize = 256;
      break;
    case 24:
    case 32:
      break;
    default:
      return nullptr;
  }
  // The palette depths read `coloursUsed` entries. Deeper images may carry an optional colour
  // table for palette displays: it is not used, and the rows start at the pixel-data offset.
  if (tableSize && (h.coloursUsed < 0 || h.coloursUsed > tableSize)) return nullptr;
  const int64_t rowBytes = FileRowBytes(h.width, h.bits);
  const int32_t format = h.bits == 32 ? FORMAT_BGRA32 : FORMAT_BGR24;
  // Both the file's rows and the pixmap (rows of up to width * 4 + 3 bytes) fit a 32-bit size.
  const int64_t pixmapRow = int64_t(h.width) * FormatBytes[format] + 3;
  if (std::max(rowBytes, pixmapRow) > INT32_MAX / h.height ||
      !PlausibleForStream(*stream, rowBytes * h.height, 2))
    return nullptr;

  // Newer info headers (108, 124 bytes) carry more after the 40-byte part; the palette follows
  // the header of the stated size.
  int64_t at = kFileHeaderBytes + kInfoHeaderBytes;
  int32_t headerLeft = h.infoSize - kInfoHeaderBytes;
  if (h.compression == kBitFields) {
    // 32-bit pixels written as bit fields load when the masks put the channels where the
    // uncompressed layout has them: blue, green, red, then alpha (or nothing) in the fourth byte.
    uint32_t masks[4] = {};
    const int32_t count = h.infoSize >= kInfoHeaderBytes + 16 ? 4 : 3;
    for (int32_t i = 0; i < count; ++i)
      masks[i] = static_cast<uint32_t>(stream->ReadInt());
    if (masks[0] != 0xFF0000 || masks[1] != 0xFF00 || masks[2] != 0xFF ||
        (masks[3] != 0 && masks[3] != 0xFF000000u))
      return nullptr;
    at += 4 * count;
    headerLeft = std::max(headerLeft - 4 * count, 0);  // the masks of a 40-byte header follow it
  }
  if (headerLeft > 0) {
    stream->SkipBytes(headerLeft);
    at += headerLeft;
  }
  uint8_t palette[256 * 4] = {};  // blue, green, red, reserved; entries not read are black
  if (tableSize) {
    int32_t entries = h.bits == 1 ? 2 : h.coloursUsed ? h.coloursUsed : tableSize;
    ReadOrZero(*stream, palette, entries * 4);
    at += entries * 4;
  }
  // Rows start at the stated pixel-data offset when that lies further on (files with a gap or a
  // colour-mask block); otherwise right after the palette.
  if (h.dataOffset > at) stream->SkipBytes(int32_t(h.dataOffset - at));

  Ref<TPixmap> pixmap = TPixmap::Create(h.width, h.height, format, 4);
  std::vector<uint8_t> row(static_cast<size_t>(rowBytes));
  std::vector<uint8_t> bgra(tableSize ? size_t(h.width) * 4 : 0);
  bool ended = false;
  for (int32_t y = h.height - 1; y >= 0; --y) {
    if (!ended)
      ended = ReadOrZero(*stream, row.data(), int32_t(rowBytes)) < rowBytes;
    else
      std::memset(row.data(), 0, row.size());
    uint8_t* out = pixmap->PixelPtr(0, y);
    if (!tableSize) {
      std::memcpy(out, row.data(), size_t(h.width) * FormatBytes[format]);
      continue;
    }
    for (int32_t x = 0; x < h.width; ++x) {
      int32_t index;
      if (h.bits == 1)
        index = (row[x >> 3] >> (7 - (x & 7))) & 1;
      else if (h.bits == 4)
        index = (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
      else
        index = row[x];
      std::memcpy(&bgra[size_t(x) * 4], &palette[index * 4], 4);
    }
    TranslatePixels(bgra.data(), FORMAT_BGRA32, out, format, h.width);
  }
  return pixmap;
}

int InitBmpLoaderModule() {
  static ModuleGuard guard("BMP loader");
  return guard.Run({InitCoreModule, InitPixmapModule, InitEndianStreamModule}, [] {
    RegisterClass<TPixmapLoaderBMP>();
    New<TPixmapLoaderBMP>();
  });
}

}  // namespace vxl
