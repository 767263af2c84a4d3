// The OpenGL entry points the framework calls, in one table.
//
// The table is filled once, through the lazy-library helper, from libGL (the file SDL is then
// told to use for its windows too), so nothing links libGL and the launcher never loads it. The
// functions are those of OpenGL 1.1, which libGL exports for whatever context is current:
//
//   if (!platform::gl::LoadApi()) return;   // no libGL: LoadError() says why
//   const platform::gl::Api& gl = platform::gl::GL();
//   gl.Clear(GL_COLOR_BUFFER_BIT);
//
// Tests may replace entries (MutableGL) with recording wrappers that forward to the real ones.
// To call another GL function, add its name to VXL_GL_ENTRY_POINTS.
#pragma once

#include <GL/gl.h>

#include <string>

namespace vxl::platform::gl {

// clang-format off
#define VXL_GL_ENTRY_POINTS(X) \
  X(AlphaFunc) X(Begin) X(BindTexture) X(Bitmap) X(BlendFunc) X(Clear) X(ClearColor) \
  X(Color4ub) X(Color4ubv) X(ColorPointer) X(DeleteTextures) X(Disable) X(DisableClientState) \
  X(DrawElements) X(DrawPixels) X(Enable) X(EnableClientState) X(End) X(Finish) X(Flush) \
  X(GenTextures) X(GetError) X(GetFloatv) X(GetIntegerv) X(GetString) X(GetTexImage) X(GetTexLevelParameteriv) \
  X(IsEnabled) X(LineWidth) X(LoadIdentity) X(LoadMatrixf) X(MatrixMode) X(Ortho) X(PixelStorei) \
  X(PopAttrib) X(PushAttrib) X(RasterPos2i) X(ReadPixels) X(Scissor) X(TexCoord2f) \
  X(TexCoordPointer) X(TexEnvi) X(TexImage2D) X(TexParameteri) X(TexSubImage2D) X(Vertex2f) X(Vertex2i) \
  X(VertexPointer) X(Viewport)
// clang-format on

struct Api {
#define VXL_GL_FIELD(name) decltype(&::gl##name) name;
  VXL_GL_ENTRY_POINTS(VXL_GL_FIELD)
#undef VXL_GL_FIELD
};

// Opens libGL and resolves every entry point, once (later calls report the first outcome).
// False when the library or an entry point is missing.
bool LoadApi();
// Why LoadApi failed ("" otherwise).
std::string LoadError();
// The file LoadApi opens (for SDL's own GL loading), "" when there is none.
std::string LibraryFile();
// The table (entries are null until LoadApi succeeded).
const Api& GL();
// The same table, writable: for tests that record calls.
Api& MutableGL();

}  // namespace vxl::platform::gl
