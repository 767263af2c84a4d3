#include "graphics/gl/gl_recorder.h"

#include <algorithm>

namespace vxl::testing {
namespace {

namespace pgl = platform::gl;

enum Index {
#define VXL_GL_INDEX(name) k##name,
  VXL_GL_ENTRY_POINTS(VXL_GL_INDEX)
#undef VXL_GL_INDEX
      kCount
};

const char* const kNames[] = {
#define VXL_GL_NAME(name) #name,
    VXL_GL_ENTRY_POINTS(VXL_GL_NAME)
#undef VXL_GL_NAME
};

pgl::Api g_real{};

template <int I, auto Member, class F>
struct Thunk;
template <int I, auto Member, class R, class... A>
struct Thunk<I, Member, R (*)(A...)> {
  static R Call(A... args) {
    GLRecorder::Calls().push_back(kNames[I]);
    return (g_real.*Member)(args...);
  }
};

}  // namespace

std::vector<std::string>& GLRecorder::Calls() {
  static std::vector<std::string> calls;
  return calls;
}

GLRecorder::GLRecorder() {
  g_real = pgl::GL();
  pgl::Api& api = pgl::MutableGL();
#define VXL_GL_WRAP(name) \
  api.name = &Thunk<k##name, &pgl::Api::name, decltype(pgl::Api::name)>::Call;
  VXL_GL_ENTRY_POINTS(VXL_GL_WRAP)
#undef VXL_GL_WRAP
  Clear();
}

GLRecorder::~GLRecorder() {
  pgl::MutableGL() = g_real;
}

int GLRecorder::Count(const std::string& name) const {
  return static_cast<int>(std::count(Calls().begin(), Calls().end(), name));
}

}  // namespace vxl::testing
