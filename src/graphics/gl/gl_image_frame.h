// Image frames of the OpenGL Kor2D driver: one texture each, made in the shared context so that
// every context can draw it.
#pragma once

#include <cstdint>

#include "graphics/kor2d/kor2d_driver.h"

namespace vxl {

class TGLImageFrame : public TImageFrame {
 public:
  VXL_CLASS(TGLImageFrame, TImageFrame)
  ~TGLImageFrame() override;

  // The image's part of its texture (u0 and v0 are 0).
  float u0 = 0, v0 = 0, u1 = 0, v1 = 0;
  // The GL texture name and the graphicsGeneration it was made at (0 once deleted); read-only
  // for reflection.
  int32_t name = 0;
  int32_t seq = 0;

  // Queues the textured quad; it reaches GL with the next flush.
  void Draw(float x0, float y0, float x1, float y1, float tx, float ty) override;

  // A frame of the pixmap in a texture of a size GLFitTexSize accepts: a larger pixmap is scaled
  // down, a smaller one sits at the top-left with its last column and row repeated once beyond
  // it, so that filtering never reads undefined texels. Flags: 2 filtered, 4 mipmapped. Runs in
  // the context current now (the driver makes that the shared one).
  static Ref<TGLImageFrame> CreateFromPixmap(const Ref<TPixmap>& pixmap, int32_t flags);

  static void Bind(ClassBinder<TGLImageFrame>& b);

 private:
  int32_t _Name() const { return name; }
  int32_t _Seq() const { return seq; }
};

}  // namespace vxl
