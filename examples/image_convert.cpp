// Loads an image of any supported format (BMP, TGA, PNG, JPEG), scales it, mirrors it left to
// right and saves the result as PNG and JPEG.
//
//   image_convert photo.jpg out            writes out.png and out.jpg at half the size
//   image_convert sprite.tga out 64 64     writes them at 64 x 64
#include <cstdio>
#include <string>

#include "pixmap/loaders/bmp_loader.h"
#include "pixmap/loaders/jpeg_loader.h"
#include "pixmap/loaders/png_loader.h"
#include "pixmap/loaders/tga_loader.h"
#include "pixmap/pixmap_ops.h"
#include "support/example.h"
#include "support/names.h"

namespace {

const char kUsage[] =
    "usage: %s <image> <output prefix> [width height]\n"
    "Loads a BMP, TGA, PNG or JPEG image, scales it (to half its size unless a size is given),\n"
    "mirrors it and writes <output prefix>.png and <output prefix>.jpg.\n";

int Main(int argc, char** argv) {
  using namespace vxl;
  if (argc != 3 && argc != 5) example::UsageError(kUsage);
  const int32_t kMaxSide = 1 << 20;
  int32_t width = argc == 5 ? example::ParseNumber(argv[3], 1, kMaxSide, "the width") : 0;
  int32_t height = argc == 5 ? example::ParseNumber(argv[4], 1, kMaxSide, "the height") : 0;
  // The loader chain as the launcher builds it: tried in the order TGA, PNG, JPEG, BMP.
  InitBmpLoaderModule();
  InitJpegLoaderModule();
  InitPngLoaderModule();
  InitTgaLoaderModule();

  Ref<TStream> file = OpenForReading(String(argv[1]));
  if (!file) {
    std::fprintf(stderr, "%s: cannot open it\n", argv[1]);
    return 1;
  }
  file->Close();
  Ref<TPixmap> image = PixmapFromUrl(String(argv[1]));
  if (!image) {
    std::fprintf(stderr, "%s: not an image this program reads\n", argv[1]);
    example::ReportLibraryFailure();
    return 1;
  }
  if (argc == 3) width = (image->width + 1) / 2, height = (image->height + 1) / 2;
  std::printf("%s: %d x %d, %s\n", argv[1], image->width, image->height,
              example::PixelFormatName(image->format).c_str());

  Ref<TPixmap> result = MirrorPixmapX(ScalePixmap(image, width, height));
  const std::string png = std::string(argv[2]) + ".png", jpeg = std::string(argv[2]) + ".jpg";
  if (!SaveAsPng(result, String(png.c_str()), 6) || !SaveAsJpeg(result, String(jpeg.c_str()), 90)) {
    std::fprintf(stderr, "could not write %s or %s\n", png.c_str(), jpeg.c_str());
    return 1;
  }
  std::printf("wrote %s and %s: %d x %d, mirrored\n", png.c_str(), jpeg.c_str(), width, height);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return example::Run(Main, argc, argv, kUsage);
}
