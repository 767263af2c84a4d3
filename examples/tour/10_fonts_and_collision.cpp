// Tour: text in a font file, and images that know when they touch.
#include "graphics/graphics.h"
#include "graphics/kor2d/collision.h"
#include "graphics/kor2d/kor2d.h"
#include "startup/startup.h"

using namespace vxl;

int main() {
  InitFrameworkModules();
  // tour:begin
  Ref<TImageFont> sans = OpenImageFont(String("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"),
                                       24, SMOOTH_FONT_STYLE);     // any file FreeType opens
  if (!sans || !OpenGraphics(320, 240, 0, 60, 0)) return 1;
  Ref<TImage> box = MakeImage(40, 10, 1, 0);
  LockImagePixels(box, 0, 0, 1)->ClearPixels(0xFFFFFFFFu);
  CenterImageHandle(box);
  for (int frame = 0; frame < 90; ++frame) {
    // Solid pixels (alpha 128 or more) of the two, each with its own rotation and scale.
    bool touch = ImagesOverlapTransformed(box, 140, 120, 0, frame * 4.0f, 1, 1,
                                          box, 180, 120, 0, 0, 1, 1);
    ClearScreen();
    ApplyImageFont(sans);
    PaintText(String(touch ? "touching" : "apart"), 8, 8);
    ApplyTransform(frame * 4.0f, 1, 1);
    PaintImage(box, 140, 120, 0);
    ApplyTransform(0, 1, 1);
    PaintImage(box, 180, 120, 0);
    PresentFrame(-1);
  }
  // tour:end
}
