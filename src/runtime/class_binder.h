// Binding of reflected members, and boxing of values for the reflected boundary.
// Include this in the .cpp that defines a class with VXL_DEFINE_CLASS.
//
// Reflection never breaks an object. Reflection takes its values from scripts and data, so any
// field it may write can receive any value: INT32_MIN, -1, a huge or NaN double, Null, a string,
// an object of another class. Hence one rule for every Bind:
//
// - A field that guards memory or a native handle is bound with ReadOnlyField, or with
//   AccessorField through a setter that validates the value and keeps the object consistent.
//   Such fields are pointers and the links of a structure or chain, sizes, lengths, capacities,
//   pitches, formats, handles, descriptors, ids of native resources, cursor and buffer positions,
//   flags that say who owns or may write a resource (auto-close, read/write modes, lock counts),
//   and references whose replacement would outlive or free what a method relies on (a
//   self-reference that keeps a running resource alive, a source whose memory a window shows, the
//   stream a wrapper reads).
// - Only a field that every method handles whatever it holds is bound with Field: names, user
//   data and context objects, event fields, scores and tick counts that nothing indexes with.
//   When in doubt, ReadOnlyField.
//
// Where a class documents such a field as a public member, it stays one for C++ callers; only
// the reflected write is closed. For example:
//
//   void TPixmap::Bind(ClassBinder<TPixmap>& b) {
//     b.ReadOnlyField<&TPixmap::width>("width");                 // guards the pixel memory
//   }
//   void TBank::Bind(ClassBinder<TBank>& b) {
//     b.AccessorField<&TBank::Size, &TBank::Resize>("_size");    // written through Resize
//   }
//   void TEvent::Bind(ClassBinder<TEvent>& b) {
//     b.Field<&TEvent::x>("x");                                  // plain data
//   }
//
// tests/reflection/class_fields_test.cpp holds every registered class to this rule, under the
// address and undefined-behaviour sanitizers: it makes an instance of each, writes hostile values
// into every writable field, then calls every reflected method, ToString and Compare, and drops
// it. The instance comes from the factory table in tests/support/class_probe.cpp, else from
// NewInstance (a default constructor), else from the chain the class lives on (loaders, stream
// factories, audio drivers, data types). A new class needs no code there when it has a default
// constructor or is on one of those chains; otherwise it adds one line to the table (a new chain:
// its head to the table of chains), or the test fails naming it. The table also holds live
// instances (memory, handles, a running timer) where a default one would be empty. The fuzz
// target fuzz/fuzz_reflected_fields.cpp does the same with values and calls the fuzzer picks.
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

namespace runtime_detail {

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

}  // namespace runtime_detail

template <class T>
class ClassBinder {
 public:
  explicit ClassBinder(ClassInfo& cls) : cls_(cls) {}

  // A field given by member pointer, with optional "{metadata}", that reflection may read and
  // write. Only for fields no value can break (see the rule at the top of this file).
  template <auto M>
  ClassBinder& Field(const char* name, const char* meta = "") {
    return BindField<M, true>(name, meta);
  }

  // A field that reflection reads but never writes: Set throws the string "ERROR". For fields
  // that guard memory or a native handle.
  template <auto M>
  ClassBinder& ReadOnlyField(const char* name, const char* meta = "") {
    return BindField<M, false>(name, meta);
  }

  // A field the class keeps consistent itself (a size that goes with a block of memory): read
  // with the method Get, written with the method Set, which validates the value. Without Set it
  // is read-only.
  template <auto Get, auto Set = nullptr>
  ClassBinder& AccessorField(const char* name, const char* meta = "") {
    using F = std::remove_cvref_t<typename runtime_detail::MethodTraits<decltype(Get)>::Result>;
    Ref<Object> (*get)(Object*) = [](Object* self) -> Ref<Object> {
      return Box((runtime_detail::Receiver<T>(self)->*Get)());
    };
    void (*set)(Object*, const Ref<Object>&) = [](Object* self, const Ref<Object>& value) {
      T* obj = runtime_detail::Receiver<T>(self);
      if constexpr (std::is_null_pointer_v<decltype(Set)>) {
        (void)obj;
        (void)value;
        ThrowBoxError();
      } else {
        (obj->*Set)(Unbox<F>(value));
      }
    };
    constexpr bool kWritable = !std::is_null_pointer_v<decltype(Set)>;
    cls_.fields_.push_back(FieldInfo{name, TypeTagOf<F>() + meta, get, set, kWritable});
    return *this;
  }

  // A method given by member pointer, with optional "{metadata}".
  template <auto M>
  ClassBinder& Method(const char* name, const char* meta = "") {
    using Traits = runtime_detail::MethodTraits<decltype(M)>;
    using Inv = runtime_detail::Invoker<T, M, typename Traits::Args>;
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
  template <auto M, bool Writable>
  ClassBinder& BindField(const char* name, const char* meta) {
    using F = std::remove_cvref_t<decltype(std::declval<T&>().*M)>;
    Ref<Object> (*get)(Object*) = [](Object* self) -> Ref<Object> {
      T* obj = runtime_detail::Receiver<T>(self);
      if constexpr (runtime_detail::kBoxable<F>) return Box(obj->*M);
      ThrowBoxError();  // a function-pointer field has no boxed form
    };
    void (*set)(Object*, const Ref<Object>&) = [](Object* self, const Ref<Object>& value) {
      T* obj = runtime_detail::Receiver<T>(self);
      if constexpr (Writable && runtime_detail::kBoxable<F>) {
        obj->*M = Unbox<F>(value);
      } else {
        (void)obj;
        (void)value;
        ThrowBoxError();
      }
    };
    cls_.fields_.push_back(
        FieldInfo{name, TypeTagOf<F>() + meta, get, set, Writable && runtime_detail::kBoxable<F>});
    return *this;
  }

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
  return ClassInfo(name, meta, super, create, bind, std::is_abstract_v<T>);
}

}  // namespace vxl
