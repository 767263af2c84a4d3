// The OpenGL graphics driver on a real display (Xvfb with Mesa's software renderer).
#include <gtest/gtest.h>

#include "graphics/gl/gl_graphics.h"
#include "platform/gl/gl_api.h"
#include "platform/gl/gl_context.h"

namespace vxl {
namespace {

const platform::gl::Api& gl() {
  return platform::gl::GL();
}

uint32_t PixelAt(int x, int y, int height) {
  uint8_t p[4] = {};
  gl().ReadPixels(x, height - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
  return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}

class GLGraphicsTest : public ::testing::Test {
 protected:
  void SetUp() override { InitGLGraphicsModule(); }
};

TEST_F(GLGraphicsTest, WindowClearsAndReadsBack) {
  Ref<TGraphics> g = GLDriverInstance()->CreateGraphics(64, 48, 0, 0, 2);
  ASSERT_TRUE(g);
  int32_t w, h, d, hz, f;
  g->GetSettings(w, h, d, hz, f);
  EXPECT_EQ(w, 64);
  EXPECT_EQ(h, 48);
  GLDriverInstance()->SetGraphics(g);
  gl().ClearColor(1, 0, 0, 1);
  gl().Clear(GL_COLOR_BUFFER_BIT);
  EXPECT_EQ(PixelAt(3, 3, 48), 0xFF0000u);
  g->Close();
  g->GetSettings(w, h, d, hz, f);
  EXPECT_EQ(w, 0);
}

}  // namespace
}  // namespace vxl
