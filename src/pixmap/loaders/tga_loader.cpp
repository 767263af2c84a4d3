#include "pixmap/loaders/tga_loader.h"

#include <cstring>
#include <vector>

#include "pixmap/loaders/loader_io.h"
#include "runtime/class_binder.h"
#include "memstream/endian_stream.h"

namespace vxl {

VXL_DEFINE_CLASS(tgahdr)
VXL_DEFINE_CLASS(TPixmapLoaderTGA)

void tgahdr::Bind(ClassBinder<tgahdr>& b) {
  b.Field<&tgahdr::idlen>("idlen");
  b.Field<&tgahdr::colourmaptype>("colourmaptype");
  b.Field<&tgahdr::imgtype>("imgtype");
  b.Field<&tgahdr::indexlo>("indexlo");
  b.Field<&tgahdr::indexhi>("indexhi");
  b.Field<&tgahdr::lenlo>("lenlo");
  b.Field<&tgahdr::lenhi>("lenhi");
  b.Field<&tgahdr::cosize>("cosize");
  b.Field<&tgahdr::x0>("x0");
  b.Field<&tgahdr::y0>("y0");
  b.Field<&tgahdr::width>("width");
  b.Field<&tgahdr::height>("height");
  b.Field<&tgahdr::psize>("psize");
  b.Field<&tgahdr::attbits>("attbits");
}

namespace {

constexpr int32_t kMaxSide = 4096;

// Expands n stored 15- or 16-bit pixels at the start of `row` into `format` (RGB24 or RGBA32) in
// place. The last pixel goes first, so no stored pixel is overwritten before it is read.
void Expand16InPlace(uint8_t* row, int32_t bits, int32_t format, int32_t n) {
  const int32_t out = FormatBytes[format];
  for (int32_t i = n - 1; i >= 0; --i) {
    uint32_t v = uint32_t(row[2 * i]) | uint32_t(row[2 * i + 1]) << 8;
    uint8_t* d = row + size_t(i) * out;
    d[0] = uint8_t((v >> 7) & 0xF8);
    d[1] = uint8_t((v >> 2) & 0xF8);
    d[2] = uint8_t((v << 3) & 0xF8);
    if (out == 4) d[3] = bits == 16 && (v & 0x8000) ? 0 : 255;
  }
}

}  // namespace

Ref<TPixmap> TPixmapLoaderTGA::LoadPixmap(const Ref<TStream>& source) {
  Ref<TStream> stream = WrapLittleEndian(WithKnownSize(source));
  auto h = New<tgahdr>();
  uint8_t first[8];
  ReadOrZero(*stream, first, 8);
  h->idlen = first[0], h->colourmaptype = first[1], h->imgtype = first[2];
  h->indexlo = first[3], h->indexhi = first[4], h->lenlo = first[5], h->lenhi = first[6];
  h->cosize = first[7];
  h->x0 = uint16_t(stream->ReadShort());
  h->y0 = uint16_t(stream->ReadShort());
  h->width = uint16_t(stream->ReadShort());
  h->height = uint16_t(stream->ReadShort());
  h->psize = uint8_t(stream->ReadByte());
  h->attbits = uint8_t(stream->ReadByte());

  const int32_t bits = h->psize, width = h->width, height = h->height;
  // Type 1 (colour-mapped) would pass the header test but has no pixels this loader can decode.
  if (h->colourmaptype != 0 || (h->imgtype != 2 && h->imgtype != 10)) return nullptr;
  if (bits != 15 && bits != 16 && bits != 24 && bits != 32) return nullptr;
  if (width < 1 || width > kMaxSide || height < 1 || height > kMaxSide) return nullptr;

  const int32_t format = bits == 16 || bits == 32 ? FORMAT_RGBA32 : FORMAT_RGB24;
  const int32_t stored = (bits + 7) / 8;
  // The fewest bytes the pixels can take: every value stored, or one run packet per 128 pixels
  // (packets never cross rows). A file claiming far more pixels than that is damaged.
  const int64_t packetsPerRow = (width + 127) / 128;
  const int64_t fewest =
      h->imgtype == 2 ? int64_t(width) * height * stored : packetsPerRow * height * (1 + stored);
  if (!PlausibleForStream(*stream, fewest, 2)) return nullptr;
  Ref<TPixmap> pixmap = TPixmap::Create(width, height, format, 4);
  stream->SkipBytes(h->idlen);

  // Rows are read as stored straight into the pixmap (the stored pixels never take more room than
  // the converted ones) and converted there.
  bool ended = false;
  auto read = [&](uint8_t* buf, int32_t n) {
    if (ended)
      std::memset(buf, 0, size_t(n));
    else
      ended = ReadOrZero(*stream, buf, n) < n;
  };
  // Bit 5 of the descriptor: the file starts with the top row (as many tools write it); else
  // with the bottom row.
  const bool topFirst = (h->attbits & 0x20) != 0;
  const int32_t storedFormat = bits == 32 ? FORMAT_BGRA32 : FORMAT_BGR24;
  const int32_t rowBytes = width * stored;
  if (h->imgtype == 2 && bits > 16 && pixmap->pitch == rowBytes) {
    // The rows lie in the file as they lie in the pixmap: one read takes them all, and one pass
    // converts them, turning the image upside down on the way when its bottom row came first.
    read(pixmap->pixels, rowBytes * height);
    std::vector<uint8_t> kept(topFirst ? 0 : size_t(rowBytes));
    for (int32_t y = 0, last = height - 1; y <= last; ++y, --last) {
      uint8_t *top = pixmap->PixelPtr(0, y), *bottom = pixmap->PixelPtr(0, last);
      if (topFirst || y == last) {
        TranslatePixels(top, storedFormat, top, format, width);
        if (y != last) TranslatePixels(bottom, storedFormat, bottom, format, width);
      } else {
        TranslatePixels(top, storedFormat, kept.data(), format, width);
        TranslatePixels(bottom, storedFormat, top, format, width);
        std::memcpy(bottom, kept.data(), size_t(rowBytes));
      }
    }
    return pixmap;
  }
  for (int32_t row = 0; row < height; ++row) {
    const int32_t y = topFirst ? row : height - 1 - row;
    uint8_t* line = pixmap->PixelPtr(0, y);
    if (h->imgtype == 2) {
      read(line, width * stored);
    } else {
      for (int32_t x = 0; x < width;) {
        uint8_t* at = line + size_t(x) * stored;
        if (ended) {  // the missing bytes are one-pixel packets of value 0 to the end
          std::memset(at, 0, size_t(width - x) * stored);
          break;
        }
        uint8_t n;
        read(&n, 1);
        int32_t count = (n & 0x7F) + 1;
        if (count > width - x) return nullptr;
        if (n & 0x80) {
          read(at, stored);
          for (int32_t i = 1; i < count; ++i)
            std::memcpy(at + size_t(i) * stored, at, size_t(stored));
        } else {
          read(at, count * stored);
        }
        x += count;
      }
    }
    if (bits <= 16)
      Expand16InPlace(line, bits, format, width);
    else  // stored blue, green, red (and alpha): the same size as the pixmap's format
      TranslatePixels(line, storedFormat, line, format, width);
  }
  return pixmap;
}

int InitTgaLoaderModule() {
  static ModuleGuard guard("TGA loader");
  return guard.Run({InitCoreModule, InitPixmapModule, InitEndianStreamModule}, [] {
    RegisterClass<tgahdr>();
    RegisterClass<TPixmapLoaderTGA>();
    New<TPixmapLoaderTGA>();
  });
}

}  // namespace vxl
