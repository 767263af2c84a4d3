// Locating the toolchain installation and the files of installed modules.
//
// The installation is the directory named by the environment variable QLNPATH or, when that is
// unset, the first directory at or above the application's own that holds "bin/qmk.exe" (on this
// platform also "bin/qmk"). Module identifiers are dotted: module "a.b" lives in
// <installation>/mod/a.mod/b.mod.
//
//   String src = ModuleSourcePath("vxl.stream");   // .../mod/vxl.mod/stream.mod/stream.qln
//   Ref<TList> all = ListModules("", Ref<TList>()); // "vxl.stream", "vxl.pixmap", ...
#pragma once

#include "collections/list/list.h"
#include "runtime/string.h"

namespace vxl {

// The installation directory, found once and kept for the rest of the process. After a search
// QLNPATH is set to it in the process environment. Throws the string "Unable to locate Quillon
// path" when nothing is found (and searches again on the next call).
String ToolchainPath();
// <installation>/mod, followed by "/a.mod/b.mod" for "a.b" when modid is not empty.
String ModuleDirectory(const String& modid);
// The part of modid after its last "." (all of it when there is none).
String ModuleIdentOf(const String& modid);
// ModuleDirectory(modid) + "/" + ModuleIdentOf(modid) + ".qln".
String ModuleSourcePath(const String& modid);
// As the source path, ending in suffix + ".a"; a suffix not starting with "." gets one.
String ModuleArchivePath(const String& modid, const String& suffix);
// As the archive path, ending in ".i".
String ModuleInterfacePath(const String& modid, const String& suffix);
// Appends to list (a new one when Null) the identifier of every installed module "ns.name"
// below modid, in directory order, depth first; returns the list.
Ref<TList> ListModules(const String& modid, Ref<TList> list);

namespace toolchain_detail {
// Forgets the path found so far, so a test can search again.
void ForgetToolchainPath();
}  // namespace toolchain_detail

// Imports the core, linked-list and file-system modules; has no body of its own.
int InitToolchainModule();

}  // namespace vxl
