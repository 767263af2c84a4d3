// Type tags derived from C++ types: "b" byte, "s" short, "i" int, "l" long, "f" float, "d" double,
// "$" string, ":Name" object of class Name, "[]" + tag for arrays.
#pragma once

#include <string>
#include <type_traits>

#include "runtime/class_info.h"
#include "runtime/string.h"

namespace vxl {

template <class T>
class Array;

template <class T>
struct TypeTag;
template <>
struct TypeTag<uint8_t> {
  static std::string Get() { return "b"; }
};
template <>
struct TypeTag<uint16_t> {
  static std::string Get() { return "s"; }
};
template <>
struct TypeTag<int32_t> {
  static std::string Get() { return "i"; }
};
template <>
struct TypeTag<int64_t> {
  static std::string Get() { return "l"; }
};
template <>
struct TypeTag<float> {
  static std::string Get() { return "f"; }
};
template <>
struct TypeTag<double> {
  static std::string Get() { return "d"; }
};
template <>
struct TypeTag<String> {
  static std::string Get() { return "$"; }
};
template <class T>
struct TypeTag<Ref<T>> {
  static std::string Get() { return ":" + T::StaticClass().Name(); }
};
template <class T>
struct TypeTag<Array<T>> {
  static std::string Get() { return "[]" + TypeTag<T>::Get(); }
};
// Functions without a result report an int result of 0.
template <>
struct TypeTag<void> {
  static std::string Get() { return "i"; }
};

template <class T>
std::string TypeTagOf() {
  return TypeTag<std::remove_cvref_t<T>>::Get();
}

}  // namespace vxl
