// Every registered framework class through reflection, as a hostile script would use it. The
// input picks a class, then runs a program of steps on an instance of it: write a value into a
// field (a hostile value, or an int, a double or a text taken from the input), call a method
// with arguments picked by a seed, read every field and compare, or start over with another
// class. Nothing may break memory (the sanitizers watch), and a write reflection refuses must
// leave the field unchanged (probe::TrySet checks it).
//
// Step bytes: the low two bits choose the step, the next bytes its operands:
//   0 field value   - write HostileValues()[value] (value < 0xF0), or 0xF0 + 4 bytes: an int,
//                     0xF1 + 8 bytes: a double, 0xF2 + n + n bytes: a text
//   1 method seed   - call the method with the arguments of that seed
//   2 class         - drop the instance and make one of another class
//   3               - read every field, ToString and Compare
#include <cstdint>
#include <cstring>
#include <vector>

#include "runtime/exceptions.h"
#include "support/class_probe.h"

namespace vxl {
namespace {

constexpr int kMaxSteps = 48;

struct Input {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  bool Empty() const { return at >= size; }
  uint8_t Byte() { return at < size ? data[at++] : 0; }
  template <class T>
  T Take() {
    T value{};
    size_t n = std::min(sizeof value, size - std::min(at, size));
    std::memcpy(&value, data + at, n);
    at += n;
    return value;
  }
};

const std::vector<const ClassInfo*>& Classes() {
  static const std::vector<const ClassInfo*>* classes = [] {
    probe::InitAllModules();
    auto* out = new std::vector<const ClassInfo*>;
    for (const ClassInfo* cls : RegisteredClasses()) {
      if (probe::MakeSample(*cls)) out->push_back(cls);
    }
    return out;
  }();
  return *classes;
}

Ref<Object> Value(Input& in) {
  uint8_t pick = in.Byte();
  const auto& values = probe::HostileValues();
  switch (pick) {
    case 0xF0:
      return String::FromInt(in.Take<int32_t>());
    case 0xF1:
      return String::FromDouble(in.Take<double>());
    case 0xF2: {
      size_t n = std::min<size_t>(in.Byte(), in.size - std::min(in.at, in.size));
      String text = String::FromBytes(in.data + in.at, static_cast<int32_t>(n));
      in.at += n;
      return text;
    }
    default:
      return values[pick % values.size()];
  }
}

void Run(Input& in) {
  const auto& classes = Classes();
  Ref<Object> object = probe::MakeSample(*classes[in.Byte() % classes.size()]);
  for (int step = 0; step < kMaxSteps && !in.Empty(); ++step) {
    uint8_t op = in.Byte();
    if (!object && (op & 3) != 2) continue;
    switch (op & 3) {
      case 0: {
        std::vector<probe::Member> fields = probe::FieldsOf(object->Class());
        uint8_t index = in.Byte();
        Ref<Object> value = Value(in);
        if (!fields.empty()) probe::TrySet(object, fields[index % fields.size()], value);
        break;
      }
      case 1: {
        std::vector<probe::Member> methods = probe::MethodsOf(object->Class());
        uint8_t index = in.Byte();
        uint8_t seed = in.Byte();
        if (methods.empty()) break;
        const probe::Member& m = methods[index % methods.size()];
        if (probe::MayCall(object->Class(), m)) probe::TryCall(object, m, seed);
        break;
      }
      case 2:
        object = probe::MakeSample(*classes[in.Byte() % classes.size()]);
        break;
      case 3:
        probe::CallEverything(object, 0);
        break;
    }
  }
}

}  // namespace
}  // namespace vxl

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vxl::Input in{data, size};
  vxl::Run(in);
  return 0;
}
