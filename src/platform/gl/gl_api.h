// The OpenGL entry points the framework calls, in one table.
//
// The table is filled once from the GL library SDL loaded for its contexts, through SDL's own
// look-up (SDL_GL_GetProcAddress), so the entry points always belong to the contexts SDL makes,
// whichever library it was told to use. Nothing links libGL and the launcher never loads it. The
// functions are those of OpenGL 1.1, which the GL library serves for whatever context is current:
//
//   if (!platform::gl::LoadApi(file, sdl->GL_GetProcAddress)) return;  // LoadError() says why
//   const platform::gl::Api& gl = platform::gl::GL();
//   gl.Clear(GL_COLOR_BUFFER_BIT);
//
// The contexts' layer (gl_context.h) loads it when it makes the shared context. Tests may replace
// entries (MutableGL) with recording wrappers that forward to the real ones. To call another GL
// function, add its name to VXL_GL_ENTRY_POINTS.
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

// Where the entry points come from: the look-up of the GL library another library opened
// (SDL_GL_GetProcAddress).
using ProcLookup = void* (*)(const char* name);

// Resolves every entry point through `lookup` the first time it is called; later calls report
// the first outcome. `file` names the GL library in messages. False when an entry point is
// missing ("missing symbol glFoo in FILE"), or when `lookup` is null because the GL library did
// not open (`openError` says why); the failure is then the process's last library failure, under
// the name "libGL".
bool LoadApi(const std::string& file, ProcLookup lookup, const std::string& openError = "");
// Why LoadApi failed ("" otherwise).
std::string LoadError();
// The table (every entry is null until LoadApi succeeded).
const Api& GL();
// The same table, writable: for tests that record calls.
Api& MutableGL();

}  // namespace vxl::platform::gl
