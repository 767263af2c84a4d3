#include "toolchain/toolchain.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "filesystem/file_stream.h"
#include "filesystem/file_system.h"
#include "platform/files/files.h"
#include "runtime/application.h"
#include "runtime/exceptions.h"
#include "runtime/module.h"

namespace vxl {
namespace {

// Never destroyed, like every module global: exit functions may still ask for it.
String& CachedPath() {
  static String* path = new String();
  return *path;
}

// The tool whose presence marks an installation. The name carries the ".exe" of the systems
// that need it; here a file without the suffix counts as well.
bool HoldsToolchain(const String& dir) {
  String tool = dir + "/bin/qmk";
  return PathKind(tool + ".exe") == kPathFile || PathKind(tool) == kPathFile;
}

String SearchUpwards() {
  String dir = ApplicationDir;
  while (!HoldsToolchain(dir)) {
    String up = PathDirectory(dir);
    if (up == dir) Throw("Unable to locate Quillon path");
    dir = up;
  }
  return dir;
}

String WithDot(const String& suffix) {
  if (!suffix.IsEmpty() && suffix[0] != '.') return "." + suffix;
  return suffix;
}

int CountDots(const String& s) {
  int dots = 0;
  for (int32_t i = 0; i < s.Length(); ++i)
    dots += s[i] == '.';
  return dots;
}

// The directories being listed, from the top down: a link back up the tree is not followed
// again, so a cycle of links ends instead of recursing without bound.
using VisitPath = std::vector<std::pair<uint64_t, uint64_t>>;

bool Enter(const String& dir, VisitPath& visiting) {
  platform::FileStatus status;
  if (!platform::StatPath(dir.ToCString(), status)) return false;
  for (const auto& [device, inode] : visiting) {
    if (device == status.device && inode == status.inode) return false;
  }
  visiting.emplace_back(status.device, status.inode);
  return true;
}

void ListInto(const String& modid, TList& list, VisitPath& visiting) {
  String dir = ModuleDirectory(modid);
  if (!Enter(dir, visiting)) return;
  for (const String& name : ListDirectory(dir, 1)) {
    // A directory named just ".mod" would give an empty name and list itself again.
    if (name.Length() <= 4 || !name.EndsWith(".mod")) continue;
    if (PathKind(dir + "/" + name) != kPathDirectory) continue;
    String id = name.Slice(0, name.Length() - 4);
    if (!modid.IsEmpty()) id = modid + "." + id;
    if (CountDots(id) == 1) list.AddLast(id);
    ListInto(id, list, visiting);
  }
  visiting.pop_back();
}

}  // namespace

String ToolchainPath() {
  String& cached = CachedPath();
  if (!cached.IsEmpty()) return cached;
  const char* env = std::getenv("QLNPATH");
  if (env && *env) {
    cached = String(env);
    return cached;
  }
  String found = SearchUpwards();
  setenv("QLNPATH", found.ToCString().c_str(), 1);
  cached = found;
  return cached;
}

String ModuleDirectory(const String& modid) {
  String dir = ToolchainPath() + "/mod";
  if (modid.IsEmpty()) return dir;
  return dir + "/" + modid.Replace(".", ".mod/") + ".mod";
}

String ModuleIdentOf(const String& modid) {
  int32_t dot = modid.FindLast(".");
  return dot < 0 ? modid : modid.Slice(dot + 1, modid.Length());
}

String ModuleSourcePath(const String& modid) {
  return ModuleDirectory(modid) + "/" + ModuleIdentOf(modid) + ".qln";
}

String ModuleArchivePath(const String& modid, const String& suffix) {
  return ModuleDirectory(modid) + "/" + ModuleIdentOf(modid) + WithDot(suffix) + ".a";
}

String ModuleInterfacePath(const String& modid, const String& suffix) {
  return ModuleDirectory(modid) + "/" + ModuleIdentOf(modid) + WithDot(suffix) + ".i";
}

Ref<TList> ListModules(const String& modid, Ref<TList> list) {
  if (!list) list = NewList();
  VisitPath visiting;
  ListInto(modid, *list, visiting);
  return list;
}

namespace detail {
void ForgetToolchainPath() {
  CachedPath() = String();
}
}  // namespace detail

int InitToolchainModule() {
  static ModuleGuard guard("toolchain path utility");
  return guard.Run({InitCoreModule, InitListModule, InitFileSystemModule}, [] {});
}

}  // namespace vxl
