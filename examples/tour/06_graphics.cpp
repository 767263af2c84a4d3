// Tour: a window, images, text and a frame.
#include <cstdio>

#include "graphics/graphics.h"
#include "graphics/kor2d/kor2d.h"
#include "startup/startup.h"

using namespace vxl;

int main() {
  InitFrameworkModules();
  // tour:begin
  if (!OpenGraphics(320, 240, 0, 60, 0)) return 1;          // a window; 60 Hz paced frames
  Ref<TImage> dot = MakeImage(16, 16, 1, 0);
  LockImagePixels(dot, 0, 0, 1)->ClearPixels(0xFFFFC000u);
  CenterImageHandle(dot);
  for (int frame = 0; frame < 60; ++frame) {
    ClearScreen();
    ApplyTransform(frame * 6.0f, 2, 2);                     // degrees, then scale
    PaintImage(dot, 160, 120, 0);
    ApplyTransform(0, 1, 1);
    PaintText(String("Hello"), 8, 8);                       // the built-in 8 x 16 font
    PresentFrame(-1);
  }
  // tour:end
}
