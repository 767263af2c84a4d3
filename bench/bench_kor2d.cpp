// Rotated, scaled, alpha-blended sprites per second: Kor2D over OpenGL against SDL_Renderer
// ("opengl", batching on), the same scene in the same run on the same GL; and how long 60 paced
// presents take at 60 Hz.
//
// What each sends for a frame. Kor2D: the corners of every sprite computed on the CPU and queued
// as two indexed triangles, reaching GL as a few glDrawElements(GL_TRIANGLES) of client-side
// vertex and texture-coordinate arrays, texels as they are (GL_REPLACE under a white opaque
// colour).
// SDL_Renderer: every copy turned into geometry whose corners it computes on the CPU, batched
// into glDrawArrays(GL_TRIANGLES) of vertex, colour and texture-coordinate arrays, drawn by its
// GLSL shader (texel times colour). Both: a 32x32 RGBA8 texture without mipmaps, GL_NEAREST (SDL's
// default scale quality; Kor2D's unfiltered image), GL_CLAMP_TO_EDGE, source-alpha blending, a
// double-buffered window without depth buffer. The GL fills the same pixels the same way for
// both, which on Mesa's llvmpipe is nearly all of a frame; bench_kor2d_fill shows what other ways
// of sending the scene would cost.
//
// Needs an X display; without DISPLAY it starts its own Xvfb. It draws on Mesa's software renderer
// (llvmpipe) unless LIBGL_ALWAYS_SOFTWARE or GALLIUM_DRIVER say otherwise.
#include <SDL2/SDL.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_display.h"
#include "bench_util.h"
#include "graphics/gl/gl_kor2d_driver.h"
#include "graphics/kor2d/kor2d.h"
#include "kor2d_scene.h"
#include "sprite_contenders.h"
#include "pixmap/pixel_format.h"
#include "runtime/clock.h"

namespace {

using namespace vxl::bench;

constexpr int kWarmUp = 5, kFrames = 100;

double CpuMs(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

// What frames of one contender cost: wall time, CPU time of the calling thread (submission,
// vertex work, the GL's triangle setup and binning) and of the whole process (the GL's
// rasteriser threads, which fill the pixels, included).
struct Cost {
  double wallMs = 0, threadMs = 0, processMs = 0;

  template <class F>
  void Add(F&& frame, bool counted) {
    const double thread = CpuMs(CLOCK_THREAD_CPUTIME_ID), process = CpuMs(CLOCK_PROCESS_CPUTIME_ID);
    const double wall = vxl::bench::TimeMs(frame);
    if (!counted) return;
    wallMs += wall;
    threadMs += CpuMs(CLOCK_THREAD_CPUTIME_ID) - thread;
    processMs += CpuMs(CLOCK_PROCESS_CPUTIME_ID) - process;
  }
};

double SoftSyncMs() {
  using namespace vxl;
  Ref<TGraphics> g = OpenGraphics(kWidth, kHeight, 0, 60, 0);
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
  pid_t xvfb = vxl::bench::EnsureDisplay();
  vxl::InitGLKor2DModule();
  std::vector<Sprite> scene = Scene();
  // Frames of the two alternate, so both see the same machine.
  SdlScene sdl;
  Kor2DScene kor2d;
  Cost sdlCost, kor2dCost;
  if (sdl.Open("opengl") && kor2d.Open(vxl::GLKor2DInstance(), vxl::GRAPHICS_BACKBUFFER)) {
    for (int i = 0; i < kWarmUp + kFrames; ++i) {
      sdlCost.Add([&] { sdl.Frame(scene, true); }, i >= kWarmUp);
      kor2dCost.Add([&] { kor2d.Frame(scene, true); }, i >= kWarmUp);
    }
  } else {
    std::fprintf(stderr, "no display, OpenGL or SDL_Renderer \"opengl\"\n");
  }
  sdl.Close();
  vxl::CloseOpenedGraphics();
  auto rate = [](double ms) { return ms > 0 ? kSprites * double(kFrames) / (ms / 1000.0) : 0; };
  auto ratio = [](double a, double b) { return b > 0 ? a / b : 0; };
  vxl::bench::Print("kor2d_sprites_per_s", rate(kor2dCost.wallMs), "sprites/s");
  vxl::bench::Print("sdl_renderer_opengl_sprites_per_s", rate(sdlCost.wallMs), "sprites/s");
  vxl::bench::Print("kor2d_vs_sdl_renderer_ratio", ratio(sdlCost.wallMs, kor2dCost.wallMs));
  auto perSprite = [](double ms) { return ms * 1000.0 / (kSprites * double(kFrames)); };
  vxl::bench::Print("kor2d_main_thread_us_per_sprite", perSprite(kor2dCost.threadMs), "us");
  vxl::bench::Print("sdl_renderer_main_thread_us_per_sprite", perSprite(sdlCost.threadMs), "us");
  vxl::bench::Print("kor2d_process_cpu_ms_per_frame", kor2dCost.processMs / kFrames, "ms");
  vxl::bench::Print("sdl_renderer_process_cpu_ms_per_frame", sdlCost.processMs / kFrames, "ms");
  vxl::bench::Print("kor2d_vs_sdl_renderer_cpu_ratio",
                    ratio(sdlCost.processMs, kor2dCost.processMs));
  // An upper bound of what Kor2D can reach: the ratio if everything on the calling thread (its
  // own work and the GL's triangle setup) took no time, while the GL's filling of the same
  // pixels (the process's CPU time besides the calling thread's) stays.
  vxl::bench::Print("kor2d_vs_sdl_renderer_cpu_ceiling",
                    ratio(sdlCost.processMs, sdlCost.processMs - sdlCost.threadMs));
  vxl::bench::Print("soft_sync_60hz_ms", SoftSyncMs(), "ms");
  (void)xvfb;
  return 0;
}
