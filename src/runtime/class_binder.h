// Binding of reflected members, and boxing of values for the reflected boundary.
// Include this in the .cpp that defines a class with VXL_DEFINE_CLASS.
#pragma once

#include <span>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "runtime/array.h"
#include "runtime/class_info.h"
#include "runtime/never_destroyed.h"
#include "runtime/string.h"
#include "runtime/type_tag.h"

namespace vxl {

template <class T>
Ref<Object> Box(const T& value) {
  using V = std::remove_cvref_t<T>;
  if constexpr (std::is_same_v<V, float>) {
    return String::FromFloat(value);
  } else if constexpr (std::is_same_v<V, double>) {
    return String::FromDouble(value);
  } else if constexpr (std::is_integral_v<V> && sizeof(V) == 8) {
    return String::FromLong(value);
  } else if constexpr (std::is_integral_v<V>) {
    return String::FromInt(static_cast<int32_t>(value));
  } else if constexpr (std::is_same_v<V, String>) {
    return value.AsObject();
  } else if constexpr (requires { value.AsObject(); }) {  // arrays
    return value.AsObject();
  } else {
    return Ref<Object>(value);
  }
}

// The string form of a boxed value: a string is itself, Null is "", any other object its ToString.
String BoxedText(const Ref<Object>& value);
// Throws the string "ERROR": a boxed value that does not fit where it is stored or passed.
[[noreturn]] void ThrowBoxError();

template <class T>
T Unbox(const Ref<Object>& value) {
  using V = std::remove_cvref_t<T>;
  if constexpr (std::is_same_v<V, float>) {
    return BoxedText(value).ToFloat();
  } else if constexpr (std::is_same_v<V, double>) {
    return BoxedText(value).ToDouble();
  } else if constexpr (std::is_integral_v<V> && sizeof(V) == 8) {
    return static_cast<V>(BoxedText(value).ToLong());
  } else if constexpr (std::is_integral_v<V>) {
    return static_cast<V>(BoxedText(value).ToInt());
  } else if constexpr (std::is_same_v<V, String>) {
    if (value && !String::IsString(value.Get())) ThrowBoxError();
    return String::Of(value);
  } else if constexpr (requires { V::Cast(value); }) {  // arrays
    if (value && !V::Is(value)) ThrowBoxError();
    return V::Cast(value);
  } else {
    using E = typename V::element_type;
    if (value && !value->IsInstanceOf(E::StaticClass())) ThrowBoxError();
    return V(static_cast<E*>(value.Get()));
  }
}

namespace detail {

// Field types that travel boxed: numbers, strings, object references and arrays.
template <class F>
constexpr bool kBoxable = std::is_arithmetic_v<F> || std::is_same_v<F, String> ||
                          requires(const F& f) {
  f.AsObject();
}
|| requires {
  typename F::element_type;
};

// `self` as the T a thunk of T's record works on: Null throws TNullObjectException, an object of
// another class the string "ERROR".
template <class T>
T* Receiver(Object* self) {
  if (!self) ThrowNullObject();
  if (!self->IsInstanceOf(T::StaticClass())) ThrowBoxError();
  return static_cast<T*>(self);
}

template <class M>
struct MethodTraits;
template <class C, class R, class... A>
struct MethodTraits<R (C::*)(A...)> {
  using Result = R;
  using Args = std::tuple<A...>;
};
template <class C, class R, class... A>
struct MethodTraits<R (C::*)(A...) const> {
  using Result = R;
  using Args = std::tuple<A...>;
};

template <class T, auto M, class R, class... A, size_t... I>
Ref<Object> InvokeMethod(Object* self, std::span<const Ref<Object>> args,
                         std::index_sequence<I...>) {
  if (args.size() != sizeof...(A)) ThrowBoxError();
  T* obj = Receiver<T>(self);
  if constexpr (std::is_void_v<R>) {
    (obj->*M)(Unbox<std::remove_cvref_t<A>>(args[I])...);
    return Box(int32_t{0});
  } else {
    return Box((obj->*M)(Unbox<std::remove_cvref_t<A>>(args[I])...));
  }
}

template <class T, auto M, class Tuple>
struct Invoker;
template <class T, auto M, class... A>
struct Invoker<T, M, std::tuple<A...>> {
  static Ref<Object> Call(Object* self, std::span<const Ref<Object>> args) {
    using R = typename MethodTraits<decltype(M)>::Result;
    return InvokeMethod<T, M, R, A...>(self, args, std::index_sequence_for<A...>{});
  }
  static std::vector<std::string> Tags() { return {TypeTagOf<A>()...}; }
};

}  // namespace detail

template <class T>
class ClassBinder {
 public:
  explicit ClassBinder(ClassInfo& cls) : cls_(cls) {}

