// The audio harness: SDL's disk driver plays into a file, so what a callback produced can be read
// back byte for byte.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sdl/sdl_library.h"

namespace vxl::platform::sdl {
namespace {

// Plays the 16-bit counting sequence 1, 2, 3, ... and counts the buffers it filled.
struct Counter {
  std::mutex mutex;
  std::condition_variable filled;
  uint16_t next = 1;
  int buffers = 0;

  static void Fill(void* self, Uint8* stream, int length) {
    auto* c = static_cast<Counter*>(self);
    std::lock_guard<std::mutex> lock(c->mutex);
    for (int i = 0; i + 1 < length; i += 2) {
      stream[i] = static_cast<Uint8>(c->next & 0xFF);
      stream[i + 1] = static_cast<Uint8>(c->next >> 8);
      ++c->next;
    }
    ++c->buffers;
    c->filled.notify_all();
  }
};

TEST(SdlAudio, DiskDevicePlaysTheCallbackOutputIntoItsFile) {
  const char* file = std::getenv("SDL_DISKAUDIOFILE");
  ASSERT_NE(file, nullptr) << "runs under tests/support/test_devices.sh --audio";
  const Library* sdl = StartSubsystems(SDL_INIT_AUDIO);
  ASSERT_NE(sdl, nullptr) << OpenError();
  EXPECT_STREQ(sdl->GetCurrentAudioDriver(), "disk");

  Counter counter;
  SDL_AudioSpec want{};
  want.freq = 22050;
  want.format = AUDIO_S16LSB;
  want.channels = 2;
  want.samples = 256;
  want.callback = Counter::Fill;
  want.userdata = &counter;
  SDL_AudioSpec have{};
  SDL_AudioDeviceID device = sdl->OpenAudioDevice(nullptr, 0, &want, &have, 0);
  ASSERT_NE(device, 0u) << sdl->GetError();
  ASSERT_EQ(have.format, AUDIO_S16LSB);
  const size_t bufferBytes = have.size;
  ASSERT_GT(bufferBytes, 0u);

  constexpr int kBuffers = 4;
  sdl->PauseAudioDevice(device, 0);
  {
    std::unique_lock<std::mutex> lock(counter.mutex);
    counter.filled.wait(lock, [&] { return counter.buffers >= kBuffers; });
  }
  sdl->CloseAudioDevice(device);  // stops the device thread: the file is complete
  StopSubsystems(SDL_INIT_AUDIO);

  std::ifstream in(file, std::ios::binary);
  std::vector<unsigned char> played((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
  // While paused the device plays whole buffers of silence; then comes every buffer the callback
  // filled but the one in hand when the device closed.
  ASSERT_EQ(played.size() % bufferBytes, 0u);
  size_t start = 0;
  while (start < played.size() && played[start] == 0)
    ++start;
  ASSERT_EQ(start % bufferBytes, 0u);
  ASSERT_GE(played.size() - start, (kBuffers - 1) * bufferBytes);
  for (size_t i = start; i + 1 < played.size(); i += 2) {
    uint16_t value = static_cast<uint16_t>(played[i] | (played[i + 1] << 8));
    ASSERT_EQ(value, static_cast<uint16_t>((i - start) / 2 + 1)) << "at byte " << i;
  }
}

// A device the sound library cannot open fails with SDL's error text alone: the library's own
// diagnostics (ALSA writes eight lines for an unknown device) never reach standard error.
TEST(SdlAudio, SoundLibraryDiagnosticsStayOffStandardError) {
  const char* previous = std::getenv("SDL_AUDIODRIVER");
  std::string driver = previous ? previous : "";
  setenv("SDL_AUDIODRIVER", "alsa", 1);
  setenv("AUDIODEV", "vxl_no_such_device", 1);
  testing::internal::CaptureStderr();
  const Library* sdl = StartSubsystems(SDL_INIT_AUDIO);
  SDL_AudioDeviceID device = 0;
  if (sdl) {
    SDL_AudioSpec want{};
    want.freq = 22050;
    want.format = AUDIO_S16LSB;
    want.channels = 2;
    want.samples = 256;
    want.callback = [](void*, Uint8* stream, int length) { std::memset(stream, 0, length); };
    SDL_AudioSpec have{};
    device = sdl->OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device != 0) sdl->CloseAudioDevice(device);
    StopSubsystems(SDL_INIT_AUDIO);
  }
  std::string printed = testing::internal::GetCapturedStderr();
  unsetenv("AUDIODEV");
  if (previous)
    setenv("SDL_AUDIODRIVER", driver.c_str(), 1);
  else
    unsetenv("SDL_AUDIODRIVER");
  if (!sdl) GTEST_SKIP() << "SDL has no ALSA back end here: " << OpenError();
  EXPECT_EQ(device, 0u);
  EXPECT_EQ(printed, "");
}

}  // namespace
}  // namespace vxl::platform::sdl
