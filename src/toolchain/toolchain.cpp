#include "toolchain/toolchain.h"

#include <cstdlib>
#include <map>
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

// The module names ("b" for "b.mod") in each folder read so far, by device and inode: several
// names may link to one folder, which is still read only once.
using FolderNames = std::map<std::pair<uint64_t, uint64_t>, std::vector<String>>;

void ListInto(const String& modid, TList& list, FolderNames& read) {
  String dir = ModuleDirectory(modid);
  platform::FileStatus status;
  if (!platform::StatPath(dir.ToCString(), status)) return;
  auto [entry, fresh] = read.try_emplace({status.device, status.inode});
  if (fresh) {
    for (const String& name : ListDirectory(dir, 1)) {
      // A directory named just ".mod" would give an empty name and list itself again.
      if (name.Length() <= 4 || !name.EndsWith(".mod")) continue;
      if (PathKind(dir + "/" + name) != kPathDirectory) continue;
      entry->second.push_back(name.Slice(0, name.Length() - 4));
    }
  }
  for (const String& name : entry->second) {
    String id = modid.IsEmpty() ? name : modid + "." + name;
    int dots = CountDots(id);
    if (dots == 1) list.AddLast(id);
    // Ids only gain dots further down, so below an id with a dot none can be listed.
    if (dots == 0) ListInto(id, list, read);
  }
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
  FolderNames read;
  ListInto(modid, *list, read);
  return list;
}

namespace toolchain_detail {
void ForgetToolchainPath() {
  CachedPath() = String();
}
}  // namespace toolchain_detail

int InitToolchainModule() {
  static ModuleGuard guard("toolchain path utility");
  return guard.Run({InitCoreModule, InitListModule, InitFileSystemModule}, [] {});
}

}  // namespace vxl
