// The enumeration protocol and range-for over it.
//
// A collection is enumerable when it has ObjectEnumerator(), returning an enumerator with
// HasNext() and NextObject(). Any Ref to such a collection works in a range-for:
//
//   for (Ref<Object> value : list) { ... }
//
// Each step asks the enumerator afresh, so a collection whose enumerator tolerates removal of the
// element just returned can be changed inside the loop.
#pragma once

#include <iterator>

#include "runtime/object.h"

namespace vxl {

template <class C>
concept Enumerable = requires(C& c) {
  c.ObjectEnumerator();
};

template <class E>
class EnumerationIterator {
 public:
  using value_type = Ref<Object>;
  using difference_type = std::ptrdiff_t;

  EnumerationIterator() = default;
  explicit EnumerationIterator(E enumerator) : enumerator_(std::move(enumerator)) { Advance(); }

  const Ref<Object>& operator*() const { return current_; }
  EnumerationIterator& operator++() {
    Advance();
    return *this;
  }
  void operator++(int) { Advance(); }
  bool operator==(std::default_sentinel_t) const { return done_; }

 private:
  void Advance() {
    if (enumerator_ && enumerator_->HasNext()) {
      current_ = enumerator_->NextObject();
    } else {
      done_ = true;
      current_ = nullptr;
    }
  }

  E enumerator_;
  Ref<Object> current_;
  bool done_ = false;
};

template <Enumerable C>
auto begin(const Ref<C>& collection) {
  return EnumerationIterator<decltype(collection->ObjectEnumerator())>(
      collection->ObjectEnumerator());
}

template <Enumerable C>
std::default_sentinel_t end(const Ref<C>&) {
  return {};
}

}  // namespace vxl
