// The root of the object model: Object, the intrusive reference Ref<T>, and New<T>.
//
//   class TPlayer : public Object {
//    public:
//     VXL_CLASS(TPlayer, Object)
//     int32_t score = 0;
//   };
//   VXL_DEFINE_CLASS(TPlayer)            // in the .cpp
//
//   Ref<TPlayer> p = New<TPlayer>();     // count 1, owned by p
//   Ref<Object> o = p;                   // count 2
//   o = nullptr;                         // back to 1; the destructor runs when p goes
//
// Objects belong to the main thread: the count is not atomic. An empty Ref is the Null object;
// using it through -> or * throws TNullObjectException.
//
// When the last reference goes the object is marked dying and destroyed (at once, or after the
// destruction already under way). A dying object cannot come back: Release on it does nothing,
// and a registry that may meet one (a walk from a destructor) takes its references with TryRef,
// which gives Null for it. Checked builds (VXL_CHECKED: debug and sanitizer builds) stop the
// program with a message when a reference is taken to a dying object, or when a count is touched
// off the main thread; other threads may run any code that leaves framework objects alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "runtime/build_config.h"

namespace vxl {

class ClassInfo;
class String;
template <class T>
class Ref;

namespace runtime_detail {
#ifdef VXL_CHECKED
// Checked builds: stop the program when a count is touched off the main thread, or when a
// reference is taken to an object whose count is 0 or that is dying.
void CheckAddRef(int32_t refs) noexcept;
void CheckRelease() noexcept;
#endif
}  // namespace runtime_detail

// Throws a TNullObjectException (defined with the runtime exceptions).
[[noreturn]] void ThrowNullObject();

class Object {
 public:
  Object() = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  // The destructor is the object's Delete: it runs exactly once, after the last reference went.
  virtual ~Object() = default;

  // The object's address as 16 upper-case hexadecimal digits.
  virtual String ToString() const;
  // An arbitrary but consistent total order: the sign of the address difference (-1, 0, 1).
  virtual int Compare(const Object* other) const;
  virtual Ref<Object> SendMessage(const Ref<Object>& message, const Ref<Object>& context);

  // The class record of the object's dynamic class.
  virtual const ClassInfo& Class() const;
  static const ClassInfo& StaticClass();

  // True if the object's class is `cls` or derives from it.
  bool IsInstanceOf(const ClassInfo& cls) const;

  void AddRef() const noexcept {
#ifdef VXL_CHECKED
    runtime_detail::CheckAddRef(refs_);
#endif
    ++refs_;
  }
  void Release() const noexcept {
#ifdef VXL_CHECKED
    runtime_detail::CheckRelease();
#endif
    if (refs_ <= 0) return;  // dying: its destruction is already under way
    if (--refs_ == 0) Destroy();
  }
  // The number of references; 0 or below once the object is dying.
  int32_t RefCount() const noexcept { return refs_ > 0 ? refs_ : 0; }
  // True from the moment the last reference went until the destructor has run.
  bool IsDying() const noexcept { return refs_ <= 0; }

 protected:
  // Objects that live for the whole process (the empty string, the empty array) start with a
  // count that never falls to zero.
  struct ImmortalTag {};
  explicit Object(ImmortalTag) noexcept : refs_(kImmortal) {}

 private:
  static constexpr int32_t kImmortal = 1 << 30;
  // Far below zero, so references wrongly taken to a dying object never bring the count back up.
  static constexpr int32_t kDying = -(1 << 30);
  void Destroy() const noexcept;

  // A new object starts owned by its creator (New<T> adopts that count), so a temporary reference
  // to `this` taken inside a constructor cannot destroy the object under construction.
  mutable int32_t refs_ = 1;
};

template <class T>
class Ref {
 public:
  using element_type = T;

