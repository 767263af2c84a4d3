#include "runtime/exceptions.h"

#include <cstdio>
#include <cstdlib>

#include "runtime/checked_length.h"
#include "runtime/class_binder.h"

namespace vxl {

VXL_DEFINE_CLASS(TVexelException)
VXL_DEFINE_CLASS(TNullObjectException)
VXL_DEFINE_CLASS(TNullMethodException)
VXL_DEFINE_CLASS(TNullFunctionException)
VXL_DEFINE_CLASS(TArrayBoundsException)
VXL_DEFINE_CLASS(TOutOfDataException)
VXL_DEFINE_CLASS(TRuntimeException)

Thrown::Thrown(Ref<Object> value) : value_(std::move(value)), what_(Text().ToCString()) {}

bool Thrown::Is(const ClassInfo& cls) const {
  return value_ && value_->IsInstanceOf(cls);
}

String Thrown::Text() const {
  return value_ ? value_->ToString() : String();
}

void Throw(const Ref<Object>& value) {
  throw Thrown(value);
}

String TNullObjectException::ToString() const {
  return "Attempt to access field or method of Null object";
}
String TNullMethodException::ToString() const {
  return "Attempt to call abstract method";
}
String TNullFunctionException::ToString() const {
  return "Attempt to call uninitialized function pointer";
}
String TArrayBoundsException::ToString() const {
  return "Attempt to index array element beyond array length";
}
String TOutOfDataException::ToString() const {
  return "Attempt to read beyond end of data";
}

Ref<TRuntimeException> TRuntimeException::Create(const String& error) {
  auto e = New<TRuntimeException>();
  e->error = error;
  return e;
}

void TRuntimeException::Bind(ClassBinder<TRuntimeException>& b) {
  b.Field<&TRuntimeException::error>("error");
}

void RaiseRuntimeError(const String& message) {
  Throw(TRuntimeException::Create(message));
}

void ThrowNullMethod() {
  Throw(New<TNullMethodException>());
}
void ThrowNullObject() {
  Throw(New<TNullObjectException>());
}
void runtime_detail::ThrowLengthTooLong(int64_t length) {
  RaiseRuntimeError(String("Length ") + String::FromLong(length) +
                    String(" does not fit a string or array"));
}
int32_t runtime_detail::CheckedLength(int64_t length) {
  if (length < 0 || length > INT32_MAX) ThrowLengthTooLong(length);
  return static_cast<int32_t>(length);
}

void ThrowArrayBounds() {
  Throw(New<TArrayBoundsException>());
}
void ThrowNullFunction() {
  Throw(New<TNullFunctionException>());
}

void ReportUncaught(const Ref<Object>& value) {
  std::string text = value ? value->ToString().ToCString() : std::string();
  std::fflush(stdout);
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
  std::exit(-1);
}

}  // namespace vxl
