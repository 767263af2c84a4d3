// The software driver's pictures of the scene gallery against PNGs checked in under golden/, made
// by scripts/scene-goldens.sh from the scenes example (never by this test): every colour byte
// must be the same. Runs without a display, through SDL's offscreen video driver.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "graphics/compare/scene_pixels.h"
#include "graphics/d3d7/d3d7_modules.h"
#include "graphics/gl/gl_kor2d_driver.h"
#include "graphics/kor2d/kor2d.h"
#include "pixmap/loaders/png_loader.h"
#include "support/kor2d_scenes.h"

namespace vxl {
namespace {

TEST(SceneGoldens, TheSoftwareDriverDrawsEverySceneAsCheckedIn) {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("VXL_D3D7", "1", 1);
  InitPngLoaderModule();
  InitGLKor2DModule();
  InitD3D7Kor2DStep();
  Ref<TKor2DDriver> driver = example::Kor2DDriverNamed("DirectX7");
  ASSERT_TRUE(driver);
  UseGraphicsDriver(driver, 2);
  ASSERT_TRUE(OpenGraphics(example::kSceneWidth, example::kSceneHeight, 0, 0, 0));
  for (const example::Kor2DScene& scene : example::Kor2DScenes()) {
    SCOPED_TRACE(scene.name);
    std::string file = std::string(VXL_SCENE_GOLDEN_DIR) + "/" + scene.name + ".png";
    Ref<TPixmap> golden = PixmapFromUrl(String(file.c_str()));
    ASSERT_TRUE(golden) << file << " is missing: scripts/scene-goldens.sh makes it";
    test::ScenePixels expected = test::PixelsOf(golden);
    test::ScenePixels drawn = test::PixelsOf(example::CaptureScene(scene));
    test::SceneDifference d = test::Compare(expected, drawn);
    EXPECT_EQ(d.pixels, 0) << "first at (" << d.x << ", " << d.y << "): golden " << std::hex << d.a
                           << ", drawn " << d.b;
  }
  CloseOpenedGraphics();
}

}  // namespace
}  // namespace vxl
