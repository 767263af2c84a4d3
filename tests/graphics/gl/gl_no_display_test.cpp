// Without a display the OpenGL drivers give no graphics, and keep trying: the process goes on.
#include <gtest/gtest.h>

#include <cstdlib>

#include "graphics/gl/gl_graphics.h"
#include "graphics/gl/gl_image_frame.h"
#include "graphics/gl/gl_kor2d_driver.h"
#include "graphics/gl/gl_overlay.h"
#include "runtime/class_binder.h"

namespace vxl {
namespace {

TEST(GLWithoutDisplay, OpeningGivesNullEveryTime) {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"})
    unsetenv(name);
  InitGLKor2DModule();
  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_FALSE(OpenGLGraphics(320, 200, 0, 60, 0));
    UseGraphicsDriver(GLKor2DInstance(), 2);
    EXPECT_FALSE(OpenGraphics(320, 200, 0, 0, 0));
    EXPECT_FALSE(GLKor2DInstance()->AttachGraphics(12345, 0));
  }
  EXPECT_EQ(GLDriverInstance()->GraphicsModes().Length(), 0);
  EXPECT_EQ(GLKor2DInstance()->ToString(), String("OpenGL"));
  // The overlay has nothing to draw on and does nothing.
  GLOverlayText(String("x"), 0, 0);
  GLOverlayRect(0, 0, 1, 1);
}

// Fields that hold native handles read through reflection but cannot be written through it.
TEST(GLWithoutDisplay, HandleFieldsAreReadOnlyForReflection) {
  InitGLKor2DModule();
  auto frame = New<TGLImageFrame>();
  frame->name = 7;
  frame->seq = 0;  // owns no texture: its deletion touches no GL
  auto graphics = New<TGLGraphics>();
  struct Case {
    Ref<Object> object;
    const char* field;
    const char* value;
  };
  for (const Case& c :
       {Case{frame, "name", "7"}, Case{frame, "seq", "0"}, Case{graphics, "_context", "0"}}) {
    const FieldInfo* f = nullptr;
    for (const FieldInfo& info : c.object->Class().Fields())
      if (info.name == c.field) f = &info;
    ASSERT_NE(f, nullptr) << c.field;
    EXPECT_EQ(f->get(c.object.Get())->ToString(), String(c.value)) << c.field;
    EXPECT_ANY_THROW(f->set(c.object.Get(), Box(int32_t{99}))) << c.field;
    EXPECT_EQ(f->get(c.object.Get())->ToString(), String(c.value)) << c.field;
  }
  EXPECT_EQ(frame->name, 7);
  EXPECT_EQ(graphics->_context, nullptr);
}

}  // namespace
}  // namespace vxl
