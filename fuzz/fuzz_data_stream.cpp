// Hostile bytes through TDataStream.ReadObject with every data type registered (lists, banks).
// The first input byte picks the source: a seekable memory stream, or a stream that cannot tell
// its length and hands out its bytes in small pieces (a pipe or socket). Reading may only end with
// a TStreamReadException or "Unrecognized DataType: ..."; nothing may crash, hang or allocate
// without bound. Whatever was read must write and read back to the very same bytes.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "bank/bank.h"
#include "collections/list/list.h"
#include "data/data.h"
#include "support/test_streams.h"

namespace vxl {
namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

using test::TMemoryStream;
using test::TOneWayStream;

constexpr int kMaxObjects = 64;

bool Setup() {
  InitBankModule();
  InitListModule();
  return true;
}

std::string WriteAll(const std::vector<Ref<Object>>& objects) {
  auto memory = New<TMemoryStream>();
  auto out = TDataStream::WithStream(memory);
  for (const Ref<Object>& o : objects)
    out->WriteObject(o);
  return memory->bytes;
}

std::vector<Ref<Object>> ReadAll(const std::string& bytes, size_t count) {
  auto memory = New<TMemoryStream>();
  memory->bytes = bytes;
  auto in = TDataStream::WithStream(memory);
  std::vector<Ref<Object>> objects;
  for (size_t i = 0; i < count; ++i)
    objects.push_back(in->ReadObject());
  Check(memory->pos == memory->Size());
  return objects;
}

}  // namespace
}  // namespace vxl

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vxl;
  static bool ready = Setup();
  (void)ready;
  if (size < 1) return 0;
  uint8_t mode = data[0];
  std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);

  Ref<TStream> source;
  if (mode & 1) {
    auto pipe = New<TOneWayStream>();
    pipe->bytes = bytes;
    pipe->piece = 1 + (mode >> 1);
    source = pipe;
  } else {
    auto memory = New<TMemoryStream>();
    memory->bytes = bytes;
    source = memory;
  }

  std::vector<Ref<Object>> objects;
  auto reader = TDataStream::WithStream(source);
  try {
    for (int i = 0; i < kMaxObjects; ++i)
      objects.push_back(reader->ReadObject());
  } catch (const Thrown& e) {
    bool expected = e.As<TStreamReadException>() ||
                    (e.IsString() && e.Text().StartsWith("Unrecognized DataType: "));
    Check(expected);
  }

  // What was read is a graph the writer can write, and reading that back gives the same graph.
  std::string once = WriteAll(objects);
  std::string twice = WriteAll(ReadAll(once, objects.size()));
  Check(once == twice);
  return 0;
}
