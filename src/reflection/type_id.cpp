#include <cstring>

#include "reflection/reflection.h"
#include "runtime/array.h"
#include "runtime/class_binder.h"
#include "runtime/exceptions.h"
#include "runtime/module.h"
#include "runtime/never_destroyed.h"

namespace vxl {

VXL_DEFINE_CLASS(TClass)
VXL_DEFINE_CLASS(TTypeId)

namespace {

struct Tables {
  Ref<TMap> byName;   // lower-cased name -> TTypeId
  Ref<TMap> byClass;  // TClass -> TTypeId
  size_t processed = 0;
  Ref<TTypeId> builtIn[9];
};

Tables& State() {
  static NeverDestroyed<Tables> tables;
  return *tables;
}

enum BuiltIn { kByte, kShort, kInt, kLong, kFloat, kDouble, kString, kObject, kNullArray };

Ref<TClass> KeyOf(const ClassInfo* cls) {
  return New<TClass>()->SetClass(cls);
}

Ref<TTypeId> TypeOfClass(const ClassInfo* cls) {
  Ref<Object> t = State().byClass->ValueForKey(KeyOf(cls));
  return Ref<TTypeId>(static_cast<TTypeId*>(t.Get()));
}

void Enter(TTypeId& type) {
  Tables& s = State();
  s.byName->Insert(type._name.ToLower(), Ref<Object>(&type));
  // The first type of a class keeps the entry: array types share the array class.
  if (type._class && !s.byClass->Contains(KeyOf(type._class)))
    s.byClass->Insert(KeyOf(type._class), Ref<Object>(&type));
}

template <class M>
Ref<M> FindMember(const TTypeId* type, Ref<TList> TTypeId::*list, const String& name) {
  String lower = name.ToLower();
  for (; type; type = type->_super.Get()) {
    if (!(type->*list)) continue;
    for (Ref<Object> m : type->*list) {
      if (static_cast<M*>(m.Get())->_name.ToLower() == lower)
        return Ref<M>(static_cast<M*>(m.Get()));
    }
  }
  return Ref<M>();
}

void AppendMembers(const TTypeId* type, Ref<TList> TTypeId::*list, TList& out) {
  if (!type) return;
  AppendMembers(type->_super.Get(), list, out);
  if (type->*list) {
    for (Ref<Object> m : type->*list)
      out.AddLast(m);
  }
}

// "tag{meta}" split at the first "{".
void SplitMeta(const std::string& text, std::string& tag, String& meta) {
  size_t brace = text.find('{');
  if (brace == std::string::npos) {
    tag = text;
    meta = String();
    return;
  }
  tag = text.substr(0, brace);
  std::string rest = text.substr(brace + 1);
  if (!rest.empty()) rest.pop_back();
  meta = String(std::string_view(rest));
}

// `depth` times the array type of `type`; Null stays Null.
Ref<TTypeId> ArrayTypeOf(Ref<TTypeId> type, int32_t depth) {
  for (; type && depth > 0; --depth)
    type = type->ArrayType();
  return type;
}

// Array elements, addressed through the element tag.
ArrayObject& ArrayOf(const Ref<Object>& array) {
  auto* a = dynamic_cast<ArrayObject*>(array.Get());
  if (!a) Throw("ERROR");
  return *a;
}

template <class T>
T& Element(ArrayObject& a, int32_t index) {
  if (index < 0 || index >= a.Length()) ThrowArrayBounds();
  return static_cast<T*>(a.Data())[index];
}

// Object elements are single references whatever their class, and an array element is one
// reference to its (never Null) array object.
static_assert(sizeof(Ref<Object>) == sizeof(void*) && sizeof(Array<int32_t>) == sizeof(void*));

}  // namespace

int TClass::Compare(const Object* other) const {
  auto* o = dynamic_cast<const TClass*>(other);
  if (!o) return Object::Compare(other);  // a key of another class: no class pointer to compare
  return _class < o->_class ? -1 : (_class > o->_class ? 1 : 0);
}

Ref<TClass> TClass::SetClass(const ClassInfo* cls) {
  _class = cls;
  return Ref<TClass>(this);
}

Ref<TTypeId> TTypeId::Init(const String& name, int32_t size, const ClassInfo* cls,
                           const Ref<TTypeId>& super) {
  _name = name;
  _size = size;
  _class = cls;
  _super = super;
  _fields = NewList();
  _methods = NewList();
  Enter(*this);
  return Ref<TTypeId>(this);
}

Ref<TTypeId> TTypeId::SetClass(const ClassInfo* cls) {
  std::string scope = cls->ScopeName();
  size_t brace = scope.find('{');
  if (brace == std::string::npos) {
    _name = String(std::string_view(scope));
  } else {
    _name = String(std::string_view(scope).substr(0, brace));
    _meta = String(std::string_view(scope).substr(brace + 1, scope.size() - brace - 2));
  }
  _class = cls;
  _size = 4;
  Enter(*this);
  return Ref<TTypeId>(this);
}

String TTypeId::MetaData(const String& key) const {
  return MetaValue(_meta, key);
}

Ref<TTypeId> TTypeId::ArrayType() {
  if (!_arrayType) {
    Ref<TTypeId> super = _super ? _super->ArrayType() : NullArrayTypeId();
    _arrayType = New<TTypeId>()->Init(_name + "[]", 4, &ArrayObject::StaticClass(), super);
    _arrayType->_elementType = Ref<TTypeId>(this);
  }
  return _arrayType;
}

bool TTypeId::ExtendsType(const Ref<TTypeId>& type) const {
  for (const TTypeId* t = this; t; t = t->_super.Get()) {
    if (t == type.Get()) return true;
  }
  return false;
}

Ref<TList> TTypeId::DerivedTypes() {
  if (!_derived) _derived = NewList();
  return _derived;
}

Ref<Object> TTypeId::NewObject() {
  if (!_class || !_class->CanCreate()) Throw("Unable to create new object");
  return _class->NewInstance();
}

Ref<TField> TTypeId::FindField(const String& name) const {
  return FindMember<TField>(this, &TTypeId::_fields, name);
}

Ref<TMethod> TTypeId::FindMethod(const String& name) const {
  return FindMember<TMethod>(this, &TTypeId::_methods, name);
}

Ref<TList> TTypeId::EnumFields(Ref<TList> list) const {
  if (!list) list = NewList();
  AppendMembers(this, &TTypeId::_fields, *list);
  return list;
}

Ref<TList> TTypeId::EnumMethods(Ref<TList> list) const {
  if (!list) list = NewList();
  AppendMembers(this, &TTypeId::_methods, *list);
  return list;
}

Ref<Object> TTypeId::NewArray(int32_t length) {
  if (!_elementType) Throw("TypeID is not an array type");
  if (_elementType->_typeTag.empty()) _elementType->_typeTag = TagOfType(_elementType);
  const std::string& tag = _elementType->_typeTag;
  switch (tag[0]) {
    case 'b':
      return Array<uint8_t>::New(length);
    case 's':
      return Array<uint16_t>::New(length);
    case 'i':
      return Array<int32_t>::New(length);
    case 'l':
      return Array<int64_t>::New(length);
    case 'f':
      return Array<float>::New(length);
    case 'd':
      return Array<double>::New(length);
    case '$':
      return Array<String>::New(length);
    default: {
      auto items = Array<Ref<Object>>::NewTagged(tag, length);
      // An element array is never Null: each starts as the empty array.
      if (tag[0] == '[') {
        for (Ref<Object>& item : items)
          item = Ref<Object>(&ArrayObject::Empty());
      }
      return items;
    }
  }
}

int32_t TTypeId::ArrayLength(const Ref<Object>& array) const {
  if (!_elementType) Throw("TypeID is not an array type");
  return ArrayOf(array).Length();
}

Ref<Object> TTypeId::GetArrayElement(const Ref<Object>& array, int32_t index) {
  if (!_elementType) Throw("TypeID is not an array type");
  ArrayObject& a = ArrayOf(array);
  const std::string& tag = a.ElementTag();
  switch (tag.empty() ? 0 : tag[0]) {
    case 'b':
      return Box(Element<uint8_t>(a, index));
    case 's':
      return Box(Element<uint16_t>(a, index));
    case 'i':
      return Box(Element<int32_t>(a, index));
    case 'l':
      return Box(Element<int64_t>(a, index));
    case 'f':
      return Box(Element<float>(a, index));
    case 'd':
      return Box(Element<double>(a, index));
    case '$':
      return Box(Element<String>(a, index));
    case ':':
      return Element<Ref<Object>>(a, index);
    case '[':
      return Element<Ref<ArrayObject>>(a, index);
    default:
      ThrowArrayBounds();  // the empty array has no elements
  }
}

void TTypeId::SetArrayElement(const Ref<Object>& array, int32_t index, const Ref<Object>& value) {
  if (!_elementType) Throw("TypeID is not an array type");
  ArrayObject& a = ArrayOf(array);
  const std::string& tag = a.ElementTag();
  switch (tag.empty() ? 0 : tag[0]) {
    case 'b':
      Element<uint8_t>(a, index) = Unbox<uint8_t>(value);
      return;
    case 's':
      Element<uint16_t>(a, index) = Unbox<uint16_t>(value);
      return;
    case 'i':
      Element<int32_t>(a, index) = Unbox<int32_t>(value);
      return;
    case 'l':
      Element<int64_t>(a, index) = Unbox<int64_t>(value);
      return;
    case 'f':
      Element<float>(a, index) = Unbox<float>(value);
      return;
    case 'd':
      Element<double>(a, index) = Unbox<double>(value);
      return;
    case '$':
      Element<String>(a, index) = Unbox<String>(value);
      return;
    case ':': {
      Ref<TTypeId> type = TypeOfTag(tag);
      if (value && (!type || !type->_class || !value->IsInstanceOf(*type->_class))) Throw("ERROR");
      Element<Ref<Object>>(a, index) = value;
      return;
    }
    case '[': {
      auto* element = dynamic_cast<ArrayObject*>(value.Get());
      if (value && (!element || (element->Length() && element->ElementTag() != tag.substr(2))))
        Throw("ERROR");
      Element<Ref<ArrayObject>>(a, index) =
          element ? Ref<ArrayObject>(element) : Ref<ArrayObject>(&ArrayObject::Empty());
      return;
    }
    default:
      ThrowArrayBounds();
  }
}

Ref<TTypeId> TTypeId::ForName(const String& name) {
  _Update();
  // "Name[][]": the array type, twice, of the type called Name.
  int32_t end = name.Length();
  int32_t depth = 0;
  while (end >= 2 && name[end - 2] == '[' && name[end - 1] == ']') {
    if (++depth > kMaxArrayNesting) return Ref<TTypeId>();
    end -= 2;
  }
  Ref<Object> t = State().byName->ValueForKey(name.Slice(0, end).ToLower());
  return ArrayTypeOf(Ref<TTypeId>(static_cast<TTypeId*>(t.Get())), depth);
}

Ref<TTypeId> TTypeId::ForObject(const Ref<Object>& object) {
  _Update();
  if (!object) return Ref<TTypeId>();
  if (auto* a = dynamic_cast<ArrayObject*>(object.Get())) {
    if (a->Length() == 0) return NullArrayTypeId();
    Ref<TTypeId> element = TypeOfTag(a->ElementTag());
    return element ? element->ArrayType() : Ref<TTypeId>();
  }
  if (String::IsString(object.Get())) return StringTypeId();
  return TypeOfClass(&object->Class());
}

Ref<TList> TTypeId::EnumTypes() {
  _Update();
  Ref<TList> list = NewList();
  for (Ref<Object> t : State().byName->Values())
    list->AddLast(t);
  return list;
}

void TTypeId::_Update() {
  Tables& s = State();
  const std::vector<const ClassInfo*>& classes = RegisteredClasses();
  if (s.processed == classes.size()) return;
  std::vector<Ref<TTypeId>> added;
  for (size_t i = s.processed; i < classes.size(); ++i) {
    if (TypeOfClass(classes[i])) continue;  // a built-in type already stands for it
    added.push_back(New<TTypeId>()->SetClass(classes[i]));
  }
  s.processed = classes.size();
  for (Ref<TTypeId>& t : added)
    t->_Resolve();
}

void TTypeId::_Resolve() {
  if (_fields || !_class) return;
  _fields = NewList();
  _methods = NewList();
  Ref<TTypeId> super = _class->Super() ? TypeOfClass(_class->Super()) : Ref<TTypeId>();
  _super = super ? super : ObjectTypeId();
  _super->DerivedTypes()->AddLast(Ref<Object>(this));

  std::string tag;
  String meta;
  const std::vector<FieldInfo>& fields = _class->Fields();
  for (size_t i = 0; i < fields.size(); ++i) {
    SplitMeta(fields[i].tag, tag, meta);
    if (Ref<TTypeId> type = TypeOfTag(tag)) {
      _fields->AddLast(
          New<TField>()->Init(String(fields[i].name.c_str()), type, meta, static_cast<int32_t>(i)));
      static_cast<TField*>(_fields->Last().Get())->_selfTypeId = Ref<TTypeId>(this);
    }
  }
  const std::vector<MethodInfo>& methods = _class->Methods();
  for (size_t i = 0; i < methods.size(); ++i) {
    SplitMeta(methods[i].tag, tag, meta);
    size_t close = tag.find(')');
    if (close == std::string::npos) continue;
    Ref<TTypeId> result = TypeOfTag(tag.substr(close + 1));
    std::string argPart = tag.substr(1, close - 1);
    std::vector<Ref<TTypeId>> args;
    bool known = bool(result);
    for (size_t at = 0; known && !argPart.empty();) {
      size_t comma = argPart.find(',', at);
      Ref<TTypeId> arg = TypeOfTag(argPart.substr(at, comma - at));
      known = bool(arg);
      args.push_back(arg);
      if (comma == std::string::npos) break;
      at = comma + 1;
    }
    if (!known) continue;
    auto argTypes = Array<Ref<TTypeId>>::New(static_cast<int32_t>(args.size()));
    for (size_t k = 0; k < args.size(); ++k)
      argTypes[static_cast<int32_t>(k)] = args[k];
    _methods->AddLast(New<TMethod>()->Init(String(methods[i].name.c_str()), result, meta,
                                           Ref<TTypeId>(this), static_cast<int32_t>(i), argTypes));
  }
}

Ref<TTypeId> ByteTypeId() {
  return State().builtIn[kByte];
}
Ref<TTypeId> ShortTypeId() {
  return State().builtIn[kShort];
}
Ref<TTypeId> IntTypeId() {
  return State().builtIn[kInt];
}
Ref<TTypeId> LongTypeId() {
  return State().builtIn[kLong];
}
Ref<TTypeId> FloatTypeId() {
  return State().builtIn[kFloat];
}
Ref<TTypeId> DoubleTypeId() {
  return State().builtIn[kDouble];
}
Ref<TTypeId> StringTypeId() {
  return State().builtIn[kString];
}
Ref<TTypeId> ObjectTypeId() {
  return State().builtIn[kObject];
}
Ref<TTypeId> NullArrayTypeId() {
  return State().builtIn[kNullArray];
}

std::string TagOfType(const Ref<TTypeId>& type) {
  std::string tag;
  const TTypeId* t = type.Get();
  for (; t && t->ExtendsType(NullArrayTypeId()); t = t->_elementType.Get()) {
    if (!t->_elementType) Throw("ERROR");
    tag += "[]";
  }
  if (!t) Throw("ERROR");
  if (t->ExtendsType(ObjectTypeId())) return tag + ":" + t->_name.ToCString();
  static const char kTags[] = "bsilfd$";
  for (int i = kByte; i <= kString; ++i) {
    if (t == State().builtIn[i].Get()) return tag + kTags[i];
  }
  Throw("ERROR");
}

Ref<TTypeId> TypeOfTag(const std::string& tag) {
  std::string_view rest(tag);
  int32_t depth = 0;
  while (rest.starts_with("[]")) {
    if (++depth > kMaxArrayNesting) return Ref<TTypeId>();
    rest.remove_prefix(2);
  }
  Ref<TTypeId> element;
  if (rest.starts_with(':')) {
    size_t dot = rest.rfind('.');
    element = TTypeId::ForName(String(rest.substr(dot == std::string::npos ? 1 : dot + 1)));
  } else if (rest.size() == 1) {
    const char* at = std::strchr("bsilfd$", rest[0]);
    if (at && *at) element = State().builtIn[at - "bsilfd$"];
  }
  return ArrayTypeOf(element, depth);
}

int InitReflectionModule() {
  static ModuleGuard guard("reflection");
  return guard.Run({InitCoreModule, InitListModule, InitMapModule}, [] {
    RegisterClass<TClass>();
    RegisterClass<TMember>();
    RegisterClass<TField>();
    RegisterClass<TMethod>();
    RegisterClass<TTypeId>();
    Tables& s = State();
    s.byName = New<TMap>();
    s.byClass = New<TMap>();
    struct {
      const char* name;
      int32_t size;
      const ClassInfo* cls;
    } builtIn[] = {
        {"Byte", 1, nullptr},
        {"Short", 2, nullptr},
        {"Int", 4, nullptr},
        {"Long", 8, nullptr},
        {"Float", 4, nullptr},
        {"Double", 8, nullptr},
        {"String", 4, &StringObject::StaticClass()},
        {"Object", 4, &Object::StaticClass()},
        {"Null[]", 4, &ArrayObject::StaticClass()},
    };
    for (int i = 0; i < 9; ++i)
      s.builtIn[i] =
          New<TTypeId>()->Init(builtIn[i].name, builtIn[i].size, builtIn[i].cls, nullptr);
  });
}

}  // namespace vxl
