#include <gtest/gtest.h>

#include "runtime/runtime.h"
#include "support/thrown_text.h"

namespace vxl {
namespace {

int g_deleted = 0;

class TCounted : public Object {
  VXL_CLASS(TCounted, Object)
 public:
  ~TCounted() override { ++g_deleted; }
  Ref<Object> other;
  int32_t value = 0;
  double ratio = 0;
  String name;
  int32_t Add(int32_t a, int32_t b) { return value = a + b; }
  static void Bind(ClassBinder<TCounted>& b) {
    b.Field<&TCounted::other>("other");
    b.Field<&TCounted::value>("value", "{min=0}");
    b.Field<&TCounted::ratio>("ratio");
    b.Field<&TCounted::name>("name");
    b.Method<&TCounted::Add>("Add");
  }
};
VXL_DEFINE_CLASS(TCounted, "{kind=test}")

class TDerived : public TCounted {
  VXL_CLASS(TDerived, TCounted)
};
VXL_DEFINE_CLASS(TDerived)

TEST(ObjectLifetime, DeleteRunsOnceAfterLastReference) {
  g_deleted = 0;
  {
    Ref<TCounted> a = New<TCounted>();
    Ref<Object> b = a;
    EXPECT_EQ(a->RefCount(), 2);
    a = nullptr;
    EXPECT_EQ(g_deleted, 0);
  }
  EXPECT_EQ(g_deleted, 1);
}

TEST(ObjectLifetime, SelfAssignmentKeepsObject) {
  g_deleted = 0;
  Ref<TCounted> a = New<TCounted>();
  Ref<TCounted>& alias = a;
  a = alias;
  a = std::move(alias);
  EXPECT_EQ(g_deleted, 0);
  EXPECT_EQ(a->RefCount(), 1);
}

TEST(ObjectLifetime, BrokenCycleIsReleased) {
  g_deleted = 0;
  {
    auto a = New<TCounted>();
    auto b = New<TCounted>();
    a->other = b;
    b->other = a;
    a->other = nullptr;  // break the cycle
  }
  EXPECT_EQ(g_deleted, 2);
}

TEST(ObjectLifetime, LongChainReleasesWithoutDeepRecursion) {
  g_deleted = 0;
  {
    auto head = New<TCounted>();
    Ref<TCounted> tail = head;
    for (int i = 0; i < 1000000; ++i) {
      auto next = New<TCounted>();
      tail->other = next;
      tail = next;
    }
  }
  EXPECT_EQ(g_deleted, 1000001);
}

TEST(ObjectModel, NullUseThrowsNullObjectException) {
  Ref<TCounted> none;
  EXPECT_THROW_TEXT_AS(TNullObjectException, none->value = 1,
                       "Attempt to access field or method of Null object");
}

TEST(ObjectModel, ToStringIsPaddedUpperHexAddress) {
  auto o = New<TCounted>();
  char buf[32];
  std::snprintf(buf, sizeof buf, "%016llX",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(o.Get())));
  EXPECT_EQ(o->ToString().ToCString(), buf);
}

TEST(ObjectModel, CompareIsSignOfAddressDifference) {
  auto a = New<TCounted>();
  auto b = New<TCounted>();
  int ab = a->Compare(b.Get());
  EXPECT_EQ(ab, -b->Compare(a.Get()));
  EXPECT_TRUE(ab == 1 || ab == -1);
  EXPECT_EQ(a->Compare(a.Get()), 0);
}

TEST(ClassRecords, NameSuperMetadataAndTags) {
  const ClassInfo& c = TDerived::StaticClass();
  EXPECT_EQ(c.Name(), "TDerived");
  EXPECT_EQ(c.Super(), &TCounted::StaticClass());
  EXPECT_EQ(TCounted::StaticClass().ScopeName(), "TCounted{kind=test}");
  EXPECT_EQ(TCounted::StaticClass().MetaData(), "kind=test");
  const auto& fields = TCounted::StaticClass().Fields();
  ASSERT_EQ(fields.size(), 4u);
  EXPECT_EQ(fields[0].tag, ":Object");
  EXPECT_EQ(fields[1].tag, "i{min=0}");
  EXPECT_EQ(fields[2].tag, "d");
  EXPECT_EQ(fields[3].tag, "$");
  EXPECT_TRUE(TDerived::StaticClass().Fields().empty());
  ASSERT_EQ(TCounted::StaticClass().Methods().size(), 1u);
  EXPECT_EQ(TCounted::StaticClass().Methods()[0].tag, "(i,i)i");
}

TEST(ClassRecords, FieldThunksAndMethodInvoker) {
  auto o = New<TCounted>();
  const auto& c = TCounted::StaticClass();
  c.Fields()[1].set(o.Get(), String("5"));
  EXPECT_EQ(o->value, 5);
  EXPECT_EQ(String::Of(c.Fields()[1].get(o.Get())), String("5"));
  c.Fields()[3].set(o.Get(), Ref<Object>());  // Null into a string field stores ""
  EXPECT_EQ(String::Of(c.Fields()[3].get(o.Get())), String(""));
  EXPECT_THROW_TEXT(c.Fields()[3].set(o.Get(), o), "ERROR");  // not a string

  Ref<Object> args[] = {String("2"), String("40")};
  Ref<Object> result = c.Methods()[0].invoke(o.Get(), std::span<const Ref<Object>>(args));
  EXPECT_EQ(String::Of(result), String("42"));
  EXPECT_EQ(o->value, 42);
  EXPECT_THROW_TEXT(c.Methods()[0].invoke(o.Get(), std::span<const Ref<Object>>(args, 1)), "ERROR");
}

TEST(ClassRecords, RegistrationKeepsOrderAndIsOnce) {
  InitCoreModule();
  RegisterClass<TCounted>();
  RegisterClass<TDerived>();
  RegisterClass<TCounted>();
  const auto& all = RegisteredClasses();
  ASSERT_GE(all.size(), 9u);
  EXPECT_EQ(all[0]->Name(), "TVexelException");
  EXPECT_EQ(all[6]->Name(), "TRuntimeException");
  EXPECT_EQ(all[all.size() - 2]->Name(), "TCounted");
  EXPECT_EQ(all.back()->Name(), "TDerived");
  auto created = TDerived::StaticClass().NewInstance();
  ASSERT_TRUE(created);
  EXPECT_EQ(&created->Class(), &TDerived::StaticClass());
}

}  // namespace
}  // namespace vxl
