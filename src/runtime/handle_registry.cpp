#include "runtime/handle_registry.h"

#include <unordered_map>
#include <vector>

#include "runtime/never_destroyed.h"

namespace vxl {
namespace {

struct Registry {
  std::unordered_map<const Object*, int32_t> handles;
  std::vector<Ref<Object>> objects;  // objects[h - 1] has handle h
};

// Never destroyed: the numbered objects live for the whole process.
Registry& R() {
  static NeverDestroyed<Registry> registry;
  return *registry;
}

}  // namespace

int32_t ObjectHandle(const Ref<Object>& object) {
  if (!object) return 0;
  Registry& r = R();
  auto [it, added] = r.handles.try_emplace(object.Get(), 0);
  if (added) {
    r.objects.push_back(object);
    it->second = static_cast<int32_t>(r.objects.size());
  }
  return it->second;
}

Ref<Object> HandleObject(int32_t handle) {
  Registry& r = R();
  if (handle < 1 || static_cast<size_t>(handle) > r.objects.size()) return nullptr;
  return r.objects[handle - 1];
}

}  // namespace vxl
