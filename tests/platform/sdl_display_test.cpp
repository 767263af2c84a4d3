// The display harness: a real window with an OpenGL context on the test X server (Xvfb with
// Mesa's software renderer), opened through the SDL layer.
#include <gtest/gtest.h>

#include <SDL2/SDL_opengl.h>

#include "platform/sdl/sdl_library.h"

namespace vxl::platform::sdl {
namespace {

template <typename Fn>
Fn GlFunction(const Library* sdl, const char* name) {
  return reinterpret_cast<Fn>(sdl->GL_GetProcAddress(name));
}

TEST(SdlDisplay, WindowWithOpenGLContextDrawsAndReadsBack) {
  const Library* sdl = StartSubsystems(SDL_INIT_VIDEO);
  ASSERT_NE(sdl, nullptr) << OpenError();
  EXPECT_STREQ(sdl->GetCurrentVideoDriver(), "x11");
  SDL_DisplayMode desktop;
  ASSERT_EQ(sdl->GetDesktopDisplayMode(0, &desktop), 0) << sdl->GetError();
  EXPECT_GE(desktop.w, 640);

  SDL_Window* window = sdl->CreateWindow("display harness", SDL_WINDOWPOS_UNDEFINED,
                                         SDL_WINDOWPOS_UNDEFINED, 64, 48, SDL_WINDOW_OPENGL);
  ASSERT_NE(window, nullptr) << sdl->GetError();
  int w = 0, h = 0;
  sdl->GetWindowSize(window, &w, &h);
  EXPECT_EQ(w, 64);
  EXPECT_EQ(h, 48);

  SDL_GLContext context = sdl->GL_CreateContext(window);
  ASSERT_NE(context, nullptr) << sdl->GetError();
  auto clearColor =
      GlFunction<void(APIENTRY*)(GLfloat, GLfloat, GLfloat, GLfloat)>(sdl, "glClearColor");
  auto clear = GlFunction<void(APIENTRY*)(GLbitfield)>(sdl, "glClear");
  auto finish = GlFunction<void(APIENTRY*)()>(sdl, "glFinish");
  auto readPixels =
      GlFunction<void(APIENTRY*)(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void*)>(
          sdl, "glReadPixels");
  ASSERT_TRUE(clearColor && clear && finish && readPixels);
  clearColor(1.0f, 0.0f, 1.0f, 1.0f);
  clear(GL_COLOR_BUFFER_BIT);
  finish();
  unsigned char pixel[4] = {};
  readPixels(10, 10, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
  EXPECT_EQ(pixel[0], 255);
  EXPECT_EQ(pixel[1], 0);
  EXPECT_EQ(pixel[2], 255);
  sdl->GL_SwapWindow(window);

  sdl->GL_DeleteContext(context);
  sdl->DestroyWindow(window);
  StopSubsystems(SDL_INIT_VIDEO);
}

}  // namespace
}  // namespace vxl::platform::sdl
