// The two sides of the sprite benchmarks (bench_kor2d, bench_d3d7), drawing kor2d_scene.h's
// sprites: SDL_Renderer with a named render driver in a window of its own, and Kor2D through a
// render driver. Frames of the two alternate in the benchmarks, so both see the same machine.
#pragma once

#include <SDL2/SDL.h>

#include <cstring>
#include <string>
#include <vector>

#include "graphics/kor2d/kor2d.h"
#include "kor2d_scene.h"
#include "pixmap/pixel_format.h"

namespace vxl::bench {

// SDL_Renderer's side. "opengl": batching on, the framebuffer Kor2D's window gets (double-buffered
// colour, no depth buffer: SDL's default has one, which keeps llvmpipe off its rectangle path),
// no vertical sync. "software": SDL's own pixel loops into the window surface.
struct SdlScene {
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;

  bool Open(const char* driver) {
    const bool gl = std::strcmp(driver, "opengl") == 0;
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, driver);
    if (gl) SDL_SetHint(SDL_HINT_RENDER_BATCHING, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    if (gl) {
      SDL_GL_ResetAttributes();
      SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
      SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    }
    window = SDL_CreateWindow("bench", 32, 32, kWidth, kHeight, gl ? SDL_WINDOW_OPENGL : 0);
    renderer = window ? SDL_CreateRenderer(window, -1,
                                           gl ? SDL_RENDERER_ACCELERATED : SDL_RENDERER_SOFTWARE)
                      : nullptr;
    if (!renderer) return false;
    SDL_RendererInfo info;
    SDL_GetRendererInfo(renderer, &info);
    if (std::string(info.name) != driver) return false;
    std::vector<uint8_t> px = DiscPixels();
    texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ABGR8888, SDL_TEXTUREACCESS_STATIC,
                                kSize, kSize);
    SDL_UpdateTexture(texture, nullptr, px.data(), kSize * 4);
    SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_BLEND);
    if (gl) SDL_RenderSetVSync(renderer, 0);
    return true;
  }
  // Rotated: each sprite at its angle and scale; otherwise unrotated and unscaled (the renderer
  // puts each at whole pixels).
  void Frame(const std::vector<Sprite>& scene, bool rotated) {
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    for (const Sprite& s : scene) {
      if (rotated) {
        float size = kSize * s.scale;
        SDL_FRect dst{s.x - size / 2, s.y - size / 2, size, size};
        SDL_RenderCopyExF(renderer, texture, nullptr, &dst, s.angle, nullptr, SDL_FLIP_NONE);
      } else {
        SDL_FRect dst{s.x - kSize / 2.0f, s.y - kSize / 2.0f, float(kSize), float(kSize)};
        SDL_RenderCopyF(renderer, texture, nullptr, &dst);
      }
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

// Kor2D's side: the graphics opened with a render driver (opening closes the previous one), made
// current again before each frame, as another window may have been drawn meanwhile.
struct Kor2DScene {
  Ref<TGraphics> graphics;
  Ref<TImage> disc;

  bool Open(const Ref<TKor2DDriver>& driver, int32_t flags) {
    if (!driver) return false;
    UseGraphicsDriver(driver, 2);
    graphics = OpenGraphics(kWidth, kHeight, 0, 0, flags);
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
