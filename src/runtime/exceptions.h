// Throwing and catching framework objects, and the runtime exception classes.
//
// Any object can be thrown, strings included. C++ sees one exception type, Thrown, that carries
// the object; catch it and test the class the way a framework catch clause would:
//
//   try {
//     RaiseRuntimeError("Stream is not readable");
//   } catch (const Thrown& e) {
//     if (auto ex = e.As<TVexelException>()) { ... }   // matches by class chain
//     else if (e.IsString()) { ... e.Text() ... }
//     else throw;                                      // not ours: pass it on
//   }
#pragma once

#include <exception>
#include <string>

#include "runtime/object.h"
#include "runtime/string.h"

namespace vxl {

class ClassInfo;
template <class T>
class ClassBinder;

class Thrown : public std::exception {
 public:
  explicit Thrown(Ref<Object> value);

  const Ref<Object>& Value() const noexcept { return value_; }
  // The thrown object as a T when its class is T or derives from T, else Null.
  template <class T>
  Ref<T> As() const {
    if (!Is(T::StaticClass())) return Ref<T>();
    return Ref<T>(static_cast<T*>(value_.Get()));
  }
  // True when the thrown object's class is `cls` or derives from it.
  bool Is(const ClassInfo& cls) const;
  bool IsString() const noexcept { return String::IsString(value_.Get()); }
  // The thrown object's ToString ("" for a thrown Null).
  String Text() const;
  // The same text, one byte per character.
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  Ref<Object> value_;
  std::string what_;
};

// Throws `value` (any object, Null included).
[[noreturn]] void Throw(const Ref<Object>& value);
[[noreturn]] inline void Throw(const String& text) {
  Throw(Ref<Object>(text));
}
[[noreturn]] inline void Throw(const char* text) {
  Throw(String(text));
}

class TVexelException : public Object {
 public:
  VXL_CLASS(TVexelException, Object)
};

class TNullObjectException : public TVexelException {
 public:
  VXL_CLASS(TNullObjectException, TVexelException)
  String ToString() const override;
};

class TNullMethodException : public TVexelException {
 public:
  VXL_CLASS(TNullMethodException, TVexelException)
  String ToString() const override;
};

class TNullFunctionException : public TVexelException {
 public:
  VXL_CLASS(TNullFunctionException, TVexelException)
  String ToString() const override;
};

class TArrayBoundsException : public TVexelException {
 public:
  VXL_CLASS(TArrayBoundsException, TVexelException)
  String ToString() const override;
};

class TOutOfDataException : public TVexelException {
 public:
  VXL_CLASS(TOutOfDataException, TVexelException)
  String ToString() const override;
};

class TRuntimeException : public TVexelException {
 public:
  VXL_CLASS(TRuntimeException, TVexelException)
  String error;

  static Ref<TRuntimeException> Create(const String& error);
  String ToString() const override { return error; }
  static void Bind(ClassBinder<TRuntimeException>& b);
};

// Throws a new TRuntimeException holding `message`.
[[noreturn]] void RaiseRuntimeError(const String& message);
// Throws a new TNullMethodException: what an abstract method does when called.
[[noreturn]] void ThrowNullMethod();

// What happens to an exception nothing caught: its text on standard error without a newline,
// standard error flushed, then exit(-1) so the exit functions still run.
[[noreturn]] void ReportUncaught(const Ref<Object>& value);
// Runs `body`; an exception escaping it is reported as uncaught.
template <class F>
void RunReportingUncaught(F&& body) {
  try {
    body();
  } catch (const Thrown& e) {
    ReportUncaught(e.Value());
  } catch (const std::exception& e) {
    ReportUncaught(String(e.what()));
  }
}

}  // namespace vxl
