#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "runtime/runtime.h"
#include "support/thrown_text.h"

namespace vxl {
namespace {

int g_deleted = 0;

class TCounted : public Object {
 public:
  VXL_CLASS(TCounted, Object)
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
 public:
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

#ifdef VXL_CHECKED
constexpr bool kChecked = true;
#else
constexpr bool kChecked = false;
#endif

// Objects that a module keeps track of with plain pointers, as a registry does. A tracked object
// may walk the registry from its destructor, taking references the way `walk` says.
enum class Walk { kNone, kTryRef, kPlainRef, kReviveSelf };
class TTracked;
std::vector<TTracked*> g_registry;
Ref<Object> g_kept;
std::string g_walkSeen;

class TTracked : public Object {
 public:
  VXL_CLASS(TTracked, Object)
  explicit TTracked(char label = '?', Walk walk = Walk::kNone) : label(label), walk(walk) {
    g_registry.push_back(this);
  }
  ~TTracked() override {
    ++g_deleted;
    // What this object owns goes first, so those objects are dying while the walk runs.
    owned = nullptr;
    std::erase(g_registry, this);
    for (TTracked* t : std::vector<TTracked*>(g_registry)) {
      if (walk == Walk::kTryRef) g_walkSeen += TryRef(t) ? t->label : '-';
      if (walk == Walk::kPlainRef) Ref<TTracked> r(t);  // taken and dropped again
    }
    if (walk == Walk::kReviveSelf) g_kept = TryRef(this);
  }
  char label;
  Walk walk;
  Ref<Object> owned;
};
VXL_DEFINE_CLASS(TTracked)

// Destroys `owner`, which owns a second tracked object, while `bystander` stays alive.
void DestroyOwnerOfAnother(Walk walk) {
  auto bystander = New<TTracked>('b');
  {
    auto owner = New<TTracked>('o', walk);
    owner->owned = New<TTracked>('x');
  }
  EXPECT_EQ(bystander->RefCount(), 1);
}

TEST(ObjectLifetime, DestroyDuringDestroyNeverRevivesADyingObject) {
  struct Case {
    Walk walk;
    const char* seen;
  };
  // The owned object is queued for destruction, count 0, while its owner's destructor walks.
  for (Case c : {Case{Walk::kNone, ""}, Case{Walk::kTryRef, "b-"}}) {
    g_registry.clear();
    g_walkSeen.clear();
    g_deleted = 0;
    DestroyOwnerOfAnother(c.walk);
    EXPECT_EQ(g_walkSeen, c.seen);
    EXPECT_EQ(g_deleted, 3);  // owner, owned, bystander: each exactly once
    EXPECT_TRUE(g_registry.empty());
  }
  // A plain reference to the dying object: refused loudly in checked builds, harmless otherwise
  // (it used to queue the object a second time and delete it twice).
  g_registry.clear();
  g_deleted = 0;
  if (kChecked) {
    EXPECT_DEATH(DestroyOwnerOfAnother(Walk::kPlainRef),
                 "a reference was taken to an object being destroyed");
  } else {
    DestroyOwnerOfAnother(Walk::kPlainRef);
    EXPECT_EQ(g_deleted, 3);
  }
}

TEST(ObjectLifetime, RevivalAttemptGetsNull) {
  g_deleted = 0;
  g_registry.clear();
  New<TTracked>('r', Walk::kReviveSelf);
  EXPECT_TRUE(g_kept.IsNull());
  EXPECT_EQ(g_deleted, 1);
  if (kChecked) {
    // Stored in a global by a plain reference, it would dangle: checked builds stop there.
    EXPECT_DEATH(
        {
          struct TReviver : public TTracked {
            ~TReviver() override { g_kept = Ref<Object>(this); }
          };
          New<TReviver>();
        },
        "a reference was taken to an object being destroyed");
  }
}

TEST(ObjectLifetime, RefOperationsKeepCountsExact) {
  g_registry.clear();
  g_deleted = 0;
  auto a = New<TTracked>('a');
  auto b = New<TTracked>('b');
  Ref<TTracked> a2 = a;
  a.Swap(b);
  EXPECT_EQ(a->label, 'b');
  EXPECT_EQ(b->label, 'a');
  std::swap(a, b);
  a.Swap(a);
  a = a;
  EXPECT_EQ(a->label, 'a');
  EXPECT_EQ(a->RefCount(), 2);
  EXPECT_EQ(b->RefCount(), 1);
  // The new value is owned only by the old one: it must survive the old one's release.
  a->owned = New<TTracked>('c');
  a2 = nullptr;
  Ref<Object> owner = std::move(a);
  owner = static_cast<TTracked*>(owner.Get())->owned;
  EXPECT_EQ(g_deleted, 1);
  EXPECT_EQ(static_cast<TTracked*>(owner.Get())->label, 'c');
  EXPECT_EQ(owner->RefCount(), 1);
}

// A constructor that hands `this` to a registry before New has returned.
class TSelfRegistering : public TTracked {
 public:
  TSelfRegistering() {
    Ref<Object> temporary(this);  // taken and dropped: must not destroy the half-built object
    g_kept = temporary;
  }
};

TEST(ObjectLifetime, ReferenceToThisInAConstructor) {
  g_deleted = 0;
  g_registry.clear();
  auto o = New<TSelfRegistering>();
  EXPECT_EQ(o->RefCount(), 2);
  g_kept = nullptr;
  EXPECT_EQ(o->RefCount(), 1);
  EXPECT_EQ(g_deleted, 0);
  o = nullptr;
  EXPECT_EQ(g_deleted, 1);
}

TEST(ObjectLifetime, CountsBelongToTheMainThread) {
  auto o = New<TTracked>('t');
  int32_t sum = 0;
  std::thread([&] { sum = 1 + 2; }).join();  // code that leaves objects alone runs anywhere
  EXPECT_EQ(sum, 3);
  if (!kChecked) GTEST_SKIP() << "only checked builds watch the thread of reference counting";
  EXPECT_DEATH(std::thread([&] { Ref<TTracked> copy = o; }).join(),
               "an object was touched off the main thread");
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
  // The thunks check their receiver: another class's object is never read as a TCounted.
  auto stranger = New<TTracked>('s');
  EXPECT_THROW_TEXT_AS(String, c.Fields()[1].get(stranger.Get()), "ERROR");
  EXPECT_THROW_TEXT_AS(String, c.Fields()[1].set(stranger.Get(), String("1")), "ERROR");
  EXPECT_THROW_TEXT_AS(
      String, c.Methods()[0].invoke(stranger.Get(), std::span<const Ref<Object>>(args)), "ERROR");
  EXPECT_THROW_TEXT_AS(TNullObjectException, c.Fields()[1].get(nullptr),
                       "Attempt to access field or method of Null object");
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
