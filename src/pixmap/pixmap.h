// Pixmaps: images in memory in one of the pixel formats, and the loader chain that reads them.
//
//   Ref<TPixmap> p = PixmapFromUrl(String("incbin::logo.png"));   // Null if nothing reads it
//   Ref<TPixmap> rgba = PixmapToFormat(p, FORMAT_RGBA32);
//   uint32_t argb = rgba->ReadPixel(0, 0);                          // 0xAARRGGBB
//   Ref<TPixmap> corner = rgba->Window(0, 0, 16, 16);               // shares rgba's memory
//   corner->ClearPixels(0xFF0000FF);                                // opaque blue square
//
// Memory layout (a contract with the graphics drivers): `pixels` is the top-left pixel, rows run
// downwards `pitch` bytes apart, each pixel takes FormatBytes[format] bytes. Owned memory is
// 16-byte aligned. A pixmap frees its memory only when it owns it (capacity >= 0); a window holds
// its source pixmap, so the memory it shows outlives it.
//
// Coordinates are checked where a pixmap is addressed through its own methods: ReadPixel and
// WritePixel outside it give 0 and do nothing, Window keeps to the part inside it and Paste draws
// only what lands inside. PixelPtr and the run functions on raw memory check nothing. Creating a
// pixmap checks its size: a negative size, an unknown format or more than 2^31 - 1 bytes of pixels
// raises a runtime error instead of allocating a wrapped size.
#pragma once

#include <cstdint>

#include "data/data.h"
#include "pixmap/pixel_format.h"

namespace vxl {

class TPixmap : public TData {
 public:
  VXL_CLASS(TPixmap, TData)
  TPixmap() = default;
  ~TPixmap() override;

  uint8_t* pixels = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  int32_t pitch = 0;
  int32_t format = 0;
  int32_t capacity = 0;  // bytes owned at `pixels`; -1 when the memory belongs to someone else
  Ref<Object> _source;   // the pixmap a window shows

  // The shared TPixmapDataType.
  Ref<TDataType> DataType() const override;
  // pixels + y * pitch + x * FormatBytes[format].
  uint8_t* PixelPtr(int32_t x, int32_t y) const {
    return pixels + int64_t(y) * pitch + int64_t(x) * FormatBytes[format];
  }
  // A static pixmap over the rectangle at (x, y), keeping this pixmap alive. The rectangle is cut
  // to the part inside this pixmap (possibly nothing: 0 by 0).
  Ref<TPixmap> Window(int32_t x, int32_t y, int32_t width, int32_t height);
  // An owned copy (align 4).
  Ref<TPixmap> Copy() const;
  // Draws `source` with its top-left pixel at (x, y), converting to this pixmap's format; only
  // the part that lands inside this pixmap is drawn.
  void Paste(const Ref<TPixmap>& source, int32_t x, int32_t y);
  // An owned copy in `format` (align 4).
  Ref<TPixmap> Convert(int32_t format) const;
  // The packed colour 0xAARRGGBB of a pixel; 0 for formats outside 1 to 6 and for a pixel
  // outside the pixmap.
  uint32_t ReadPixel(int32_t x, int32_t y) const;
  // Stores a packed colour (formats 1 to 6; others are left unchanged); a pixel outside the
  // pixmap is not written.
  void WritePixel(int32_t x, int32_t y, uint32_t argb);
  // Pitch ((width * bytes + align - 1) / align) * align; pitch * height bytes, uncleared.
  static Ref<TPixmap> Create(int32_t width, int32_t height, int32_t format, int32_t align);
  // A pixmap over memory the caller owns (capacity -1).
  static Ref<TPixmap> CreateStatic(uint8_t* pixels, int32_t width, int32_t height, int32_t pitch,
                                   int32_t format);
  // Every pixel set to the colour as WritePixel stores it; 0 zeroes the pixel bytes of any format,
  // never the padding between rows.
  void ClearPixels(uint32_t argb);

  static void Bind(ClassBinder<TPixmap>& b);

 private:
  bool Inside(int32_t x, int32_t y) const { return x >= 0 && y >= 0 && x < width && y < height; }
};

// A pixmap's data-stream form: width, height and format as ints, then each row's pixel bytes
// without the padding, top row first.
class TPixmapDataType : public TDataType {
 public:
  VXL_CLASS(TPixmapDataType, TDataType)
  // "VXL.Pixmap.TPixmap".
  String Tag() const override;
  Ref<Object> ReadObject(const Ref<TStream>& stream) override;
  void WriteObject(const Ref<Object>& object, const Ref<TStream>& stream) override;
};

// Reads one image file format. Constructing a loader links it at the head of the chain, so the
// newest loader is tried first; create loaders only inside module initialisers.
class TPixmapLoader : public Object {
 public:
  VXL_CLASS(TPixmapLoader, Object)
  Ref<TPixmapLoader> _succ;

  // The image the stream holds at its position, or Null when it is not this loader's format
  // (abstract). May throw a stream exception when the data ends early.
  virtual Ref<TPixmap> LoadPixmap(const Ref<TStream>& stream);

  static void Bind(ClassBinder<TPixmapLoader>& b);

 protected:
  TPixmapLoader();
};

// The newest loader (the head of the chain), Null while none exists.
Ref<TPixmapLoader> PixmapLoaders();

// Module functions.
Ref<TPixmap> NewPixmap(int32_t width, int32_t height, int32_t format, int32_t align);
Ref<TPixmap> NewStaticPixmap(uint8_t* pixels, int32_t width, int32_t height, int32_t pitch,
                             int32_t format);
Ref<TPixmap> DuplicatePixmap(const Ref<TPixmap>& pixmap);
Ref<TPixmap> PixmapToFormat(const Ref<TPixmap>& pixmap, int32_t format);
int32_t WidthOfPixmap(const Ref<TPixmap>& pixmap);
int32_t HeightOfPixmap(const Ref<TPixmap>& pixmap);
int32_t PitchOfPixmap(const Ref<TPixmap>& pixmap);
int32_t FormatOfPixmap(const Ref<TPixmap>& pixmap);
uint8_t* PixmapPixelAddress(const Ref<TPixmap>& pixmap, int32_t x, int32_t y);
Ref<TPixmap> PixmapSubWindow(const Ref<TPixmap>& pixmap, int32_t x, int32_t y, int32_t width,
                             int32_t height);
uint32_t PixelOfPixmap(const Ref<TPixmap>& pixmap, int32_t x, int32_t y);
void SetPixelOfPixmap(const Ref<TPixmap>& pixmap, int32_t x, int32_t y, uint32_t argb);
void FillPixmap(const Ref<TPixmap>& pixmap, uint32_t argb);

// Opens the URL for reading and offers the stream to each loader from the head of the chain,
// each from the same start position, until one returns a pixmap. A stream exception thrown by a
// loader counts as a failed attempt. Null when the URL does not open, the stream cannot tell its
// position or no loader reads it. The stream is closed in every case, also when another
// exception passes through.
Ref<TPixmap> PixmapFromUrl(const Url& url);

// Registers the pixmap classes and creates the pixmap data type.
int InitPixmapModule();

}  // namespace vxl
