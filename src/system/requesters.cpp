#include "system/requesters.h"

#include "filesystem/file_system.h"
#include "filesystem/path.h"

namespace vxl {

RequesterStart RequesterStartOf(const String& path) {
  int32_t slash = path.FindLast("/");
  if (slash < 0) return {String(), path};
  return {path.Slice(0, slash), path.Slice(slash + 1, path.Length())};
}

int32_t RequesterFilterIndex(const String& exts, const String& path) {
  int32_t dot = path.Find(".");
  if (dot < 0) return 0;
  String ext = "," + path.Slice(dot + 1, path.Length()).ToLower() + ",";
  String list = exts.ToLower().Replace(":", ":,").Replace(";", ",;");
  int32_t p = list.Find(ext);
  if (p < 0 || list.Find(";", p) < 0) return 0;
  int32_t index = 1;
  for (int32_t i = 0; i < p; ++i) {
    if (list[i] == u';') ++index;
  }
  return index;
}

String RequesterFilterString(const String& exts) {
  const String nul = String::FromChar(0);
  String s = exts;
  if (exts.Find(":") < 0) {
    s = "Files" + nul + "*." + s;
  } else {
    s = s.Replace(":", nul + "*.");
  }
  return s.Replace(";", nul).Replace(",", ";*.") + nul;
}

namespace {

bool StartsWithScheme(const String& url) {
  auto letter = [](char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); };
  int32_t i = 0;
  while (i < url.Length() && letter(url[i]))
    ++i;
  return i >= 2 && i < url.Length() && url[i] == u':';
}

struct FilterGroup {
  std::string description;
  std::vector<std::string> patterns;
};

// The groups of a double-NUL list, the selected one (1-based; 0 keeps the order) first.
std::vector<FilterGroup> FilterGroups(const String& filter, int32_t index) {
  std::vector<std::string> parts;
  std::string bytes = filter.ToCString(), part;
  for (char c : bytes) {
    if (c) {
      part += c;
    } else {
      parts.push_back(std::move(part));
      part.clear();
    }
  }
  std::vector<FilterGroup> groups;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    FilterGroup g{parts[i], {}};
    std::string_view rest = parts[i + 1];
    while (!rest.empty()) {
      size_t semi = rest.find(';');
      if (semi) g.patterns.emplace_back(rest.substr(0, semi));
      if (semi == std::string_view::npos) break;
      rest.remove_prefix(semi + 1);
    }
    groups.push_back(std::move(g));
  }
  if (index >= 1 && static_cast<size_t>(index) <= groups.size()) {
    FilterGroup selected = std::move(groups[index - 1]);
    groups.erase(groups.begin() + (index - 1));
    groups.insert(groups.begin(), std::move(selected));
  }
  return groups;
}

std::string Joined(const std::vector<std::string>& items, const char* separator) {
  std::string out;
  for (const std::string& s : items)
    out += (out.empty() ? "" : separator) + s;
  return out;
}

}  // namespace

String PrepareUrl(const String& url) {
  if (StartsWithScheme(url)) return url;
  int32_t hash = url.Find("#");
  String rest = hash < 0 ? url : url.Slice(0, hash);
  String anchor = hash < 0 ? String() : url.Slice(hash, url.Length());
  String absolute = AbsolutePath(rest);
  if (PathKind(absolute) != 0) return "file:" + absolute + anchor;
  return "http:" + rest + anchor;
}

std::vector<std::string> FileRequesterArgs(const std::string& program, const std::string& title,
                                           const String& filter, int32_t index, bool save,
                                           const std::string& folder, const std::string& file) {
  std::string start = folder.empty() ? file : folder + "/" + file;
  std::vector<FilterGroup> groups = FilterGroups(filter, index);
  std::vector<std::string> args{program};
  if (program == "kdialog") {
    args.push_back(save ? "--getsavefilename" : "--getopenfilename");
    args.push_back(start.empty() ? "." : start);
    std::vector<std::string> lines;
    for (const FilterGroup& g : groups)
      lines.push_back(Joined(g.patterns, " ") + "|" + g.description);
    if (!lines.empty()) args.push_back(Joined(lines, "\n"));
    args.push_back("--title");
    args.push_back(title);
    return args;
  }
  args.push_back("--file-selection");
  args.push_back("--title=" + title);
  if (save) {
    args.push_back("--save");
    args.push_back("--confirm-overwrite");
  }
  if (!start.empty()) args.push_back("--filename=" + start);
  for (const FilterGroup& g : groups)
    args.push_back("--file-filter=" + g.description + " | " + Joined(g.patterns, " "));
  return args;
}

std::vector<std::string> FolderRequesterArgs(const std::string& program, const std::string& title,
                                             const std::string& folder) {
  if (program == "kdialog") return {program, "--getexistingdirectory", folder, "--title", title};
  return {program, "--file-selection", "--directory", "--title=" + title,
          "--filename=" + folder + "/"};
}

std::string ToUtf8(const String& text) {
  std::string out;
  const char16_t* p = text.Data();
  const char16_t* end = p + text.Length();
  while (p < end) {
    uint32_t c = *p++;
    if (c >= 0xD800 && c < 0xDC00 && p < end && *p >= 0xDC00 && *p < 0xE000)
      c = 0x10000 + ((c - 0xD800) << 10) + (*p++ - 0xDC00);
    else if (c >= 0xD800 && c < 0xE000)
      c = 0xFFFD;  // a lone surrogate
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace vxl