  constexpr Ref() noexcept = default;
  constexpr Ref(std::nullptr_t) noexcept {}
  Ref(T* p) noexcept : p_(p) {
    if (p_) p_->AddRef();
  }
  Ref(const Ref& o) noexcept : p_(o.p_) {
    if (p_) p_->AddRef();
  }
  Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  template <class U>
  requires std::is_convertible_v<U*, T*> Ref(const Ref<U>& o)
  noexcept : p_(o.Get()) {
    if (p_) p_->AddRef();
  }
  template <class U>
  requires std::is_convertible_v<U*, T*> Ref(Ref<U>&& o)
  noexcept : p_(o.Leak()) {}

  ~Ref() {
    if (p_) p_->Release();
  }

  Ref& operator=(const Ref& o) noexcept {
    T* old = p_;
    p_ = o.p_;
    if (p_) p_->AddRef();
    if (old) old->Release();
    return *this;
  }
  Ref& operator=(Ref&& o) noexcept {
    if (this != &o) {
      T* old = p_;
      p_ = o.p_;
      o.p_ = nullptr;
      if (old) old->Release();
    }
    return *this;
  }
  Ref& operator=(std::nullptr_t) noexcept {
    Clear();
    return *this;
  }

  // Takes over a reference the caller already owns (as New<T> does with a fresh object).
  static Ref Adopt(T* p) noexcept {
    Ref r;
    r.p_ = p;
    return r;
  }
  // Gives up the reference without releasing it.
  T* Leak() noexcept { return std::exchange(p_, nullptr); }

  void Clear() noexcept {
    if (T* old = std::exchange(p_, nullptr)) old->Release();
  }

  T* operator->() const {
    if (!p_) ThrowNullObject();
    return p_;
  }
  T& operator*() const {
    if (!p_) ThrowNullObject();
    return *p_;
  }
  T* Get() const noexcept { return p_; }
  bool IsNull() const noexcept { return p_ == nullptr; }
  explicit operator bool() const noexcept { return p_ != nullptr; }

  // The same object as a U, or Null when it is Null or not a U.
  template <class U>
  Ref<U> As() const {
    return Ref<U>(dynamic_cast<U*>(p_));
  }

  void Swap(Ref& o) noexcept { std::swap(p_, o.p_); }

 private:
  T* p_ = nullptr;
};

// A reference to `p`, or Null when `p` is Null or dying. For registries that keep plain pointers
// and may be walked while objects are being destroyed.
template <class T>
Ref<T> TryRef(T* p) noexcept {
  return p && !p->IsDying() ? Ref<T>(p) : Ref<T>();
}

// Identity comparison, as the Null test and object identity are in the framework.
template <class T, class U>
bool operator==(const Ref<T>& a, const Ref<U>& b) noexcept {
  return static_cast<const Object*>(a.Get()) == static_cast<const Object*>(b.Get());
}
template <class T>
bool operator==(const Ref<T>& a, std::nullptr_t) noexcept {
  return a.Get() == nullptr;
}

// Creates an object; the returned reference is its only owner.
template <class T, class... Args>
Ref<T> New(Args&&... args) {
  return Ref<T>::Adopt(new T(std::forward<Args>(args)...));
}

}  // namespace vxl

// Declares the class record of a framework class. Put it first in the public part of the class
// body (it changes no access: what follows it stays public); the class's .cpp defines the record
// with VXL_DEFINE_CLASS, which refuses a record declared in a private part.
#define VXL_CLASS(Self, Super)                     \
  using SuperClass = Super;                        \
  static const ::vxl::ClassInfo& StaticClass();    \
  const ::vxl::ClassInfo& Class() const override { \
    return StaticClass();                          \
  }

// Defines the class record declared by VXL_CLASS. The optional second argument is metadata in the
// form "{key=value ...}" appended to the class name.
#define VXL_DEFINE_CLASS(Self, ...)                                      \
  const ::vxl::ClassInfo& Self::StaticClass() {                          \
    static ::vxl::NeverDestroyed<::vxl::ClassInfo> info(                 \
        ::vxl::ClassInfo::Make<Self>(#Self __VA_OPT__(, ) __VA_ARGS__)); \
    return *info;                                                        \
  }
