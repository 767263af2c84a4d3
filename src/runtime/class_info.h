// Class records and the class registry: what reflection reads.
//
// Every framework class has a record (name, superclass, reflected fields and methods). A class
// lists its reflected members in a static Bind function, next to the class:
//
//   class TPlayer : public Object {
//    public:
//     VXL_CLASS(TPlayer, Object)
//     int32_t score = 0;
//     int32_t AddScore(int32_t n) { return score += n; }
//     static void Bind(ClassBinder<TPlayer>& b) {
//       b.Field<&TPlayer::score>("score", "{min=0}");
//       b.Method<&TPlayer::AddScore>("AddScore");
//     }
//   };
//   VXL_DEFINE_CLASS(TPlayer, "{editable=1}")
//
// (the .cpp includes "runtime/class_binder.h") and its module initialiser calls
// RegisterClass<TPlayer>(). Type tags ("i", "$", ":TList",
// "[]d", "(i,$)i") are derived from the C++ member types, so a declaration cannot drift from the
// code. Values cross the reflected boundary boxed: numbers as their decimal strings, strings and
// objects as themselves.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "runtime/object.h"

namespace vxl {

template <class T>
class ClassBinder;
class String;

// A reflected field, read and written through thunks typed by the binder. Values are boxed:
// numbers as their decimal strings, strings and objects as themselves.
struct FieldInfo {
  std::string name;
  std::string tag;  // type tag, optionally followed by "{metadata}"
  // The field's value of `self` (an instance of the class, else the string "ERROR"), boxed.
  Ref<Object> (*get)(Object* self);
  // Stores a boxed value: numbers are converted from their text and cut to the field's width
  // (300 into a byte field stores 44); Null into a string field stores "". Throws the string
  // "ERROR" for an object of the wrong class or a non-string into a string field.
  void (*set)(Object* self, const Ref<Object>& value);
  // False for a field bound read-only: `set` always throws "ERROR".
  bool writable = true;
};

// A reflected method: an invoker that unboxes the arguments, calls, and boxes the result.
struct MethodInfo {
  std::string name;
  std::string tag;  // "(args)result", optionally followed by "{metadata}"
  std::vector<std::string> argTags;
  std::string resultTag;
  // Calls the method on `self` with boxed arguments; throws the string "ERROR" when the count
  // differs from argTags or an argument does not fit its parameter. A method without a result
  // gives the boxed int 0.
  Ref<Object> (*invoke)(Object* self, std::span<const Ref<Object>> args);
};

class ClassInfo {
 public:
  // Builds the record of T; used by VXL_DEFINE_CLASS.
  template <class T>
  static ClassInfo Make(const char* name, const char* meta = "");

  // The class name without metadata.
  const std::string& Name() const { return name_; }
  // The name as registered, with its "{...}" metadata when it has some.
  std::string ScopeName() const { return meta_.empty() ? name_ : name_ + meta_; }
  // The metadata text between the braces, "" when there is none.
  std::string MetaData() const;
  const ClassInfo* Super() const { return super_; }
  bool IsSubclassOf(const ClassInfo& other) const;

  // A new instance, or Null for abstract classes and classes without a default constructor.
  Ref<Object> NewInstance() const { return create_ ? create_() : Ref<Object>(); }
  bool CanCreate() const { return create_ != nullptr; }
  // True for a class with a pure virtual method: only its subclasses have instances.
  bool IsAbstract() const { return abstract_; }

  // The class's own reflected members, in declaration order. Bind runs on the first of these
  // calls, not at registration: a program that never reflects on a class never pays for its
  // member records (start-up binds nothing).
  const std::vector<FieldInfo>& Fields() const;
  const std::vector<MethodInfo>& Methods() const;

 private:
  ClassInfo(const char* name, const char* meta, const ClassInfo* super, Ref<Object> (*create)(),
            void (*bind)(ClassInfo&), bool abstract)
      : name_(name), meta_(meta), super_(super), create_(create), bind_(bind), abstract_(abstract) {}
  void EnsureBound() const;

  template <class T>
  friend class ClassBinder;

  std::string name_;
  std::string meta_;
  const ClassInfo* super_;
  Ref<Object> (*create_)();
  void (*bind_)(ClassInfo&);
  bool abstract_;
  mutable bool bound_ = false;
  mutable std::vector<FieldInfo> fields_;
  mutable std::vector<MethodInfo> methods_;
};

// Appends the class to the runtime's class table (once; later calls do nothing). Module
// initialisers call it for each of their classes in declaration order.
void RegisterClass(const ClassInfo& cls);
template <class T>
void RegisterClass() {
  RegisterClass(T::StaticClass());
}
// Every registered class, in registration order.
const std::vector<const ClassInfo*>& RegisteredClasses();

}  // namespace vxl
