// Alpha-blended sprites per second through the "DirectX7" Kor2D driver (the software device), on
// bench_kor2d's scene (kor2d_scene.h): unrotated against SDL_Renderer's "software" driver drawing
// the same sprites in the same run (frames alternate; goal: at least as fast), then rotated and
// scaled against Kor2D over OpenGL (Mesa's llvmpipe), reported.
//
// Needs an X display; without DISPLAY it starts its own Xvfb.
#include <SDL2/SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_display.h"
#include "bench_util.h"
#include "graphics/d3d7/d3d7_kor2d_driver.h"
#include "graphics/d3d7/d3d7_modules.h"
#include "graphics/gl/gl_kor2d_driver.h"
#include "graphics/kor2d/kor2d.h"
#include "kor2d_scene.h"
#include "sprite_contenders.h"
#include "pixmap/pixel_format.h"

namespace {

using namespace vxl::bench;

constexpr int kWarmUp = 5, kFrames = 100;

double SpriteRate(double ms) {
  return ms > 0 ? kSprites * double(kFrames) / (ms / 1000.0) : 0;
}

// Wall-clock milliseconds of kFrames frames after kWarmUp.
template <class F>
double FramesMs(F&& frame) {
  double ms = 0;
  for (int i = 0; i < kWarmUp + kFrames; ++i) {
    double t = TimeMs(frame);
    if (i >= kWarmUp) ms += t;
  }
  return ms;
}

}  // namespace

int main() {
  pid_t xvfb = EnsureDisplay();
  setenv("VXL_D3D7", "1", 1);
  vxl::InitGLKor2DModule();
  vxl::InitD3D7Kor2DStep();
  std::vector<Sprite> scene = Scene();

  double d3d7Ms = 0, sdlMs = 0, d3d7RotatedMs = 0, glRotatedMs = 0;
  SdlScene sdl;
  Kor2DScene d3d7;
  if (sdl.Open("software") && d3d7.Open(vxl::D3D7Kor2DInstance(), 0)) {
    for (int i = 0; i < kWarmUp + kFrames; ++i) {
      double a = TimeMs([&] { sdl.Frame(scene, false); });
      double b = TimeMs([&] { d3d7.Frame(scene, false); });
      if (i >= kWarmUp) {
        sdlMs += a;
        d3d7Ms += b;
      }
    }
    d3d7RotatedMs = FramesMs([&] { d3d7.Frame(scene, true); });
  } else {
    std::fprintf(stderr, "no display, \"DirectX7\" driver or SDL_Renderer \"software\"\n");
  }
  sdl.Close();
  d3d7.Close();
  Kor2DScene gl;
  if (gl.Open(vxl::GLKor2DInstance(), 0))
    glRotatedMs = FramesMs([&] { gl.Frame(scene, true); });
  else
    std::fprintf(stderr, "no OpenGL window\n");
  gl.Close();

  Print("d3d7_sprites_per_s", SpriteRate(d3d7Ms), "sprites/s");
  Print("sdl_renderer_software_sprites_per_s", SpriteRate(sdlMs), "sprites/s");
  Print("d3d7_vs_sdl_software_ratio", d3d7Ms > 0 ? sdlMs / d3d7Ms : 0);
  Print("d3d7_rotated_sprites_per_s", SpriteRate(d3d7RotatedMs), "sprites/s");
  Print("d3d7_vs_kor2d_opengl_ratio", d3d7RotatedMs > 0 ? glRotatedMs / d3d7RotatedMs : 0);
  (void)xvfb;
  return 0;
}
