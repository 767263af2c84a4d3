#include "runtime/class_info.h"

#include "runtime/class_binder.h"
#include "runtime/exceptions.h"
#include "runtime/never_destroyed.h"

namespace vxl {

std::string ClassInfo::MetaData() const {
  if (meta_.size() < 2 || meta_.front() != '{') return std::string();
  return meta_.substr(1, meta_.size() - 2);
}

bool ClassInfo::IsSubclassOf(const ClassInfo& other) const {
  for (const ClassInfo* c = this; c; c = c->super_) {
    if (c == &other) return true;
  }
  return false;
}

void ClassInfo::EnsureBound() const {
  if (bound_) return;
  bound_ = true;
  if (bind_) bind_(const_cast<ClassInfo&>(*this));
}

const std::vector<FieldInfo>& ClassInfo::Fields() const {
  EnsureBound();
  return fields_;
}

const std::vector<MethodInfo>& ClassInfo::Methods() const {
  EnsureBound();
  return methods_;
}

namespace {

std::vector<const ClassInfo*>& ClassTable() {
  static NeverDestroyed<std::vector<const ClassInfo*>> table;
  return *table;
}

}  // namespace

void RegisterClass(const ClassInfo& cls) {
  auto& table = ClassTable();
  for (const ClassInfo* c : table) {
    if (c == &cls) return;
  }
  table.push_back(&cls);
}

const std::vector<const ClassInfo*>& RegisteredClasses() {
  return ClassTable();
}

String BoxedText(const Ref<Object>& value) {
  if (!value) return String();
  if (String::IsString(value.Get())) return String::Of(value);
  return value->ToString();
}

void ThrowBoxError() {
  Throw("ERROR");
}

}  // namespace vxl
