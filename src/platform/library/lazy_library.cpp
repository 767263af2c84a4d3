#include "platform/library/lazy_library.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

namespace vxl::platform {

static_assert(sizeof(void*) == sizeof(void (*)()), "dlsym results fit a function pointer");

namespace {

// What the process knows about its libraries beyond each one's own state. Never destroyed.
struct Registry {
  std::mutex mutex;
  std::map<std::string, std::string> files;  // overrides set with SetLibraryFile
  std::map<std::string, bool> loaded;        // names whose Load has run
  std::string lastFailure;
  std::vector<LazyLibrary*> libraries;  // every one defined, never deleted
};

Registry& TheRegistry() {
  static Registry* registry = new Registry;
  return *registry;
}

std::string EnvironmentName(const std::string& name) {
  std::string variable = "VXL_LIBRARY_";
  for (char c : name)
    variable += std::isalnum(static_cast<unsigned char>(c))
                    ? static_cast<char>(std::toupper(static_cast<unsigned char>(c)))
                    : '_';
  return variable;
}

// The file to open instead of the soname list: the program's override, else the environment's.
std::string OverrideFile(const std::string& name) {
  {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto it = registry.files.find(name);
    if (it != registry.files.end()) return it->second;
  }
  const char* value = std::getenv(EnvironmentName(name).c_str());
  return value ? value : "";
}

}  // namespace

struct LazyLibrary::State {
  struct Symbol {
    std::string name;
    void* slot;
    bool required;
  };
  enum : int { kNotRun, kLoaded, kFailed };

  std::mutex mutex;
  std::atomic<int> status{kNotRun};
  std::vector<std::string> sonames;
  std::vector<Symbol> symbols;
  std::string error;

  // Every symbol's address through `lookup` (null for a missing optional one), in order; the
  // error for the first missing required one.
  template <class Lookup>
  std::string Resolve(const std::string& file, Lookup&& lookup, std::vector<void*>* addresses) {
    for (const Symbol& symbol : symbols) {
      void* address = lookup(symbol.name.c_str());
      if (!address && symbol.required) return "missing symbol " + symbol.name + " in " + file;
      addresses->push_back(address);
    }
    return "";
  }
};

LazyLibrary::LazyLibrary(State* state, const char* name) : state_(state), name_(name) {}

LazyLibrary& LazyLibrary::Define(const char* name, std::initializer_list<const char*> sonames,
                                 std::initializer_list<LazySymbol> symbols) {
  auto* state = new State;
  for (const char* soname : sonames) state->sonames.emplace_back(soname);
  for (const LazySymbol& symbol : symbols)
    state->symbols.push_back({symbol.name, symbol.slot, symbol.required});
  // Never deleted: see the lifetime note in the header.
  auto* library = new LazyLibrary(state, name);
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  registry.libraries.push_back(library);
  return *library;
}

template <class Resolve>
bool LazyLibrary::LoadOnce(Resolve&& resolve) {
  int status = state_->status.load(std::memory_order_acquire);
  if (status != State::kNotRun) return status == State::kLoaded;

  std::lock_guard<std::mutex> lock(state_->mutex);
  status = state_->status.load(std::memory_order_relaxed);
  if (status != State::kNotRun) return status == State::kLoaded;

  {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> registryLock(registry.mutex);
    registry.loaded[name_] = true;
  }
  std::vector<void*> addresses;
  std::string error = resolve(&addresses);

  if (!error.empty()) {
    state_->error = error;
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> registryLock(registry.mutex);
    registry.lastFailure = name_ + ": " + error;
    state_->status.store(State::kFailed, std::memory_order_release);
    return false;
  }
  for (size_t i = 0; i < addresses.size(); ++i)
    std::memcpy(state_->symbols[i].slot, &addresses[i], sizeof(void*));
  state_->status.store(State::kLoaded, std::memory_order_release);
  return true;
}

bool LazyLibrary::Load() {
  return LoadOnce([this](std::vector<void*>* addresses) -> std::string {
    std::string file = OverrideFile(name_);
    std::vector<std::string> candidates =
        file.empty() ? state_->sonames : std::vector<std::string>{file};
    if (candidates.empty()) return "no file to open";
    std::string error;
    for (const std::string& candidate : candidates) {
      // The handle is never closed, even after a failure: a library is not unloaded under code
      // that may already hold one of its addresses, and its initialisers ran once already.
      void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (handle) {
        return state_->Resolve(
            candidate, [handle](const char* name) { return dlsym(handle, name); }, addresses);
      }
      // The most specific name's reason is the one worth reading.
      const char* reason = dlerror();
      if (error.empty()) error = reason ? reason : candidate + ": cannot be opened";
    }
    return error;
  });
}

bool LazyLibrary::LoadFrom(const std::string& file, SymbolLookup lookup,
                           const std::string& openError) {
  return LoadOnce([&](std::vector<void*>* addresses) -> std::string {
    if (!lookup) return openError.empty() ? file + ": cannot be opened" : openError;
    return state_->Resolve(file, lookup, addresses);
  });
}

bool LazyLibrary::Loaded() const {
  return state_->status.load(std::memory_order_acquire) == State::kLoaded;
}

std::string LazyLibrary::Error() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->error;
}

std::string LazyLibrary::Find() const {
  std::string file = OverrideFile(name_);
  if (!file.empty()) return FindLibraryFile(file.c_str());
  for (const std::string& soname : state_->sonames) {
    std::string found = FindLibraryFile(soname.c_str());
    if (!found.empty()) return found;
  }
  return "";
}

bool SetLibraryFile(const char* name, const char* file) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  if (registry.loaded.count(name)) return false;
  registry.files[name] = file;
  return true;
}

