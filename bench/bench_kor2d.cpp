// Rotated, scaled, alpha-blended sprites per second: Kor2D over OpenGL against SDL_Renderer
// ("opengl", batching on), the same scene in the same run on the same GL; and how long 60 paced
// presents take at 60 Hz.
//
// Needs an X display; without DISPLAY it starts its own Xvfb. For Mesa's software renderer set
// LIBGL_ALWAYS_SOFTWARE=1 (Xvfb has nothing else).
#include <SDL2/SDL.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_util.h"
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

// Starts a private Xvfb when no display is set; returns its process id (0: none started).
pid_t EnsureDisplay() {
  const char* d = std::getenv("DISPLAY");
  if (d && *d) return 0;
  int fds[2];
  if (pipe(fds) != 0) return 0;
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    std::string fd = std::to_string(fds[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten",
           "tcp", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  char buf[32] = {};
  ssize_t n = read(fds[0], buf, sizeof buf - 1);
  close(fds[0]);
  if (n <= 0) return pid;
  std::string display = ":" + std::string(buf, strcspn(buf, "\n"));
  setenv("DISPLAY", display.c_str(), 1);
  return pid;
}

double SdlRendererSpritesPerSecond(const std::vector<Sprite>& scene) {
  SDL_SetHint(SDL_HINT_RENDER_DRIVER, "opengl");
  SDL_SetHint(SDL_HINT_RENDER_BATCHING, "1");
  SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return 0;
  SDL_Window* w = SDL_CreateWindow("bench", 32, 32, kWidth, kHeight, SDL_WINDOW_OPENGL);
  SDL_Renderer* r = w ? SDL_CreateRenderer(w, -1, SDL_RENDERER_ACCELERATED) : nullptr;
  if (!r) return 0;
  SDL_RendererInfo info;
  SDL_GetRendererInfo(r, &info);
  if (std::string(info.name) != "opengl") std::fprintf(stderr, "renderer: %s\n", info.name);
  std::vector<uint8_t> px = DiscPixels();
  SDL_Texture* t = SDL_CreateTexture(r, SDL_PIXELFORMAT_ABGR8888, SDL_TEXTUREACCESS_STATIC, kSize,
                                     kSize);
  SDL_UpdateTexture(t, nullptr, px.data(), kSize * 4);
  SDL_SetTextureBlendMode(t, SDL_BLENDMODE_BLEND);
  SDL_RenderSetVSync(r, 0);
  auto frame = [&] {
    SDL_SetRenderDrawColor(r, 0, 0, 0, 255);
    SDL_RenderClear(r);
    for (const Sprite& s : scene) {
      float size = kSize * s.scale;
      SDL_FRect dst{s.x - size / 2, s.y - size / 2, size, size};
      SDL_RenderCopyExF(r, t, nullptr, &dst, s.angle, nullptr, SDL_FLIP_NONE);
    }
    SDL_RenderPresent(r);
  };
  for (int i = 0; i < kWarmUp; ++i)
    frame();
  double ms = vxl::bench::TimeMs([&] {
    for (int i = 0; i < kFrames; ++i)
      frame();
  });
  SDL_DestroyTexture(t);
  SDL_DestroyRenderer(r);
  SDL_DestroyWindow(w);
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  return kSprites * static_cast<double>(kFrames) / (ms / 1000.0);
}

double Kor2DSpritesPerSecond(const std::vector<Sprite>& scene) {
  using namespace vxl;
  Ref<TGraphics> g = OpenGraphics(kWidth, kHeight, 0, 0, 0);
  if (!g) return 0;
  std::vector<uint8_t> px = DiscPixels();
  Ref<TPixmap> p = TPixmap::Create(kSize, kSize, FORMAT_RGBA32, 4);
  for (int y = 0; y < kSize; ++y)
    std::memcpy(p->PixelPtr(0, y), &px[y * kSize * 4], kSize * 4);
  Ref<TImage> disc = TImage::Load(Url(p), FILTEREDIMAGE, 0, 0, 0);
  CenterImageHandle(disc);
  ApplyBlend(ALPHABLEND);
  auto frame = [&] {
    ClearScreen();
    for (const Sprite& s : scene) {
      ApplyTransform(s.angle, s.scale, s.scale);
      PaintImage(disc, s.x, s.y, 0);
    }
    PresentFrame(0);
  };
  for (int i = 0; i < kWarmUp; ++i)
    frame();
  double ms = bench::TimeMs([&] {
    for (int i = 0; i < kFrames; ++i)
      frame();
  });
  CloseOpenedGraphics();
  return kSprites * static_cast<double>(kFrames) / (ms / 1000.0);
}

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
  pid_t xvfb = EnsureDisplay();
  setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
  setenv("GALLIUM_DRIVER", "llvmpipe", 0);
  vxl::InitGLKor2DModule();
  vxl::UseGraphicsDriver(vxl::GLKor2DInstance(), 2);
  std::vector<Sprite> scene = Scene();
  double sdl = SdlRendererSpritesPerSecond(scene);
  double kor2d = Kor2DSpritesPerSecond(scene);
  vxl::bench::Print("kor2d_sprites_per_s", kor2d, "sprites/s");
  vxl::bench::Print("sdl_renderer_opengl_sprites_per_s", sdl, "sprites/s");
  vxl::bench::Print("kor2d_vs_sdl_renderer_ratio", sdl > 0 ? kor2d / sdl : 0);
  vxl::bench::Print("soft_sync_60hz_ms", SoftSyncMs(), "ms");
  if (xvfb > 0) {
    kill(xvfb, SIGTERM);
    waitpid(xvfb, nullptr, 0);
  }
  return 0;
}
