// Rotated, scaled, alpha-blended sprites per second: Kor2D over OpenGL against SDL_Renderer
// ("opengl", batching on), the same scene in the same run on the same GL; and how long 60 paced
// presents take at 60 Hz.
//
// Needs an X display; without DISPLAY it starts its own Xvfb. It draws on Mesa's software renderer
// (llvmpipe) unless LIBGL_ALWAYS_SOFTWARE or GALLIUM_DRIVER say otherwise.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench_display.h"
#include "bench_util.h"
#include "graphics/gl/gl_kor2d_driver.h"
#include "graphics/kor2d/kor2d.h"
#include "runtime/clock.h"
#include "sprite_scene.h"

namespace {

using namespace vxl::bench;

double SoftSyncMs() {
  using namespace vxl;
  Ref<TGraphics> g = OpenGraphics(kSceneWidth, kSceneHeight, 0, 60, 0);
  if (!g) return 0;
  PresentFrame(-1);  // the pacing counts from the first present
  uint32_t start = MillisecondTimer();
  for (int i = 0; i < 60; ++i) {
    ClearScreen();
    PresentFrame(-1);
  }
  uint32_t ms = MillisecondTimer() - start;
  CloseOpenedGraphics();
  return ms;
}

}  // namespace

int main() {
  pid_t xvfb = EnsureDisplay();
  vxl::InitGLKor2DModule();
  std::vector<Sprite> scene = SpriteScene();
  // Frames of the two alternate, so both see the same machine.
  SdlSpriteScene sdl;
  Kor2DSpriteScene kor2d;
  double sdlMs = 0, kor2dMs = 0, sdlCpuMs = 0, kor2dCpuMs = 0;
  if (sdl.Open("opengl") && kor2d.Open(vxl::GLKor2DInstance())) {
    for (int i = 0; i < kWarmUp + kFrames; ++i) {
      double ca = ThreadCpuMs();
      double a = TimeMs([&] { sdl.Frame(scene, true); });
      double cb = ThreadCpuMs();
      double b = TimeMs([&] { kor2d.Frame(scene, true); });
      double cc = ThreadCpuMs();
      if (i >= kWarmUp) {
        sdlMs += a;
        kor2dMs += b;
        sdlCpuMs += cb - ca;
        kor2dCpuMs += cc - cb;
      }
    }
  } else {
    std::fprintf(stderr, "no display, OpenGL or SDL_Renderer \"opengl\"\n");
  }
  sdl.Close();
  kor2d.Close();
  Print("kor2d_sprites_per_s", SpriteRate(kor2dMs), "sprites/s");
  Print("sdl_renderer_opengl_sprites_per_s", SpriteRate(sdlMs), "sprites/s");
  Print("kor2d_vs_sdl_renderer_ratio", kor2dMs > 0 ? sdlMs / kor2dMs : 0);
  // What each costs the calling thread (submission, vertex work, binning); the pixels are
  // filled by the GL's own threads.
  auto perSprite = [](double ms) { return ms * 1000.0 / (kSprites * double(kFrames)); };
  Print("kor2d_main_thread_us_per_sprite", perSprite(kor2dCpuMs), "us");
  Print("sdl_renderer_main_thread_us_per_sprite", perSprite(sdlCpuMs), "us");
  Print("soft_sync_60hz_ms", SoftSyncMs(), "ms");
  (void)xvfb;
  return 0;
}
