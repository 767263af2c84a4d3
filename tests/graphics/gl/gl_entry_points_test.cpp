// The GL entry-point table comes from the GL library SDL loaded for its contexts, whichever file
// SDL was told to use; a library SDL cannot load, or one that lacks an entry point, gives no
// context and the framework's error text instead of a crash. Each case runs in a process of its
// own (CTest runs each test alone), so each is the first load of the table.
#include <gtest/gtest.h>
#include <link.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/gl/gl_api.h"
#include "platform/gl/gl_context.h"
#include "platform/library/lazy_library.h"
#include "platform/sdl/sdl_library.h"

namespace vxl::platform::gl {
namespace {

// Every entry of the table with its GL name.
struct Entry {
  const char* name;
  void* address;
};

std::vector<Entry> TableEntries() {
  const Api& api = GL();
  return {
#define VXL_GL_ENTRY(name) {"gl" #name, reinterpret_cast<void*>(api.name)},
      VXL_GL_ENTRY_POINTS(VXL_GL_ENTRY)
#undef VXL_GL_ENTRY
  };
}

// Whether the dynamic linker has a file mapped under exactly this name.
bool MappedAs(const std::string& path) {
  struct Search {
    const std::string* path;
    bool found;
  } search{&path, false};
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        auto* s = static_cast<Search*>(data);
        if (info->dlpi_name && *s->path == info->dlpi_name) s->found = true;
        return 0;
      },
      &search);
  return search.found;
}

// Where SDL's GLX loader is pointed: "" leaves its default, "@full" is the full path of
// libGL.so.1, "@link" a symlink to it in a fresh directory; anything else is used as given.
std::string LibraryPath(const std::string& how) {
  std::string full = FindLibraryFile("libGL.so.1");
  if (how == "@full") return full;
  if (how != "@link") return how;
  std::string dir = testing::TempDir() + "gl_entry_points_" + std::to_string(getpid());
  std::filesystem::create_directories(dir);
  std::string link = dir + "/libvxl-linked-gl.so.1";
  std::filesystem::remove(link);
  std::filesystem::create_symlink(full, link);
  return link;
}

void PointSdlAt(const std::string& path) {
  if (path.empty()) {
    unsetenv("SDL_OPENGL_LIBRARY");
  } else {
    setenv("SDL_OPENGL_LIBRARY", path.c_str(), 1);
  }
}

class GLEntryPoints : public testing::TestWithParam<const char*> {};

TEST_P(GLEntryPoints, TableHoldsWhatSdlResolves) {
  ASSERT_FALSE(FindLibraryFile("libGL.so.1").empty());
  std::string path = LibraryPath(GetParam());
  PointSdlAt(path);
  ASSERT_TRUE(EnsureSharedContext()) << LoadError();
  if (!path.empty()) {
    EXPECT_TRUE(MappedAs(path)) << "SDL did not open " << path;
  }

  const sdl::Library* sdl = sdl::Open();
  ASSERT_NE(sdl, nullptr);
  for (const Entry& entry : TableEntries()) {
    EXPECT_NE(entry.address, nullptr) << entry.name;
    EXPECT_EQ(entry.address, sdl->GL_GetProcAddress(entry.name)) << entry.name;
  }
  // And the entries drive the shared context.
  SwapSharedContext();
  const auto* version = GL().GetString(GL_VERSION);
  ASSERT_NE(version, nullptr);
  EXPECT_NE(std::strlen(reinterpret_cast<const char*>(version)), 0u);
  EXPECT_EQ(GL().GetError(), static_cast<GLenum>(GL_NO_ERROR));
  SwapSharedContext();
  EXPECT_EQ(LoadError(), "");
}

INSTANTIATE_TEST_SUITE_P(Files, GLEntryPoints, testing::Values("", "@full", "@link"),
                         [](const testing::TestParamInfo<const char*>& info) {
                           std::string how = info.param;
                           return how.empty() ? std::string("Default") : how.substr(1);
                         });

struct Failure {
  const char* label;
  const char* library;  // as for LibraryPath
  const char* hidden;   // the entry point SDL's look-up does not find, or null
  std::string error;    // the start of LoadError(), which names the library; "@" stands for it
};

void PrintTo(const Failure& failure, std::ostream* out) {
  *out << failure.label;
}

const char* g_hidden = nullptr;
decltype(sdl::Library::GL_GetProcAddress) g_sdlLookUp = nullptr;

void* LookUpHiding(const char* name) {
  return std::strcmp(name, g_hidden) == 0 ? nullptr : g_sdlLookUp(name);
}

class GLEntryPointFailure : public testing::TestWithParam<Failure> {};

TEST_P(GLEntryPointFailure, GivesNoContextAndSaysWhy) {
  const Failure& failure = GetParam();
  std::string path = LibraryPath(failure.library);
  PointSdlAt(path);
  if (failure.hidden) {
    ASSERT_NE(sdl::Open(), nullptr);
    g_hidden = failure.hidden;
    sdl::Library& table = EntryPoints<sdl::Library>();
    g_sdlLookUp = table.GL_GetProcAddress;
    table.GL_GetProcAddress = &LookUpHiding;
  }
  std::string file = path.empty() ? "libGL.so.1" : path;
  std::string expected = failure.error;
  if (size_t at = expected.find('@'); at != std::string::npos) expected.replace(at, 1, file);

  for (int attempt = 0; attempt < 2; ++attempt) {
    SCOPED_TRACE(attempt);
    EXPECT_FALSE(EnsureSharedContext());
    EXPECT_EQ(CreateContext("x", 64, 64, 0, 0, 2), nullptr);
    EXPECT_EQ(LoadError().rfind(expected, 0), 0u) << LoadError();
    EXPECT_NE(LoadError().find(file), std::string::npos) << LoadError();
    EXPECT_EQ(LastLibraryFailure(), "libGL: " + LoadError());
  }
  for (const Entry& entry : TableEntries())
    EXPECT_EQ(entry.address, nullptr) << entry.name << " filled by a failed load";
}

INSTANTIATE_TEST_SUITE_P(Cases, GLEntryPointFailure,
                         testing::Values(Failure{"FirstEntryMissing", "", "glAlphaFunc",
                                                 "missing symbol glAlphaFunc in @"},
                                         Failure{"LastEntryMissing", "@full", "glViewport",
                                                 "missing symbol glViewport in @"},
                                         Failure{"LibraryMissing", "/nonexistent/libGL.so.1",
                                                 nullptr, "SDL could not load the GL library: "}),
                         [](const testing::TestParamInfo<Failure>& info) {
                           return std::string(info.param.label);
                         });

}  // namespace
}  // namespace vxl::platform::gl
