// What the GL's pixel filling costs for the Kor2D sprite scene under each way of sending it:
// draw-call shape (triangles, quads, indexed triangles, one strip per sprite, immediate mode),
// texture state (RGBA or BGRA texels, a mip chain present or not, filters), texture environment,
// blending, alpha test and the window's pixel format. Every variant draws the same sprites in
// plain GL 1.1; frames of all variants alternate, so all see the same machine. Each prints its
// median milliseconds per frame (the GL finished) and whether its picture equals the first
// variant's of the same scene and window (1) or not (0: it is there to show what a different
// picture would cost). An unrotated scene (angle 0, scale 1) shows what axis-aligned sprites
// cost the same ways.
//
// Needs an X display; without DISPLAY it starts its own Xvfb. It draws on Mesa's software renderer
// (llvmpipe) unless LIBGL_ALWAYS_SOFTWARE or GALLIUM_DRIVER say otherwise; llvmpipe's switches
// apply as usual, e.g. LP_NUM_THREADS=1 or LP_PERF=no_rast_linear (without its rectangle path).
#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL2/SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "bench_display.h"
#include "bench_util.h"
#include "kor2d_scene.h"

namespace {

using namespace vxl::bench;

constexpr int kWarmUp = 2, kFrames = 12;
constexpr int kBatch = 4096;  // quads per draw call, as Kor2D's batch

enum class Shape { kTriangles, kQuads, kIndexed, kStripPerSprite, kImmediate };

struct Variant {
  const char* name;
  bool alphaVisual = false;  // the window has an alpha channel
  bool unrotated = false;
  Shape shape = Shape::kTriangles;
  bool bgra = false;     // texels uploaded as BGRA (llvmpipe then keeps them so)
  bool mipmaps = false;  // a full mip chain exists
  GLint minFilter = GL_NEAREST, magFilter = GL_NEAREST;
  bool modulate = false;  // GL_MODULATE with white instead of GL_REPLACE
  bool blend = true;
  bool alphaTest = false;  // GL_GREATER 0: fully transparent texels are not blended
};

const Variant kVariants[] = {
    {"triangles"},
    {"quads", false, false, Shape::kQuads},
    {"indexed_triangles", false, false, Shape::kIndexed},
    {"strip_per_sprite", false, false, Shape::kStripPerSprite},
    {"immediate_quads", false, false, Shape::kImmediate},
    {"bgra_texels", false, false, Shape::kTriangles, true},
    {"mip_chain_unused", false, false, Shape::kTriangles, false, true},
    {"modulate_white", false, false, Shape::kTriangles, false, false, GL_NEAREST, GL_NEAREST, true},
    {"alpha_test", false, false, Shape::kTriangles, false, false, GL_NEAREST, GL_NEAREST, false,
     true, true},
    {"nearest_mipmap_nearest", false, false, Shape::kTriangles, false, true,
     GL_NEAREST_MIPMAP_NEAREST},
    {"linear_filter", false, false, Shape::kTriangles, false, false, GL_LINEAR, GL_LINEAR},
    {"no_blend", false, false, Shape::kTriangles, false, false, GL_NEAREST, GL_NEAREST, false,
     false},
    {"alpha_visual", true},
    {"unrotated_triangles", false, true},
    {"unrotated_quads", false, true, Shape::kQuads},
    {"unrotated_strip_per_sprite", false, true, Shape::kStripPerSprite},
    {"unrotated_bgra_texels", false, true, Shape::kTriangles, true},
    {"unrotated_bgra_modulate_white", false, true, Shape::kTriangles, true, false, GL_NEAREST,
     GL_NEAREST, true},
    // Without blending (a different picture; only against each other).
    {"unrotated_no_blend", false, true, Shape::kTriangles, false, false, GL_NEAREST, GL_NEAREST,
     false, false},
    {"unrotated_bgra_no_blend", false, true, Shape::kTriangles, true, false, GL_NEAREST, GL_NEAREST,
     false, false},
};

struct Quads {
  std::vector<float> xy, uv;  // four corners per sprite: (x0,y0) (x1,y0) (x1,y1) (x0,y1)
};

Quads Corners(const std::vector<Sprite>& scene, bool unrotated) {
  Quads q;
  const float lx[4] = {-16, 16, 16, -16}, ly[4] = {-16, -16, 16, 16};
  const float u[4] = {0, 1, 1, 0}, v[4] = {0, 0, 1, 1};
  for (const Sprite& s : scene) {
    const float a = unrotated ? 0 : s.angle * 3.14159265f / 180, k = unrotated ? 1 : s.scale;
    const float ix = std::cos(a) * k, iy = -std::sin(a) * k, jx = std::sin(a) * k,
                jy = std::cos(a) * k;
    for (int i = 0; i < 4; ++i) {
      q.xy.push_back(lx[i] * ix + ly[i] * iy + s.x);
      q.xy.push_back(lx[i] * jx + ly[i] * jy + s.y);
      q.uv.push_back(u[i]);
      q.uv.push_back(v[i]);
    }
  }
  return q;
}

// The same corners in the order a shape needs.
Quads Reordered(const Quads& q, const int* order, int n) {
  Quads r;
  for (size_t s = 0; s < q.xy.size() / 8; ++s) {
    for (int i = 0; i < n; ++i) {
      r.xy.push_back(q.xy[s * 8 + order[i] * 2]);
      r.xy.push_back(q.xy[s * 8 + order[i] * 2 + 1]);
      r.uv.push_back(q.uv[s * 8 + order[i] * 2]);
      r.uv.push_back(q.uv[s * 8 + order[i] * 2 + 1]);
    }
  }
  return r;
}

struct Window {
  SDL_Window* window = nullptr;
  SDL_GLContext gl = nullptr;
  GLuint rgba = 0, bgra = 0, rgbaMip = 0;
};

GLuint MakeTexture(bool bgra, bool mipmaps) {
  std::vector<uint8_t> px = DiscPixels();
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  for (int level = 0, size = kSize; size >= 1; ++level, size /= 2) {
    std::vector<uint8_t> texels = px;
    if (bgra) {
      for (size_t i = 0; i < texels.size(); i += 4)
        std::swap(texels[i], texels[i + 2]);
    }
    glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, size, size, 0, bgra ? GL_BGRA : GL_RGBA,
                 GL_UNSIGNED_BYTE, texels.data());
    if (!mipmaps) break;
    // The next level: every other texel (only its presence matters here).
    std::vector<uint8_t> half(size / 2 * size / 2 * 4);
    for (int y = 0; y < size / 2; ++y)
      for (int x = 0; x < size / 2; ++x)
        std::memcpy(&half[(y * size / 2 + x) * 4], &px[(y * 2 * size + x * 2) * 4], 4);
    px = half;
  }
  return name;
}

