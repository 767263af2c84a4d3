#include <gtest/gtest.h>

#include <random>

#include "runtime/runtime.h"
#include "support/thrown_text.h"

namespace vxl {
namespace {

class TBoxed : public Object {
  VXL_CLASS(TBoxed, Object)
 public:
  explicit TBoxed(int v = 0) : value(v) {}
  int Compare(const Object* other) const override {
    return value - static_cast<const TBoxed*>(other)->value;
  }
  int value;
};
VXL_DEFINE_CLASS(TBoxed)

TEST(Arrays, EmptyArrayIsShared) {
  auto a = Array<int32_t>::New(0);
  auto b = Array<String>::New(-3);
  auto c = Array<double>::New({2, 0});
  EXPECT_EQ(a.Length(), 0);
  EXPECT_EQ(a.AsObject(), b.AsObject());
  EXPECT_EQ(a.AsObject(), c.AsObject());
  EXPECT_EQ(a.AsObject(), Array<uint8_t>().AsObject());
}

TEST(Arrays, ElementsStartEmptyAndTagsFollowTypes) {
  auto ints = Array<int32_t>::New(3);
  EXPECT_EQ(ints[2], 0);
  EXPECT_EQ(ints.AsObject()->ElementTag(), "i");
  auto strings = Array<String>::New(2);
  EXPECT_EQ(strings[1].AsObject(), String().AsObject());
  EXPECT_EQ(strings.AsObject()->ElementTag(), "$");
  auto objects = Array<Ref<TBoxed>>::New(2);
  EXPECT_TRUE(objects[0].IsNull());
  EXPECT_EQ(objects.AsObject()->ElementTag(), ":TBoxed");
  auto nested = Array<Array<uint16_t>>::New(2);
  EXPECT_EQ(nested[0].Length(), 0);
  EXPECT_EQ(nested.AsObject()->ElementTag(), "[]s");
  EXPECT_EQ(Array<uint8_t>::New(1).AsObject()->ElementSize(), 1);
  EXPECT_EQ(Array<int64_t>::New(1).AsObject()->ElementSize(), 8);
}

TEST(Arrays, BoundsAreChecked) {
  auto a = Array<int32_t>::New(2);
  for (int32_t bad : {-1, 2})
    EXPECT_THROW_TEXT_AS(TArrayBoundsException, a[bad] = 1,
                         "Attempt to index array element beyond array length");
  EXPECT_THROW(Array<int32_t>()[0], Thrown);
}

TEST(Arrays, MultiDimensionalRowMajor) {
  auto g = Array<int32_t>::New({2, 3});
  EXPECT_EQ(g.Length(), 6);
  EXPECT_EQ(g.Dimensions(), 2);
  g.At({1, 2}) = 9;
  g.At({0, 1}) = 4;
  EXPECT_EQ(g[5], 9);
  EXPECT_EQ(g[1], 4);
  EXPECT_THROW(g.At({2, 0}), Thrown);
  EXPECT_THROW(g.At({0, 3}), Thrown);
  EXPECT_THROW(g.At({1}), Thrown);
}

TEST(Arrays, SliceAndConcat) {
  auto a = Array<int32_t>::Of({1, 2, 3});
  auto s = a.Slice(-1, 2);
  ASSERT_EQ(s.Length(), 3);
  EXPECT_EQ(s[0], 0);
  EXPECT_EQ(s[1], 1);
  EXPECT_EQ(s[2], 2);
  EXPECT_EQ(a.Slice(2, 2).Length(), 0);
  auto strings = Array<String>::Of({"a"}).Slice(0, 2);
  EXPECT_EQ(strings[1].AsObject(), String().AsObject());
  auto c = a.Concat(Array<int32_t>::Of({4}));
  ASSERT_EQ(c.Length(), 4);
  EXPECT_EQ(c[0], 1);
  EXPECT_EQ(c[3], 4);
  EXPECT_EQ(Array<int32_t>().Concat(Array<int32_t>()).Length(), 0);
}

TEST(Arrays, SortNumbersStringsObjects) {
  std::mt19937 rng(7);
  auto nums = Array<double>::New(1000);
  for (auto& x : nums)
    x = std::uniform_int_distribution<int>(0, 50)(rng);
  nums.Sort();
  EXPECT_TRUE(std::is_sorted(nums.begin(), nums.end()));
  nums.Sort(false);
  EXPECT_TRUE(std::is_sorted(nums.begin(), nums.end(), std::greater<>()));

  auto words = Array<String>::Of({"pear", "apple", "fig", "apple"});
  words.Sort();
  EXPECT_EQ(words[0].ToCString(), "apple");
  EXPECT_EQ(words[3].ToCString(), "pear");

  auto objs = Array<Ref<TBoxed>>::New(100);
  for (auto& o : objs)
    o = New<TBoxed>(std::uniform_int_distribution<int>(0, 9)(rng));
  objs[3] = nullptr;
  objs.Sort();
  EXPECT_TRUE(objs[0].IsNull());  // Null sorts first
  for (int i = 2; i < objs.Length(); ++i)
    EXPECT_LE(objs[i - 1]->value, objs[i]->value);

  auto sorted = Array<int32_t>::New(100000);  // already sorted and all-equal inputs stay fast
  sorted.Sort();
  for (int i = 0; i < sorted.Length(); ++i)
    sorted[i] = i;
  sorted.Sort(false);
  EXPECT_EQ(sorted[0], 99999);
}

TEST(Arrays, AreObjectsAndCastBack) {
  auto a = Array<String>::Of({"x"});
  Ref<Object> o = a;
  EXPECT_TRUE(Array<String>::Is(o));
  EXPECT_FALSE(Array<int32_t>::Is(o));
  EXPECT_EQ(Array<String>::Cast(o)[0].ToCString(), "x");
  EXPECT_EQ(Array<int32_t>::Cast(o).Length(), 0);
  EXPECT_TRUE(Array<int32_t>::Is(Array<String>()));  // the empty array fits every type
}

}  // namespace
}  // namespace vxl
