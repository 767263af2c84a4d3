// Images: frames of pixels with a handle, drawn through the frames the current render driver
// builds from them on first use.
//
//   Ref<TImage> ship = TImage::Load(String("ship.png"), FILTEREDIMAGE, 0, 0, 0);
//   Ref<TImage> walk = TImage::LoadAnim(String("walk.png"), 32, 48, 0, 8, 0, 0, 0, 0);
//   Ref<TPixmap> p = walk->Lock(3, 1, 1);     // write access: frame 3 is rebuilt when next drawn
//   p->WritePixel(0, 0, 0xFFFF0000);
//
// A driver frame is kept with the graphicsGeneration it was built at, so every frame is rebuilt
// after graphics were reopened, and after its pixels were written through Lock or SetPixmap.
// Frame indexes outside the image raise TArrayBoundsException.
#pragma once

#include <cstdint>

#include "graphics/kor2d/kor2d_driver.h"
#include "stream/url.h"

namespace vxl {

class TImage : public TData {
 public:
  VXL_CLASS(TImage, TData)
  int32_t width = 0;
  int32_t height = 0;
  int32_t flags = 0;
  int32_t mask_r = 0;
  int32_t mask_g = 0;
  int32_t mask_b = 0;
  float handle_x = 0;
  float handle_y = 0;
  // One entry per frame in each. Their lengths stay equal: reflection reads them only.
  Array<Ref<TPixmap>> pixmaps;
  Array<Ref<TImageFrame>> frames;
  Array<int32_t> seqs;

  // The shared TImageDataType.
  Ref<TDataType> DataType() const override;
  // The driver frame of frame `index`, built by the current render driver when there is none for
  // the current generation; Null when no driver is current or it cannot build one.
  Ref<TImageFrame> Frame(int32_t index);
  // The pixmap of frame `index` (a cleared width x height FORMAT_RGBA32 one when it has none).
  // With write set the driver frame is dropped, so the next Frame rebuilds it.
  Ref<TPixmap> Lock(int32_t index, int32_t read, int32_t write);
  // Replaces the pixels of frame `index`; a masked image masks a pixmap without alpha first.
  void SetPixmap(int32_t index, const Ref<TPixmap>& pixmap);

  // A width x height image of frameCount empty frames; Null below 1 x 1 or 1 frame.
  static Ref<TImage> Create(int32_t width, int32_t height, int32_t frameCount, int32_t flags,
                            int32_t mask_r, int32_t mask_g, int32_t mask_b);
  // A one-frame image of a pixmap (or of the pixmap loaded from the URL); Null when none loads.
  static Ref<TImage> Load(const Url& url, int32_t flags, int32_t mask_r, int32_t mask_g,
                          int32_t mask_b);
  // count frames of cellWidth x cellHeight cut from the pixmap row by row, starting at cell
  // `first`; Null when the cells do not fit or the arguments are not positive (first may be 0).
  static Ref<TImage> LoadAnim(const Url& url, int32_t cellWidth, int32_t cellHeight, int32_t first,
                              int32_t count, int32_t flags, int32_t mask_r, int32_t mask_g,
                              int32_t mask_b);

  static void Bind(ClassBinder<TImage>& b);

 private:
  Array<Ref<TPixmap>> _Pixmaps() const { return pixmaps; }
  Array<Ref<TImageFrame>> _Frames() const { return frames; }
  Array<int32_t> _Seqs() const { return seqs; }
};

// An image's data-stream form: width, height, flags, mask_r, mask_g, mask_b (ints), handle_x,
// handle_y (floats), the frame count (int), then each frame's pixmap as a nested object (Null for
// a frame without pixels, so every image reads back).
class TImageDataType : public TDataType {
 public:
  VXL_CLASS(TImageDataType, TDataType)
  // "vxl.kor2d.TImage".
  String Tag() const override;
  Ref<Object> ReadObject(const Ref<TStream>& stream) override;
  void WriteObject(const Ref<Object>& object, const Ref<TStream>& stream) override;
};

int InitImageModule();

}  // namespace vxl
