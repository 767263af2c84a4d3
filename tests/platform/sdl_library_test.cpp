// The SDL2 library opened on first use: events work on a machine without a display.
#include <gtest/gtest.h>
#include <link.h>

#include <csignal>
#include <cstring>
#include <thread>

#include "platform/sdl/sdl_library.h"

namespace vxl::platform::sdl {
namespace {

bool SdlIsMapped() {
  bool found = false;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        if (info->dlpi_name && std::strstr(info->dlpi_name, "libSDL2"))
          *static_cast<bool*>(data) = true;
        return 0;
      },
      &found);
  return found;
}

TEST(SdlLibrary, OpensOnFirstUseAndCarriesEventsAcrossThreads) {
  EXPECT_FALSE(SdlIsMapped()) << "SDL2 must not be loaded before it is first needed";

  const Library* sdl = StartSubsystems(SDL_INIT_EVENTS);
  ASSERT_NE(sdl, nullptr) << OpenError();
  EXPECT_TRUE(SdlIsMapped());
  EXPECT_EQ(Open(), sdl);
  // SIGINT and SIGTERM stay the framework's: SDL's events subsystem installs no handlers.
  for (int sig : {SIGINT, SIGTERM}) {
    struct sigaction action {};
    sigaction(sig, nullptr, &action);
    EXPECT_EQ(action.sa_handler, SIG_DFL) << sig;
  }

  // An event pushed from another thread wakes a waiting main thread.
  uint32_t type = sdl->RegisterEvents(1);
  ASSERT_NE(type, static_cast<uint32_t>(-1));
  std::thread poster([sdl, type] {
    SDL_Event e{};
    e.type = type;
    e.user.code = 42;
    sdl->PushEvent(&e);
  });
  SDL_Event got{};
  bool received = false;
  while (!received && sdl->WaitEvent(&got))
    received = got.type == type;
  poster.join();
  ASSERT_TRUE(received);
  EXPECT_EQ(got.user.code, 42);
  StopSubsystems(SDL_INIT_EVENTS);
}

}  // namespace
}  // namespace vxl::platform::sdl
