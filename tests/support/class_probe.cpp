#include "support/class_probe.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "audio/audio_driver.h"
#include "audio/sample.h"
#include "bank/bank.h"
#include "collections/list/list.h"
#include "collections/map/map.h"
#include "data/data.h"
#include "net/socket.h"
#include "net/socket_stream.h"
#include "pixmap/pixmap.h"
#include "process/process.h"
#include "runtime/exceptions.h"
#include "runtime/never_destroyed.h"
#include "memstream/bank_stream.h"
#include "memstream/endian_stream.h"
#include "memstream/ram_stream.h"
#include "stream/text_stream.h"
#include "synk/synk.h"
#include "system/event/event.h"
#include "system/timer/timer.h"

namespace vxl::probe {
namespace {

// Memory behind the RAM stream samples: it outlives every sample.
uint8_t g_ramBytes[256];

Ref<Object> RamStream() {
  return TRamStream::Create(g_ramBytes, sizeof g_ramBytes, 1, 1);
}

// A pipe whose write end holds a line and a half, so reads find data and never wait.
Ref<Object> PipeStream() {
  int fds[2];
  if (pipe(fds) != 0) return nullptr;
  static const char kText[] = "first line\r\nsecond";
  if (write(fds[1], kText, sizeof kText - 1) < 0) {
    close(fds[0]);
    close(fds[1]);
    return nullptr;
  }
  return TPipeStream::Create(fds[0], fds[1]);
}

// A running timer. A running timer keeps itself alive and at most 16 run, so the one made before
// stops first.
Ref<Object> RunningTimer() {
  static NeverDestroyed<Ref<TTimer>> last;
  if (*last) (*last)->Stop();
  *last = TTimer::Create(50.0f, nullptr);
  return *last;
}

Ref<Object> ListOfTwo() {
  Ref<TList> list = NewList();
  list->AddLast(String("a"));
  list->AddLast(New<TList>());
  return list;
}

Ref<Object> MapOfTwo() {
  Ref<TMap> map = NewMap();
  map->Insert(String("a"), String("1"));
  map->Insert(String("b"), New<TList>());
  return map;
}

// Instances for the classes a default constructor cannot make, or makes empty where a live one
// (holding memory, a handle or a running resource) is the one worth probing. A new class that
// has no default constructor and is on none of the chains below adds its line here.
struct Sample {
  std::string_view name;
  Ref<Object> (*make)();
};
const Sample kSamples[] = {
    {"TPixmap", [] { return Ref<Object>(TPixmap::Create(5, 3, FORMAT_RGB24, 4)); }},
    {"TAudioSample",
     [] { return Ref<Object>(TAudioSample::Create(40, 22050, SAMPLE_STEREO16LE)); }},
    {"TBank", [] { return Ref<Object>(TBank::Create(48)); }},
    {"TBankStream", [] { return Ref<Object>(TBankStream::Create(TBank::Create(32))); }},
    {"TRamStream", RamStream},
    {"TTextStream",
     [] { return Ref<Object>(TTextStream::Create(RamStream().As<TStream>(), TTextStream::UTF8)); }},
    {"TXEndianStream",
     [] { return Ref<Object>(TXEndianStream::Create(RamStream().As<TStream>())); }},
    {"TStreamStream",
     [] { return Ref<Object>(TStreamStream::Create(RamStream().As<TStream>())); }},
    {"TDataStream",
     [] { return Ref<Object>(TDataStream::WithStream(RamStream().As<TStream>())); }},
    {"TPipeStream", PipeStream},
    {"TSocket", [] { return Ref<Object>(TSocket::CreateUDP()); }},
    {"TSocketStream",
     [] { return Ref<Object>(TSocketStream::Create(TSocket::CreateTCP(), 1)); }},
    {"TTimer", RunningTimer},
    {"TList", ListOfTwo},
    {"TLink", [] { return Ref<Object>(ListOfTwo().As<TList>()->FirstLink()); }},
    {"TListEnum", [] { return Ref<Object>(ListOfTwo().As<TList>()->ObjectEnumerator()); }},
    {"TMap", MapOfTwo},
    {"TNode", [] { return Ref<Object>(MapOfTwo().As<TMap>()->_FirstNode()); }},
    {"TNodeEnumerator", [] { return Ref<Object>(MapOfTwo().As<TMap>()->ObjectEnumerator()); }},
    {"TMapEnumerator", [] { return Ref<Object>(MapOfTwo().As<TMap>()->Keys()); }},
    {"TSynkHost", [] { return Ref<Object>(NewSynkHost()); }},
    // Without a host: a host and its objects and peers hold each other until the host closes.
    {"TSynkObject",
     [] { return Ref<Object>(TSynkObject::Create(1, SYNK_STATE_SYNCED, nullptr, nullptr)); }},
    {"TSynkPeer", [] { return Ref<Object>(TSynkPeer::Create(nullptr)); }},
    {"TRuntimeException", [] { return Ref<Object>(TRuntimeException::Create("probe")); }},
};

// The heads of the framework's chains, whose members only module initialisers create.
Ref<Object> (*const kChains[])() = {
    [] { return Ref<Object>(PixmapLoaders()); },
    [] { return Ref<Object>(AudioSampleLoaders()); },
    [] { return Ref<Object>(AudioDrivers()); },
    [] { return Ref<Object>(StreamFactories()); },
    [] { return Ref<Object>(DataTypes()); },
};

const FieldInfo* FindField(const ClassInfo& cls, std::string_view name) {
  for (const ClassInfo* c = &cls; c; c = c->Super()) {
    for (const FieldInfo& f : c->Fields()) {
      if (f.name == name) return &f;
    }
  }
  return nullptr;
}

Ref<Object> FromChains(const ClassInfo& cls) {
  for (auto head : kChains) {
    Ref<Object> at = head();
    for (int guard = 0; at && guard < 1000; ++guard) {
      if (&at->Class() == &cls) return at;
      const FieldInfo* succ = FindField(at->Class(), "_succ");
      if (!succ) break;
      at = succ->get(at.Get());
    }
  }
  return nullptr;
}

// Methods a probe never calls, by declaring class ("*": all of its methods).
struct Skip {
  std::string_view owner;
  std::string_view method;
};
const Skip kSkips[] = {
    {"TSystemDriver", "*"},   // dialogs, the browser, the mouse, the event pump's waits
    {"TSocket", "Accept"},    // waits for a client
    {"TSocket", "Connect"},   // reaches out to the network
    {"TAudioDriver", "Startup"},  // opens an audio device
    {"TTimer", "Wait"},       // waits on the system event pump
    // Windows and GL contexts: the display tests drive them. (A Kor2D driver's drawing methods
    // called before any graphics exists call GL entry points that were never loaded.)
    {"TGraphicsDriver", "*"},
    {"TGLGraphicsDriver", "*"},
    {"TKor2DDriver", "*"},
    // A step of TMap.Copy: the subtree it returns links children and parents both ways, and only
    // the map that adopts it breaks those links when it clears.
    {"TNode", "Copy"},
};

bool Skipped(const ClassInfo& sampleClass, const Member& m) {
  // The standard streams read the test's own standard input and write its output.
  if (sampleClass.Name() == "TCStandardIO") return true;
  for (const Skip& s : kSkips) {
    if (m.owner->Name() == s.owner && (s.method == "*" || m.method->name == s.method)) return true;
  }
  return false;
}

uint32_t Mix(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352dU;
  x ^= x >> 15;
  x *= 0x846ca68bU;
  x ^= x >> 16;
  return x;
}

const ClassInfo* ClassNamed(std::string_view name) {
  for (const ClassInfo* c : RegisteredClasses()) {
    if (c->Name() == name) return c;
  }
  return nullptr;
}

// An argument for a parameter of type tag `tag`.
Ref<Object> Argument(const std::string& tag, uint32_t seed, size_t index) {
  if (seed == 0) {
    if (tag == "$") return String();
    if (tag.size() == 1) return String("0");
    return nullptr;
  }
  uint32_t r = Mix(seed * 131 + static_cast<uint32_t>(index));
  const auto& values = HostileValues();
  if (r % 3 == 0) return values[(r / 3) % values.size()];
  if (tag.size() == 1) return String::FromInt(static_cast<int32_t>(r % 7) - 1);
  if (tag[0] == ':') {
    if (const ClassInfo* cls = ClassNamed(std::string_view(tag).substr(1))) {
      if (!cls->IsAbstract() && !(r & 8)) return MakeSample(*cls);
    }
  }
  return nullptr;
}

}  // namespace

void InitAllModules() {
  for (ModuleInitialiser init : AllModuleInitialisers())
    init();
}

Ref<Object> MakeSample(const ClassInfo& cls) {
  if (cls.IsAbstract()) return nullptr;
  for (const Sample& s : kSamples) {
    if (s.name == cls.Name()) return s.make();
  }
  if (cls.CanCreate()) return cls.NewInstance();
  return FromChains(cls);
}

std::vector<Member> FieldsOf(const ClassInfo& cls) {
  std::vector<Member> out;
  if (cls.Super()) out = FieldsOf(*cls.Super());
  for (const FieldInfo& f : cls.Fields())
    out.push_back(Member{&cls, &f, nullptr});
  return out;
}

std::vector<Member> MethodsOf(const ClassInfo& cls) {
  std::vector<Member> out;
  if (cls.Super()) out = MethodsOf(*cls.Super());
  for (const MethodInfo& m : cls.Methods())
    out.push_back(Member{&cls, nullptr, &m});
  return out;
}

bool MayCall(const ClassInfo& sampleClass, const Member& method) {
  return !Skipped(sampleClass, method);
}

const std::vector<Ref<Object>>& HostileValues() {
  static NeverDestroyed<std::vector<Ref<Object>>> values([] {
    std::vector<Ref<Object>> v = {
        String("-2147483648"), String("-1"), String("0"), String("1"), String("2147483647"),
        String("4294967296"), String("-9223372036854775808"), String("1e308"), String("-1e308"),
        String("3.4e39"), String("nan"), String("inf"), String(), String("some text"),
        String("12abc"), Ref<Object>(), New<TList>(), NewMap(), TBank::Create(4),
        TPixmap::Create(1, 1, FORMAT_RGBA32, 4), TRuntimeException::Create("x"),
        Ref<Object>(Array<int32_t>::New(3).AsObject()),
    };
    return v;
  }());
  return *values;
}

bool TrySet(const Ref<Object>& object, const Member& field, const Ref<Object>& value) {
  Ref<Object> before;
  try {
    before = field.field->get(object.Get());
  } catch (const Thrown&) {
  }
  try {
    field.field->set(object.Get(), value);
    return true;
  } catch (const Thrown&) {
  }
  // A refused write leaves the field as it was.
  Ref<Object> after;
  try {
    after = field.field->get(object.Get());
  } catch (const Thrown&) {
  }
  bool same = (before == after) || (before && after && String::IsString(before.Get()) &&
                                    String::IsString(after.Get()) &&
                                    String::Of(before) == String::Of(after));
  if (!same) std::abort();
  return false;
}

bool TryCall(const Ref<Object>& object, const Member& method, uint32_t seed) {
  std::vector<Ref<Object>> args;
  for (size_t i = 0; i < method.method->argTags.size(); ++i)
    args.push_back(Argument(method.method->argTags[i], seed, i));
  try {
    method.method->invoke(object.Get(), args);
    return true;
  } catch (const Thrown&) {
    return false;
  }
}

void CallEverything(const Ref<Object>& object, uint32_t seed) {
  const ClassInfo& cls = object->Class();
  for (const Member& m : MethodsOf(cls)) {
    if (MayCall(cls, m)) TryCall(object, m, seed);
  }
  for (const Member& f : FieldsOf(cls)) {
    try {
      f.field->get(object.Get());
    } catch (const Thrown&) {
    }
  }
  try {
    object->ToString();
    object->Compare(object.Get());
  } catch (const Thrown&) {
  }
  for (const Ref<Object>& other : HostileValues()) {
    if (!other || String::IsString(other.Get())) continue;
    try {
      object->Compare(other.Get());
      other->Compare(object.Get());
    } catch (const Thrown&) {
    }
  }
  // Last, as a program ends with an object that holds resources (a host holds its objects and
  // they hold it until it closes).
  for (const Member& m : MethodsOf(cls)) {
    if (m.method->name == "Close" && m.method->argTags.empty() && MayCall(cls, m))
      TryCall(object, m, 0);
  }
}

}  // namespace vxl::probe
