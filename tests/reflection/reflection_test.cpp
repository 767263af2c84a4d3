// Reflection over class records: an application class registered after start-up, found by name.
#include "reflection/reflection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/array.h"
#include "runtime/class_binder.h"
#include "support/thrown_text.h"

namespace vxl {
namespace {

class TPart : public Object {
 public:
  VXL_CLASS(TPart, Object)
  int32_t a = 0;
  static void Bind(ClassBinder<TPart>& b) { b.Field<&TPart::a>("a"); }
};
VXL_DEFINE_CLASS(TPart)

class TShip : public TPart {
 public:
  VXL_CLASS(TShip, TPart)
  uint8_t b = 0;
  uint16_t s = 0;
  int64_t l = 0;
  float f = 0;
  double d = 0;
  String name;
  Ref<TPart> cargo;
  Array<int32_t> crew;

  int32_t Add3(int32_t x, int32_t y, int32_t z) { return a = x + y + z; }
  double Sum3(double x, double y, double z) { return x + y + z; }
  int32_t Eight(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) {
    return 8;
  }
  int64_t Big() { return 1; }
  String Hail(String who) { return "ahoy " + who; }
  int32_t Load(Ref<TPart> part) { return part ? part->a : -1; }

  static void Bind(ClassBinder<TShip>& b) {
    b.Field<&TShip::b>("b");
    b.Field<&TShip::s>("s");
    b.Field<&TShip::l>("l");
    b.Field<&TShip::f>("f", "{min=0 max=1}");
    b.Field<&TShip::d>("d");
    b.Field<&TShip::name>("name", "{label=\"Name\"}");
    b.Field<&TShip::cargo>("cargo");
    b.Field<&TShip::crew>("crew");
    b.Method<&TShip::Add3>("Add3");
    b.Method<&TShip::Sum3>("Sum3");
    b.Method<&TShip::Eight>("Eight");
    b.Method<&TShip::Big>("Big");
    b.Method<&TShip::Hail>("Hail");
    b.Method<&TShip::Load>("Load");
  }
};
VXL_DEFINE_CLASS(TShip, "{x=1 y=\"two\"}")

class Reflection : public ::testing::Test {
 protected:
  void SetUp() override {
    InitReflectionModule();
    RegisterClass<TPart>();  // after start-up, as an application does
    RegisterClass<TShip>();
  }
};

std::vector<std::string> Names(const Ref<TList>& list) {
  std::vector<std::string> out;
  for (Ref<Object> m : list)
    out.push_back(static_cast<TMember*>(m.Get())->Name().ToCString());
  return out;
}

TEST_F(Reflection, TypesByNameObjectAndOrder) {
  EXPECT_EQ(TTypeId::ForName("int"), TTypeId::ForName("INT"));
  EXPECT_EQ(TTypeId::ForName("Int"), IntTypeId());
  EXPECT_FALSE(TTypeId::ForName("nothing"));
  EXPECT_FALSE(TTypeId::ForName("nothing[]"));
  EXPECT_FALSE(StringTypeId()->SuperType());

  Ref<TTypeId> ship = TTypeId::ForName("tship");
  ASSERT_TRUE(ship);
  EXPECT_EQ(ship->SuperType(), TTypeId::ForName("TPart"));
  EXPECT_TRUE(ship->ExtendsType(ObjectTypeId()));
  EXPECT_TRUE(TTypeId::ForName("TPart")->DerivedTypes()->Contains(ship));

  Ref<TTypeId> ships = TTypeId::ForName("TShip[]");
  EXPECT_EQ(ships->ElementType(), ship);
  EXPECT_EQ(ships->SuperType(), TTypeId::ForName("TPart")->ArrayType());
  EXPECT_EQ(ObjectTypeId()->ArrayType()->SuperType(), NullArrayTypeId());

  EXPECT_EQ(TTypeId::ForObject(Array<int32_t>()), NullArrayTypeId());
  EXPECT_EQ(TTypeId::ForObject(Array<String>::New(1)), StringTypeId()->ArrayType());
  EXPECT_EQ(TTypeId::ForObject(Array<int32_t>::New(2)), IntTypeId()->ArrayType());
  EXPECT_EQ(TTypeId::ForObject(New<TShip>()), ship);
  EXPECT_EQ(TTypeId::ForObject(String("x")), StringTypeId());

  std::vector<std::string> all;
  for (Ref<Object> t : TTypeId::EnumTypes())
    all.push_back(static_cast<TTypeId*>(t.Get())->Name().ToLower().ToCString());
  EXPECT_TRUE(std::is_sorted(all.begin(), all.end()));
  EXPECT_EQ(std::count(all.begin(), all.end(), "tship"), 1);

  EXPECT_EQ(TagOfType(ships), "[]:TShip");
  EXPECT_EQ(TagOfType(DoubleTypeId()), "d");
  EXPECT_EQ(TypeOfTag(":some.module.TShip"), ship);
  EXPECT_EQ(TypeOfTag("[]i"), IntTypeId()->ArrayType());
  EXPECT_FALSE(TypeOfTag("q"));
}

TEST_F(Reflection, FieldsReadAndWriteWithTheirWidths) {
  Ref<TTypeId> ship = TTypeId::ForName("TShip");
  EXPECT_EQ(Names(ship->EnumFields(nullptr)),
            (std::vector<std::string>{"a", "b", "s", "l", "f", "d", "name", "cargo", "crew"}));
  Ref<Object> o = ship->NewObject();
  Ref<TField> b = ship->FindField("B");
  b->SetInt(o, 200);
  EXPECT_EQ(String::Of(b->Get(o)).ToCString(), "200");
  EXPECT_EQ(b->GetInt(o), 200);
  b->SetInt(o, 300);
  EXPECT_EQ(b->GetInt(o), 44);
  ship->FindField("s")->SetInt(o, -1);
  EXPECT_EQ(ship->FindField("s")->GetInt(o), 65535);
  ship->FindField("l")->SetLong(o, INT64_MIN);
  EXPECT_EQ(ship->FindField("l")->GetLong(o), INT64_MIN);
  ship->FindField("d")->SetDouble(o, 0.1);
  EXPECT_EQ(ship->FindField("d")->GetDouble(o), 0.1);
  ship->FindField("a")->SetString(o, "12");  // inherited field, found through the supertype
  EXPECT_EQ(static_cast<TShip*>(o.Get())->a, 12);

  Ref<TField> name = ship->FindField("name");
  EXPECT_EQ(name->MetaData("label").ToCString(), "Name");
  name->Set(o, Ref<Object>());
  EXPECT_EQ(String::Of(name->Get(o)).ToCString(), "");
  EXPECT_THROW_TEXT_AS(String, name->Set(o, New<TPart>()), "ERROR");

  Ref<TField> cargo = ship->FindField("cargo");
  EXPECT_THROW_TEXT_AS(String, cargo->Set(o, New<TList>()), "ERROR");
  cargo->Set(o, New<TShip>());     // a subclass is fine
  EXPECT_EQ(cargo->GetInt(o), 0);  // an object reads as 0 through the number getters
  EXPECT_THROW_TEXT_AS(String, cargo->Get(New<TPart>()), "ERROR");  // not a TShip
}

TEST_F(Reflection, InvokeCountsWords) {
  Ref<TTypeId> ship = TTypeId::ForName("TShip");
  Ref<Object> o = ship->NewObject();
  Ref<Object> three[] = {String("1"), String("2"), String("39")};
  EXPECT_EQ(String::Of(ship->FindMethod("add3")->Invoke(o, three)).ToCString(), "42");
  Ref<Object> doubles[] = {String("0.5"), String("0.25"), String("1")};
  EXPECT_EQ(String::Of(ship->FindMethod("Sum3")->Invoke(o, doubles)).ToDouble(), 1.75);
  Ref<Object> eight[8];
  EXPECT_THROW_TEXT_AS(String, ship->FindMethod("Eight")->Invoke(o, eight), "ERROR");
  EXPECT_THROW_TEXT_AS(String, ship->FindMethod("Big")->Invoke(o, {}), "TODO");
  Ref<Object> who[] = {Ref<Object>()};
  EXPECT_EQ(String::Of(ship->FindMethod("Hail")->Invoke(o, who)).ToCString(), "ahoy ");
  Ref<Object> wrong[] = {New<TList>()};
  EXPECT_THROW_TEXT_AS(String, ship->FindMethod("Load")->Invoke(o, wrong), "ERROR");
  EXPECT_EQ(Names(ship->EnumMethods(nullptr)).size(), 6u);
  EXPECT_EQ(ship->FindMethod("Add3")->ArgTypes().Length(), 3);
}

TEST_F(Reflection, ArraysMetadataAndErrors) {
  Ref<TTypeId> ints = IntTypeId()->ArrayType();
  Ref<Object> a = ints->NewArray(3);
  EXPECT_EQ(ints->ArrayLength(a), 3);
  ints->SetArrayElement(a, 1, String("7"));
  EXPECT_EQ(String::Of(ints->GetArrayElement(a, 1)).ToCString(), "7");
  EXPECT_EQ(Array<int32_t>::Cast(a)[1], 7);

  Ref<TTypeId> ships = TTypeId::ForName("TShip[]");
  Ref<Object> fleet = ships->NewArray(2);
  ships->SetArrayElement(fleet, 0, New<TShip>());
  EXPECT_TRUE(ships->GetArrayElement(fleet, 0));
  EXPECT_THROW_TEXT_AS(String, ships->SetArrayElement(fleet, 1, New<TPart>()), "ERROR");
  EXPECT_EQ(TTypeId::ForObject(fleet), ships);

  EXPECT_THROW_TEXT_AS(String, IntTypeId()->NewObject(), "Unable to create new object");
  EXPECT_THROW_TEXT_AS(String, IntTypeId()->NewArray(3), "TypeID is not an array type");
  EXPECT_THROW_TEXT_AS(String, TagOfType(NullArrayTypeId()), "ERROR");

  Ref<TTypeId> ship = TTypeId::ForName("TShip");
  struct {
    const char* key;
    const char* want;
  } meta[] = {{"x", "1"}, {"Y", "two"}, {"z", ""}, {"", "x=1 y=\"two\""}};
  for (const auto& m : meta)
    EXPECT_EQ(ship->MetaData(m.key).ToCString(), std::string(m.want));
  EXPECT_EQ(ship->FindField("f")->MetaData("max").ToCString(), "1");
}

TEST_F(Reflection, HostileNamesTagsAndKeys) {
  // Array nesting is bounded: a long run of "[]" names no type, quickly and without recursion.
  auto nested = [](const char* base, int depth) {
    std::string text = base;
    for (int i = 0; i < depth; ++i)
      text += "[]";
    return text;
  };
  Ref<TTypeId> deepest = TTypeId::ForName(String(nested("Int", kMaxArrayNesting).c_str()));
  ASSERT_TRUE(deepest);
  EXPECT_EQ(TagOfType(deepest), nested("", kMaxArrayNesting) + "i");
  EXPECT_EQ(TypeOfTag(nested("", kMaxArrayNesting) + "i"), deepest);
  EXPECT_FALSE(TTypeId::ForName(String(nested("Int", kMaxArrayNesting + 1).c_str())));
  EXPECT_FALSE(TTypeId::ForName(String(nested("Int", 200000).c_str())));
  EXPECT_FALSE(TypeOfTag(nested("", 200000) + "i"));

  // A new array of arrays holds empty arrays, never Null ones.
  Ref<Object> grid = TTypeId::ForName("Int[][]")->NewArray(2);
  EXPECT_EQ(Array<Array<int32_t>>::Cast(grid)[1].Length(), 0);
  EXPECT_EQ(TTypeId::ForObject(TTypeId::ForName("Int[][]")->GetArrayElement(grid, 0)),
            NullArrayTypeId());

  // A class key compares with a key of another class by identity, both ways round.
  Ref<TClass> key = New<TClass>()->SetClass(&TShip::StaticClass());
  Ref<Object> other = New<Object>();
  EXPECT_NE(key->Compare(other.Get()), 0);
  EXPECT_EQ(key->Compare(other.Get()), -other->Compare(key.Get()));
}

}  // namespace
}  // namespace vxl
