#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "runtime/runtime.h"
#include "support/thrown_text.h"

namespace vxl {
namespace {

class TBoxed : public Object {
 public:
  VXL_CLASS(TBoxed, Object)
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

// Objects whose Compare breaks the rules in a chosen way.
enum class Misbehaviour { kNeverEqual, kAlwaysLess, kAlwaysGreater, kCoinToss };
Misbehaviour g_misbehaviour;
std::mt19937 g_coin(1);

class TMisbehaving : public Object {
 public:
  VXL_CLASS(TMisbehaving, Object)
  explicit TMisbehaving(int v = 0) : value(v) {}
  int Compare(const Object* other) const override {
    int o = static_cast<const TMisbehaving*>(other)->value;
    switch (g_misbehaviour) {
      case Misbehaviour::kNeverEqual: return value > o ? 1 : -1;
      case Misbehaviour::kAlwaysLess: return -1;
      case Misbehaviour::kAlwaysGreater: return 1;
      case Misbehaviour::kCoinToss: return int(g_coin() % 3) - 1;
    }
    return 0;
  }
  int value;
};
VXL_DEFINE_CLASS(TMisbehaving)

TEST(Arrays, SortStaysInsideTheArrayWhateverCompareReturns) {
  std::mt19937 rng(3);
  for (auto mis : {Misbehaviour::kNeverEqual, Misbehaviour::kAlwaysLess,
                   Misbehaviour::kAlwaysGreater, Misbehaviour::kCoinToss}) {
    for (int length : {2, 3, 17, 1000}) {
      for (int distinct : {1, 5, 1000}) {
        g_misbehaviour = mis;
        auto a = Array<Ref<TMisbehaving>>::New(length);
        std::vector<int> values;
        for (auto& o : a) {
          o = New<TMisbehaving>(std::uniform_int_distribution<int>(0, distinct - 1)(rng));
          values.push_back(o->value);
        }
        a.Sort(length % 2 == 0);
        std::vector<int> after;
        for (auto& o : a)
          after.push_back(o->value);  // no element lost, none read from outside the array
        std::sort(values.begin(), values.end());
        std::sort(after.begin(), after.end());
        ASSERT_EQ(after, values) << int(mis) << " " << length << " " << distinct;
        // "a > b ? 1 : -1" still orders distinct values.
        if (mis == Misbehaviour::kNeverEqual && length % 2 == 0) {
          for (int i = 1; i < length; ++i)
            EXPECT_LE(a[i - 1]->value, a[i]->value);
        }
      }
    }
  }
}

TEST(Arrays, LengthsThatDoNotFitRaiseAnError) {
  auto a = Array<int32_t>::Of({1, 2, 3});
  auto head = a.Slice(INT32_MIN, INT32_MIN + 2);
  EXPECT_EQ(head.Length(), 2);
  EXPECT_EQ(head[0] + head[1], 0);
  EXPECT_EQ(a.Slice(INT32_MAX - 1, INT32_MAX).Length(), 1);
  EXPECT_EQ(a.Slice(2, INT32_MIN).Length(), 0);
  EXPECT_THROW_TEXT_AS(TRuntimeException, a.Slice(-1, INT32_MAX),
                       "Length 2147483648 does not fit a string or array");
  EXPECT_THROW_TEXT_AS(TRuntimeException, a.Slice(INT32_MIN, INT32_MAX),
                       "Length 4294967295 does not fit a string or array");
  EXPECT_THROW_TEXT_AS(TRuntimeException, (Array<uint8_t>::New({65536, 65536})),
                       "Length 2147483648 does not fit a string or array");
  EXPECT_THROW_TEXT_AS(TRuntimeException, (Array<uint8_t>::New({INT32_MAX, INT32_MAX, 4})),
                       "Length 2147483648 does not fit a string or array");
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
