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

// SDL_Renderer "software" in a window of its own: the sprites unrotated and unscaled (the
// renderer puts each at whole pixels).
struct SdlSoftwareScene {
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;

  bool Open() {
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    window = SDL_CreateWindow("bench", 32, 32, kWidth, kHeight, 0);
    renderer = window ? SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE) : nullptr;
    if (!renderer) return false;
    SDL_RendererInfo info;
    SDL_GetRendererInfo(renderer, &info);
    if (std::string(info.name) != "software") return false;
    std::vector<uint8_t> px = DiscPixels();
    texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ABGR8888, SDL_TEXTUREACCESS_STATIC,
                                kSize, kSize);
    SDL_UpdateTexture(texture, nullptr, px.data(), kSize * 4);
    SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_BLEND);
    return true;
  }
  void Frame(const std::vector<Sprite>& scene) {
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    for (const Sprite& s : scene) {
      SDL_FRect dst{s.x - kSize / 2.0f, s.y - kSize / 2.0f, float(kSize), float(kSize)};
      SDL_RenderCopyF(renderer, texture, nullptr, &dst);
    }
    SDL_RenderPresent(renderer);
  }
  void Close() {
    if (texture) SDL_DestroyTexture(texture);
    if (renderer) SDL_DestroyRenderer(renderer);
    if (window) SDL_DestroyWindow(window);
  }
};

// Kor2D's side: the opened graphics of a render driver (opening closes the previous one), made
// current again before each frame, as another window may have been drawn meanwhile.
struct Kor2DScene {
  vxl::Ref<vxl::TGraphics> graphics;
  vxl::Ref<vxl::TImage> disc;

  bool Open(const vxl::Ref<vxl::TKor2DDriver>& driver) {
    using namespace vxl;
    if (!driver) return false;
    UseGraphicsDriver(driver, 2);
    graphics = OpenGraphics(kWidth, kHeight, 0, 0, 0);
    if (!graphics) return false;
    std::vector<uint8_t> px = DiscPixels();
    Ref<TPixmap> p = TPixmap::Create(kSize, kSize, FORMAT_RGBA32, 4);
    for (int y = 0; y < kSize; ++y)
      std::memcpy(p->PixelPtr(0, y), &px[y * kSize * 4], kSize * 4);
    disc = TImage::Load(Url(p), 0, 0, 0, 0);
    CenterImageHandle(disc);
    return true;
  }
  void Frame(const std::vector<Sprite>& scene, bool rotated) {
    using namespace vxl;
    SelectGraphics(nullptr);
    SelectGraphics(graphics);
    ApplyBlend(ALPHABLEND);
    ClearScreen();
    for (const Sprite& s : scene) {
      if (rotated) ApplyTransform(s.angle, s.scale, s.scale);
      PaintImage(disc, s.x, s.y, 0);
    }
    PresentFrame(0);
  }
  void Close() {
    vxl::CloseOpenedGraphics();
    graphics = nullptr;
    disc = nullptr;
  }
};

}  // namespace

int main() {
  pid_t xvfb = EnsureDisplay();
  setenv("VXL_D3D7", "1", 1);
  vxl::InitGLKor2DModule();
  vxl::InitD3D7Kor2DStep();
  std::vector<Sprite> scene = Scene();

  double d3d7Ms = 0, sdlMs = 0, d3d7RotatedMs = 0, glRotatedMs = 0;
  SdlSoftwareScene sdl;
  Kor2DScene d3d7;
  if (sdl.Open() && d3d7.Open(vxl::D3D7Kor2DInstance())) {
    for (int i = 0; i < kWarmUp + kFrames; ++i) {
      double a = TimeMs([&] { sdl.Frame(scene); });
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
  if (gl.Open(vxl::GLKor2DInstance()))
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
