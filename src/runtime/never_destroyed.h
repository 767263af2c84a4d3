// Storage for a module global that is never destroyed (the exit rule is in runtime/module.h).
//
//   Ref<TStreamFactory>& FactoryHead() {
//     static NeverDestroyed<Ref<TStreamFactory>> head;
//     return *head;
//   }
//
//   String& StartupDir = *NeverDestroyed<String>::Leak();  // a named global, used as a String
//
// The value is built in place and its destructor never runs, so nothing it holds is released
// while the process exits and every exit function finds it whole. The holder itself is trivially
// destructible: no destructor is registered for it at all.
#pragma once

#include <new>
#include <type_traits>
#include <utility>

namespace vxl {

template <typename T>
class NeverDestroyed {
 public:
  template <typename... Args>
  explicit NeverDestroyed(Args&&... args) {
    ::new (static_cast<void*>(storage_)) T(std::forward<Args>(args)...);
  }
  NeverDestroyed(const NeverDestroyed&) = delete;
  NeverDestroyed& operator=(const NeverDestroyed&) = delete;

  // A value that lives until the process ends, for a global that other files name directly.
  template <typename... Args>
  static T* Leak(Args&&... args) {
    return &**new NeverDestroyed(std::forward<Args>(args)...);
  }

  T& operator*() noexcept { return *Get(); }
  T* operator->() noexcept { return Get(); }
  T* Get() noexcept { return std::launder(reinterpret_cast<T*>(storage_)); }

 private:
  alignas(T) unsigned char storage_[sizeof(T)];
};

namespace runtime_detail {
struct WithDestructor {
  ~WithDestructor();
};
static_assert(std::is_trivially_destructible_v<NeverDestroyed<WithDestructor>>);
}  // namespace runtime_detail

}  // namespace vxl
