// Tour: pixmaps, image loaders and savers.
#include <cstdio>

#include "pixmap/loaders/png_loader.h"
#include "pixmap/pixmap.h"
#include "pixmap/pixmap_ops.h"
#include "startup/startup.h"

using namespace vxl;

int main() {
  InitFrameworkModules();
  // tour:begin
  Ref<TPixmap> p = TPixmap::Create(64, 32, FORMAT_RGBA32, 4);
  p->ClearPixels(0xFF2040A0u);                              // 0xAARRGGBB
  SaveAsPng(p, String("blue.png"), 6);
  Ref<TPixmap> loaded = PixmapFromUrl(String("blue.png"));  // BMP, PNG, JPEG or TGA
  Ref<TPixmap> half = ScalePixmap(loaded, 32, 16);
  std::printf("%dx%d, pixel %08X\n", half->width, half->height, half->ReadPixel(0, 0));
  // tour:end
}
