// The buffered view of every stream that holds bytes in memory, and of the wrappers around them:
// it shows exactly what Read would deliver, never past the end, and bounds hold whatever the
// reflected position and size fields have been set to.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "runtime/class_binder.h"
#include "stream/memory/bank_stream.h"
#include "stream/memory/endian_stream.h"
#include "stream/memory/ram_stream.h"
#include "stream/text_stream.h"
#include "support/temp_dir.h"

namespace vxl {
namespace {

const std::string kContent = "0123456789abcdefghijklmnopqrstuvwxyz";

// Sets the reflected int field `name` of `object`, as a program could through reflection.
void SetField(Object* object, const char* name, int32_t value) {
  for (const ClassInfo* c = &object->Class(); c; c = c->Super()) {
    for (const FieldInfo& f : c->Fields()) {
      if (f.name == name) return f.set(object, String::FromInt(value));
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

TEST_F(BufferedView, MemoryBoundsHoldWhateverTheFieldsSay) {
  Ref<TRamStream> ram = NewRamStream(reinterpret_cast<uint8_t*>(block.data()), 10, 1, 1);
  Ref<TBankStream> bank = NewBankStream(nullptr);
  bank->WriteString("0123456789");
  uint8_t buf[64];
  for (int32_t pos : {-1, -1000000, 11, 1000000, INT32_MAX}) {
    SCOPED_TRACE(pos);
    SetField(ram.Get(), "_pos", pos);
    EXPECT_EQ(ram->Read(buf, 64), 0);
    EXPECT_EQ(ram->Write(buf, 64), 0);
    EXPECT_TRUE(ram->PeekBuffered().empty());
    SetField(bank.Get(), "_pos", pos);
    EXPECT_EQ(bank->Read(buf, 64), 0);
    EXPECT_EQ(bank->Write(buf, 1), 0);
    EXPECT_TRUE(bank->PeekBuffered().empty());
  }
  // A larger reflected size never reaches past the block the stream was made over.
  SetField(ram.Get(), "_pos", 8);
  SetField(ram.Get(), "_size", 1000);
  EXPECT_EQ(ram->Read(buf, 64), 2);
  EXPECT_EQ(ram->PeekBuffered().size(), 0u);
  EXPECT_EQ(ram->Write(buf, 64), 0);
}

}  // namespace
}  // namespace vxl
