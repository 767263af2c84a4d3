#include "graphics/gl/gl_image_frame.h"

#include <algorithm>

#include "graphics/gl/gl_graphics.h"
#include "graphics/gl/gl_kor2d_state.h"
#include "graphics/gl/gl_texture.h"
#include "pixmap/pixel_format.h"
#include "pixmap/pixmap_ops.h"
#include "platform/gl/gl_api.h"
#include "platform/gl/gl_batch.h"
#include "platform/gl/gl_context.h"
#include "runtime/class_binder.h"

namespace vxl {

VXL_DEFINE_CLASS(TGLImageFrame)

namespace {

const platform::gl::Api& gl() {
  return platform::gl::GL();
}

// The image at the top-left of a tw x th pixmap, its last column and row repeated once.
Ref<TPixmap> WithDuplicatedEdges(const Ref<TPixmap>& image, int32_t tw, int32_t th) {
  Ref<TPixmap> t = TPixmap::Create(tw, th, FORMAT_RGBA32, 4);
  t->ClearPixels(0);
  t->Paste(image, 0, 0);
  const int32_t a = image->width, b = image->height;
  if (a < tw) {
    for (int32_t y = 0; y < b; ++y)
      t->WritePixel(a, y, image->ReadPixel(a - 1, y));
  }
  if (b < th) {
    for (int32_t x = 0; x < a; ++x)
      t->WritePixel(x, b, image->ReadPixel(x, b - 1));
  }
  if (a < tw && b < th) t->WritePixel(a, b, image->ReadPixel(a - 1, b - 1));
  return t;
}

}  // namespace

TGLImageFrame::~TGLImageFrame() {
  if (seq == 0) return;
  auto texture = static_cast<GLuint>(name);
  platform::gl::FlushQuads();
  gl_kor2d::ForgetTexture(texture);
  Ref<TGLGraphicsDriver> driver = GLDriverInstance();
  driver->SwapSharedContext();
  gl().DeleteTextures(1, &texture);
  driver->SwapSharedContext();
  seq = 0;
}

void TGLImageFrame::Draw(float x0, float y0, float x1, float y1, float tx, float ty) {
  if (!platform::gl::CurrentContext()) return;
  gl_kor2d::State& s = gl_kor2d::Current();
  gl_kor2d::UseTexture(static_cast<uint32_t>(name));
  const float lx[4] = {x0, x1, x1, x0};
  const float ly[4] = {y0, y0, y1, y1};
  float xy[8];
  for (int i = 0; i < 4; ++i) {
    xy[i * 2] = lx[i] * s.ix + ly[i] * s.iy + tx;
    xy[i * 2 + 1] = lx[i] * s.jx + ly[i] * s.jy + ty;
  }
  const float uv[8] = {u0, v0, u1, v0, u1, v1, u0, v1};
  platform::gl::QueueQuad(xy, uv);
}

Ref<TGLImageFrame> TGLImageFrame::CreateFromPixmap(const Ref<TPixmap>& pixmap, int32_t flags) {
  int32_t tw = pixmap->width, th = pixmap->height;
  GLFitTexSize(tw, th);
  const int32_t a = std::min(pixmap->width, tw), b = std::min(pixmap->height, th);
  Ref<TPixmap> image = pixmap;
  if (pixmap->width > a || pixmap->height > b) image = ScalePixmap(pixmap, a, b);
  Ref<TPixmap> texels = (a < tw || b < th) ? WithDuplicatedEdges(image->Convert(FORMAT_RGBA32), tw, th)
                                           : image->Convert(FORMAT_RGBA32);

  const bool filtered = flags & 2, mipmapped = flags & 4;
  GLuint texture = 0;
  gl().GenTextures(1, &texture);
  gl().BindTexture(GL_TEXTURE_2D, texture);
  gl().TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  gl().TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  gl().TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filtered ? GL_LINEAR : GL_NEAREST);
  GLint minFilter = filtered ? (mipmapped ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR)
                             : (mipmapped ? GL_NEAREST_MIPMAP_NEAREST : GL_NEAREST);
  gl().TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minFilter);
  // Every level is allocated first, then filled.
  for (int32_t level = 0, w = tw, h = th;; ++level) {
    gl().TexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    if (!mipmapped || (w == 1 && h == 1)) break;
    if (w >= 2) w /= 2;
    if (h >= 2) h /= 2;
  }
  GLUploadLevels(texels, mipmapped, false);

  auto frame = New<TGLImageFrame>();
  frame->name = static_cast<int32_t>(texture);
  frame->u1 = static_cast<float>(a) / static_cast<float>(tw);
  frame->v1 = static_cast<float>(b) / static_cast<float>(th);
  frame->seq = graphicsGeneration;
  // A frame made before any graphics were opened still owns its texture.
  if (frame->seq == 0) frame->seq = -1;
  return frame;
}

void TGLImageFrame::Bind(ClassBinder<TGLImageFrame>& b) {
  b.Field<&TGLImageFrame::u0>("u0");
  b.Field<&TGLImageFrame::v0>("v0");
  b.Field<&TGLImageFrame::u1>("u1");
  b.Field<&TGLImageFrame::v1>("v1");
  b.AccessorField<&TGLImageFrame::_Name>("name");
  b.AccessorField<&TGLImageFrame::_Seq>("seq");
}

}  // namespace vxl