bool OpenWindow(Window& w, bool alpha) {
  SDL_GL_ResetAttributes();
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, alpha ? 8 : 0);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);  // as Kor2D's windows (a depth buffer rules out
                                              // llvmpipe's rectangle path)
  w.window = SDL_CreateWindow("fill", 32, 32, kWidth, kHeight, SDL_WINDOW_OPENGL);
  if (!w.window) return false;
  w.gl = SDL_GL_CreateContext(w.window);
  if (!w.gl) return false;
  SDL_GL_SetSwapInterval(0);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, kWidth, kHeight, 0, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glViewport(0, 0, kWidth, kHeight);
  w.rgba = MakeTexture(false, false);
  w.bgra = MakeTexture(true, false);
  w.rgbaMip = MakeTexture(false, true);
  return true;
}

struct Geometry {
  Quads quads, triangles, strips;
  std::vector<GLuint> indices;
};

Geometry MakeGeometry(const std::vector<Sprite>& scene, bool unrotated) {
  static const int kTriangleOrder[6] = {0, 1, 2, 0, 2, 3}, kStripOrder[4] = {0, 1, 3, 2};
  Geometry g;
  g.quads = Corners(scene, unrotated);
  g.triangles = Reordered(g.quads, kTriangleOrder, 6);
  g.strips = Reordered(g.quads, kStripOrder, 4);
  for (GLuint i = 0; i < kBatch; ++i) {
    for (int k : kTriangleOrder)
      g.indices.push_back(i * 4 + k);
  }
  return g;
}

