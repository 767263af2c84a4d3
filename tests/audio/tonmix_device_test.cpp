// End to end through SDL's "disk" audio driver: a known tone played through "Tonmix Multimedia"
// and "Tonmix DirectSound" comes back from the file the driver wrote, sample for sample, after
// silence; and without any audio device the driver model falls back to "Null".
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "audio/tonmix/tonmix_driver.h"
#include "runtime/clock.h"
#include "support/temp_dir.h"

namespace vxl {
namespace {

// A 441 Hz tone that is never 0, so that every frame of it stands out from silence.
std::vector<int16_t> Tone(int32_t frames) {
  std::vector<int16_t> t(frames);
  for (int32_t i = 0; i < frames; ++i)
    t[i] = int16_t(4000 + 3000 * std::sin(i * 2 * M_PI / 100));
  return t;
}

// Waits (bounded) until the channel's mixed position reaches `frames`.
void AwaitPosition(const Ref<TTonmixChannel>& ch, int32_t frames) {
  for (int i = 0; i < 2500 && ch->Position() < frames; ++i)
    SleepMilliseconds(2);
  ASSERT_GE(ch->Position(), frames);
}

class TonmixDevice : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override { InitTonmixDriverModule(); }
};

TEST_P(TonmixDevice, ToneComesBackFromTheDiskDriver) {
  test::TempDir dir;
  std::string file = dir.Path() + "/out.raw";
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
  // The disk driver writes a block of 512 frames (11.6 ms) every 40 ms: slower than real time, so
  // a busy machine cannot starve the device threads of their lead.
  setenv("SDL_DISKAUDIODELAY", "40", 1);
  ASSERT_EQ(SelectAudioDriver(GetParam()), 1);

  // A silent looping marker counts mixed frames, so the test knows when the tone has been played
  // out of the device's buffer too.
  std::vector<int16_t> zero(1000, 0);
  Ref<TAudioSample> quiet =
      NewStaticAudioSample(reinterpret_cast<uint8_t*>(zero.data()), 1000, 44100, SAMPLE_MONO16LE);
  Ref<TSound> marker = CurrentAudioDriver()->CreateSound(quiet, SOUNDFLAG_LOOP);
  auto clock = StartSound(marker, NewChannel()).As<TTonmixChannel>();
  ASSERT_TRUE(clock);
  // The DirectSound device mixes on its own thread from the start: until it has, a play would land
  // in its first block, less than 20 ms into the file.
  AwaitPosition(clock, 1);

  const int32_t frames = 4410;
  std::vector<int16_t> tone = Tone(frames);
  Ref<TSound> sound =
      LoadAudioSound(Ref<Object>(NewStaticAudioSample(reinterpret_cast<uint8_t*>(tone.data()),
                                                      frames, 44100, SAMPLE_MONO16LE)),
                     0);
  Ref<TChannel> ch = StartSound(sound, nullptr);
  ASSERT_TRUE(ch);
  EXPECT_EQ(ch->Playing(), 1);
  for (int i = 0; i < 2500 && ch->Playing(); ++i)
    SleepMilliseconds(2);
  EXPECT_EQ(ch->Playing(), 0);
  AwaitPosition(clock, clock->Position() + 8192);  // more than any device keeps ahead
  ReleaseAudioDriver();                            // closes the device and the file

  std::ifstream in(file, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const int16_t* pcm = reinterpret_cast<const int16_t*>(bytes.data());
  const size_t written = bytes.size() / 4;
  size_t first = 0;
  while (first < written && pcm[2 * first] == 0 && pcm[2 * first + 1] == 0)
    ++first;
  EXPECT_GE(first, 882u) << "20 ms of silence at least";
  // Every frame that is not silence is the tone, in order, on both sides.
  std::vector<int16_t> heard;
  for (size_t f = first; f < written; ++f) {
    if (pcm[2 * f] == 0 && pcm[2 * f + 1] == 0) continue;
    ASSERT_EQ(pcm[2 * f], pcm[2 * f + 1]) << f;
    heard.push_back(pcm[2 * f]);
  }
  EXPECT_EQ(heard, tone);
}

INSTANTIATE_TEST_SUITE_P(Drivers, TonmixDevice,
                         ::testing::Values("Tonmix Multimedia", "Tonmix DirectSound"));

// An output that stalls for more than a second (a busy or sleeping machine) does not silence the
// DirectSound device for good: here the disk driver takes 300 ms per block, so the buffer's
// notifications come 1.2 s apart, and mixing must go on after each.
TEST(TonmixStalledOutput, DirectSoundKeepsMixingAfterAQuietSecond) {
  InitTonmixDriverModule();
  test::TempDir dir;
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", (dir.Path() + "/out.raw").c_str(), 1);
  setenv("SDL_DISKAUDIODELAY", "300", 1);
  ASSERT_EQ(SelectAudioDriver("Tonmix DirectSound"), 1);
  std::vector<int16_t> zero(1000, 0);
  Ref<TAudioSample> quiet =
      NewStaticAudioSample(reinterpret_cast<uint8_t*>(zero.data()), 1000, 44100, SAMPLE_MONO16LE);
  auto clock = StartSound(CurrentAudioDriver()->CreateSound(quiet, SOUNDFLAG_LOOP), NewChannel())
                   .As<TTonmixChannel>();
  ASSERT_TRUE(clock);
  // The device mixes 4096 frames ahead at the start; more than that needs a later round.
  AwaitPosition(clock, 4096);
  ReleaseAudioDriver();
}

TEST(TonmixNoDevice, SelectionFallsBackToNull) {
  InitTonmixDriverModule();
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  ReleaseAudioDriver();
  for (const char* name : {"Tonmix", "Tonmix Multimedia", "Tonmix DirectSound"}) {
    EXPECT_EQ(SelectAudioDriver(name), 0) << name;
  }
  ReleaseAudioDriver();
  EXPECT_EQ(CurrentAudioDriver()->Name(), String("Null"));
  uint8_t pcm[8] = {};
  Ref<TSound> s =
      LoadAudioSound(Ref<Object>(NewStaticAudioSample(pcm, 4, 8000, SAMPLE_MONO16LE)), 0);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->Class().Name(), "TSound");
  EXPECT_EQ(StartSound(s, nullptr)->Playing(), 0);
  std::vector<std::string> names;
  Array<String> list = ListAudioDrivers();
  for (int32_t i = 0; i < list.Length(); ++i)
    names.push_back(list[i].ToCString());
  EXPECT_EQ(names, (std::vector<std::string>{"Tonmix", "Tonmix Multimedia", "Tonmix DirectSound",
                                             "Null"}));
  ReleaseAudioDriver();
}

}  // namespace
}  // namespace vxl
