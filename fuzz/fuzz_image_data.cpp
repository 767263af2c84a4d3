// Hostile bytes through TDataStream.ReadObject with the image type registered beside pixmaps and
// lists. Reading may only end with a TStreamReadException or "Unrecognized DataType: ..."; an
// image read back may hold any sizes and any nested objects, and still every frame must lock and
// mask (or fail with the pixmap module's runtime error) without a crash. What was read writes,
// reads and writes again to the same bytes.
#include <cstdint>
#include <string>
#include <vector>

#include "collections/list/list.h"
#include "data/data.h"
#include "graphics/kor2d/image.h"
#include "support/test_streams.h"

namespace vxl {
namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

constexpr int kMaxObjects = 16;

bool Setup() {
  InitImageModule();
  InitListModule();
  return true;
}

std::string WriteAll(const std::vector<Ref<Object>>& objects) {
  auto memory = New<test::TMemoryStream>();
  auto out = TDataStream::WithStream(memory);
  for (const Ref<Object>& o : objects)
    out->WriteObject(o);
  return memory->bytes;
}

std::vector<Ref<Object>> ReadAll(const std::string& bytes, size_t count) {
  auto in = TDataStream::WithStream(test::TMemoryStream::Of(bytes));
  std::vector<Ref<Object>> objects;
  for (size_t i = 0; i < count; ++i)
    objects.push_back(in->ReadObject());
  return objects;
}

// Locks every frame of a read image whose size a pixmap can have, the way drawing would.
void UseImage(const Ref<TImage>& image) {
  if (image->width < 1 || image->height < 1 || int64_t(image->width) * image->height > 1 << 16)
    return;
  for (int32_t i = 0; i < image->pixmaps.Length(); ++i) {
    Ref<TPixmap> p = image->Lock(i, 1, 0);
    Check(bool(p));
    try {
      image->SetPixmap(i, p);
    } catch (const Thrown& e) {
      Check(bool(e.As<TRuntimeException>()));  // masking a pixmap too large to convert
    }
  }
}

}  // namespace
}  // namespace vxl

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vxl;
  static bool ready = Setup();
  (void)ready;
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::vector<Ref<Object>> objects;
  auto reader = TDataStream::WithStream(test::TMemoryStream::Of(bytes));
  try {
    for (int i = 0; i < kMaxObjects; ++i)
      objects.push_back(reader->ReadObject());
  } catch (const Thrown& e) {
    Check(e.As<TStreamReadException>() ||
          (e.IsString() && e.Text().StartsWith("Unrecognized DataType: ")));
  }
  std::string once = WriteAll(objects);
  std::string twice = WriteAll(ReadAll(once, objects.size()));
  Check(once == twice);
  for (const Ref<Object>& o : objects) {
    if (auto image = o.As<TImage>()) UseImage(image);
  }
  return 0;
}
