// Arrays: typed, reference-counted, with one or more dimensions.
//
//   auto a = Array<int32_t>::New(3);           // {0, 0, 0}
//   a[1] = 7;                                  // index checked: TArrayBoundsException outside
//   auto grid = Array<double>::New({2, 3});    // row-major, grid.At({1, 2})
//   auto names = Array<String>::Of({"b", "a"});
//   names.Sort();                              // strings and objects sort by their Compare
//   Ref<Object> o = names;                     // an array is an object
//
// Element types and their tags: uint8_t "b", uint16_t "s", int32_t "i", int64_t "l", float "f",
// double "d", String "$", Ref<T> ":T", Array<T> "[]..". Every request for an array with a length or
// dimension below 1 gives one shared empty array.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "runtime/checked_length.h"
#include "runtime/object.h"
#include "runtime/string.h"
#include "runtime/type_tag.h"

namespace vxl {

[[noreturn]] void ThrowArrayBounds();

// The object behind every array. Use Array<T>, not this.
class ArrayObject : public Object {
 public:
  VXL_CLASS(ArrayObject, Object)
  // The shared empty array, never destroyed. It has no elements, so sharing it changes nothing.
  static ArrayObject& Empty() noexcept;

  // The element type tag ("" for the shared empty array).
  const std::string& ElementTag() const noexcept { return tag_; }
  int32_t Length() const noexcept { return length_; }
  int32_t Dimensions() const noexcept { return static_cast<int32_t>(dims_.size()); }
  const std::vector<int32_t>& DimensionLengths() const noexcept { return dims_; }
  int32_t ElementSize() const noexcept { return elementSize_; }
  // The first element; nullptr for the empty array.
  virtual void* Data() noexcept { return nullptr; }

 protected:
  ArrayObject(std::string tag, std::vector<int32_t> dims, int32_t length, int32_t elementSize)
      : tag_(std::move(tag)), dims_(std::move(dims)), length_(length), elementSize_(elementSize) {}

 private:
  explicit ArrayObject(ImmortalTag t) noexcept : Object(t), length_(0), elementSize_(0) {}

  std::string tag_;
  std::vector<int32_t> dims_;
  int32_t length_;
  int32_t elementSize_;
};

template <class T>
class TypedArrayObject final : public ArrayObject {
 public:
  TypedArrayObject(std::vector<int32_t> dims, int32_t length)
      : ArrayObject(TypeTag<T>::Get(), std::move(dims), length, sizeof(T)),
        items_(new T[length]()) {}
  // Object references tagged with the element class named at run time (reflection).
  TypedArrayObject(std::string tag, int32_t length)
      : ArrayObject(std::move(tag), {length}, length, sizeof(T)), items_(new T[length]()) {}
  void* Data() noexcept override { return items_.get(); }
  T* Items() noexcept { return items_.get(); }

 private:
  std::unique_ptr<T[]> items_;
};

namespace runtime_detail {

template <class T>
int SortCompare(const T& a, const T& b) {
  if constexpr (std::is_arithmetic_v<T>) {
    return a < b ? -1 : (b < a ? 1 : 0);
  } else if constexpr (std::is_same_v<T, String>) {
    return a.Compare(b);
  } else if constexpr (requires { a.AsObject(); }) {
    return a.AsObject()->Compare(b.AsObject().Get());
  } else {
    // Null sorts before every object.
    if (!a) return b ? -1 : 0;
    if (!b) return 1;
    return a->Compare(b.Get());
  }
}

// Quicksort with a median-of-three pivot (not stable, by design). The scans stop at the ends
// of the range whatever the comparison says, so an inconsistent Compare (`a > b ? 1 : -1`, one
// that throws or changes its mind) leaves some order of the same elements and never reads past
// them; every round shrinks both halves, so it ends.
template <class T, class Cmp>
void QuickSort(T* items, int64_t lo, int64_t hi, const Cmp& cmp) {
  while (hi - lo > 0) {
    int64_t mid = lo + (hi - lo) / 2;
    if (cmp(items[mid], items[lo]) < 0) std::swap(items[mid], items[lo]);
    if (cmp(items[hi], items[lo]) < 0) std::swap(items[hi], items[lo]);
    if (cmp(items[hi], items[mid]) < 0) std::swap(items[hi], items[mid]);
    T pivot = items[mid];
    int64_t i = lo, j = hi;
    while (i <= j) {
      while (i < hi && cmp(items[i], pivot) < 0)
        ++i;
      while (j > lo && cmp(pivot, items[j]) < 0)
        --j;
      if (i <= j) std::swap(items[i++], items[j--]);
    }
    // Recurse into the smaller half so the stack stays O(log n).
    if (j - lo < hi - i) {
      QuickSort(items, lo, j, cmp);
      lo = i;
    } else {
      QuickSort(items, i, hi, cmp);
      hi = j;
    }
  }
}

}  // namespace runtime_detail

template <class T>
class Array {
 public:
  using value_type = T;

