// Libraries opened on first use: outcomes and error texts of loads, the override, loads raced from
// several threads, and the file probe checked against where the dynamic linker really maps a file.
#include "platform/library/lazy_library.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>
#include <vector>

namespace vxl::platform {
namespace {

using CosFunction = double(double);

bool Mapped(const char* part) {
  struct Search {
    const char* part;
    bool found;
  } search{part, false};
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        auto* s = static_cast<Search*>(data);
        if (info->dlpi_name && std::strstr(info->dlpi_name, s->part)) s->found = true;
        return 0;
      },
      &search);
  return search.found;
}

// Where the dynamic linker maps `soname` when asked for it: the oracle for the probe.
std::string MappedPath(const char* soname) {
  void* handle = dlopen(soname, RTLD_LAZY | RTLD_LOCAL | RTLD_NOLOAD);
  if (!handle) handle = dlopen(soname, RTLD_LAZY | RTLD_LOCAL);
  if (!handle) return "";
  link_map* map = nullptr;
  dlinfo(handle, RTLD_DI_LINKMAP, &map);
  return map ? map->l_name : "";
}

std::string Canonical(const std::string& path) {
  return path.empty() ? "" : std::filesystem::canonical(path).string();
}

TEST(LazyLibrary, LoadOutcomesAndErrorTexts) {
  struct Case {
    const char* name;
    const char* sonames[2];  // tried in order
    const char* extraSymbol;  // besides cos
    bool extraRequired;
    const char* file;  // SetLibraryFile before the load, or null
    bool loads;
    std::string error;  // "" for a load that succeeds; else the start of Error()
  };
  const Case cases[] = {
      {"m_plain", {"libm.so.6", "libvxl-absent.so.9"}, "sin", true, nullptr, true, ""},
      {"m_second_name", {"libvxl-absent.so.9", "libm.so.6"}, "sin", true, nullptr, true, ""},
      {"m_optional_missing", {"libm.so.6", "libm.so.6"}, "vxl_no_such_symbol", false, nullptr, true, ""},
      {"m_required_missing", {"libm.so.6", "libvxl-absent.so.9"}, "vxl_no_such_symbol", true, nullptr, false,
       "missing symbol vxl_no_such_symbol in libm.so.6"},
      {"m_absent", {"libvxl-absent.so.9", "libvxl-absent2.so"}, "sin", true, nullptr, false,
       "libvxl-absent.so.9: cannot open shared object file"},
      {"m_override_missing", {"libm.so.6", "libm.so.6"}, "sin", true, "/nonexistent/libm.so.6", false,
       "/nonexistent/libm.so.6: cannot open shared object file"},
      {"m_override_found", {"libvxl-absent.so.9", "libvxl-absent.so.9"}, "sin", true, "libm.so.6", true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Static storage, as the slots of a real table have.
    static CosFunction* slots[std::size(cases)][2];
    CosFunction*(&slot)[2] = slots[&c - cases];
    slot[1] = reinterpret_cast<CosFunction*>(&std::abort);  // must be overwritten either way
    if (c.file) {
      ASSERT_TRUE(SetLibraryFile(c.name, c.file));
    }
    LazyLibrary& real = LazyLibrary::Define(
        c.name, {c.sonames[0], c.sonames[1]},
        {Required("cos", slot[0]), c.extraRequired ? Required(c.extraSymbol, slot[1])
                                                   : Optional(c.extraSymbol, slot[1])});
    EXPECT_FALSE(real.Loaded());
    EXPECT_EQ(real.Error(), "");
    EXPECT_EQ(real.Load(), c.loads);
    EXPECT_EQ(real.Load(), c.loads) << "a second load gives the first outcome";
    EXPECT_EQ(real.Loaded(), c.loads);
    EXPECT_FALSE(SetLibraryFile(c.name, "libm.so.6")) << "too late once loaded";
    if (c.loads) {
      EXPECT_EQ(real.Error(), "");
      ASSERT_NE(slot[0], nullptr);
      EXPECT_EQ(slot[0](0.0), 1.0);
      if (c.extraRequired) {
        ASSERT_NE(slot[1], nullptr);
        EXPECT_EQ(slot[1](0.0), 0.0);
      } else {
        EXPECT_EQ(slot[1], nullptr);
      }
    } else {
      EXPECT_EQ(real.Error().rfind(c.error, 0), 0u) << real.Error();
      EXPECT_EQ(slot[0], nullptr) << "a failed load fills no slot";
      EXPECT_EQ(LastLibraryFailure(), std::string(c.name) + ": " + real.Error());
    }
  }
}

TEST(LazyLibrary, EnvironmentNamesTheFile) {
  static CosFunction* cos = nullptr;
  setenv("VXL_LIBRARY_M_FROM_ENV_1", "libm.so.6", 1);
  LazyLibrary& library =
      LazyLibrary::Define("m-from-env.1", {"libvxl-absent.so.9"}, {Required("cos", cos)});
  EXPECT_TRUE(library.Load()) << library.Error();
  EXPECT_EQ(cos(0.0), 1.0);
  unsetenv("VXL_LIBRARY_M_FROM_ENV_1");
}

// A library another library resolves for us: the slots come from its look-up, never from a file
// of our own (the sonames given would open and resolve, and must not be used).
void* LookUpInMath(const char* name) {
  return std::strcmp(name, "vxl_hidden") == 0 ? nullptr : dlsym(RTLD_DEFAULT, name);
}

TEST(LazyLibrary, LoadFromTakesTheOtherLibrarysLookUp) {
  struct Case {
    const char* name;
    LazyLibrary::SymbolLookup lookup;
    const char* extraSymbol;  // besides cos
    bool extraRequired;
    const char* openError;
    std::string error;  // "" for a load that succeeds
  };
  const Case cases[] = {
      {"from_all", &LookUpInMath, "sin", true, "", ""},
      {"from_optional_missing", &LookUpInMath, "vxl_hidden", false, "", ""},
      // A missing required symbol fills no slot, not even cos, which resolves after it.
      {"from_required_missing", &LookUpInMath, "vxl_hidden", true, "",
       "missing symbol vxl_hidden in lib-from.so"},
      {"from_not_opened", nullptr, "sin", true, "", "lib-from.so: cannot be opened"},
      {"from_not_opened_reason", nullptr, "sin", true, "the loader's reason",
       "the loader's reason"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    static CosFunction* slots[std::size(cases)][2];
    CosFunction*(&slot)[2] = slots[&c - cases];
    LazyLibrary& library = LazyLibrary::Define(
        c.name, {"libm.so.6"},
        {c.extraRequired ? Required(c.extraSymbol, slot[1]) : Optional(c.extraSymbol, slot[1]),
         Required("cos", slot[0])});
    bool loads = c.error.empty();
    EXPECT_EQ(library.LoadFrom("lib-from.so", c.lookup, c.openError), loads);
    EXPECT_EQ(library.Load(), loads) << "the first outcome stays, whatever loads next";
    EXPECT_EQ(library.LoadFrom("lib-from.so", &LookUpInMath), loads);
    EXPECT_EQ(library.Error(), c.error);
    if (loads) {
      EXPECT_EQ(reinterpret_cast<void*>(slot[0]), dlsym(RTLD_DEFAULT, "cos"));
      EXPECT_EQ(reinterpret_cast<void*>(slot[1]), LookUpInMath(c.extraSymbol));
    } else {
      EXPECT_EQ(slot[0], nullptr);
      EXPECT_EQ(slot[1], nullptr);
      EXPECT_EQ(LastLibraryFailure(), std::string(c.name) + ": " + c.error);
    }
  }
}

TEST(LazyLibrary, LoadRacedFromThreadsOpensOnceAndAllAgree) {
  static CosFunction* cos = nullptr;
  LazyLibrary& library = LazyLibrary::Define("m_raced", {"libm.so.6"}, {Required("cos", cos)});
  std::vector<std::thread> threads;
  std::vector<int> results(8, -1);
  for (int& result : results)
    threads.emplace_back([&library, &result] { result = library.Load() && cos(0.0) == 1.0; });
  for (std::thread& t : threads) t.join();
  for (int result : results) EXPECT_EQ(result, 1);
}

TEST(LazyLibraryProbe, FindsWhatTheLinkerWouldMapWithoutMappingIt) {
  // libpng is not linked into this test, so finding it must leave it unmapped.
  ASSERT_FALSE(Mapped("libpng16"));
  std::string png = FindLibraryFile("libpng16.so.16");
  EXPECT_FALSE(png.empty());
  EXPECT_FALSE(Mapped("libpng16")) << "the probe must not load the library";

  for (const char* soname : {"libpng16.so.16", "libm.so.6", "libc.so.6", "libSDL2-2.0.so.0",
                             "libvorbisfile.so.3", "libenet.so.7"}) {
    SCOPED_TRACE(soname);
    std::string found = FindLibraryFile(soname);
    EXPECT_EQ(Canonical(found), Canonical(MappedPath(soname)));
  }
  EXPECT_EQ(FindLibraryFile("libvxl-absent.so.9"), "");
  EXPECT_EQ(FindLibraryFile(""), "");
  EXPECT_EQ(FindLibraryFile("/nonexistent/libm.so.6"), "");
}

// Every 64-bit library the linker's cache lists under a soname of its own, as ldconfig prints the
// cache, is found at the path ldconfig gives (the library path unset, as the cache comes first).
TEST(LazyLibraryProbe, AgreesWithLdconfigOnTheCache) {
  const char* saved = std::getenv("LD_LIBRARY_PATH");
  std::string savedPath = saved ? saved : "";
  unsetenv("LD_LIBRARY_PATH");
  FILE* listing = popen("/sbin/ldconfig -p 2>/dev/null", "r");
  ASSERT_NE(listing, nullptr);
  std::map<std::string, std::vector<std::string>> paths;
  char line[4096];
  while (fgets(line, sizeof line, listing)) {
    std::string text = line;
    size_t arrow = text.find(" => ");
    if (arrow == std::string::npos || text.find("x86-64") == std::string::npos) continue;
    std::string soname = text.substr(0, text.find(' ', text.find_first_not_of(" \t")));
    soname.erase(0, soname.find_first_not_of(" \t"));
    std::string path = text.substr(arrow + 4);
    path.erase(path.find_last_not_of(" \n") + 1);
    paths[soname].push_back(path);
  }
  pclose(listing);
  if (saved) setenv("LD_LIBRARY_PATH", savedPath.c_str(), 1);
  size_t checked = 0;
  for (const auto& [soname, list] : paths) {
    if (list.size() != 1 || access(list[0].c_str(), R_OK) != 0) continue;
    EXPECT_EQ(FindLibraryFile(soname.c_str()), list[0]) << soname;
    ++checked;
  }
  EXPECT_GT(checked, 20u);
}

TEST(LazyLibraryProbe, LibraryPathComesFirstAndSkipsFilesTheLinkerWouldSkip) {
  namespace fs = std::filesystem;
  fs::path first = fs::temp_directory_path() / ("vxl_probe_a_" + std::to_string(getpid()));
  fs::path second = fs::temp_directory_path() / ("vxl_probe_b_" + std::to_string(getpid()));
  fs::create_directories(first);
  fs::create_directories(second);
  // In the first folder, files the linker would pass over: text, a folder, an ELF of another
  // class (the copied header with its class byte changed).
  std::ofstream(first / "libvxltext.so.1") << "not a library";
  fs::create_directories(first / "libvxldir.so.1");
  std::string libm = MappedPath("libm.so.6");
  {
    std::ifstream in(libm, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    bytes[EI_CLASS] = bytes[EI_CLASS] == ELFCLASS64 ? ELFCLASS32 : ELFCLASS64;
    std::ofstream(first / "libvxlother.so.1", std::ios::binary).write(bytes.data(), bytes.size());
  }
  for (const char* name : {"libvxltext.so.1", "libvxldir.so.1", "libvxlother.so.1", "libm.so.6"})
    fs::copy_file(libm, second / name, fs::copy_options::overwrite_existing);
  const char* saved = std::getenv("LD_LIBRARY_PATH");
  std::string savedPath = saved ? saved : "";
  setenv("LD_LIBRARY_PATH", (first.string() + ":" + second.string()).c_str(), 1);

  struct Case {
    const char* soname;
    fs::path expected;
  } cases[] = {
      {"libvxltext.so.1", second / "libvxltext.so.1"},
      {"libvxldir.so.1", second / "libvxldir.so.1"},
      {"libvxlother.so.1", second / "libvxlother.so.1"},
      {"libm.so.6", second / "libm.so.6"},  // the library path comes before the system's
      {"libvxlnowhere.so.1", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(FindLibraryFile(c.soname), c.expected.string());

  static CosFunction* cos = nullptr;
  EXPECT_EQ(LazyLibrary::Define("probe", {"libvxltext.so.1"}, {Required("cos", cos)}).Find(),
            (second / "libvxltext.so.1").string());

  if (saved)
    setenv("LD_LIBRARY_PATH", savedPath.c_str(), 1);
  else
    unsetenv("LD_LIBRARY_PATH");
  fs::remove_all(first);
  fs::remove_all(second);
}

}  // namespace
}  // namespace vxl::platform
