// Tour: drawing through the software Direct3D 7 driver, without a display.
#include <cstdio>
#include <cstdlib>

#include "graphics/graphics.h"
#include "graphics/kor2d/kor2d.h"
#include "startup/startup.h"

using namespace vxl;

int main() {
  // tour:begin
  setenv("VXL_D3D7", "1", 1);                 // before start-up: "DirectX7" becomes the default
  setenv("SDL_VIDEODRIVER", "offscreen", 1);  // its windows need no display
  InitFrameworkModules();
  if (!OpenGraphics(320, 240, 0, 0, 0)) return 1;
  ApplyClsColor(0, 0, 64);
  ClearScreen();
  PaintOval(100, 60, 120, 120);
  Ref<TPixmap> shot = CapturePixmap(0, 0, 320, 240);  // pixel for pixel what OpenGL draws
  std::printf("%s: %08X\n", CurrentGraphicsDriver()->ToString().ToCString().c_str(),
              shot->ReadPixel(160, 120));
  // tour:end
}
