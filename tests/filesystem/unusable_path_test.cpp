// Paths the system cannot take unchanged name nothing: a 0 would cut them short, and a character
// above 255 cut to its low byte could turn U+012E U+012E U+012F into "../".
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

#include "filesystem/file_copy.h"
#include "filesystem/file_stream.h"
#include "filesystem/file_system.h"
#include "support/temp_dir.h"

namespace vxl {
namespace {

using test::TempDir;

String U(const std::string& latin1) {
  return String(latin1.c_str());
}

TEST(UnusablePath, EveryFunctionTreatsItAsMissing) {
  InitFileSystemModule();
  TempDir dir;
  dir.Write("victim", "precious");
  ASSERT_EQ(MakeDirectory(U(dir.File("vdir/sub")), 1), 1);
  dir.Write("vdir/inside", "precious");
  const String base = U(dir.File(""));
  const String sub = U(dir.File("vdir/sub/"));

  // Each makes a path whose cut or low-byte form would name `aim` in the test directory.
  const std::u16string nul(1, u'\0');
  const std::pair<const char*, std::function<String(const std::string&)>> variants[] = {
      {"0 in the name",
       [&](const std::string& aim) { return base + U(aim) + String(nul + u".tmp"); }},
      {"characters above 255",
       [&](const std::string& aim) {
         // From vdir/sub, "../../" leads back to the directory holding the victims.
         return sub + String(std::u16string_view(u"\u012E\u012E\u012F\u012E\u012E\u012F")) + U(aim);
       }},
  };

  for (const auto& [name, aiming] : variants) {
    SCOPED_TRACE(name);
    const String file = aiming("victim");
    const String folder = aiming("vdir");
    const String fresh = aiming("fresh");
    const String plain = U(dir.File("plain"));
    dir.Write("plain", "plain");

    EXPECT_EQ(PathKind(file), kPathNone);
    EXPECT_EQ(PathKind(folder), kPathNone);
    EXPECT_EQ(PathByteSize(file), -1);
    EXPECT_EQ(PathModifiedTime(file), 0);
    EXPECT_EQ(PathPermissions(file), -1);
    SetPathPermissions(file, 0);
    EXPECT_EQ(PathPermissions(U(dir.File("victim"))) & 0600, 0600) << "permissions unchanged";

    EXPECT_EQ(MakeEmptyFile(file), 0);
    EXPECT_EQ(RemoveFile(file), 1) << "nothing there, as for a missing file";
    EXPECT_EQ(MovePath(file, plain), 0);
    EXPECT_EQ(MovePath(plain, file), 0);
    EXPECT_EQ(MakeDirectory(fresh, 0), 0);
    EXPECT_EQ(MakeDirectory(fresh, 1), 0);
    EXPECT_EQ(PathKind(U(dir.File("fresh"))), kPathNone);
    EXPECT_EQ(EraseDirectory(folder, 1), 0) << "cannot be opened, as a missing directory";
    EXPECT_EQ(EraseDirectory(folder, 0), 1) << "nothing there, as for a missing directory";
    EXPECT_EQ(SetWorkingDirectory(folder), 0);
    EXPECT_EQ(OpenDirectory(folder), nullptr);
    EXPECT_EQ(ListDirectory(folder, 0).Length(), 0);

    EXPECT_EQ(DuplicateFile(U(dir.File("victim")), file), 0);
    EXPECT_EQ(DuplicateFile(plain, file), 0);
    EXPECT_EQ(DuplicateFile(file, plain), 0);
    EXPECT_EQ(DuplicateDirectory(folder, U(dir.File("copy"))), 0);
    EXPECT_EQ(DuplicateDirectory(U(dir.File("vdir")), folder), 0);
    EXPECT_FALSE(OpenFileForReading(file));
    EXPECT_FALSE(OpenFileForWriting(file));
    EXPECT_FALSE(OpenFileUrl(file, 1, 1));
    EXPECT_TRUE(TrueCaseFileName(file).IsEmpty());
    EXPECT_TRUE(TrueCaseFileName(folder).IsEmpty());

    EXPECT_EQ(TempDir::Read(dir.File("plain")), "plain");
    EXPECT_EQ(PathKind(U(dir.File("copy"))), kPathNone);
    EXPECT_EQ(TempDir::Read(dir.File("victim")), "precious");
    EXPECT_EQ(TempDir::Read(dir.File("vdir/inside")), "precious");
  }
}

}  // namespace
}  // namespace vxl
