#include "support/screenshot.h"

#include <cstdio>

#include "graphics/kor2d/kor2d.h"
#include "pixmap/loaders/png_loader.h"

namespace example {

bool SaveScreenshot(const char* path, int32_t width, int32_t height) {
  vxl::Ref<vxl::TPixmap> shot = vxl::CapturePixmap(0, 0, width, height);
  if (!shot || !vxl::SaveAsPng(shot, vxl::String(path), 6)) {
    std::fprintf(stderr, "could not write %s\n", path);
    return false;
  }
  std::printf("wrote %s\n", path);
  return true;
}

}  // namespace example
