// The rules behind the file and folder requesters and LaunchUrl, as pure functions, and the
// command lines of the desktop's requester programs built from them.
//
//   RequesterFilterString("Image Files:png,jpg;Text Files:txt")
//       // "Image Files\0*.png;*.jpg\0Text Files\0*.txt\0"
//   RequesterFilterIndex("Image Files:png,jpg;Text Files:txt", "pics/a.png")   // 1
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/string.h"

namespace vxl {

// The folder a requester opens in and the file name it shows: path split at its last "/" (the
// folder is "" when there is none).
struct RequesterStart {
  String folder;
  String file;
};
RequesterStart RequesterStartOf(const String& path);

// The 1-based filter group that matches the extension of path, 0 for none (or for the last group,
// whose extensions are not followed by a comma in the prepared list).
int32_t RequesterFilterIndex(const String& exts, const String& path);

// The filter list in double-NUL form: each group's description, NUL, its patterns ("*.png;*.jpg"),
// NUL; one NUL ends the list. A list without any ":" is one group described as "Files".
String RequesterFilterString(const String& exts);

// The URL LaunchUrl hands to the desktop: a URL with a scheme ("http:", "mailto:", any two or more
// letters before ":") unchanged; an existing file or folder as "file:" + its absolute path (with
// any "#anchor" kept); anything else as "http:" + the text.
String PrepareUrl(const String& url);

// The arguments of a file requester program ("zenity" or "kdialog"), the selected filter group
// first. filter is the double-NUL list (may be ""), title and paths are UTF-8.
std::vector<std::string> FileRequesterArgs(const std::string& program, const std::string& title,
                                           const String& filter, int32_t index, bool save,
                                           const std::string& folder, const std::string& file);
// The arguments of a folder requester program opening at `folder`.
std::vector<std::string> FolderRequesterArgs(const std::string& program, const std::string& title,
                                             const std::string& folder);

// UTF-8 bytes of the text (for the desktop's programs and message boxes).
std::string ToUtf8(const String& text);

}  // namespace vxl
