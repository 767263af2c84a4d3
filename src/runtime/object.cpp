#include "runtime/object.h"

#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "runtime/class_binder.h"
#include "runtime/string.h"

namespace vxl {

VXL_DEFINE_CLASS(Object)

const ClassInfo& Object::Class() const {
  return StaticClass();
}

String Object::ToString() const {
  char buf[32];
  int n = std::snprintf(buf, sizeof buf, "%0*llX", static_cast<int>(2 * sizeof(void*)),
                        static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(this)));
  return String(std::string_view(buf, n));
}

int Object::Compare(const Object* other) const {
  auto a = reinterpret_cast<uintptr_t>(this);
  auto b = reinterpret_cast<uintptr_t>(other);
  return a < b ? -1 : (a > b ? 1 : 0);
}

Ref<Object> Object::SendMessage(const Ref<Object>&, const Ref<Object>&) {
  return Ref<Object>();
}

bool Object::IsInstanceOf(const ClassInfo& cls) const {
  return Class().IsSubclassOf(cls);
}

namespace {

// Destruction is iterative: an object released while another is being destroyed waits here, so
// a long chain of objects (a list of a million links) never recurses a million frames deep.
bool g_destroying = false;
// Never destroyed: module globals holding objects are released during static destruction, which
// may come after a function-local static vector would already be gone.
std::vector<const Object*>& PendingDestruction() {
  static auto* pending = new std::vector<const Object*>();
  return *pending;
}

#ifdef VXL_CHECKED
// Set during the start-up of the program, on the thread that runs it. Objects touched before
// (by other static initialisers) are on that thread too.
const std::thread::id g_mainThread = std::this_thread::get_id();

[[noreturn]] void FailCheck(const char* what) noexcept {
  std::fprintf(stderr, "Reference counting: %s\n", what);
  std::fflush(stderr);
  std::abort();
}
#endif

}  // namespace

#ifdef VXL_CHECKED
namespace runtime_detail {

void CheckRelease() noexcept {
  if (g_mainThread != std::thread::id() && std::this_thread::get_id() != g_mainThread)
    FailCheck("an object was touched off the main thread");
}

void CheckAddRef(int32_t refs) noexcept {
  CheckRelease();
  if (refs <= 0) FailCheck("a reference was taken to an object being destroyed");
}

}  // namespace runtime_detail
#endif

void Object::Destroy() const noexcept {
  refs_ = kDying;
  if (g_destroying) {
    PendingDestruction().push_back(this);
    return;
  }
  g_destroying = true;
  delete this;
  auto& pending = PendingDestruction();
  while (!pending.empty()) {
    const Object* next = pending.back();
    pending.pop_back();
    delete next;
  }
  g_destroying = false;
}

}  // namespace vxl
