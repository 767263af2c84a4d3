#include <gtest/gtest.h>

#include "runtime/runtime.h"
#include "support/thrown_text.h"

namespace vxl {
namespace {

template <class Catch>
bool Catches(const Ref<Object>& thrown) {
  try {
    Throw(thrown);
  } catch (const Thrown& e) {
    return bool(e.As<Catch>());
  }
  return false;
}

TEST(Exceptions, TextsOfTheRuntimeExceptions) {
  EXPECT_EQ(New<TNullObjectException>()->ToString().ToCString(),
            "Attempt to access field or method of Null object");
  EXPECT_EQ(New<TNullMethodException>()->ToString().ToCString(), "Attempt to call abstract method");
  EXPECT_EQ(New<TNullFunctionException>()->ToString().ToCString(),
            "Attempt to call uninitialized function pointer");
  EXPECT_EQ(New<TArrayBoundsException>()->ToString().ToCString(),
            "Attempt to index array element beyond array length");
  EXPECT_EQ(New<TOutOfDataException>()->ToString().ToCString(),
            "Attempt to read beyond end of data");
  EXPECT_EQ(TRuntimeException::Create("boom")->ToString().ToCString(), "boom");
}

TEST(Exceptions, CatchByClassChain) {
  std::vector<Ref<Object>> all = {New<TNullObjectException>(),   New<TNullMethodException>(),
                                  New<TNullFunctionException>(), New<TArrayBoundsException>(),
                                  New<TOutOfDataException>(),    TRuntimeException::Create("x")};
  for (const auto& e : all) {
    EXPECT_TRUE(Catches<TVexelException>(e));
    EXPECT_TRUE(Catches<Object>(e));
  }
  EXPECT_FALSE(Catches<TRuntimeException>(New<TNullObjectException>()));
  EXPECT_FALSE(Catches<TRuntimeException>(String("a string")));
  EXPECT_FALSE(Catches<TVexelException>(String("a string")));
  EXPECT_TRUE(Catches<Object>(String("a string")));
}

TEST(Exceptions, NestedHandlersAndRethrow) {
  std::string seen;
  try {
    try {
      RaiseRuntimeError("inner");
    } catch (const Thrown& e) {
      if (e.IsString()) seen += "string";
      throw;  // not a string: passes on
    }
  } catch (const Thrown& e) {
    auto ex = e.As<TRuntimeException>();
    ASSERT_TRUE(ex);
    seen += ex->error.ToCString();
  }
  EXPECT_EQ(seen, "inner");
}

TEST(Exceptions, ThrownStringPrintsItself) {
  try {
    Throw("Too many hook ids");
  } catch (const Thrown& e) {
    EXPECT_TRUE(e.IsString());
    EXPECT_STREQ(e.what(), "Too many hook ids");
    EXPECT_EQ(e.Text().ToCString(), "Too many hook ids");
  }
}

TEST(Exceptions, AbstractMethodThrowsNullMethod) {
  EXPECT_THROW_TEXT_AS(TNullMethodException, ThrowNullMethod(), "Attempt to call abstract method");
}

TEST(ExceptionsDeathTest, UncaughtPrintsTextWithoutNewlineAndExitsMinusOne) {
  EXPECT_EXIT(RunReportingUncaught([] { RaiseRuntimeError("fatal text"); }),
              testing::ExitedWithCode(255), "^fatal text$");
}

TEST(Functions, UnassignedFunctionThrowsNullFunction) {
  Function<int32_t(int32_t)> f;
  EXPECT_THROW_TEXT_AS(TNullFunctionException, f(1),
                       "Attempt to call uninitialized function pointer");
  f = [](int32_t x) { return x * 2; };
  EXPECT_EQ(f(21), 42);
  auto table = Array<Function<void()>>::New(2);
  EXPECT_THROW(table[1](), Thrown);
  EXPECT_EQ(TypeTagOf<Function<String(int32_t, double)>>(), "(i,d)$");
}

class TEnumerable : public Object {
 public:
  VXL_CLASS(TEnumerable, Object)
  class TCounter : public Object {
   public:
    VXL_CLASS(TCounter, Object)
    int32_t next = 0, end = 0;
    bool HasNext() const { return next < end; }
    Ref<Object> NextObject() { return String::FromInt(next++); }
  };
  int32_t count = 3;
  Ref<TCounter> ObjectEnumerator() {
    auto e = New<TCounter>();
    e->end = count;
    return e;
  }
};
VXL_DEFINE_CLASS(TEnumerable)
VXL_DEFINE_CLASS(TEnumerable::TCounter)

TEST(Enumeration, RangeForOverAnyEnumerableObject) {
  auto coll = New<TEnumerable>();
  std::string seen;
  for (Ref<Object> o : coll)
    seen += o->ToString().ToCString();
  EXPECT_EQ(seen, "012");
  coll->count = 0;
  for (Ref<Object> o : coll)
    ADD_FAILURE() << "empty collection yielded a value";
}

TEST(Clock, TimerAdvancesAndNegativeSleepReturns) {
  uint32_t start = MillisecondTimer();
  SleepMilliseconds(-5);
  SleepMilliseconds(2);
  EXPECT_GE(uint32_t(MillisecondTimer() - start), 2u);
}

}  // namespace
}  // namespace vxl
