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

// SDL_Renderer's side: its own window and context.
struct SdlScene {
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;

  bool Open() {
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "opengl");
    SDL_SetHint(SDL_HINT_RENDER_BATCHING, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    // The framebuffer Kor2D's window gets: double-buffered colour, no depth buffer (SDL's
    // default has one, which keeps llvmpipe off its rectangle path).
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    window = SDL_CreateWindow("bench", 32, 32, kWidth, kHeight, SDL_WINDOW_OPENGL);
    renderer = window ? SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED) : nullptr;
    if (!renderer) return false;
    SDL_RendererInfo info;
    SDL_GetRendererInfo(renderer, &info);
    if (std::string(info.name) != "opengl") return false;
    std::vector<uint8_t> px = DiscPixels();
    texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ABGR8888, SDL_TEXTUREACCESS_STATIC,
                                kSize, kSize);
    SDL_UpdateTexture(texture, nullptr, px.data(), kSize * 4);
    SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_BLEND);
    SDL_RenderSetVSync(renderer, 0);
    return true;
  }
  void Frame(const std::vector<Sprite>& scene) {
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    for (const Sprite& s : scene) {
      float size = kSize * s.scale;
      SDL_FRect dst{s.x - size / 2, s.y - size / 2, size, size};
      SDL_RenderCopyExF(renderer, texture, nullptr, &dst, s.angle, nullptr, SDL_FLIP_NONE);
    }
    SDL_RenderPresent(renderer);
  }
  void Close() {
    if (texture) SDL_DestroyTexture(texture);
    if (renderer) SDL_DestroyRenderer(renderer);
    if (window) SDL_DestroyWindow(window);
  }
};

// Kor2D's side: the opened graphics, made current again before each frame (SDL_Renderer made
// its own context current meanwhile).
struct Kor2DScene {
  vxl::Ref<vxl::TGraphics> graphics;
  vxl::Ref<vxl::TImage> disc;

  bool Open() {
    using namespace vxl;
    graphics = OpenGraphics(kWidth, kHeight, 0, 0, GRAPHICS_BACKBUFFER);
    if (!graphics) return false;
    std::vector<uint8_t> px = DiscPixels();
    Ref<TPixmap> p = TPixmap::Create(kSize, kSize, FORMAT_RGBA32, 4);
    for (int y = 0; y < kSize; ++y)
      std::memcpy(p->PixelPtr(0, y), &px[y * kSize * 4], kSize * 4);
    disc = TImage::Load(Url(p), 0, 0, 0, 0);
    CenterImageHandle(disc);
    return true;
  }
  void Frame(const std::vector<Sprite>& scene) {
    using namespace vxl;
    SelectGraphics(nullptr);
    SelectGraphics(graphics);
    ApplyBlend(ALPHABLEND);
    ClearScreen();
    for (const Sprite& s : scene) {
      ApplyTransform(s.angle, s.scale, s.scale);
      PaintImage(disc, s.x, s.y, 0);
    }
    PresentFrame(0);
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
  vxl::UseGraphicsDriver(vxl::GLKor2DInstance(), 2);
  std::vector<Sprite> scene = Scene();
  // Frames of the two alternate, so both see the same machine.
  SdlScene sdl;
  Kor2DScene kor2d;
  Cost sdlCost, kor2dCost;
  if (sdl.Open() && kor2d.Open()) {
    for (int i = 0; i < kWarmUp + kFrames; ++i) {
      sdlCost.Add([&] { sdl.Frame(scene); }, i >= kWarmUp);
      kor2dCost.Add([&] { kor2d.Frame(scene); }, i >= kWarmUp);
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
