// Finding the toolchain installation and listing its modules, on a fake installation tree.
#include "toolchain/toolchain.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "runtime/application.h"
#include "runtime/exceptions.h"
#include "support/temp_dir.h"
#include "support/thrown_text.h"

namespace vxl {
namespace {

class Toolchain : public ::testing::Test {
 protected:
  void SetUp() override {
    InitToolchainModule();
    unsetenv("QLNPATH");
    toolchain_detail::ForgetToolchainPath();
    savedDir_ = ApplicationDir;
  }
  void TearDown() override {
    ApplicationDir = savedDir_;
    unsetenv("QLNPATH");
    toolchain_detail::ForgetToolchainPath();
  }
  static void MakeDirs(const std::string& path) { std::filesystem::create_directories(path); }
  std::string Root() const { return tmp_.Path(); }

  test::TempDir tmp_;
  String savedDir_;
};

TEST_F(Toolchain, PathsOfModulesUnderQlnPath) {
  setenv("QLNPATH", "c:/tools", 1);
  struct Case {
    String got;
    const char* want;
  } cases[] = {
      {ToolchainPath(), "c:/tools"},
      {ModuleDirectory(""), "c:/tools/mod"},
      {ModuleDirectory("vxl.stream"), "c:/tools/mod/vxl.mod/stream.mod"},
      {ModuleSourcePath("vxl.stream"), "c:/tools/mod/vxl.mod/stream.mod/stream.qln"},
      {ModuleArchivePath("vxl.stream", "release.win32"),
       "c:/tools/mod/vxl.mod/stream.mod/stream.release.win32.a"},
      {ModuleArchivePath("vxl.stream", ".debug"), "c:/tools/mod/vxl.mod/stream.mod/stream.debug.a"},
      {ModuleArchivePath("vxl.stream", ""), "c:/tools/mod/vxl.mod/stream.mod/stream.a"},
      {ModuleInterfacePath("vxl.stream", "debug"),
       "c:/tools/mod/vxl.mod/stream.mod/stream.debug.i"},
      {ModuleIdentOf("stream"), "stream"},
      {ModuleIdentOf("a.b.c"), "c"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.got.ToCString(), c.want);
}

TEST_F(Toolchain, SearchesUpwardsSetsTheEnvironmentAndCaches) {
  MakeDirs(Root() + "/inst/bin/deep/er");
  for (const char* tool : {"qmk.exe", "qmk"}) {
    SCOPED_TRACE(tool);
    toolchain_detail::ForgetToolchainPath();
    unsetenv("QLNPATH");
    std::string marker = tmp_.Write(std::string("inst/bin/") + tool, "");
    ApplicationDir = String((Root() + "/inst/bin/deep/er").c_str());

    EXPECT_EQ(ToolchainPath().ToCString(), Root() + "/inst");
    ASSERT_NE(std::getenv("QLNPATH"), nullptr);
    EXPECT_EQ(std::string(std::getenv("QLNPATH")), Root() + "/inst");

    unlink(marker.c_str());  // cached: no second search
    EXPECT_EQ(ToolchainPath().ToCString(), Root() + "/inst");
  }
}

TEST_F(Toolchain, NothingFoundThrowsAndCachesNothing) {
  MakeDirs(Root() + "/app/bin");
  ApplicationDir = String((Root() + "/app").c_str());
  EXPECT_THROW_TEXT_AS(String, ToolchainPath(), "Unable to locate Quillon path");
  EXPECT_THROW_TEXT_AS(String, ModuleSourcePath("a.b"), "Unable to locate Quillon path");
  EXPECT_EQ(std::getenv("QLNPATH"), nullptr);

  tmp_.Write("app/bin/qmk.exe", "");  // installed later: the next call finds it
  EXPECT_EQ(ToolchainPath().ToCString(), Root() + "/app");
}

TEST_F(Toolchain, ListsNamespaceModulePairsDepthFirst) {
  std::string mod = Root() + "/mod";
  for (const char* dir :
       {"/a.mod/b.mod", "/a.mod/c.mod/d.mod", "/x.mod/y.mod", "/.mod/z.mod", "/plain/q.mod"}) {
    MakeDirs(mod + dir);
  }
  tmp_.Write("mod/a.mod/f.mod", "");  // a file, not a module
  // Links back up the tree: followed without a guard, two of them would branch without end.
  ASSERT_EQ(symlink("..", (mod + "/x.mod/y.mod/up.mod").c_str()), 0);
  ASSERT_EQ(symlink("..", (mod + "/x.mod/y.mod/again.mod").c_str()), 0);
  setenv("QLNPATH", Root().c_str(), 1);

  std::vector<std::string> got;
  for (Ref<Object> id : ListModules("", Ref<TList>()))
    got.push_back(String::Of(id).ToCString());
  std::sort(got.begin(), got.end());
  // a.c.d is searched but not listed (two dots); x.y.up and x.y.again point back up.
  EXPECT_EQ(got, (std::vector<std::string>{"a.b", "a.c", "x.y"}));

  // Folders that each hold two links to the next one, 40 deep: 2^40 paths, two listable levels.
  std::string deep = Root() + "/deep";
  auto level = [&](int n) { return deep + (n ? "/" + std::to_string(n) : "/mod"); };
  MakeDirs(level(40));
  for (int n = 0; n < 40; ++n) {
    MakeDirs(level(n));
    for (const char* name : {"/p.mod", "/q.mod"})
      ASSERT_EQ(symlink(level(n + 1).c_str(), (level(n) + name).c_str()), 0);
  }
  setenv("QLNPATH", deep.c_str(), 1);
  toolchain_detail::ForgetToolchainPath();
  std::vector<std::string> pairs;
  for (Ref<Object> id : ListModules("", Ref<TList>()))
    pairs.push_back(String::Of(id).ToCString());
  std::sort(pairs.begin(), pairs.end());
  EXPECT_EQ(pairs, (std::vector<std::string>{"p.p", "p.q", "q.p", "q.q"}));
  setenv("QLNPATH", Root().c_str(), 1);
  toolchain_detail::ForgetToolchainPath();

  // Below a namespace, and appended to a given list.
  Ref<TList> list = NewList();
  list->AddLast(String("first"));
  EXPECT_EQ(ListModules("a", list).Get(), list.Get());
  std::vector<std::string> below;
  for (Ref<Object> id : list)
    below.push_back(String::Of(id).ToCString());
  ASSERT_EQ(below.size(), 3u);
  EXPECT_EQ(below[0], "first");
  std::sort(below.begin() + 1, below.end());
  EXPECT_EQ(below[1], "a.b");
  EXPECT_EQ(below[2], "a.c");
}

}  // namespace
}  // namespace vxl
