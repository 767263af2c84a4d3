// Shared libraries opened on first use.
//
// The launcher's start-up loads nothing but the C library, so every library the framework calls
// without linking it (SDL2, libpng, vorbisfile, ENet, OpenAL, FreeType) is opened with the
// dynamic linker the first time a native layer needs it, and its entry points are copied into a
// table of function pointers; libGL, which SDL opens for its contexts, has its table filled
// through SDL's look-up (LoadFrom). This is the one place that does it:
//
//   struct PngEntryPoints {                       // trivially destructible: function pointers only
//     decltype(&::png_create_read_struct) create_read_struct;
//     decltype(&::png_set_option) set_option;   // newer libpng only
//   };
//
//   const PngEntryPoints* Png() {
//     PngEntryPoints& table = EntryPoints<PngEntryPoints>();
//     static LazyLibrary& library = LazyLibrary::Define(
//         "libpng", {"libpng16.so.16", "libpng16.so"},
//         {Required("png_create_read_struct", table.create_read_struct),
//          Optional("png_set_option", table.set_option)});
//     return library.Load() ? &table : nullptr;   // library.Error() says why on Null
//   }
//
// Lifetime: a library, once opened, stays loaded until the process ends (nothing is ever closed:
// exit functions and late destructors of other modules may still call into it), and a LazyLibrary
// is never destroyed. Define allocates it and keeps it in a process-wide list, so no static
// destructor runs for it.
//
// Threads: Define, Load, Error and the free functions below may be called from any thread; Load
// opens the library exactly once, whoever calls first, and every caller sees the same outcome.
//
// Overriding the file: SetLibraryFile("libpng", "/opt/png/libpng16.so.16") before the first Load
// makes that library open exactly that file instead of its soname list (a file that does not
// exist makes the load fail with the linker's own text, which is how tests run without a
// library). Without a call, the environment variable VXL_LIBRARY_<NAME> (the name upper-cased,
// other characters as '_': VXL_LIBRARY_LIBPNG) does the same.
//
// Only src/platform/ includes this header; it holds no native type, so the interface could be
// served by LoadLibrary/GetProcAddress as well.
#pragma once

#include <initializer_list>
#include <string>
#include <type_traits>

namespace vxl::platform {

// One entry point to resolve: its exported name and the function-pointer variable it goes into.
// Build it with Required or Optional.
struct LazySymbol {
  const char* name;
  void* slot;  // address of a function-pointer variable of the table
  bool required;
};

// An entry point without which the library is unusable: a missing one fails the load with
// "missing symbol NAME in FILE".
template <class Function>
LazySymbol Required(const char* name, Function*& slot) {
  static_assert(std::is_function_v<Function>, "the slot is a function pointer");
  return {name, static_cast<void*>(&slot), true};
}

// An entry point the caller can do without: a missing one leaves the slot null.
template <class Function>
LazySymbol Optional(const char* name, Function*& slot) {
  static_assert(std::is_function_v<Function>, "the slot is a function pointer");
  return {name, static_cast<void*>(&slot), false};
}

// The one table of type Table in the process, zero-filled, for the slots of a library's entry
// points. Function pointers only, so it is never destroyed in any sense that matters.
template <class Table>
Table& EntryPoints() {
  static_assert(std::is_trivially_destructible_v<Table>, "a table holds function pointers");
  static Table table{};
  return table;
}

class LazyLibrary {
 public:
  // A library known by `name` (short, for overrides and messages: "libpng"), found under the
  // first of `sonames` the dynamic linker can open (most specific first), whose `symbols` are
  // written into their slots by Load. Nothing is opened yet. The names are copied; the slots
  // must outlive the process's use of the library (give the table static storage). The object
  // lives until the process ends.
  static LazyLibrary& Define(const char* name, std::initializer_list<const char*> sonames,
                             std::initializer_list<LazySymbol> symbols);

  LazyLibrary(const LazyLibrary&) = delete;
  LazyLibrary& operator=(const LazyLibrary&) = delete;

  // Opens the library and resolves its symbols the first time it is called; later calls return
  // the first outcome at once. True when a file opened and every required symbol resolved (the
  // slots are then filled); false otherwise, with every slot left null and Error() saying why.
  // A failed load is remembered as the process's last library failure (LastLibraryFailure).
  bool Load();

  // For a library that another library opened and resolves for its callers (the GL library SDL
  // loads for its contexts, whose entry points come from SDL_GL_GetProcAddress): fills the slots
  // through `lookup` instead of opening a file, under Load's rules (once; every later Load or
  // LoadFrom returns the first outcome; a missing required symbol fails with "missing symbol
  // NAME in FILE" and is remembered as the last library failure). `file` names the library in
  // messages. A null `lookup` means the other library could not open it: the load fails with
  // `openError` ("FILE: cannot be opened" when empty).
  using SymbolLookup = void* (*)(const char* name);
  bool LoadFrom(const std::string& file, SymbolLookup lookup, const std::string& openError = "");

  // Whether Load has already run and succeeded; never opens anything.
  bool Loaded() const;

  // Why Load failed: the dynamic linker's text for a file that did not open
  // ("libpng16.so.16: cannot open shared object file: No such file or directory"), or
  // "missing symbol png_foo in libpng16.so.16". "" before Load and after a successful one.
  std::string Error() const;

  // The library's short name, as given to Define.
  const std::string& Name() const { return name_; }

  // The file Load would open, found as the dynamic linker finds it but without opening or
  // mapping it (see FindLibraryFile); the override when one is set. "" when none is found.
  // For start-up code that must only know whether a library is there.
  std::string Find() const;

 private:
  struct State;
  explicit LazyLibrary(State* state, const char* name);
  // Load and LoadFrom: runs `resolve` (the file opened and each slot's address, or an error) once.
  template <class Resolve>
  bool LoadOnce(Resolve&& resolve);
  State* state_;
  std::string name_;
};

// Makes the library `name` open `file` (a path, or a soname the dynamic linker searches for)
// instead of its soname list. False, and nothing changes, once that library's Load has run. May
// be called before the library is defined.
bool SetLibraryFile(const char* name, const char* file);

// The text of the most recent failed library load in this process, prefixed with the library's
// name ("libpng: libpng16.so.16: cannot open shared object file: No such file or directory"),
// or "" when no load has failed. What a program prints when a feature is missing.
std::string LastLibraryFailure();

// Finds a shared library the way the dynamic linker would for dlopen, without loading it: a name
// holding a '/' is that file; otherwise the directories of LD_LIBRARY_PATH, then the linker's
// cache (/etc/ld.so.cache), then the default directories (/lib, /usr/lib and their multiarch
// folders). Only a regular, readable ELF file of this process's class and machine counts. Returns
// the path found, or "".
std::string FindLibraryFile(const char* soname);

// Keeps every shared library loaded at this moment in memory until the process ends, including
// those another library opened behind the framework's back (a GL driver, sound libraries): the
// GL library unloads its driver when the last context goes, and blocks the driver keeps would
// then be reachable from nowhere (LeakSanitizer reports them from an unknown module).
void KeepLoadedLibrariesLoaded();

}  // namespace vxl::platform
