// Copying files and whole directory trees.
//
//   DuplicateFile("incbin::default.cfg", "user.cfg");   // any readable URL to any writeable one
//   DuplicateDirectory("levels", "backup/levels");
#pragma once

#include <cstdint>

#include "runtime/object.h"
#include "runtime/string.h"

namespace vxl {

// Copies what the URL `from` reads into the URL `to` (created or truncated). 1 when the copy
// finished; 0 when either side does not open, writing fails, or both name the same file (which
// is then left untouched). Exceptions other than TStreamWriteException pass to the caller.
int32_t DuplicateFile(const Ref<Object>& from, const Ref<Object>& to);
inline int32_t DuplicateFile(const String& from, const String& to) {
  return DuplicateFile(Ref<Object>(from), Ref<Object>(to));
}
// Copies the directory `from` into `to` (made if missing; its parent must exist), files and
// sub-directories alike; a symbolic link is copied as a link holding the same text. Links inside
// either tree are never followed: a link in `to` where a file goes is replaced, one where a
// directory goes is a failure. Stops with 0 at the first failure, keeping what was copied. When
// `to` lies inside `from`, it is not copied into itself.
int32_t DuplicateDirectory(const String& from, const String& to);

}  // namespace vxl
