// The sprite scene the graphics benchmarks draw, and the pieces each of them needs around it: 10
// 000 32 x 32 alpha-blended discs per 800 x 600 frame at xorshift positions (with angles and scales
// 0.5 to 2 for the rotated variant), drawn through Kor2D or through SDL_Renderer.
#pragma once

#include <SDL2/SDL.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "graphics/kor2d/kor2d.h"
#include "pixmap/pixel_format.h"

namespace vxl::bench {

constexpr int kSceneWidth = 800, kSceneHeight = 600;
constexpr int kSprites = 10000;
constexpr int kWarmUp = 5, kFrames = 100;
constexpr int kSpriteSize = 32;

struct Sprite {
  float x, y, angle, scale;
};

inline std::vector<Sprite> SpriteScene() {
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
    p = {unit() * kSceneWidth, unit() * kSceneHeight, unit() * 360.0f, 0.5f + unit() * 1.5f};
  return sprites;
}

// A disc whose edge fades out over about two pixels, as straight RGBA bytes.
inline std::vector<uint8_t> DiscPixels() {
  std::vector<uint8_t> px(kSpriteSize * kSpriteSize * 4);
  for (int y = 0; y < kSpriteSize; ++y) {
    for (int x = 0; x < kSpriteSize; ++x) {
      float dx = x + 0.5f - kSpriteSize / 2.0f, dy = y + 0.5f - kSpriteSize / 2.0f;
      float a = std::clamp((15.5f - std::sqrt(dx * dx + dy * dy)) / 2.0f, 0.0f, 1.0f);
      uint8_t* p = &px[(y * kSpriteSize + x) * 4];
      p[0] = 255;
      p[1] = static_cast<uint8_t>(160 + x * 3);
      p[2] = static_cast<uint8_t>(100 + y * 4);
      p[3] = static_cast<uint8_t>(a * 255.0f + 0.5f);
    }
  }
  return px;
}

inline double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

// Sprites per second for `ms` spent on kFrames frames.
inline double SpriteRate(double ms) {
  return ms > 0 ? kSprites * double(kFrames) / (ms / 1000.0) : 0;
}

// SDL_Renderer's side: its own window and renderer (`driver`: "opengl", "software").
struct SdlSpriteScene {
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;

  bool Open(const char* driver) {
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, driver);
    SDL_SetHint(SDL_HINT_RENDER_BATCHING, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    uint32_t flags = std::string(driver) == "opengl" ? SDL_WINDOW_OPENGL : 0;
    window = SDL_CreateWindow("bench", 32, 32, kSceneWidth, kSceneHeight, flags);
    renderer = window ? SDL_CreateRenderer(window, -1, 0) : nullptr;
    if (!renderer) return false;
    SDL_RendererInfo info;
    SDL_GetRendererInfo(renderer, &info);
    if (std::string(info.name) != driver) return false;
    std::vector<uint8_t> px = DiscPixels();
    texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ABGR8888, SDL_TEXTUREACCESS_STATIC,
                                kSpriteSize, kSpriteSize);
    SDL_UpdateTexture(texture, nullptr, px.data(), kSpriteSize * 4);
    SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_BLEND);
    SDL_RenderSetVSync(renderer, 0);
    return true;
  }
  void Frame(const std::vector<Sprite>& scene, bool rotated) {
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    for (const Sprite& s : scene) {
      float size = rotated ? kSpriteSize * s.scale : kSpriteSize;
      SDL_FRect dst{s.x - size / 2, s.y - size / 2, size, size};
      if (rotated)
        SDL_RenderCopyExF(renderer, texture, nullptr, &dst, s.angle, nullptr, SDL_FLIP_NONE);
      else
        SDL_RenderCopyF(renderer, texture, nullptr, &dst);
    }
    SDL_RenderPresent(renderer);
  }
  void Close() {
    if (texture) SDL_DestroyTexture(texture);
    if (renderer) SDL_DestroyRenderer(renderer);
    if (window) SDL_DestroyWindow(window);
    texture = nullptr;
    renderer = nullptr;
    window = nullptr;
  }
};

// Kor2D's side: the opened graphics of the given render driver (opening closes the previous
// one), made current again before each frame (another renderer may have taken the display
// meanwhile).
struct Kor2DSpriteScene {
  Ref<TGraphics> graphics;
  Ref<TImage> disc;

  bool Open(const Ref<TKor2DDriver>& driver) {
    if (!driver) return false;
    UseGraphicsDriver(driver, 2);
    graphics = OpenGraphics(kSceneWidth, kSceneHeight, 0, 0, 0);
    if (!graphics) return false;
    std::vector<uint8_t> px = DiscPixels();
    Ref<TPixmap> p = TPixmap::Create(kSpriteSize, kSpriteSize, FORMAT_RGBA32, 4);
    for (int y = 0; y < kSpriteSize; ++y)
      std::memcpy(p->PixelPtr(0, y), &px[y * kSpriteSize * 4], kSpriteSize * 4);
    disc = TImage::Load(Url(p), 0, 0, 0, 0);
    CenterImageHandle(disc);
    return true;
  }
  void Frame(const std::vector<Sprite>& scene, bool rotated) {
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
    CloseOpenedGraphics();
    graphics = nullptr;
    disc = nullptr;
  }
};

}  // namespace vxl::bench
