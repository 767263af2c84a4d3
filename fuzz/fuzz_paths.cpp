// Arbitrary text through the path functions, checking what must hold for every path: the
// normal form is stable and has no backslash, the root, directory, name and extension are the
// pieces of the normal form they claim to be, and an absolute path is clean and stable.
// Input bytes are characters one for one; a 0xFF byte takes the next two bytes as one character,
// so characters above 255 appear too.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "filesystem/path.h"

namespace {

using namespace vxl;
using View = std::u16string_view;

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

std::u16string Decode(const uint8_t* data, size_t size) {
  std::u16string text;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0xFF && i + 2 < size) {
      text += static_cast<char16_t>(data[i + 1] << 8 | data[i + 2]);
      i += 2;
    } else {
      text += static_cast<char16_t>(data[i]);
    }
  }
  return text;
}

bool StartsWith(View text, View prefix) {
  return text.substr(0, prefix.size()) == prefix;
}
bool EndsWith(View text, View suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

void CheckPieces(const String& path) {
  const String normal = NormalisePath(path, 0);
  const View n = normal.View();
  Check(n.find(u'\\') == View::npos);
  Check(NormalisePath(normal, 0) == normal);
  const String directoryForm = NormalisePath(path, 1);
  Check(directoryForm == normal || directoryForm + String("/") == normal);

  const String root = PathRoot(normal);
  Check(StartsWith(n, root.View()));
  Check(IsAbsolutePath(normal) == (root.IsEmpty() ? 0 : 1));
  Check(root.IsEmpty() || IsPathRoot(root) == 1);

  const String directory = PathDirectory(path);
  Check(StartsWith(n, directory.View()));
  const String name = PathFileName(path);
  Check(EndsWith(n, name.View()) && name.View().find(u'/') == View::npos);

  const String stem = PathWithoutExtension(path);
  const String extension = PathExtension(path);
  if (stem == normal) {
    Check(extension.IsEmpty());
  } else {
    Check(stem + String(".") + extension == normal);
  }
  Check(PathBaseName(path) == PathFileName(stem));
}

void CheckAbsolute(const String& path) {
  const String absolute = AbsolutePath(path);
  Check(AbsolutePath(absolute) == absolute);
  // Past its root, no empty, "." or ".." segment is left.
  View rest = absolute.View().substr(PathRoot(absolute).Length());
  while (!rest.empty()) {
    size_t slash = rest.find(u'/');
    View segment = rest.substr(0, slash);
    Check(!segment.empty() && segment != u"." && segment != u"..");
    rest = slash == View::npos ? View() : rest.substr(slash + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  const String path{View(Decode(data, size))};
  CheckPieces(path);
  CheckAbsolute(path);
  return 0;
}
