// A gallery of small Kor2D scenes, each one kind of drawing (clears, rectangles at whole, half and
// eighth pixels, ovals, polygons, plots, lines, sprites in every blend mode, masked images,
// tiles, pixmaps, text). The scenes example shows them; the driver comparison test draws each
// through two render drivers and compares the pixels.
//
//   UseGraphicsDriver(Kor2DDriverNamed("OpenGL"), 2);
//   OpenGraphics(kSceneWidth, kSceneHeight, 0, 0, 0);
//   for (const Kor2DScene& scene : Kor2DScenes()) {
//     Ref<TPixmap> shot = CaptureScene(scene);   // 0xAARRGGBB through ReadPixel
//   }
//
// Every scene starts from the same state (StartScene) and draws only inside the top-left
// kSceneWidth by kSceneHeight pixels. The scenes keep to what every render driver draws alike:
// width-1 lines, unmipmapped images and blend modes 1 to 5; unscaled, unfiltered images sit off
// half-pixel positions (there every pixel centre falls on a texel's edge, and the last bit of
// the driver's vertex transform picks the texel).
#pragma once

#include <vector>

#include "graphics/kor2d/kor2d.h"

namespace example {

constexpr int kSceneWidth = 160, kSceneHeight = 120;

struct Kor2DScene {
  const char* name;  // a file-name friendly word
  void (*draw)();
};

// The scenes in a fixed order.
const std::vector<Kor2DScene>& Kor2DScenes();

// The Kor2D state every scene starts from: solid blend, white, alpha 1, no transform, origin or
// handle, line width 1, the default font, the viewport on the scene's area, which is cleared to
// black.
void StartScene();

// Draws the scene from StartScene and reads its area back with CapturePixmap.
vxl::Ref<vxl::TPixmap> CaptureScene(const Kor2DScene& scene);

// The render driver whose name (ToString) is `name` ("OpenGL", "DirectX7"), from the data-type
// chain where every driver links itself; Null when none is registered.
vxl::Ref<vxl::TKor2DDriver> Kor2DDriverNamed(const char* name);

}  // namespace example
