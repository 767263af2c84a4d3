// Path strings: one syntax on every system, with "/" as the only separator and three kinds of
// root: a drive ("c:/"), a network root ("//server/") and "/".
//
//   NormalisePath("C:\\games\\x.png", 0);   // "C:/games/x.png"
//   PathDirectory("c:/file.txt");           // "c:/"
//   PathExtension("a/b.tar.gz");            // "gz"
//   AbsolutePath("a/./b/../c");             // WorkingDirectory() + "/a/c"
//
// Everything here except WorkingDirectory, WorkingDrive and AbsolutePath is a pure string
// function.
#pragma once

#include <cstdint>

#include "runtime/string.h"

namespace vxl {

// Backslashes become "/"; "//server" gains its final "/"; a drive letter gains the "/" after its
// colon ("c:" gives "c:/", "c:dir" gives "c:/dir"); a "::" (stream protocol) is left alone. With
// directoryForm 1, one trailing "/" of a path that is not a root is removed too.
String NormalisePath(const String& path, int32_t directoryForm = 0);
// The root prefix of a path ("c:/", "//server/", "/"), or "". The path is taken as it is.
String PathRoot(const String& path);
// 1 if the path is not empty and is its own root.
int32_t IsPathRoot(const String& path);
// 1 if the path has a root.
int32_t IsAbsolutePath(const String& path);
// The text after the last "/" (the whole path if there is none).
String PathFileName(const String& path);
// The path cut before the last "." of its last name; unchanged if that name has none.
String PathWithoutExtension(const String& path);
// The last name without its extension.
String PathBaseName(const String& path);
// The text after the last "." of the last name, or "".
String PathExtension(const String& path);
// One trailing "/" removed, unless the path is a root.
String PathWithoutSlash(const String& path);
// The directory part: "", ".", ".." and roots are returned as they are; otherwise the text before
// the last "/", keeping that "/" when the text up to and including it is a root ("/a" gives "/",
// "c:/x" gives "c:/", "a/b/c" gives "a/b"); a path without "/" gives "".
String PathDirectory(const String& path);

// The current directory, normalised ("" if it cannot be read).
String WorkingDirectory();
// The drive letter of the current directory ("C"), or "". Always "" on systems without drives.
String WorkingDrive();
// The path made absolute against the working directory, with "." and ".." segments resolved and
// empty segments dropped. ".." never climbs above a root, and a result that climbs back to a root
// keeps the root's "/" ("c:/a/.." gives "c:/").
String AbsolutePath(const String& path);

}  // namespace vxl
