// Each library the native layers open on first use, pointed at a file that is not there: the
// layer reports Null with the linker's reason, and the process's last failure names it.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/enet/enet.h"
#include "platform/library/lazy_library.h"
#include "platform/png/png_library.h"
#include "platform/sdl/sdl_library.h"
#include "platform/vorbis/vorbis_decoder.h"

namespace vxl::platform {
namespace {

struct User {
  const char* library;
  std::function<bool()> open;  // true when the layer got its library
  std::function<std::string()> error;
};

const User kUsers[] = {
    {"libSDL2", [] { return sdl::Open() != nullptr; }, [] { return sdl::OpenError(); }},
    {"libpng", [] { return png::Open() != nullptr; }, [] { return png::OpenError(); }},
    {"libvorbisfile", [] { return vorbis::Available(); }, [] { return vorbis::OpenError(); }},
    {"libenet", [] { return EnetReady(); }, [] { return EnetOpenError(); }},
};

void PrintTo(const User& user, std::ostream* out) {
  *out << user.library;
}

// Every case runs in a process of its own (CTest runs each test alone), so each load is the
// first of its library.
class LibraryUser : public testing::TestWithParam<User> {};

TEST_P(LibraryUser, MissingFileGivesNullAndTheLinkersReason) {
  const User& user = GetParam();
  std::string file = std::string("/nonexistent/") + user.library + ".so";
  ASSERT_TRUE(SetLibraryFile(user.library, file.c_str()));
  EXPECT_FALSE(user.open());
  EXPECT_FALSE(user.open()) << "still missing on the second call";
  std::string expected = file + ": cannot open shared object file";
  EXPECT_EQ(user.error().rfind(expected, 0), 0u) << user.error();
  EXPECT_EQ(LastLibraryFailure(), std::string(user.library) + ": " + user.error());
}

TEST_P(LibraryUser, InstalledLibraryOpens) {
  const User& user = GetParam();
  EXPECT_TRUE(user.open()) << user.error();
  EXPECT_EQ(user.error(), "");
  EXPECT_EQ(LastLibraryFailure(), "");
}

INSTANTIATE_TEST_SUITE_P(Layers, LibraryUser, testing::ValuesIn(kUsers),
                         [](const testing::TestParamInfo<User>& info) {
                           std::string name = info.param.library;
                           return name.substr(3);
                         });

// ENet is initialised again after the exit functions deinitialised it.
TEST(EnetLibrary, ReadyAgainAfterShutdown) {
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    ASSERT_TRUE(EnetReady()) << EnetOpenError();
    EnetHost* host = EnetHostCreate(false, 0, 1);
    ASSERT_NE(host, nullptr);
    EnetHostDestroy(host);
    EnetShutdown();
  }
}

}  // namespace
}  // namespace vxl::platform
