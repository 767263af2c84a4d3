#include "reflection/reflection.h"
#include "runtime/array.h"
#include "runtime/class_binder.h"
#include "runtime/exceptions.h"

namespace vxl {

VXL_DEFINE_CLASS(TMember)
VXL_DEFINE_CLASS(TField)
VXL_DEFINE_CLASS(TMethod)

namespace {

// The receiver must be an instance of the declaring class (Null throws the null-object error).
void CheckReceiver(const Ref<Object>& object, const TTypeId& self) {
  if (!object->IsInstanceOf(*self._class)) Throw("ERROR");
}

// Words an argument of this type takes in a call: longs and doubles two, the rest one.
int WordsOf(const Ref<TTypeId>& type) {
  return type.Get() == LongTypeId().Get() || type.Get() == DoubleTypeId().Get() ? 2 : 1;
}

}  // namespace

String MetaValue(const String& meta, const String& key) {
  if (key.IsEmpty()) return meta;
  String padded = " " + meta + " ";
  String needle = " " + key.ToLower() + "=";
  int32_t at = padded.ToLower().Find(needle);
  if (at < 0) return String();
  int32_t start = at + needle.Length();
  int32_t end = padded.Find(" ", start);
  String value = padded.Slice(start, end);
  if (value.Length() && value[0] == '"') value = value.Slice(1, value.Length() - 1);
  return value;
}

String TMember::MetaData(const String& key) const {
  return MetaValue(_meta, key);
}

Ref<TField> TField::Init(const String& name, const Ref<TTypeId>& typeId, const String& meta,
                         int32_t index) {
  _name = name;
  _typeId = typeId;
  _meta = meta;
  _index = index;
  return Ref<TField>(this);
}

const FieldInfo& TField::Info(const Ref<Object>& object) const {
  CheckReceiver(object, *_selfTypeId);
  return _selfTypeId->_class->Fields()[static_cast<size_t>(_index)];
}

Ref<Object> TField::Get(const Ref<Object>& object) {
  return Info(object).get(object.Get());
}

String TField::GetString(const Ref<Object>& object) {
  Ref<Object> value = Get(object);
  return String::IsString(value.Get()) ? String::Of(value) : String();
}

int32_t TField::GetInt(const Ref<Object>& object) {
  return GetString(object).ToInt();
}
int64_t TField::GetLong(const Ref<Object>& object) {
  return GetString(object).ToLong();
}
float TField::GetFloat(const Ref<Object>& object) {
  return GetString(object).ToFloat();
}
double TField::GetDouble(const Ref<Object>& object) {
  return GetString(object).ToDouble();
}

void TField::Set(const Ref<Object>& object, const Ref<Object>& value) {
  Info(object).set(object.Get(), value);
}

void TField::SetString(const Ref<Object>& object, const String& value) {
  Set(object, value);
}
void TField::SetInt(const Ref<Object>& object, int32_t v) {
  SetString(object, String::FromInt(v));
}
void TField::SetLong(const Ref<Object>& object, int64_t v) {
  SetString(object, String::FromLong(v));
}
void TField::SetFloat(const Ref<Object>& object, float v) {
  SetString(object, String::FromFloat(v));
}
void TField::SetDouble(const Ref<Object>& object, double v) {
  SetString(object, String::FromDouble(v));
}

Ref<TMethod> TMethod::Init(const String& name, const Ref<TTypeId>& resultType, const String& meta,
                           const Ref<TTypeId>& selfType, int32_t index,
                           Array<Ref<TTypeId>> argTypes) {
  _name = name;
  _typeId = resultType;
  _meta = meta;
  _selfTypeId = selfType;
  _index = index;
  _argTypes = argTypes;
  return Ref<TMethod>(this);
}

Ref<Object> TMethod::Invoke(const Ref<Object>& object, std::span<const Ref<Object>> args) {
  // The receiver takes the first of 8 words; each argument must fit in the rest, and its class
  // must match the parameter's.
  int words = 1;
  for (int32_t i = 0; i < _argTypes.Length(); ++i) {
    const Ref<TTypeId>& type = _argTypes[i];
    words += WordsOf(type);
    if (words > 8) Throw("ERROR");
    const Ref<Object>& arg = i < static_cast<int32_t>(args.size()) ? args[i] : Ref<Object>();
    if (arg && type->_class && type.Get() != StringTypeId().Get() &&
        !arg->IsInstanceOf(*type->_class))
      Throw("ERROR");
  }
  if (_typeId.Get() == LongTypeId().Get()) Throw("TODO");
  CheckReceiver(object, *_selfTypeId);
  return _selfTypeId->_class->Methods()[static_cast<size_t>(_index)].invoke(object.Get(), args);
}

}  // namespace vxl
