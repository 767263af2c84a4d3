#include "pixmap/loaders/bmp_loader.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "pixmap/loaders/loader_io.h"
#include "runtime/class_binder.h"
#include "memstream/endian_stream.h"

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
  int32_t tableSize;  // palette entries the depth indexes: 2, 16 or 256; 0 without a palette
  int64_t rowBytes;   // a file row: the row's bits rounded up to whole 32-bit words
  int32_t format;
};

// The header fields after the signature, in file order.
BmpHeader ReadHeader(TStream& stream) {
  BmpHeader h{};
  stream.ReadInt();  // file size
  stream.ReadInt();  // reserved
  h.dataOffset = stream.ReadInt();
  h.infoSize = stream.ReadInt();
  h.width = stream.ReadInt();
  h.height = stream.ReadInt();
  stream.ReadShort();  // planes
  h.bits = stream.ReadShort();
  h.compression = stream.ReadInt();
  stream.SkipBytes(12);  // image size, resolution
  h.coloursUsed = stream.ReadInt();
  stream.ReadInt();  // important colours
  h.tableSize = h.bits == 1 ? 2 : h.bits == 4 ? 16 : h.bits == 8 ? 256 : 0;
  h.rowBytes = (int64_t(h.width) * h.bits + 31) / 32 * 4;
  h.format = h.bits == 32 ? FORMAT_BGRA32 : FORMAT_BGR24;
  return h;
}

// Only the bottom-up, uncompressed layouts (32-bit bit fields included) with an info header of
// at least 40 bytes, whose pixels the stream can plausibly hold.
bool Supported(const BmpHeader& h, TStream& stream) {
  if (h.width <= 0 || h.height <= 0 || h.infoSize < kInfoHeaderBytes) return false;
  if (h.compression != kUncompressed && !(h.compression == kBitFields && h.bits == 32))
    return false;
  if (!h.tableSize && h.bits != 24 && h.bits != 32) return false;
  // 4 and 8 bits read `coloursUsed` entries. A 1-bit file has its two entries whatever that field
  // says. Deeper images may carry an optional colour table for palette displays: it is not used,
  // and the rows start at the pixel-data offset.
  if (h.bits != 1 && h.tableSize && (h.coloursUsed < 0 || h.coloursUsed > h.tableSize))
    return false;
  // Both the file's rows and the pixmap (rows of up to width * 4 + 3 bytes) fit a 32-bit size.
  const int64_t pixmapRow = int64_t(h.width) * FormatBytes[h.format] + 3;
  return std::max(h.rowBytes, pixmapRow) <= INT32_MAX / h.height &&
         PlausibleForStream(stream, h.rowBytes * h.height, 2);
}

// 32-bit pixels written as bit fields load when the masks put the channels where the
// uncompressed layout has them: blue, green, red, then alpha (or nothing) in the fourth byte.
// Returns the bytes read, or -1 for any other layout.
int32_t ReadBitFields(TStream& stream, const BmpHeader& h) {
  uint32_t masks[4] = {};
  const int32_t count = h.infoSize >= kInfoHeaderBytes + 16 ? 4 : 3;
  for (int32_t i = 0; i < count; ++i)
    masks[i] = static_cast<uint32_t>(stream.ReadInt());
  if (masks[0] != 0xFF0000 || masks[1] != 0xFF00 || masks[2] != 0xFF ||
      (masks[3] != 0 && masks[3] != 0xFF000000u))
    return -1;
  return 4 * count;
}

// Reads what lies between the 40-byte header and the rows: the masks, the rest of a newer (108-,
// 124-byte) header, the palette (blue, green, red, reserved; entries not read stay black), and a
// gap up to a pixel-data offset further on. False for masks this loader does not take.
bool ReadUpToRows(TStream& stream, const BmpHeader& h, uint8_t* palette) {
  int64_t at = kFileHeaderBytes + kInfoHeaderBytes;
  int32_t headerLeft = h.infoSize - kInfoHeaderBytes;
  if (h.compression == kBitFields) {
    int32_t masks = ReadBitFields(stream, h);
    if (masks < 0) return false;
    at += masks;
    headerLeft = std::max(headerLeft - masks, 0);  // the masks of a 40-byte header follow it
  }
  if (headerLeft > 0) {
    stream.SkipBytes(headerLeft);
    at += headerLeft;
  }
  if (h.tableSize) {
    int32_t entries = h.bits == 1 ? 2 : h.coloursUsed ? h.coloursUsed : h.tableSize;
    ReadOrZero(stream, palette, entries * 4);
    at += entries * 4;
  }
  if (h.dataOffset > at) stream.SkipBytes(int32_t(h.dataOffset - at));
  return true;
}

// The palette colours of one file row of 1, 4 or 8 bits, as FORMAT_BGRA32.
void LookUpRow(const BmpHeader& h, const uint8_t* row, const uint8_t* palette, uint8_t* bgra) {
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
}

// The rows, bottom row of the pixmap first; rows past the end of the data read as zero.
void ReadRows(TStream& stream, const BmpHeader& h, const uint8_t* palette, TPixmap& pixmap) {
  std::vector<uint8_t> row(static_cast<size_t>(h.rowBytes));
  std::vector<uint8_t> bgra(h.tableSize ? size_t(h.width) * 4 : 0);
  bool ended = false;
  for (int32_t y = h.height - 1; y >= 0; --y) {
    if (!ended)
      ended = ReadOrZero(stream, row.data(), int32_t(h.rowBytes)) < h.rowBytes;
    else
      std::memset(row.data(), 0, row.size());
    uint8_t* out = pixmap.PixelPtr(0, y);
    if (!h.tableSize) {
      std::memcpy(out, row.data(), size_t(h.width) * FormatBytes[h.format]);
      continue;
    }
    LookUpRow(h, row.data(), palette, bgra.data());
    TranslatePixels(bgra.data(), FORMAT_BGRA32, out, h.format, h.width);
  }
}

}  // namespace

Ref<TPixmap> TPixmapLoaderBMP::LoadPixmap(const Ref<TStream>& source) {
  Ref<TStream> stream = WrapLittleEndian(WithKnownSize(source));
  uint8_t signature[2];
  ReadOrZero(*stream, signature, 2);
  if (signature[0] != 'B' || signature[1] != 'M') return nullptr;
  const BmpHeader h = ReadHeader(*stream);
  uint8_t palette[256 * 4] = {};
  if (!Supported(h, *stream) || !ReadUpToRows(*stream, h, palette)) return nullptr;
  Ref<TPixmap> pixmap = TPixmap::Create(h.width, h.height, h.format, 4);
  ReadRows(*stream, h, palette, *pixmap);
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
