// Run-time reflection over the class records: types by name, fields read and written and
// methods invoked by name, with values boxed as objects (numbers as their decimal strings).
//
//   Ref<TTypeId> t = TTypeId::ForName("tplayer");             // names ignore letter case
//   Ref<Object> p = t->NewObject();
//   t->FindField("score")->SetInt(p, 10);
//   Ref<Object> args[] = {String("5")};
//   String total = String::Of(t->FindMethod("AddScore")->Invoke(p, args));   // "15"
//   String max = t->FindField("score")->MetaData("max");      // from {max=99} on the binding
//
// Errors are thrown strings: "ERROR" (a value of the wrong class, too many argument words, a
// type without a tag), "TODO" (a method with a long result), "Unable to create new object",
// "TypeID is not an array type". Lookups that find nothing give Null.
#pragma once

#include <span>

#include "collections/list/list.h"
#include "collections/map/map.h"
#include "runtime/class_info.h"

namespace vxl {

class TTypeId;

// A class record as a map key.
class TClass : public Object {
 public:
  VXL_CLASS(TClass, Object)
  const ClassInfo* _class = nullptr;
  int Compare(const Object* other) const override;
  Ref<TClass> SetClass(const ClassInfo* cls);
};

class TMember : public Object {
 public:
  VXL_CLASS(TMember, Object)
  String _name;
  Ref<TTypeId> _typeId;
  String _meta;

  String Name() const { return _name; }
  Ref<TTypeId> TypeId() const { return _typeId; }
  String MetaData(const String& key) const;
};

class TField : public TMember {
 public:
  VXL_CLASS(TField, TMember)
  // The field's position among its class's reflected fields.
  int32_t _index = 0;
  // The declaring type.
  Ref<TTypeId> _selfTypeId;

  Ref<TField> Init(const String& name, const Ref<TTypeId>& typeId, const String& meta,
                   int32_t index);
  // The value boxed; an object not of the declaring class throws "ERROR".
  Ref<Object> Get(const Ref<Object>& object);
  int32_t GetInt(const Ref<Object>& object);
  int64_t GetLong(const Ref<Object>& object);
  float GetFloat(const Ref<Object>& object);
  double GetDouble(const Ref<Object>& object);
  // Get if that is a string, else "".
  String GetString(const Ref<Object>& object);
  void Set(const Ref<Object>& object, const Ref<Object>& value);
  void SetInt(const Ref<Object>& object, int32_t value);
  void SetLong(const Ref<Object>& object, int64_t value);
  void SetFloat(const Ref<Object>& object, float value);
  void SetDouble(const Ref<Object>& object, double value);
  void SetString(const Ref<Object>& object, const String& value);

 private:
  const FieldInfo& Info(const Ref<Object>& object) const;
};

class TMethod : public TMember {
 public:
  VXL_CLASS(TMethod, TMember)
  Ref<TTypeId> _selfTypeId;
  // The method's position among its class's reflected methods.
  int32_t _index = 0;
  Array<Ref<TTypeId>> _argTypes;

  Ref<TMethod> Init(const String& name, const Ref<TTypeId>& resultType, const String& meta,
                    const Ref<TTypeId>& selfType, int32_t index, Array<Ref<TTypeId>> argTypes);
  Array<Ref<TTypeId>> ArgTypes() const { return _argTypes; }
  // Calls the method on object. The receiver and the arguments fill at most 8 words (longs and
  // doubles take two, everything else one): more throws "ERROR", as does an argument of the
  // wrong class; a long result throws "TODO".
  Ref<Object> Invoke(const Ref<Object>& object, std::span<const Ref<Object>> args);
};

class TTypeId : public Object {
 public:
  VXL_CLASS(TTypeId, Object)
  String _name;
  String _meta;
  const ClassInfo* _class = nullptr;
  int32_t _size = 0;
  Ref<TList> _fields;
  Ref<TList> _methods;
  Ref<TTypeId> _super;
  Ref<TList> _derived;
  Ref<TTypeId> _arrayType;
  Ref<TTypeId> _elementType;
  std::string _typeTag;

  String Name() const { return _name; }
  String MetaData(const String& key) const;
  Ref<TTypeId> SuperType() const { return _super; }
  Ref<TTypeId> ArrayType();
  Ref<TTypeId> ElementType() const { return _elementType; }
  bool ExtendsType(const Ref<TTypeId>& type) const;
  Ref<TList> DerivedTypes();
  Ref<Object> NewObject();
  Ref<TList> Fields() const { return _fields; }
  Ref<TList> Methods() const { return _methods; }
  Ref<TField> FindField(const String& name) const;
  Ref<TMethod> FindMethod(const String& name) const;
  Ref<TList> EnumFields(Ref<TList> list) const;
  Ref<TList> EnumMethods(Ref<TList> list) const;
  Ref<Object> NewArray(int32_t length);
  int32_t ArrayLength(const Ref<Object>& array) const;
  Ref<Object> GetArrayElement(const Ref<Object>& array, int32_t index);
  void SetArrayElement(const Ref<Object>& array, int32_t index, const Ref<Object>& value);

  static Ref<TTypeId> ForName(const String& name);
  static Ref<TTypeId> ForObject(const Ref<Object>& object);
  // Every type, in ascending order of lower-cased name.
  static Ref<TList> EnumTypes();

  Ref<TTypeId> Init(const String& name, int32_t size, const ClassInfo* cls,
                    const Ref<TTypeId>& super);
  Ref<TTypeId> SetClass(const ClassInfo* cls);
  // Reads the classes registered since the last call (application classes included).
  static void _Update();
  // Builds the supertype link, fields and methods from the class record (once).
  void _Resolve();
};

// The built-in types, in the order they are made.
Ref<TTypeId> ByteTypeId();
Ref<TTypeId> ShortTypeId();
Ref<TTypeId> IntTypeId();
Ref<TTypeId> LongTypeId();
Ref<TTypeId> FloatTypeId();
Ref<TTypeId> DoubleTypeId();
Ref<TTypeId> StringTypeId();
Ref<TTypeId> ObjectTypeId();
Ref<TTypeId> NullArrayTypeId();

// Array types nest at most this deep: a longer run of "[]" in a name or tag names no type. Each
// level is a type id whose name is two characters longer, so without a bound a short text would
// cost memory quadratic in its length.
constexpr int32_t kMaxArrayNesting = 255;

// The tag of a type ("i", "$", ":TList", "[]d"); throws "ERROR" for a type without one.
std::string TagOfType(const Ref<TTypeId>& type);
// The type a tag names, or Null.
Ref<TTypeId> TypeOfTag(const std::string& tag);
// The value of key in "k=v k2=\"v2\"" metadata ("" when absent; the whole text for key "").
String MetaValue(const String& meta, const String& key);

int InitReflectionModule();

}  // namespace vxl
