#include "graphics/kor2d/image.h"

#include "pixmap/pixmap_ops.h"
#include "runtime/class_binder.h"
#include "runtime/module.h"

namespace vxl {

VXL_DEFINE_CLASS(TImage)
VXL_DEFINE_CLASS(TImageDataType)

namespace {

// The one shared instance, kept for the whole process (never released).
TImageDataType* g_imageDataType = nullptr;

// The pixmap itself when the URL already is one, else what the loaders read from it.
Ref<TPixmap> PixmapOf(const Url& url) {
  if (auto pixmap = url.Get().As<TPixmap>()) return pixmap;
  return PixmapFromUrl(url);
}

}  // namespace

Ref<TDataType> TImage::DataType() const {
  return g_imageDataType;
}

// A frame built at generation 0 (graphics selected but never opened through OpenGraphics) is
// kept as well: the frame itself, not only its number, says that one exists.
Ref<TImageFrame> TImage::Frame(int32_t index) {
  const int32_t seq = seqs[index];
  if (seq != graphicsGeneration || !frames[index]) {
    Ref<TKor2DDriver> driver = CurrentKor2DDriver();
    if (!driver) return nullptr;
    Ref<TPixmap> pixmap = Lock(index, 1, 0);
    // An empty pixmap (one read from a data stream can be) makes no frame.
    if (pixmap->width < 1 || pixmap->height < 1) return nullptr;
    Ref<TImageFrame> frame = driver->CreateFrameFromPixmap(pixmap, flags);
    frames[index] = frame;
    seqs[index] = frame ? graphicsGeneration : 0;
  }
  return frames[index];
}

Ref<TPixmap> TImage::Lock(int32_t index, int32_t, int32_t write) {
  Ref<TPixmap>& pixmap = pixmaps[index];
  if (write) {
    seqs[index] = 0;
    frames[index] = nullptr;
  }
  if (!pixmap) {
    // Cleared, so a frame nobody wrote draws transparent instead of stale memory.
    pixmap = TPixmap::Create(width, height, FORMAT_RGBA32, 4);
    pixmap->ClearPixels(0);
  }
  return pixmap;
}

void TImage::SetPixmap(int32_t index, const Ref<TPixmap>& pixmap) {
  Ref<TPixmap> p = pixmap;
  if ((flags & MASKEDIMAGE) && p && FormatAlphaBits[p->format] == 0)
    p = MaskOutColour(p, mask_r, mask_g, mask_b);
  pixmaps[index] = p;
  seqs[index] = 0;
  frames[index] = nullptr;
}

Ref<TImage> TImage::Create(int32_t width, int32_t height, int32_t frameCount, int32_t flags,
                           int32_t mask_r, int32_t mask_g, int32_t mask_b) {
  if (width < 1 || height < 1 || frameCount < 1) return nullptr;
  auto image = New<TImage>();
  image->width = width;
  image->height = height;
  image->flags = flags;
  image->mask_r = mask_r;
  image->mask_g = mask_g;
  image->mask_b = mask_b;
  image->pixmaps = Array<Ref<TPixmap>>::New(frameCount);
  image->frames = Array<Ref<TImageFrame>>::New(frameCount);
  image->seqs = Array<int32_t>::New(frameCount);
  return image;
}

Ref<TImage> TImage::Load(const Url& url, int32_t flags, int32_t mask_r, int32_t mask_g,
                         int32_t mask_b) {
  Ref<TPixmap> pixmap = PixmapOf(url);
  if (!pixmap) return nullptr;
  Ref<TImage> image = Create(pixmap->width, pixmap->height, 1, flags, mask_r, mask_g, mask_b);
  if (image) image->SetPixmap(0, pixmap);
  return image;
}

Ref<TImage> TImage::LoadAnim(const Url& url, int32_t cellWidth, int32_t cellHeight, int32_t first,
                             int32_t count, int32_t flags, int32_t mask_r, int32_t mask_g,
                             int32_t mask_b) {
  if (cellWidth < 1 || cellHeight < 1 || first < 0 || count < 1) return nullptr;
  Ref<TPixmap> pixmap = PixmapOf(url);
  if (!pixmap) return nullptr;
  const int32_t columns = pixmap->width / cellWidth;
  const int32_t rows = pixmap->height / cellHeight;
  if (int64_t(columns) * rows < int64_t(first) + count) return nullptr;
  Ref<TImage> image = Create(cellWidth, cellHeight, count, flags, mask_r, mask_g, mask_b);
  for (int32_t i = first; i < first + count; ++i) {
    Ref<TPixmap> cell = pixmap->Window(cellWidth * (i % columns), cellHeight * (i / columns),
                                       cellWidth, cellHeight);
    image->SetPixmap(i - first, cell->Copy());
  }
  return image;
}

void TImage::Bind(ClassBinder<TImage>& b) {
  b.Field<&TImage::width>("width");
  b.Field<&TImage::height>("height");
  b.Field<&TImage::flags>("flags");
  b.Field<&TImage::mask_r>("mask_r");
  b.Field<&TImage::mask_g>("mask_g");
  b.Field<&TImage::mask_b>("mask_b");
  b.Field<&TImage::handle_x>("handle_x");
  b.Field<&TImage::handle_y>("handle_y");
  b.AccessorField<&TImage::_Pixmaps>("pixmaps");
  b.AccessorField<&TImage::_Frames>("frames");
  b.AccessorField<&TImage::_Seqs>("seqs");
  b.Method<&TImage::DataType>("DataType");
  b.Method<&TImage::Frame>("Frame");
  b.Method<&TImage::Lock>("Lock");
  b.Method<&TImage::SetPixmap>("SetPixmap");
}

String TImageDataType::Tag() const {
  return "vxl.kor2d.TImage";
}

void TImageDataType::WriteObject(const Ref<Object>& object, const Ref<TStream>& stream) {
  auto image = object.As<TImage>();
  for (int32_t v :
       {image->width, image->height, image->flags, image->mask_r, image->mask_g, image->mask_b})
    stream->WriteInt(v);
  stream->WriteFloat(image->handle_x);
  stream->WriteFloat(image->handle_y);
  stream->WriteInt(image->pixmaps.Length());
  for (const Ref<TPixmap>& pixmap : image->pixmaps)
    stream->WriteObject(pixmap);
}

Ref<Object> TImageDataType::ReadObject(const Ref<TStream>& stream) {
  auto image = New<TImage>();
  for (int32_t* v : {&image->width, &image->height, &image->flags, &image->mask_r, &image->mask_g,
                     &image->mask_b})
    *v = stream->ReadInt();
  image->handle_x = stream->ReadFloat();
  image->handle_y = stream->ReadFloat();
  const int32_t count = ReadDataCount(stream, 1);  // each pixmap takes at least one byte
  image->pixmaps = Array<Ref<TPixmap>>::New(count);
  image->frames = Array<Ref<TImageFrame>>::New(count);
  image->seqs = Array<int32_t>::New(count);
  for (int32_t i = 0; i < count; ++i)
    image->pixmaps[i] = stream->ReadObject().As<TPixmap>();
  return image;
}

int InitImageModule() {
  static ModuleGuard guard("image");
  return guard.Run({InitCoreModule, InitKor2DDriverModule, InitPixmapModule}, [] {
    RegisterClass<TImage>();
    RegisterClass<TImageDataType>();
    g_imageDataType = New<TImageDataType>().Leak();
  });
}

}  // namespace vxl
