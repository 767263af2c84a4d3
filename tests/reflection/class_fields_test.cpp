// Reflection never breaks an object: for every registered framework class, hostile values
// written into its writable reflected fields and its methods called afterwards leave memory
// intact (this binary runs under the address and undefined-behaviour sanitizers in CI), and
// fields bound read-only refuse every write.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <set>
#include <string>

#include "audio/sample.h"
#include "net/socket.h"
#include "pixmap/pixmap.h"
#include "process/process.h"
#include "runtime/exceptions.h"
#include "support/class_probe.h"
#include "system/timer/timer.h"

namespace vxl {
namespace {

class ClassFields : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { probe::InitAllModules(); }
};

const FieldInfo& Field(const Ref<Object>& o, const std::string& name) {
  for (const probe::Member& m : probe::FieldsOf(o->Class())) {
    if (m.field->name == name) return *m.field;
  }
  ADD_FAILURE() << "no field " << name;
  std::abort();
}

// The thrown text of a write, or "" when the write was taken.
std::string WriteError(const Ref<Object>& o, const std::string& field, const char* value) {
  try {
    Field(o, field).set(o.Get(), String(value));
    return "";
  } catch (const Thrown& e) {
    return e.Text().ToCString();
  }
}

TEST_F(ClassFields, EveryRegisteredClassHasAProbeInstance) {
  // A class that nothing can make would escape the probes below: it needs a line in the factory
  // table of tests/support/class_probe.cpp.
  std::set<std::string> modules;
  for (const char* name : ModuleBodyOrder())
    modules.insert(name);
  // The launcher's modules are among those run (the generated list is not empty or stale).
  for (const char* name : {"core", "pixmap", "audio sample", "process", "timer", "synk",
                           "reflection", "socket", "linked list"})
    EXPECT_TRUE(modules.count(name)) << name;

  for (const ClassInfo* cls : RegisteredClasses()) {
    if (Ref<Object> sample = probe::MakeSample(*cls)) {
      EXPECT_EQ(&sample->Class(), cls) << cls->Name();
      continue;
    }
    // A class only its subclasses instantiate (abstract, or a base whose constructor only they
    // may call) is probed through them.
    bool covered = false;
    for (const ClassInfo* sub : RegisteredClasses())
      covered = covered || (sub != cls && sub->IsSubclassOf(*cls) && probe::MakeSample(*sub));
    EXPECT_TRUE(covered) << "no way to make a " << cls->Name() << " or a subclass for the probes";
  }
}

TEST_F(ClassFields, HostileWritesThenEveryMethodLeaveEveryClassWhole) {
  const auto& values = probe::HostileValues();
  int writable = 0, readOnly = 0;
  for (const ClassInfo* cls : RegisteredClasses()) {
    if (!probe::MakeSample(*cls)) continue;  // probed through its subclasses
    SCOPED_TRACE(cls->Name());
    std::vector<probe::Member> fields = probe::FieldsOf(*cls);
    // Each value into every field at once, then every method: once with plain arguments, once
    // with arguments mixed from the hostile values.
    for (size_t v = 0; v < values.size(); ++v) {
      Ref<Object> o = probe::MakeSample(*cls);
      ASSERT_TRUE(o);
      for (const probe::Member& f : fields) {
        bool taken = probe::TrySet(o, f, values[v]);
        // A read-only field refuses every value (TrySet also checked it stayed as it was).
        if (!f.field->writable) {
          EXPECT_FALSE(taken) << f.field->name;
        }
      }
      probe::CallEverything(o, 0);
      probe::CallEverything(o, static_cast<uint32_t>(v + 1));
    }
    // Each writable field alone, so no write hides behind another field's refusal.
    for (const probe::Member& f : fields) {
      (f.field->writable ? writable : readOnly)++;
      if (!f.field->writable) continue;
      for (const Ref<Object>& value : values) {
        Ref<Object> o = probe::MakeSample(*cls);
        probe::TrySet(o, f, value);
        probe::CallEverything(o, 0);
      }
    }
  }
  EXPECT_GT(writable, 0);
  EXPECT_GT(readOnly, 0);
}

// The memory errors reflection used to allow, each one: a write into a field that guards
// memory or a handle, then an ordinary use of the object. The write is refused, the field
// keeps its value and the object still works.
struct GuardCase {
  const char* name;
  std::function<Ref<Object>()> make;
  const char* field;
  const char* value;
  std::function<void(const Ref<Object>&)> use;
};

TEST_F(ClassFields, GuardedFieldsRefuseWritesAndTheObjectStillWorks) {
  static uint8_t expected[40 * 4];
  for (size_t i = 0; i < sizeof expected; ++i)
    expected[i] = static_cast<uint8_t>(i * 7 + 1);
  int devNull = open("/dev/null", O_RDONLY);
  ASSERT_GE(devNull, 0);

  const GuardCase cases[] = {
      // Values just past the real size, so that the write before the fix lands in the
      // sanitizer's red zone behind the block.
      {"pixmap width, then a pixel written right of the real width",
       [] { return Ref<Object>(TPixmap::Create(4, 4, FORMAT_RGBA32, 4)); }, "width", "5",
       [](const Ref<Object>& o) {
         auto p = o.As<TPixmap>();
         p->WritePixel(4, 3, 0xFFFFFFFF);  // outside: nothing written
         p->WritePixel(3, 3, 0xFF102030);
         EXPECT_EQ(p->ReadPixel(3, 3), 0xFF102030u);
         EXPECT_EQ(p->ReadPixel(4, 3), 0u);
       }},
      {"pixmap height, then a pixel written below the real height",
       [] { return Ref<Object>(TPixmap::Create(4, 4, FORMAT_RGBA32, 4)); }, "height", "5",
       [](const Ref<Object>& o) {
         auto p = o.As<TPixmap>();
         p->WritePixel(0, 4, 0xFFFFFFFF);
         p->WritePixel(0, 3, 0xFF405060);
         EXPECT_EQ(p->ReadPixel(0, 3), 0xFF405060u);
       }},
      {"pixmap pitch, then every pixel cleared",
       [] { return Ref<Object>(TPixmap::Create(4, 4, FORMAT_RGBA32, 4)); }, "pitch", "17",
       [](const Ref<Object>& o) {
         auto p = o.As<TPixmap>();
         p->ClearPixels(0xFF0000FF);
         EXPECT_EQ(p->ReadPixel(3, 3), 0xFF0000FFu);
       }},
      {"audio sample length, then a copy",
       [] {
         auto s = TAudioSample::Create(40, 22050, SAMPLE_STEREO16LE);
         std::memcpy(s->samples, expected, sizeof expected);
         return Ref<Object>(s);
       },
       "length", "41",
       [](const Ref<Object>& o) {
         Ref<TAudioSample> copy = o.As<TAudioSample>()->Copy();
         ASSERT_EQ(copy->length, 40);
         EXPECT_EQ(std::memcmp(copy->samples, expected, sizeof expected), 0);
       }},
      {"audio sample format, then a conversion",
       [] { return Ref<Object>(TAudioSample::Create(40, 22050, SAMPLE_MONO8)); }, "format", "6",
       [](const Ref<Object>& o) {
         Ref<TAudioSample> wide = o.As<TAudioSample>()->Convert(SAMPLE_STEREO16BE);
         EXPECT_EQ(wide->length, 40);
       }},
      {"pipe buffer position, then a line read",
       [] {
         int fds[2];
         EXPECT_EQ(pipe(fds), 0);
         return Ref<Object>(TPipeStream::Create(fds[0], fds[1]));
       },
       "bufferpos", "5000",
       [](const Ref<Object>& o) {
         auto p = o.As<TPipeStream>();
         EXPECT_EQ(p->ReadLine(), String());  // nothing has arrived
         EXPECT_EQ(write(p->writehandle, "one\ntwo\n", 8), 8);
         EXPECT_EQ(p->ReadLine(), String("one"));
         EXPECT_EQ(p->ReadLine(), String("two"));
         p->Close();
       }},
      {"pipe read handle, then a read",
       [] {
         int fds[2];
         EXPECT_EQ(pipe(fds), 0);
         EXPECT_EQ(write(fds[1], "x\n", 2), 2);
         return Ref<Object>(TPipeStream::Create(fds[0], fds[1]));
       },
       "readhandle", "987",
       [](const Ref<Object>& o) {
         EXPECT_EQ(o.As<TPipeStream>()->ReadLine(), String("x"));
         o.As<TPipeStream>()->Close();
       }},
      {"timer handle, then the timer stopped and dropped",
       [] { return Ref<Object>(TTimer::Create(100.0f, nullptr)); }, "_handle", "12345",
       [](const Ref<Object>& o) {
         auto t = o.As<TTimer>();
         ASSERT_NE(t->_handle, 12345);
         t->Stop();
         EXPECT_EQ(t->_handle, 0);
         EXPECT_FALSE(t->_cycle);  // nothing keeps it: dropping it frees it
       }},
      {"socket descriptor, then the socket closed",
       [] { return Ref<Object>(TSocket::CreateUDP()); }, "_socket", nullptr,
       [devNull](const Ref<Object>& o) {
         o.As<TSocket>()->Close();
         EXPECT_NE(fcntl(devNull, F_GETFD), -1) << "closing the socket closed another descriptor";
       }},
  };
  std::string devNullText = std::to_string(devNull);
  for (const GuardCase& c : cases) {
    SCOPED_TRACE(c.name);
    Ref<Object> o = c.make();
    ASSERT_TRUE(o);
    const char* value = c.value ? c.value : devNullText.c_str();
    String before = BoxedText(Field(o, c.field).get(o.Get()));
    EXPECT_EQ(WriteError(o, c.field, value), "ERROR");
    EXPECT_EQ(BoxedText(Field(o, c.field).get(o.Get())), before);
    c.use(o);
  }
  close(devNull);
}

}  // namespace
}  // namespace vxl