std::string LastLibraryFailure() {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  return registry.lastFailure;
}

namespace {

#if defined(__x86_64__)
constexpr uint16_t kMachine = EM_X86_64;
constexpr const char* kMultiarch = "x86_64-linux-gnu";
#elif defined(__aarch64__)
constexpr uint16_t kMachine = EM_AARCH64;
constexpr const char* kMultiarch = "aarch64-linux-gnu";
#elif defined(__i386__)
constexpr uint16_t kMachine = EM_386;
constexpr const char* kMultiarch = "i386-linux-gnu";
#else
constexpr uint16_t kMachine = EM_NONE;  // any machine
constexpr const char* kMultiarch = nullptr;
#endif
constexpr unsigned char kClass = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;

// A regular, readable ELF shared object this process could map: the dynamic linker skips a file
// of another class or machine and goes on searching, and so does the probe.
bool Loadable(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  unsigned char header[EI_NIDENT + 4] = {};
  bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
            read(fd, header, sizeof header) == static_cast<ssize_t>(sizeof header);
  close(fd);
  if (!ok || std::memcmp(header, ELFMAG, SELFMAG) != 0 || header[EI_CLASS] != kClass)
    return false;
  uint16_t machine = 0;
  std::memcpy(&machine, header + EI_NIDENT + 2, sizeof machine);  // e_machine, after e_type
  return kMachine == EM_NONE || machine == kMachine;
}

std::string InDirectory(const std::string& directory, const char* soname) {
  std::string path = (directory.empty() ? std::string(".") : directory) + "/" + soname;
  return Loadable(path) ? path : "";
}

std::vector<char> ReadWholeFile(const char* path) {
  std::vector<char> bytes;
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return bytes;
  char chunk[65536];
  ssize_t n;
  while ((n = read(fd, chunk, sizeof chunk)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
  close(fd);
  return bytes;
}

// The linker's cache: an optional old-format part, then the current format, whose entries give a
// soname and its path as offsets from the start of the current format's header.
std::string InLinkerCache(const char* soname) {
  std::vector<char> cache = ReadWholeFile("/etc/ld.so.cache");
  static constexpr char kOldMagic[] = "ld.so-1.7.0";
  static constexpr char kNewMagic[] = "glibc-ld.so.cache1.1";
  size_t base = 0;
  auto u32 = [&cache](size_t at) {
    uint32_t value = 0;
    if (at + 4 <= cache.size()) std::memcpy(&value, cache.data() + at, 4);
    return value;
  };
  if (cache.size() >= 16 && std::memcmp(cache.data(), kOldMagic, sizeof kOldMagic - 1) == 0) {
    size_t oldEntries = u32(12);  // after the 11-byte magic and its padding
    base = (16 + oldEntries * 12 + 7) & ~size_t{7};
  }
  constexpr size_t kHeader = 48, kEntry = 24;
  if (base + kHeader > cache.size() ||
      std::memcmp(cache.data() + base, kNewMagic, sizeof kNewMagic - 1) != 0)
    return "";
  size_t entries = u32(base + 20);
  auto text = [&cache, base](uint32_t offset) -> const char* {
    size_t at = base + offset;
    if (at >= cache.size() || !std::memchr(cache.data() + at, 0, cache.size() - at)) return nullptr;
    return cache.data() + at;
  };
  for (size_t i = 0; i < entries; ++i) {
    size_t entry = base + kHeader + i * kEntry;
    if (entry + kEntry > cache.size()) break;
    const char* key = text(u32(entry + 4));
    const char* value = text(u32(entry + 8));
    if (key && value && std::strcmp(key, soname) == 0 && Loadable(value)) return value;
  }
  return "";
}

}  // namespace

std::string FindLibraryFile(const char* soname) {
  if (!soname || !*soname) return "";
  if (std::strchr(soname, '/')) return Loadable(soname) ? soname : "";
  // A set-user-id program ignores the library path, as the linker does for it.
  const char* path = getauxval(AT_SECURE) ? nullptr : std::getenv("LD_LIBRARY_PATH");
  if (path) {
    std::string list = path;
    size_t start = 0;
    while (start <= list.size()) {
      size_t end = list.find_first_of(":;", start);
      if (end == std::string::npos) end = list.size();
      std::string found = InDirectory(list.substr(start, end - start), soname);
      if (!found.empty()) return found;
      start = end + 1;
    }
  }
  std::string cached = InLinkerCache(soname);
  if (!cached.empty()) return cached;
  std::vector<std::string> defaults;
  if (kMultiarch) {
    defaults.push_back(std::string("/lib/") + kMultiarch);
    defaults.push_back(std::string("/usr/lib/") + kMultiarch);
  }
  if (sizeof(void*) == 8) {
    defaults.push_back("/lib64");
    defaults.push_back("/usr/lib64");
  }
  defaults.push_back("/lib");
  defaults.push_back("/usr/lib");
  for (const std::string& directory : defaults) {
    std::string found = InDirectory(directory, soname);
    if (!found.empty()) return found;
  }
  return "";
}

namespace {

int CollectLoadedName(dl_phdr_info* info, size_t, void* names) {
  if (info->dlpi_name && info->dlpi_name[0] == '/')
    static_cast<std::vector<std::string>*>(names)->emplace_back(info->dlpi_name);
  return 0;
}

}  // namespace

void KeepLoadedLibrariesLoaded() {
  // The names are gathered first: the loader's lock is held during the walk.
  std::vector<std::string> names;
  dl_iterate_phdr(CollectLoadedName, &names);
  for (const std::string& name : names) {
    // Only libraries already loaded are touched (NOLOAD); NODELETE keeps them until exit.
    dlopen(name.c_str(), RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
  }
}

}  // namespace vxl::platform
