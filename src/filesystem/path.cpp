#include "filesystem/path.h"

#include <string>
#include <string_view>

#include "platform/process/process_image.h"

namespace vxl {

namespace {

using Text = std::u16string;
using View = std::u16string_view;
constexpr size_t npos = View::npos;

// The root of a path as it is (see PathRoot).
View RootOf(View p) {
  if (p.substr(0, 2) == u"//") {
    size_t slash = p.find(u'/', 2);
    return slash == npos ? View() : p.substr(0, slash + 1);
  }
  size_t colon = p.find(u':');
  if (colon != npos && p.find(u'/') == colon + 1) return p.substr(0, colon + 2);
  if (!p.empty() && p[0] == u'/') return p.substr(0, 1);
  return View();
}

bool IsRoot(View p) {
  return !p.empty() && RootOf(p).size() == p.size();
}

Text Normalised(View path, bool directoryForm) {
  Text p(path);
  for (char16_t& c : p) {
    if (c == u'\\') c = u'/';
  }
  if (p.starts_with(u"//")) {
    if (p.find(u'/', 2) == npos) p += u'/';
  } else {
    size_t colon = p.find(u':');
    if (colon != npos && (colon + 1 == p.size() || p[colon + 1] != u':')) {
      size_t slash = p.find(u'/');
      if (slash == npos || colon + 1 < slash) p.insert(colon + 1, 1, u'/');
    }
  }
  if (directoryForm && p.ends_with(u'/') && !IsRoot(p)) p.pop_back();
  return p;
}

// The position of the "." that starts the extension of the last name, or npos.
size_t ExtensionDot(View p) {
  size_t dot = p.rfind(u'.');
  if (dot == npos || p.find(u'/', dot) != npos) return npos;
  return dot;
}

String Str(View v) {
  return String(v);
}

}  // namespace

String NormalisePath(const String& path, int32_t directoryForm) {
  return Str(Normalised(path.View(), directoryForm != 0));
}

String PathRoot(const String& path) {
  return Str(RootOf(path.View()));
}

int32_t IsPathRoot(const String& path) {
  return IsRoot(path.View()) ? 1 : 0;
}

int32_t IsAbsolutePath(const String& path) {
  return RootOf(path.View()).empty() ? 0 : 1;
}

String PathFileName(const String& path) {
  Text p = Normalised(path.View(), false);
  size_t slash = p.rfind(u'/');
  return slash == npos ? Str(p) : Str(View(p).substr(slash + 1));
}

String PathWithoutExtension(const String& path) {
  Text p = Normalised(path.View(), false);
  size_t dot = ExtensionDot(p);
  return dot == npos ? Str(p) : Str(View(p).substr(0, dot));
}

String PathBaseName(const String& path) {
  return PathFileName(PathWithoutExtension(path));
}

String PathExtension(const String& path) {
  Text p = Normalised(path.View(), false);
  size_t dot = ExtensionDot(p);
  return dot == npos ? String() : Str(View(p).substr(dot + 1));
}

String PathWithoutSlash(const String& path) {
  return Str(Normalised(path.View(), true));
}

String PathDirectory(const String& path) {
  Text p = Normalised(path.View(), false);
  if (p == u"." || p == u".." || IsRoot(p)) return Str(p);
  size_t slash = p.rfind(u'/');
  if (slash == npos) return String();
  View upToSlash = View(p).substr(0, slash + 1);
  return Str(IsRoot(upToSlash) ? upToSlash : upToSlash.substr(0, slash));
}

String WorkingDirectory() {
  return NormalisePath(String(std::string_view(platform::CurrentDirectory())), 0);
}

String WorkingDrive() {
  // This system has no drive letters: a ':' in a directory name is an ordinary character.
  return String();
}

String AbsolutePath(const String& path) {
  Text p(path.View());
  if (p.starts_with(u'/') && !p.starts_with(u"//")) {
    String drive = WorkingDrive();
    if (!drive.IsEmpty()) p = Text(drive.View()) + u':' + p;
  }
  p = Normalised(p, false);
  View rest = p;
  View root = RootOf(rest);
  Text result;
  if (root.empty()) {
    result = Text(WorkingDirectory().View());
  } else {
    result = Text(root);
    rest.remove_prefix(root.size());
  }
  while (!rest.empty()) {
    size_t slash = rest.find(u'/');
    View segment = rest.substr(0, slash);
    rest = slash == npos ? View() : rest.substr(slash + 1);
    if (segment.empty() || segment == u".") continue;
    if (segment == u"..") {
      if (IsRoot(result)) continue;
      size_t last = result.rfind(u'/');
      if (last == npos) {
        result.clear();
      } else {
        // Climbing back to the root keeps the root whole ("/a/.." gives "/", not "").
        bool toRoot = IsRoot(View(result).substr(0, last + 1));
        result.resize(toRoot ? last + 1 : last);
      }
      continue;
    }
    if (!result.ends_with(u'/')) result += u'/';
    result += segment;
  }
  return Str(result);
}

}  // namespace vxl