  // A field given by member pointer, with optional "{metadata}".
  template <auto M>
  ClassBinder& Field(const char* name, const char* meta = "") {
    using F = std::remove_cvref_t<decltype(std::declval<T&>().*M)>;
    Ref<Object> (*get)(Object*) = [](Object* self) -> Ref<Object> {
      T* obj = detail::Receiver<T>(self);
      if constexpr (detail::kBoxable<F>) return Box(obj->*M);
      ThrowBoxError();  // a function-pointer field has no boxed form
    };
    void (*set)(Object*, const Ref<Object>&) = [](Object* self, const Ref<Object>& value) {
      T* obj = detail::Receiver<T>(self);
      if constexpr (detail::kBoxable<F>) {
        obj->*M = Unbox<F>(value);
      } else {
        ThrowBoxError();
      }
    };
    cls_.fields_.push_back(FieldInfo{name, TypeTagOf<F>() + meta, get, set});
    return *this;
  }

  // A field the class keeps consistent itself (a size that goes with a block of memory): read
  // with the method Get, written with the method Set. Without Set it is read-only: `set` throws
  // the string "ERROR".
  template <auto Get, auto Set = nullptr>
  ClassBinder& AccessorField(const char* name, const char* meta = "") {
    using F = std::remove_cvref_t<typename detail::MethodTraits<decltype(Get)>::Result>;
    Ref<Object> (*get)(Object*) = [](Object* self) -> Ref<Object> {
      return Box((detail::Receiver<T>(self)->*Get)());
    };
    void (*set)(Object*, const Ref<Object>&) = [](Object* self, const Ref<Object>& value) {
      T* obj = detail::Receiver<T>(self);
      if constexpr (std::is_null_pointer_v<decltype(Set)>) {
        (void)obj;
        (void)value;
        ThrowBoxError();
      } else {
        (obj->*Set)(Unbox<F>(value));
      }
    };
    cls_.fields_.push_back(FieldInfo{name, TypeTagOf<F>() + meta, get, set});
    return *this;
  }

  // A method given by member pointer, with optional "{metadata}".
  template <auto M>
  ClassBinder& Method(const char* name, const char* meta = "") {
    using Traits = detail::MethodTraits<decltype(M)>;
    using Inv = detail::Invoker<T, M, typename Traits::Args>;
    MethodInfo info;
    info.name = name;
    info.argTags = Inv::Tags();
    info.resultTag = TypeTagOf<typename Traits::Result>();
    info.tag = "(";
    for (size_t i = 0; i < info.argTags.size(); ++i)
      info.tag += (i ? "," : "") + info.argTags[i];
    info.tag += ")" + info.resultTag + meta;
    info.invoke = &Inv::Call;
    cls_.methods_.push_back(std::move(info));
    return *this;
  }

 private:
  ClassInfo& cls_;
};

template <class T>
ClassInfo ClassInfo::Make(const char* name, const char* meta) {
  static_assert(requires { T::StaticClass(); },
                "VXL_CLASS belongs in the public part of the class body");
  const ClassInfo* super = nullptr;
  if constexpr (!std::is_same_v<T, Object>) super = &T::SuperClass::StaticClass();
  Ref<Object> (*create)() = nullptr;
  if constexpr (std::is_default_constructible_v<T> && !std::is_abstract_v<T>) {
    create = [] { return Ref<Object>(New<T>()); };
  }
  void (*bind)(ClassInfo&) = nullptr;
  if constexpr (requires { static_cast<void (*)(ClassBinder<T>&)>(&T::Bind); }) {
    bind = [](ClassInfo& cls) {
      ClassBinder<T> binder(cls);
      T::Bind(binder);
    };
  }
  return ClassInfo(name, meta, super, create, bind);
}

}  // namespace vxl
