#include "graphics/gl/gl_texture.h"

#include "pixmap/pixel_format.h"
#include "pixmap/pixmap_ops.h"
#include "platform/gl/gl_api.h"
#include "runtime/exceptions.h"

namespace vxl {
namespace {

const platform::gl::Api& gl() {
  return platform::gl::GL();
}

int32_t PowerOfTwoAtLeast(int32_t n) {
  int32_t p = 1;
  while (p < n && p < (1 << 30))
    p <<= 1;
  return p;
}

}  // namespace

void GLFitTexSize(int32_t& width, int32_t& height) {
  int32_t w = PowerOfTwoAtLeast(width);
  int32_t h = PowerOfTwoAtLeast(height);
  // Sizes beyond the largest texture are refused anyway; some drivers fail on asking for them.
  GLint max = 0;
  gl().GetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
  for (;;) {
    bool tooLarge = max > 0 && (w > max || h > max);
    if (!tooLarge) {
      gl().TexImage2D(GL_PROXY_TEXTURE_2D, 0, 4, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
      GLint accepted = 0;
      gl().GetTexLevelParameteriv(GL_PROXY_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &accepted);
      if (accepted != 0) break;
    }
    if (w == 1 && h == 1) RaiseRuntimeError("Unable to calculate tex size");
    if (w > 1) w /= 2;
    if (h > 1) h /= 2;
  }
  width = w;
  height = h;
}

void GLUploadLevels(Ref<TPixmap> pixmap, bool mipmapped, bool allocate) {
  for (int32_t level = 0;; ++level) {
    gl().PixelStorei(GL_UNPACK_ROW_LENGTH, pixmap->pitch / FormatBytes[pixmap->format]);
    if (allocate) {
      gl().TexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, pixmap->width, pixmap->height, 0, GL_RGBA,
                      GL_UNSIGNED_BYTE, pixmap->pixels);
    } else {
      gl().TexSubImage2D(GL_TEXTURE_2D, level, 0, 0, pixmap->width, pixmap->height, GL_RGBA,
                         GL_UNSIGNED_BYTE, pixmap->pixels);
    }
    if (!mipmapped || (pixmap->width == 1 && pixmap->height == 1)) break;
    int32_t w = pixmap->width > 1 ? pixmap->width / 2 : 1;
    int32_t h = pixmap->height > 1 ? pixmap->height / 2 : 1;
    pixmap = ScalePixmap(pixmap, w, h);
  }
  gl().PixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

int32_t GLTextureFromPixmap(const Ref<TPixmap>& pixmap, int32_t mipmapped) {
  Ref<TPixmap> p = pixmap->Convert(FORMAT_RGBA32);
  int32_t w = p->width, h = p->height;
  GLFitTexSize(w, h);
  if (w != p->width || h != p->height) p = ScalePixmap(p, w, h);
  GLint bound = 0, rowLength = 0;
  gl().GetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  gl().GetIntegerv(GL_UNPACK_ROW_LENGTH, &rowLength);
  GLuint name = 0;
  gl().GenTextures(1, &name);
  gl().BindTexture(GL_TEXTURE_2D, name);
  // GL's default minification filter reads mipmaps: a texture without them must not use it.
  if (!mipmapped) gl().TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  GLUploadLevels(p, mipmapped != 0, true);
  gl().BindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
  gl().PixelStorei(GL_UNPACK_ROW_LENGTH, rowLength);
  return static_cast<int32_t>(name);
}

}  // namespace vxl

namespace vxl {

void GLDrawPixmapAt(const Ref<TPixmap>& pixmap, int32_t x, int32_t y) {
  Ref<TPixmap> p = MirrorPixmapY(pixmap->Convert(FORMAT_RGBA32));
  GLboolean textured = gl().IsEnabled(GL_TEXTURE_2D);
  if (textured) gl().Disable(GL_TEXTURE_2D);
  gl().RasterPos2i(0, 0);
  gl().Bitmap(0, 0, 0, 0, static_cast<GLfloat>(x), static_cast<GLfloat>(-y - p->height), nullptr);
  gl().PixelStorei(GL_UNPACK_ROW_LENGTH, p->pitch / 4);
  gl().DrawPixels(p->width, p->height, GL_RGBA, GL_UNSIGNED_BYTE, p->pixels);
  gl().PixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  if (textured) gl().Enable(GL_TEXTURE_2D);
}

}  // namespace vxl
