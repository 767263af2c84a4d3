// Probing every registered framework class through reflection, the way a script or hostile data
// could: hostile values written into every writable reflected field, then the class's methods
// called. Shared by tests/reflection/class_fields_test.cpp and fuzz/fuzz_reflected_fields.cpp.
//
//   probe::InitAllModules();
//   for (const ClassInfo* cls : RegisteredClasses()) {
//     Ref<Object> o = probe::MakeSample(*cls);          // Null: the class cannot be probed
//     for (const probe::Member& f : probe::FieldsOf(*cls)) probe::TrySet(o, f, value);
//     probe::CallEverything(o, 0);
//   }
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "runtime/class_info.h"
#include "runtime/module.h"

namespace vxl::probe {

// The initialiser of every module the build links (generated from the modules' sources).
std::span<const ModuleInitialiser> AllModuleInitialisers();
// Runs them all, so that every framework class is registered.
void InitAllModules();

// An instance of exactly `cls` to probe, or Null when there is no way to make one. In order:
// the factory table in class_probe.cpp (classes without a default constructor, or whose default
// instance holds no memory worth probing), a new default instance, or the instance of exactly
// that class on one of the framework's chains (loaders, stream factories, audio drivers, data
// types), which module initialisers create.
Ref<Object> MakeSample(const ClassInfo& cls);

// A reflected member together with the class that declares it.
struct Member {
  const ClassInfo* owner;
  const FieldInfo* field;
  const MethodInfo* method;
};
// The reflected fields / methods of cls and its ancestors, ancestors first.
std::vector<Member> FieldsOf(const ClassInfo& cls);
std::vector<Member> MethodsOf(const ClassInfo& cls);

// Whether a probe may call the method: false for the few that wait for the outside world or act
// on the machine (dialogs, a browser, the mouse, an audio device, network connections, standard
// input).
bool MayCall(const ClassInfo& sampleClass, const Member& method);

// Values a script or data could store or pass, the hostile ones included: the int extremes, -1,
// huge, infinite and NaN doubles, Null, strings (empty, text, a number with junk), objects of
// several unrelated classes, an array.
const std::vector<Ref<Object>>& HostileValues();

// Writes the value into the field; false when the field refused it (it threw). A write that
// reflection refused must leave the field as it was: anything else aborts the process.
bool TrySet(const Ref<Object>& object, const Member& field, const Ref<Object>& value);

// Calls the method with arguments picked by `seed` (0: zeros, empty strings and Null; other
// seeds mix in hostile values and samples of the argument classes); false when it threw.
bool TryCall(const Ref<Object>& object, const Member& method, uint32_t seed);

// Every callable method with the arguments of `seed`, then Get of every field, ToString,
// Compare with itself and with objects of other classes, and Close when the class has one.
void CallEverything(const Ref<Object>& object, uint32_t seed);

}  // namespace vxl::probe
