#include "platform/gl/gl_api.h"

#include <mutex>

#include "platform/sdl/sdl_library.h"

namespace vxl::platform::gl {
namespace {

Api g_api{};
bool g_loaded = false;

bool Resolve() {
  const sdl::Library* sdl = sdl::Open();
  if (!sdl) return false;
  Api api{};
#define VXL_GL_RESOLVE(name)                                                              \
  api.name = reinterpret_cast<decltype(&::gl##name)>(sdl->GL_GetProcAddress("gl" #name)); \
  if (!api.name) return false;
  VXL_GL_ENTRY_POINTS(VXL_GL_RESOLVE)
#undef VXL_GL_RESOLVE
  g_api = api;
  return true;
}

}  // namespace

bool LoadApi() {
  static std::once_flag once;
  std::call_once(once, [] { g_loaded = Resolve(); });
  return g_loaded;
}

const Api& GL() {
  return g_api;
}

Api& MutableGL() {
  return g_api;
}

}  // namespace vxl::platform::gl
