#include "memstream/embedded_files.h"

#include <algorithm>
#include <vector>

#include "runtime/never_destroyed.h"

namespace vxl {

namespace {

struct EmbeddedFile {
  String name;
  const uint8_t* data;
  int32_t length;
};

// Oldest first; lookups walk from the newest.
std::vector<EmbeddedFile>& Table() {
  static NeverDestroyed<std::vector<EmbeddedFile>> table;
  return *table;
}

const EmbeddedFile* Find(const String& name) {
  const auto& table = Table();
  for (auto it = table.rbegin(); it != table.rend(); ++it) {
    if (it->name == name) return &*it;
  }
  return nullptr;
}

}  // namespace

int32_t RegisterEmbeddedFile(const String& name, const uint8_t* data, int32_t length) {
  if (Find(name)) return 0;
  Table().push_back({name, data, std::max(length, 0)});
  return 1;
}

const uint8_t* EmbeddedFileData(const String& name) {
  const EmbeddedFile* file = Find(name);
  return file ? file->data : nullptr;
}

int32_t EmbeddedFileLength(const String& name) {
  const EmbeddedFile* file = Find(name);
  return file ? file->length : 0;
}

}  // namespace vxl
