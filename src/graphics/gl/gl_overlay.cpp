#include "graphics/gl/gl_overlay.h"

#include "graphics/gl/gl_graphics.h"
#include "graphics/gl/gl_texture.h"
#include "pixmap/pixel_format.h"
#include "platform/gl/gl_api.h"
#include "platform/gl/gl_batch.h"
#include "platform/gl/gl_context.h"
#include "stream/stream.h"

namespace vxl {
namespace {

constexpr int32_t kFontBytes = 1536;
constexpr int32_t kFontRowBytes = 96;
constexpr int32_t kCellWidth = 8, kCellHeight = 16;
constexpr int32_t kTextureWidth = 1024;  // 96 cells fill the first 768 columns
constexpr float kCellU = 0.0078125f;  // one 8-pixel cell of the 1024-pixel-wide texture

const platform::gl::Api& gl() {
  return platform::gl::GL();
}

struct Saved {
  GLint viewport[4];
  GLfloat modelView[16];
  GLfloat projection[16];
  int32_t depth = 0;
};

Saved g_saved;
GLuint g_fontTexture = 0;

bool HasContext() {
  return platform::gl::CurrentContext() != nullptr;
}

// The font as a 1024x16 texture: white and opaque where a bit is set, transparent elsewhere.
GLuint FontTexture() {
  if (g_fontTexture) return g_fontTexture;
  Ref<TPixmap> p = TPixmap::Create(kTextureWidth, kCellHeight, FORMAT_RGBA32, 4);
  p->ClearPixels(0);
  Ref<TStream> s = OpenStreamUrl(String("incbin::gldrawtextfont.bin"), 1, 0);
  if (s) {
    uint8_t bits[kFontBytes] = {};
    int32_t got = s->Read(bits, kFontBytes);
    s->Close();
    for (int32_t i = 0; i < got; ++i) {
      int32_t row = i / kFontRowBytes, cell = i % kFontRowBytes;
      for (int32_t k = 0; k < 8; ++k) {
        if (bits[i] >> k & 1) p->WritePixel(cell * kCellWidth + k, row, 0xFFFFFFFFu);
      }
    }
  }
  Ref<TGLGraphicsDriver> driver = GLDriverInstance();
  driver->SwapSharedContext();
  g_fontTexture = static_cast<GLuint>(GLTextureFromPixmap(p, 1));
  driver->SwapSharedContext();
  return g_fontTexture;
}

}  // namespace

void BeginGLOverlay() {
  if (!HasContext()) return;
  platform::gl::FlushQuads();
  gl().PushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT | GL_TRANSFORM_BIT);
  gl().GetIntegerv(GL_VIEWPORT, g_saved.viewport);
  gl().GetFloatv(GL_MODELVIEW_MATRIX, g_saved.modelView);
  gl().GetFloatv(GL_PROJECTION_MATRIX, g_saved.projection);
  gl().MatrixMode(GL_MODELVIEW);
  gl().LoadIdentity();
  gl().MatrixMode(GL_PROJECTION);
  gl().LoadIdentity();
  gl().Ortho(0, g_saved.viewport[2], g_saved.viewport[3], 0, -1, 1);
  gl().MatrixMode(GL_MODELVIEW);
  gl().Disable(GL_CULL_FACE);
  gl().Disable(GL_ALPHA_TEST);
  gl().Disable(GL_DEPTH_TEST);
}

void EndGLOverlay() {
  if (!HasContext()) return;
  gl().MatrixMode(GL_PROJECTION);
  gl().LoadMatrixf(g_saved.projection);
  gl().MatrixMode(GL_MODELVIEW);
  gl().LoadMatrixf(g_saved.modelView);
  gl().PopAttrib();
}

void GLOverlayRect(int32_t x, int32_t y, int32_t width, int32_t height) {
  if (!HasContext()) return;
  BeginGLOverlay();
  gl().Disable(GL_TEXTURE_2D);  // a plain rectangle, whatever texture the caller had on
  gl().Begin(GL_QUADS);
  gl().Vertex2i(x, y);
  gl().Vertex2i(x + width, y);
  gl().Vertex2i(x + width, y + height);
  gl().Vertex2i(x, y + height);
  gl().End();
  EndGLOverlay();
}

void GLOverlayText(const String& text, int32_t x, int32_t y) {
  if (!HasContext()) return;
  platform::gl::FlushQuads();
  GLuint font = FontTexture();
  BeginGLOverlay();
  gl().Enable(GL_TEXTURE_2D);
  gl().BindTexture(GL_TEXTURE_2D, font);
  gl().Begin(GL_QUADS);
  for (int32_t i = 0; i < text.Length(); ++i, x += kCellWidth) {
    int32_t code = text[i];
    if (code < 32 || code > 127) continue;
    float u0 = static_cast<float>(code - 32) * kCellU, u1 = u0 + kCellU;
    float x0 = static_cast<float>(x), y0 = static_cast<float>(y);
    gl().TexCoord2f(u0, 0);
    gl().Vertex2f(x0, y0);
    gl().TexCoord2f(u1, 0);
    gl().Vertex2f(x0 + kCellWidth, y0);
    gl().TexCoord2f(u1, 1);
    gl().Vertex2f(x0 + kCellWidth, y0 + kCellHeight);
    gl().TexCoord2f(u0, 1);
    gl().Vertex2f(x0, y0 + kCellHeight);
  }
  gl().End();
  EndGLOverlay();
}

void GLOverlayPixmap(const Ref<TPixmap>& pixmap, int32_t x, int32_t y) {
  if (!HasContext()) return;
  BeginGLOverlay();
  GLDrawPixmapAt(pixmap, x, y);
  EndGLOverlay();
}

}  // namespace vxl
