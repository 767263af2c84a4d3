#include "pixmap/pixmap.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "runtime/class_binder.h"

namespace vxl {

VXL_DEFINE_CLASS(TPixmap)
VXL_DEFINE_CLASS(TPixmapDataType)
VXL_DEFINE_CLASS(TPixmapLoader)

namespace {

ModuleGuard g_pixmapModule("pixmap");

// Module globals live for the whole process and are never destroyed.
TPixmapDataType* g_pixmapDataType = nullptr;

Ref<TPixmapLoader>& LoaderHead() {
  static NeverDestroyed<Ref<TPixmapLoader>> head;
  return *head;
}

uint8_t* Allocate(int64_t size) {
  return static_cast<uint8_t*>(::operator new (static_cast<size_t>(size), std::align_val_t{16}));
}

void Free(uint8_t* block) {
  ::operator delete (block, std::align_val_t{16});
}

// The pitch rule, or -1 when the pixmap's bytes would not fit a 32-bit size.
int64_t PitchFor(int32_t width, int32_t height, int32_t format, int32_t align) {
  int64_t row = int64_t(width) * FormatBytes[format];
  int64_t pitch = (row + align - 1) / align * align;
  if (pitch > INT32_MAX || (height > 0 && pitch > INT32_MAX / height)) return -1;
  return pitch;
}

int64_t RowBytes(const TPixmap& p) {
  return int64_t(p.width) * FormatBytes[p.format];
}

uint8_t Grey(uint32_t argb) {
  return uint8_t((((argb >> 16) & 255) + ((argb >> 8) & 255) + (argb & 255)) / 3);
}

}  // namespace

TPixmap::~TPixmap() {
  if (capacity >= 0 && pixels) Free(pixels);
}

Ref<TDataType> TPixmap::DataType() const {
  return g_pixmapDataType;
}

Ref<TPixmap> TPixmap::Create(int32_t width, int32_t height, int32_t format, int32_t align) {
  if (width < 0 || height < 0 || format < 0 || format >= FORMAT_COUNT || align < 1)
    RaiseRuntimeError("Invalid pixmap size or format");
  int64_t pitch = PitchFor(width, height, format, align);
  if (pitch < 0) RaiseRuntimeError("Pixmap too large");
  auto p = New<TPixmap>();
  int64_t size = pitch * height;
  p->pixels = Allocate(std::max<int64_t>(size, 1));
  p->width = width;
  p->height = height;
  p->pitch = static_cast<int32_t>(pitch);
  p->format = format;
  p->capacity = static_cast<int32_t>(size);
  return p;
}

Ref<TPixmap> TPixmap::CreateStatic(uint8_t* pixels, int32_t width, int32_t height, int32_t pitch,
                                   int32_t format) {
  auto p = New<TPixmap>();
  p->pixels = pixels;
  p->width = width;
  p->height = height;
  p->pitch = pitch;
  p->format = format;
  p->capacity = -1;
  return p;
}

Ref<TPixmap> TPixmap::Window(int32_t x, int32_t y, int32_t w, int32_t h) {
  // A rectangle reaching outside (a sprite sheet that does not divide evenly) keeps the part
  // inside, so writing through the window never reaches memory around this pixmap. An empty one
  // starts at this pixmap's first pixel.
  const int64_t left = std::clamp<int64_t>(x, 0, width);
  const int64_t top = std::clamp<int64_t>(y, 0, height);
  const int64_t right = std::clamp<int64_t>(int64_t(x) + std::max(w, 0), left, width);
  const int64_t bottom = std::clamp<int64_t>(int64_t(y) + std::max(h, 0), top, height);
  const bool empty = right == left || bottom == top;
  Ref<TPixmap> window = CreateStatic(empty ? pixels : PixelPtr(int32_t(left), int32_t(top)),
                                     int32_t(right - left), int32_t(bottom - top), pitch, format);
  window->_source = Ref<Object>(this);
  return window;
}

Ref<TPixmap> TPixmap::Copy() const {
  Ref<TPixmap> copy = Create(width, height, format, 4);
  size_t row = static_cast<size_t>(RowBytes(*this));
  for (int32_t y = 0; y < height; ++y) {
    if (row) std::memcpy(copy->PixelPtr(0, y), PixelPtr(0, y), row);
  }
  return copy;
}

void TPixmap::Paste(const Ref<TPixmap>& source, int32_t x, int32_t y) {
  // Only the part of the source that lands inside this pixmap is drawn: a source sticking out
  // (a sprite at an edge) must not write around the pixmap or past its memory.
  const int64_t left = std::max<int64_t>(0, -int64_t(x));
  const int64_t top = std::max<int64_t>(0, -int64_t(y));
  const int64_t right = std::min<int64_t>(source->width, int64_t(width) - x);
  const int64_t bottom = std::min<int64_t>(source->height, int64_t(height) - y);
  if (right <= left || bottom <= top) return;
  TranslatePixelRows(source->PixelPtr(int32_t(left), int32_t(top)), source->pitch, source->format,
                     PixelPtr(int32_t(x + left), int32_t(y + top)), pitch, format,
                     int32_t(right - left), int32_t(bottom - top));
}

Ref<TPixmap> TPixmap::Convert(int32_t to) const {
  Ref<TPixmap> result = Create(width, height, to, 4);
  TranslatePixelRows(pixels, pitch, format, result->pixels, result->pitch, to, width, height);
  return result;
}

uint32_t TPixmap::ReadPixel(int32_t x, int32_t y) const {
  if (!Inside(x, y)) return 0;
  const uint8_t* p = PixelPtr(x, y);
  auto pack = [](uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
    return a << 24 | r << 16 | g << 8 | b;
  };
  switch (format) {
    case FORMAT_GREY8:
      return pack(255, p[0], p[0], p[0]);
    case FORMAT_ALPHA8:
      return pack(p[0], 255, 255, 255);
    case FORMAT_BGR24:
      return pack(255, p[2], p[1], p[0]);
    case FORMAT_RGB24:
      return pack(255, p[0], p[1], p[2]);
    case FORMAT_BGRA32:
      return pack(p[3], p[2], p[1], p[0]);
    case FORMAT_RGBA32:
      return pack(p[3], p[0], p[1], p[2]);
    default:
      return 0;
  }
}

void TPixmap::WritePixel(int32_t x, int32_t y, uint32_t argb) {
  if (!Inside(x, y)) return;
  uint8_t* p = PixelPtr(x, y);
  uint8_t a = uint8_t(argb >> 24), r = uint8_t(argb >> 16), g = uint8_t(argb >> 8),
          b = uint8_t(argb);
  switch (format) {
    case FORMAT_GREY8:
      p[0] = Grey(argb);
      break;
    case FORMAT_ALPHA8:
      p[0] = a;
      break;
    case FORMAT_BGR24:
      p[0] = b, p[1] = g, p[2] = r;
      break;
    case FORMAT_RGB24:
      p[0] = r, p[1] = g, p[2] = b;
      break;
    case FORMAT_BGRA32:
      p[0] = b, p[1] = g, p[2] = r, p[3] = a;
      break;
    case FORMAT_RGBA32:
      p[0] = r, p[1] = g, p[2] = b, p[3] = a;
      break;
    default:
      break;
  }
}

void TPixmap::ClearPixels(uint32_t argb) {
  size_t row = static_cast<size_t>(RowBytes(*this));
  if (argb == 0) {
    if (pitch == int64_t(row)) {
      if (row && height > 0) std::memset(pixels, 0, row * height);
    } else {
      for (int32_t y = 0; y < height; ++y)
        std::memset(PixelPtr(0, y), 0, row);
    }
    return;
  }
  if (format < FORMAT_GREY8 || format > FORMAT_RGBA32 || width <= 0 || height <= 0) return;
  // One pixel as WritePixel stores it, repeated along the first row, then the row copied.
  WritePixel(0, 0, argb);
  int32_t bytes = FormatBytes[format];
  uint8_t* first = PixelPtr(0, 0);
  for (size_t done = bytes; done < row;) {
    size_t n = std::min(done, row - done);
    std::memcpy(first + done, first, n);
    done += n;
  }
  for (int32_t y = 1; y < height; ++y)
    std::memcpy(PixelPtr(0, y), first, row);
}

void TPixmap::Bind(ClassBinder<TPixmap>& b) {
  b.ReadOnlyField<&TPixmap::width>("width");
  b.ReadOnlyField<&TPixmap::height>("height");
  b.ReadOnlyField<&TPixmap::pitch>("pitch");
  b.ReadOnlyField<&TPixmap::format>("format");
  b.ReadOnlyField<&TPixmap::capacity>("capacity");
  b.ReadOnlyField<&TPixmap::_source>("_source");
  b.Method<&TPixmap::DataType>("DataType");
  b.Method<&TPixmap::Window>("Window");
  b.Method<&TPixmap::Copy>("Copy");
  b.Method<&TPixmap::Paste>("Paste");
  b.Method<&TPixmap::Convert>("Convert");
}

String TPixmapDataType::Tag() const {
  return "VXL.Pixmap.TPixmap";
}

void TPixmapDataType::WriteObject(const Ref<Object>& object, const Ref<TStream>& stream) {
  auto p = object.As<TPixmap>();
  stream->WriteInt(p->width);
  stream->WriteInt(p->height);
  stream->WriteInt(p->format);
  int32_t row = static_cast<int32_t>(RowBytes(*p));
  // Rows without bytes are skipped as a whole: there may be two billion of them.
  for (int32_t y = 0; row > 0 && y < p->height; ++y)
    stream->WriteBytes(p->PixelPtr(0, y), row);
}

Ref<Object> TPixmapDataType::ReadObject(const Ref<TStream>& stream) {
  int32_t width = stream->ReadInt();
  int32_t height = stream->ReadInt();
  int32_t format = stream->ReadInt();
  // Damaged or hostile data: a size that cannot be, or more pixel bytes than the stream holds,
  // ends the read before anything is allocated.
  if (width < 0 || height < 0 || format < 0 || format >= FORMAT_COUNT) ThrowStreamRead();
  int64_t row = int64_t(width) * FormatBytes[format];
  int64_t left = StreamBytesLeft(*stream);
  // (row * height is only computed once PitchFor has found that it fits.)
  if (PitchFor(width, height, format, 4) < 0 || (left >= 0 && row * height > left))
    ThrowStreamRead();
  Ref<TPixmap> p = TPixmap::Create(width, height, format, 4);
  for (int32_t y = 0; row > 0 && y < height; ++y)
    stream->ReadBytes(p->PixelPtr(0, y), int32_t(row));
  return p;
}

TPixmapLoader::TPixmapLoader() {
  Ref<TPixmapLoader>& head = LoaderHead();
  _succ = head;
  head = Ref<TPixmapLoader>(this);
}

Ref<TPixmap> TPixmapLoader::LoadPixmap(const Ref<TStream>&) {
  ThrowNullMethod();
}

void TPixmapLoader::Bind(ClassBinder<TPixmapLoader>& b) {
  b.ReadOnlyField<&TPixmapLoader::_succ>("_succ");
  b.Method<&TPixmapLoader::LoadPixmap>("LoadPixmap");
}

Ref<TPixmapLoader> PixmapLoaders() {
  return LoaderHead();
}

Ref<TPixmap> PixmapFromUrl(const Url& url) {
  g_pixmapModule.Require("InitPixmapModule");
  Ref<TStream> stream = OpenStreamUrl(url, 1, 0);
  if (!stream) return Ref<TPixmap>();
  Ref<TPixmap> result;
  try {
    int32_t start = stream->Pos();
    for (Ref<TPixmapLoader> loader = start >= 0 ? PixmapLoaders() : nullptr; loader;
         loader = loader->_succ) {
      stream->Seek(start);
      try {
        result = loader->LoadPixmap(stream);
      } catch (const Thrown& e) {
        if (!e.As<TStreamException>()) throw;
      }
      if (result) break;
    }
  } catch (...) {
    stream->Close();
    throw;
  }
  stream->Close();
  return result;
}

Ref<TPixmap> NewPixmap(int32_t width, int32_t height, int32_t format, int32_t align) {
  return TPixmap::Create(width, height, format, align);
}
Ref<TPixmap> NewStaticPixmap(uint8_t* pixels, int32_t width, int32_t height, int32_t pitch,
                             int32_t format) {
  return TPixmap::CreateStatic(pixels, width, height, pitch, format);
}
Ref<TPixmap> DuplicatePixmap(const Ref<TPixmap>& pixmap) {
  return pixmap->Copy();
}
Ref<TPixmap> PixmapToFormat(const Ref<TPixmap>& pixmap, int32_t format) {
  return pixmap->Convert(format);
}
int32_t WidthOfPixmap(const Ref<TPixmap>& pixmap) {
  return pixmap->width;
}
int32_t HeightOfPixmap(const Ref<TPixmap>& pixmap) {
  return pixmap->height;
}
int32_t PitchOfPixmap(const Ref<TPixmap>& pixmap) {
  return pixmap->pitch;
}
int32_t FormatOfPixmap(const Ref<TPixmap>& pixmap) {
  return pixmap->format;
}
uint8_t* PixmapPixelAddress(const Ref<TPixmap>& pixmap, int32_t x, int32_t y) {
  return pixmap->PixelPtr(x, y);
}
Ref<TPixmap> PixmapSubWindow(const Ref<TPixmap>& pixmap, int32_t x, int32_t y, int32_t width,
                             int32_t height) {
  return pixmap->Window(x, y, width, height);
}
uint32_t PixelOfPixmap(const Ref<TPixmap>& pixmap, int32_t x, int32_t y) {
  return pixmap->ReadPixel(x, y);
}
void SetPixelOfPixmap(const Ref<TPixmap>& pixmap, int32_t x, int32_t y, uint32_t argb) {
  pixmap->WritePixel(x, y, argb);
}
void FillPixmap(const Ref<TPixmap>& pixmap, uint32_t argb) {
  pixmap->ClearPixels(argb);
}

int InitPixmapModule() {
  return g_pixmapModule.Run(
      {InitCoreModule, InitStreamModule, InitDataModule, InitPixelFormatModule}, [] {
        RegisterClass<TPixmap>();
        RegisterClass<TPixmapDataType>();
        RegisterClass<TPixmapLoader>();
        g_pixmapDataType = New<TPixmapDataType>().Leak();
      });
}

}  // namespace vxl
