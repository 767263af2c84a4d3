// Rotated, scaled, alpha-blended sprites per second: Kor2D over OpenGL against SDL_Renderer
// ("opengl", batching on), the same scene in the same run on the same GL; and how long 60 paced
// presents take at 60 Hz.
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
#include "pixmap/pixel_format.h"
#include "runtime/clock.h"

namespace {

constexpr int kWidth = 800, kHeight = 600;
constexpr int kSprites = 10000;
constexpr int kWarmUp = 5, kFrames = 100;
constexpr int kSize = 32;

struct Sprite {
  float x, y, angle, scale;
};

std::vector<Sprite> Scene() {
  uint32_t s = 2463534242u;
  auto next = [&s] {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
  };
  auto unit = [&] { return static_cast<float>(next() % 1000000) / 1000000.0f; };
  std::vector<Sprite> sprites(kSprites);
  for (Sprite& p : sprites)
    p = {unit() * kWidth, unit() * kHeight, unit() * 360.0f, 0.5f + unit() * 1.5f};
  return sprites;
}

// A white disc whose edge fades out over about two pixels, as straight RGBA bytes.
std::vector<uint8_t> DiscPixels() {
  std::vector<uint8_t> px(kSize * kSize * 4);
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      float dx = x + 0.5f - kSize / 2.0f, dy = y + 0.5f - kSize / 2.0f;
      float a = std::clamp((15.5f - std::sqrt(dx * dx + dy * dy)) / 2.0f, 0.0f, 1.0f);
      uint8_t* p = &px[(y * kSize + x) * 4];
      p[0] = 255;
      p[1] = static_cast<uint8_t>(160 + x * 3);
      p[2] = static_cast<uint8_t>(100 + y * 4);
      p[3] = static_cast<uint8_t>(a * 255.0f + 0.5f);
    }
  }
  return px;
}

double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

// SDL_Renderer's side: its own window and context.
struct SdlScene {
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;

  bool Open() {
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "opengl");
    SDL_SetHint(SDL_HINT_RENDER_BATCHING, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
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
  double sdlMs = 0, kor2dMs = 0, sdlCpuMs = 0, kor2dCpuMs = 0;
  if (sdl.Open() && kor2d.Open()) {
    for (int i = 0; i < kWarmUp + kFrames; ++i) {
      double ca = ThreadCpuMs();
      double a = vxl::bench::TimeMs([&] { sdl.Frame(scene); });
      double cb = ThreadCpuMs();
      double b = vxl::bench::TimeMs([&] { kor2d.Frame(scene); });
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
  vxl::CloseOpenedGraphics();
  auto rate = [](double ms) { return ms > 0 ? kSprites * double(kFrames) / (ms / 1000.0) : 0; };
  vxl::bench::Print("kor2d_sprites_per_s", rate(kor2dMs), "sprites/s");
  vxl::bench::Print("sdl_renderer_opengl_sprites_per_s", rate(sdlMs), "sprites/s");
  vxl::bench::Print("kor2d_vs_sdl_renderer_ratio", kor2dMs > 0 ? sdlMs / kor2dMs : 0);
  // What each costs the calling thread (submission, vertex work, binning); the pixels are
  // filled by the GL's own threads.
  auto perSprite = [](double ms) { return ms * 1000.0 / (kSprites * double(kFrames)); };
  vxl::bench::Print("kor2d_main_thread_us_per_sprite", perSprite(kor2dCpuMs), "us");
  vxl::bench::Print("sdl_renderer_main_thread_us_per_sprite", perSprite(sdlCpuMs), "us");
  vxl::bench::Print("soft_sync_60hz_ms", SoftSyncMs(), "ms");
  (void)xvfb;
  return 0;
}
