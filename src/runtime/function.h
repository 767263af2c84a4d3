// Function pointers of the framework: a plain function pointer that, never assigned, throws
// TNullFunctionException when called instead of crashing.
//
//   Function<int32_t(int32_t)> f;        // unassigned
//   f(1);                                // throws TNullFunctionException
//   f = [](int32_t x) { return x * 2; }; // any captureless lambda or function
//   f(21);                               // 42
#pragma once

#include <string>
#include <type_traits>

#include "runtime/type_tag.h"

namespace vxl {

[[noreturn]] void ThrowNullFunction();

template <class Sig>
class Function;

template <class R, class... A>
class Function<R(A...)> {
 public:
  using Pointer = R (*)(A...);

  constexpr Function() noexcept = default;
  // From a function or a captureless lambda.
  template <class F>
  requires std::is_convertible_v<F, Pointer>
  constexpr Function(F fn) noexcept : fn_(static_cast<Pointer>(fn)) {}

  R operator()(A... args) const {
    if (!fn_) ThrowNullFunction();
    return fn_(static_cast<A>(args)...);
  }
  bool IsAssigned() const noexcept { return fn_ != nullptr; }
  Pointer Get() const noexcept { return fn_; }
  friend bool operator==(const Function& a, const Function& b) noexcept = default;

 private:
  Pointer fn_ = nullptr;
};

template <class R, class... A>
struct TypeTag<Function<R(A...)>> {
  static std::string Get() {
    std::string tag = "(";
    std::string sep;
    ((tag += sep + TypeTag<std::remove_cvref_t<A>>::Get(), sep = ","), ...);
    return tag + ")" + TypeTag<R>::Get();
  }
};

}  // namespace vxl
