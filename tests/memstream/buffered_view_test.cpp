// The buffered view of every stream that holds bytes in memory, and of the wrappers around them:
// it shows exactly what Read would deliver, never past the end, and reflection cannot move the
// position or size of a stream over memory.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "runtime/class_binder.h"
#include "runtime/exceptions.h"
#include "memstream/bank_stream.h"
#include "memstream/endian_stream.h"
#include "memstream/ram_stream.h"
#include "stream/text_stream.h"
#include "support/temp_dir.h"

namespace vxl {
namespace {

const std::string kContent = "0123456789abcdefghijklmnopqrstuvwxyz";

// Sets the reflected int field `name` of `object`, as a program could through reflection; false
// when reflection refuses the write (it throws the string "ERROR").
bool SetField(Object* object, const char* name, int32_t value) {
  for (const ClassInfo* c = &object->Class(); c; c = c->Super()) {
    for (const FieldInfo& f : c->Fields()) {
      if (f.name != name) continue;
      try {
        f.set(object, String::FromInt(value));
        return true;
      } catch (const Thrown& e) {
        if (e.Text() != String("ERROR")) throw;
        return false;
      }
    }
  }
  throw std::runtime_error(name);
}

class BufferedView : public ::testing::Test {
 protected:
  void SetUp() override {
    InitTextStreamModule();
    InitEndianStreamModule();
    InitRamStreamModule();
    InitBankStreamModule();
  }
  test::TempDir dir;
  std::string block = kContent;
};

TEST_F(BufferedView, ShowsWhatReadWouldDeliver) {
  std::string path = dir.Write("view.bin", kContent);
  struct Case {
    const char* name;
    std::function<Ref<TStream>()> open;
  };
  Case cases[] = {
      {"ram", [&] { return NewRamStream(reinterpret_cast<uint8_t*>(block.data()), 36, 1, 0); }},
      {"bank",
       [&] {
         Ref<TBankStream> s = NewBankStream(nullptr);
         s->WriteString(String(kContent.c_str()));
         s->Seek(0);
         return s;
       }},
      {"file", [&] { return OpenForReading(String(path.c_str())); }},
      {"wrapped file", [&] { return TStreamStream::Create(OpenForReading(String(path.c_str()))); }},
      {"big-endian file", [&] { return OpenForReading(String(("bigendian::" + path).c_str())); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Ref<TStream> s = c.open();
    uint8_t first[4];
    s->ReadBytes(first, 4);  // a file fills its C buffer here
    EXPECT_EQ(std::string(first, first + 4), "0123");
    std::span<const uint8_t> held = s->PeekBuffered();
    ASSERT_FALSE(held.empty());
    EXPECT_EQ(std::string(held.begin(), held.end()), kContent.substr(4, held.size()));
    s->ConsumeBuffered(3);
    EXPECT_EQ(s->Pos(), 7);
    EXPECT_EQ(s->ReadByte(), '7');
    s->Seek(30);
    held = s->PeekBuffered();
    EXPECT_EQ(std::string(held.begin(), held.end()), kContent.substr(30)) << "never past the end";
    s->ConsumeBuffered(held.size());
    EXPECT_EQ(s->Eof(), 1);
    EXPECT_TRUE(s->PeekBuffered().empty());
  }
  // A text stream's Read decodes hexadecimal digits: it holds no bytes as Read gives them.
  Ref<TStream> text = OpenForReading(String(("latin1::" + path).c_str()));
  EXPECT_EQ(text->ReadLine().Length(), 36);
  text->Seek(0);
  EXPECT_TRUE(text->PeekBuffered().empty());
  // Nor does a write-only RAM stream.
  EXPECT_TRUE(
      NewRamStream(reinterpret_cast<uint8_t*>(block.data()), 36, 0, 1)->PeekBuffered().empty());
}

TEST_F(BufferedView, ReflectionCannotMoveTheMemoryBounds) {
  // The position and size of a stream over memory are bound read-only: a hostile value is
  // refused and the stream goes on reading exactly its block.
  Ref<TRamStream> ram = NewRamStream(reinterpret_cast<uint8_t*>(block.data()), 10, 1, 1);
  Ref<TBankStream> bank = NewBankStream(nullptr);
  bank->WriteString("0123456789");
  bank->Seek(2);
  ram->Seek(2);
  uint8_t buf[64];
  for (int32_t value : {-1, -1000000, 11, 1000000, INT32_MAX}) {
    SCOPED_TRACE(value);
    EXPECT_FALSE(SetField(ram.Get(), "_pos", value));
    EXPECT_FALSE(SetField(ram.Get(), "_size", value));
    EXPECT_FALSE(SetField(bank.Get(), "_pos", value));
  }
  EXPECT_EQ(ram->Read(buf, 64), 8);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 8), kContent.substr(2, 8));
  EXPECT_EQ(bank->Read(buf, 64), 8);
  EXPECT_EQ(ram->PeekBuffered().size(), 0u);
}

}  // namespace
}  // namespace vxl