  // The shared empty array.
  Array() noexcept : rep_(&ArrayObject::Empty()) {}

  static Array New(int32_t length) { return New({length}); }
  static Array New(std::initializer_list<int32_t> dims) { return New(std::vector<int32_t>(dims)); }
  static Array New(const std::vector<int32_t>& dims) {
    int64_t total = dims.empty() ? 0 : 1;
    for (int32_t d : dims) {
      if (d < 1) return Array();
      total = std::min<int64_t>(total * d, int64_t(INT32_MAX) + 1);  // past the limit it stays
    }
    if (total < 1) return Array();
    return Array(::vxl::New<TypedArrayObject<T>>(dims, runtime_detail::CheckedLength(total)));
  }
  // An array of object references whose element tag (":Name" or "[]...") is given at run time.
  static Array NewTagged(std::string tag, int32_t length) requires std::is_same_v<T, Ref<Object>> {
    if (length < 1) return Array();
    return Array(::vxl::New<TypedArrayObject<T>>(std::move(tag), length));
  }
  static Array Of(std::initializer_list<T> items) {
    auto a = New(static_cast<int32_t>(items.size()));
    std::copy(items.begin(), items.end(), a.begin());
    return a;
  }

  // True if the object is an array of T (or the shared empty array).
  static bool Is(const Ref<Object>& o) {
    auto* a = dynamic_cast<ArrayObject*>(o.Get());
    return a && (a->Length() == 0 || a->ElementTag() == TypeTag<T>::Get());
  }
  // The object as an array of T if it is one, otherwise the empty array.
  static Array Cast(const Ref<Object>& o) {
    if (!Is(o)) return Array();
    return Array(Ref<ArrayObject>(static_cast<ArrayObject*>(o.Get())));
  }

  int32_t Length() const noexcept { return rep_->Length(); }
  bool IsEmpty() const noexcept { return Length() == 0; }
  int32_t Dimensions() const noexcept { return rep_->Dimensions(); }
  const std::vector<int32_t>& DimensionLengths() const noexcept { return rep_->DimensionLengths(); }

  T* Data() const noexcept { return static_cast<T*>(rep_->Data()); }
  T* begin() const noexcept { return Data(); }
  T* end() const noexcept { return Data() + Length(); }

  T& operator[](int32_t i) const {
    if (i < 0 || i >= Length()) ThrowArrayBounds();
    return Data()[i];
  }
  // Multi-dimensional access, row-major; every index is checked against its dimension.
  T& At(std::initializer_list<int32_t> index) const {
    const auto& dims = rep_->DimensionLengths();
    if (index.size() != dims.size()) ThrowArrayBounds();
    int64_t flat = 0;
    size_t k = 0;
    for (int32_t i : index) {
      if (i < 0 || i >= dims[k]) ThrowArrayBounds();
      flat = flat * dims[k++] + i;
    }
    return Data()[flat];
  }

  // Elements a..b-1; positions outside the array hold the starting value. A result longer than
  // INT32_MAX raises an error.
  Array Slice(int64_t a, int64_t b) const {
    if (b <= a) return Array();
    const int64_t n = b - a;
    auto out = New(runtime_detail::CheckedLength(n));
    const int64_t inFrom = std::clamp<int64_t>(-a, 0, n);
    const int64_t inTo = std::clamp<int64_t>(Length() - a, inFrom, n);
    if (inTo > inFrom) std::copy(Data() + (a + inFrom), Data() + (a + inTo), out.Data() + inFrom);
    return out;
  }

  // A result longer than INT32_MAX raises an error.
  Array Concat(const Array& other) const {
    auto out = New(runtime_detail::CheckedLength(int64_t(Length()) + other.Length()));
    std::copy(begin(), end(), out.begin());
    std::copy(other.begin(), other.end(), out.begin() + Length());
    return out;
  }

  // In place: numbers by value, strings and objects by Compare. Not stable.
  void Sort(bool ascending = true) {
    if (Length() < 2) return;
    if (ascending) {
      runtime_detail::QuickSort(Data(), 0, Length() - 1,
                        [](const T& a, const T& b) { return runtime_detail::SortCompare(a, b); });
    } else {
      runtime_detail::QuickSort(Data(), 0, Length() - 1,
                        [](const T& a, const T& b) { return runtime_detail::SortCompare(b, a); });
    }
  }

  const Ref<ArrayObject>& AsObject() const noexcept { return rep_; }
  operator Ref<Object>() const noexcept { return rep_; }

  // Identity of the underlying array object.
  friend bool operator==(const Array& a, const Array& b) noexcept { return a.rep_ == b.rep_; }

 private:
  explicit Array(Ref<ArrayObject> rep) : rep_(std::move(rep)) {}

  Ref<ArrayObject> rep_;  // never Null
};

}  // namespace vxl