void Draw(const Variant& v, const Geometry& g) {
  const int n = kSprites;
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  switch (v.shape) {
    case Shape::kTriangles:
      for (int i = 0; i < n; i += kBatch) {
        glVertexPointer(2, GL_FLOAT, 0, &g.triangles.xy[i * 12]);
        glTexCoordPointer(2, GL_FLOAT, 0, &g.triangles.uv[i * 12]);
        glDrawArrays(GL_TRIANGLES, 0, std::min(kBatch, n - i) * 6);
      }
      break;
    case Shape::kQuads:
      for (int i = 0; i < n; i += kBatch) {
        glVertexPointer(2, GL_FLOAT, 0, &g.quads.xy[i * 8]);
        glTexCoordPointer(2, GL_FLOAT, 0, &g.quads.uv[i * 8]);
        glDrawArrays(GL_QUADS, 0, std::min(kBatch, n - i) * 4);
      }
      break;
    case Shape::kIndexed:
      for (int i = 0; i < n; i += kBatch) {
        glVertexPointer(2, GL_FLOAT, 0, &g.quads.xy[i * 8]);
        glTexCoordPointer(2, GL_FLOAT, 0, &g.quads.uv[i * 8]);
        glDrawElements(GL_TRIANGLES, std::min(kBatch, n - i) * 6, GL_UNSIGNED_INT,
                       g.indices.data());
      }
      break;
    case Shape::kStripPerSprite:
      glVertexPointer(2, GL_FLOAT, 0, g.strips.xy.data());
      glTexCoordPointer(2, GL_FLOAT, 0, g.strips.uv.data());
      for (int i = 0; i < n; ++i)
        glDrawArrays(GL_TRIANGLE_STRIP, i * 4, 4);
      break;
    case Shape::kImmediate:
      glBegin(GL_QUADS);
      for (int i = 0; i < n * 4; ++i) {
        glTexCoord2f(g.quads.uv[i * 2], g.quads.uv[i * 2 + 1]);
        glVertex2f(g.quads.xy[i * 2], g.quads.xy[i * 2 + 1]);
      }
      glEnd();
      break;
  }
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
}

void Frame(const Variant& v, const Window& w, const Geometry& g) {
  SDL_GL_MakeCurrent(w.window, w.gl);
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, v.mipmaps ? w.rgbaMip : v.bgra ? w.bgra : w.rgba);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, v.minFilter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, v.magFilter);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, v.modulate ? GL_MODULATE : GL_REPLACE);
  glColor4ub(255, 255, 255, 255);
  if (v.blend) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  } else {
    glDisable(GL_BLEND);
  }
  if (v.alphaTest) {
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0);
  } else {
    glDisable(GL_ALPHA_TEST);
  }
  Draw(v, g);
  glFinish();
}

double ProcessCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

// The window's colours, without alpha.
std::vector<uint8_t> Picture() {
  std::vector<uint8_t> px(kWidth * kHeight * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, px.data());
  return px;
}

}  // namespace

int main() {
  EnsureDisplay();
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "no display\n");
    return 1;
  }
  Window windows[2];
  if (!OpenWindow(windows[0], false) || !OpenWindow(windows[1], true)) {
    std::fprintf(stderr, "no OpenGL window\n");
    return 1;
  }
  const std::vector<Sprite> scene = Scene();
  const Geometry rotated = MakeGeometry(scene, false), unrotated = MakeGeometry(scene, true);
  constexpr size_t kCount = sizeof kVariants / sizeof kVariants[0];
  std::vector<std::vector<double>> ms(kCount), cpuMs(kCount);
  for (int round = 0; round < kWarmUp + kFrames; ++round) {
    for (size_t i = 0; i < kCount; ++i) {
      const Variant& v = kVariants[i];
      const Window& w = windows[v.alphaVisual ? 1 : 0];
      const double cpu = ProcessCpuMs();
      const double t = TimeMs([&] { Frame(v, w, v.unrotated ? unrotated : rotated); });
      if (round >= kWarmUp) {
        ms[i].push_back(t);
        cpuMs[i].push_back(ProcessCpuMs() - cpu);
      }
    }
  }
  // The reference picture of each scene is that of its first variant in the plain window.
  std::vector<uint8_t> reference[2];
  for (size_t i = 0; i < kCount; ++i) {
    const Variant& v = kVariants[i];
    const Window& w = windows[v.alphaVisual ? 1 : 0];
    Frame(v, w, v.unrotated ? unrotated : rotated);
    std::vector<uint8_t> picture = Picture();
    std::vector<uint8_t>& ref = reference[v.unrotated ? 1 : 0];
    if (ref.empty()) ref = picture;
    const std::string name = std::string("fill_") + v.name;
    Print((name + "_cpu_ms_per_frame").c_str(), Median(cpuMs[i]), "ms");
    Print((name + "_ms_per_frame").c_str(), Median(ms[i]), "ms");
    Print((name + "_same_pixels").c_str(), picture == ref ? 1 : 0);
  }
  for (Window& w : windows) {
    SDL_GL_DeleteContext(w.gl);
    SDL_DestroyWindow(w.window);
  }
  SDL_Quit();
  return 0;
}
