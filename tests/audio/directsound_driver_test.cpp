// The "DirectSound" driver over the software DirectSound: buffer state read back from the device
// (volume, pan, frequency, status), buffer reuse and release, errors and generations, with the
// device mixed offline; then a tone heard end to end through SDL's disk driver.
#include "audio/directsound/directsound_driver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "platform/audio/soft_dsound.h"
#include "runtime/clock.h"
#include "support/temp_dir.h"
#include "support/thrown_text.h"

namespace vxl {
namespace {

namespace ds = platform::dsound;

std::string Lines(int created, int duplicated, int released) {
  std::string out;
  for (int i = 0; i < created; ++i)
    out += "Created DirectSound buffer\n";
  for (int i = 0; i < duplicated; ++i)
    out += "Duplicated DirectSound buffer\n";
  for (int i = 0; i < released; ++i)
    out += "Released DirectSound buffer\n";
  return out;
}

// A mono 16-bit sample: a ramp, so that every frame differs.
Ref<TAudioSample> Ramp(int32_t frames, int32_t hertz) {
  Ref<TAudioSample> s = NewAudioSample(frames, hertz, SAMPLE_MONO16LE);
  auto* pcm = reinterpret_cast<int16_t*>(s->samples);
  for (int32_t i = 0; i < frames; ++i)
    pcm[i] = int16_t(100 + i % 20000);
  return s;
}

uint32_t Status(ds::Buffer* b) {
  uint32_t status = 0xFFFF;
  EXPECT_EQ(b->GetStatus(&status), ds::DS_OK);
  return status;
}

// The driver selected on a device that mixes only when the test says so.
class DirectSoundOffline : public ::testing::Test {
 protected:
  void SetUp() override {
    InitDirectSoundDriverModule();
    ds::SetOfflineOutput(true);
    ASSERT_EQ(SelectAudioDriver("directsound"), 1);
  }
  void TearDown() override {
    ReleaseAudioDriver();
    ds::SetOfflineOutput(false);
  }
  static void Mix(int32_t frames) {
    std::vector<int16_t> out(size_t(frames) * 2);
    StartedDirectSoundDriver()->_dsound->Render(out.data(), frames);
  }
  static ds::Buffer* BufferOf(const Ref<TChannel>& ch) {
    auto d = ch.As<TDirectSoundChannel>();
    return d && d->_buf ? d->_buf->_buffer : nullptr;
  }
  static Ref<TSound> Sound(int32_t frames, int32_t hertz = 44100, int32_t flags = 0) {
    return CurrentAudioDriver()->CreateSound(Ramp(frames, hertz), flags);
  }
};

TEST_F(DirectSoundOffline, DuplicatesAreMadeOnlyWhileEveryBufferIsBusy) {
  testing::internal::CaptureStdout();
  Ref<TSound> sound = Sound(1000);
  std::vector<Ref<TChannel>> channels;
  for (int i = 0; i < 5; ++i)
    channels.push_back(sound->Play(nullptr));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), Lines(1, 4, 0));
  for (const Ref<TChannel>& ch : channels)
    EXPECT_EQ(ch->Playing(), 1);
  Mix(1100);
  for (const Ref<TChannel>& ch : channels)
    EXPECT_EQ(ch->Playing(), 0);

  testing::internal::CaptureStdout();
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(sound->Play(nullptr)->Playing(), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "the five buffers are reused";
}

// What the buffer is set to, read back from the device. Volume is the cut of v^0.1 in hundredths
// of a decibel, truncated: 0.5 gives -669 (0.5^0.1 = 0.93303).
TEST_F(DirectSoundOffline, ChannelSettingsReachTheBuffer) {
  Ref<TSound> sound = Sound(4000, 22050);
  Ref<TChannel> ch = PrimeSound(sound, NewChannel());
  ds::Buffer* b = BufferOf(ch);
  ASSERT_TRUE(b);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Row {
    float volume, pan, rate;
    int32_t hundredths, panned;
    uint32_t hertz;
  } rows[] = {
      {1, 0, 1, 0, 0, 22050},
      {0.5f, 0.5f, 2, -669, 5000, 44100},
      {0.25f, -1, 0.5f, -1294, -10000, 11025},
      {0.1f, 0.33333f, 1.5f, -2056, 3333, 33075},
      {0, 2, 9.0697f, -10000, 10000, 199986},
      {-3, -2, 0, -10000, -10000, 22050},  // rate 0: the buffer's own rate
      {2, -0.5f, 100, 0, -5000, 22050},    // 2 205 000 Hz is refused: unchanged
      {nan, nan, nan, -10000, 0, 22050},   // NaN counts as 0
      {1, 0, 1.5f, 0, 0, 33075},
      {1, 0, -1, 0, 0, 33075},     // a negative frequency is refused
      {1, 0, 1e30f, 0, 0, 33075},  // saturates, and is refused
  };
  for (const Row& r : rows) {
    ch->SetVolume(r.volume);
    ch->SetPan(r.pan);
    ch->SetRate(r.rate);
    int32_t volume = 1, pan = 1;
    uint32_t hertz = 1;
    b->GetVolume(&volume);
    b->GetPan(&pan);
    b->GetFrequency(&hertz);
    EXPECT_EQ(volume, r.hundredths) << r.volume;
    EXPECT_EQ(pan, r.panned) << r.pan;
    EXPECT_EQ(hertz, r.hertz) << r.rate;
  }
  // Settings made before a sound is cued are applied by the Cue.
  Ref<TChannel> fresh = NewChannel();
  fresh->SetVolume(0.5f);
  fresh->SetPan(-1);
  fresh->SetRate(0.5f);
  PrimeSound(sound, fresh);
  int32_t volume = 1, pan = 1;
  uint32_t hertz = 1;
  BufferOf(fresh)->GetVolume(&volume);
  BufferOf(fresh)->GetPan(&pan);
  BufferOf(fresh)->GetFrequency(&hertz);
  EXPECT_EQ(std::vector<int64_t>({volume, pan, hertz}),
            std::vector<int64_t>({-669, -10000, 11025}));
}

TEST_F(DirectSoundOffline, CuePausePlayAndStop) {
  Ref<TSound> loop = Sound(500, 44100, SOUNDFLAG_LOOP);
  Ref<TSound> once = Sound(500);
  Ref<TChannel> ch = NewChannel();
  ASSERT_EQ(PrimeSound(loop, ch).Get(), ch.Get());
  ds::Buffer* b = BufferOf(ch);
  EXPECT_EQ(ch->Playing(), 1) << "a cued channel counts as playing";
  EXPECT_EQ(Status(b), 0u);
  ContinueChannel(ch);
  EXPECT_EQ(Status(b), ds::DSBSTATUS_PLAYING | ds::DSBSTATUS_LOOPING);
  Mix(5000);
  EXPECT_EQ(ch->Playing(), 1);
  HoldChannel(ch);
  EXPECT_EQ(Status(b), 0u);
  EXPECT_EQ(ch->Playing(), 1) << "paused";
  HaltChannel(ch);
  EXPECT_EQ(ch->Playing(), 0);
  EXPECT_EQ(Status(b), 0u);
  ContinueChannel(ch);
  EXPECT_EQ(Status(b), 0u) << "a stopped channel does not start again";

  // The same channel object takes another sound.
  StartSound(once, ch);
  EXPECT_EQ(ch.As<TDirectSoundChannel>()->_sound.Get(), once.Get());
  EXPECT_EQ(Status(BufferOf(ch)), ds::DSBSTATUS_PLAYING);
  Mix(600);
  EXPECT_EQ(ch->Playing(), 0);
  // Unpausing a finished channel lets its buffer go.
  ContinueChannel(ch);
  EXPECT_FALSE(ch.As<TDirectSoundChannel>()->_buf);
}

// A channel whose buffer another channel took, or that comes from before the driver was started
// again, touches nothing.
TEST_F(DirectSoundOffline, ChannelsThatLostTheirBufferAreInert) {
  Ref<TSound> sound = Sound(300);
  Ref<TChannel> first = StartSound(sound, NewChannel());
  Mix(400);  // finished, still holding its buffer
  Ref<TChannel> second = StartSound(sound, nullptr);
  ASSERT_EQ(BufferOf(first), BufferOf(second)) << "the free buffer is reused";
  first->SetVolume(0);
  first->SetPaused(1);
  int32_t volume = 1;
  BufferOf(second)->GetVolume(&volume);
  EXPECT_EQ(volume, 0);
  EXPECT_EQ(first->Playing(), 0);
  EXPECT_EQ(second->Playing(), 1);

  // Started again: everything made before is stale. Its sounds play nothing, make no duplicate,
  // and their deletion releases nothing of the new device's.
  Ref<TChannel> cued = PrimeSound(sound, nullptr);
  ASSERT_EQ(SelectAudioDriver("DirectSound"), 1);
  Ref<TSound> fresh = Sound(300, 44100, SOUNDFLAG_LOOP);
  Ref<TChannel> playing = StartSound(fresh, nullptr);
  testing::internal::CaptureStdout();
  for (const Ref<TChannel>& old : {first, second, cued}) {
    EXPECT_EQ(old->Playing(), 0);
    old->SetPaused(0);
    EXPECT_EQ(old->Playing(), 0);
  }
  EXPECT_EQ(StartSound(sound, nullptr)->Playing(), 0);
  sound = nullptr;
  first = second = cued = nullptr;
  Sound(10);  // flushes the lonely list
  EXPECT_EQ(testing::internal::GetCapturedStdout(), Lines(1, 0, 0));
  Mix(1000);
  EXPECT_EQ(playing->Playing(), 1);
}

TEST_F(DirectSoundOffline, BuffersOfDeletedSoundsAreReleasedOnceSilent) {
  Ref<TSound> sound = Sound(1000);
  Ref<TChannel> a = StartSound(sound, nullptr);
  Ref<TChannel> b = StartSound(sound, nullptr);
  Ref<TChannel> cued = PrimeSound(Sound(1000), nullptr);  // its sound is dropped at once
  sound = nullptr;
  a = b = nullptr;  // playing channels play on

  std::vector<Ref<TSound>> kept;  // sounds made only to flush the list
  testing::internal::CaptureStdout();
  kept.push_back(Sound(10));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), Lines(1, 0, 0)) << "all three still busy";
  Mix(1100);
  testing::internal::CaptureStdout();
  kept.push_back(Sound(10));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), Lines(0, 0, 2) + Lines(1, 0, 0));
  cued = nullptr;  // a cued channel that goes is stopped: nothing could start it any more
  testing::internal::CaptureStdout();
  kept.push_back(Sound(10));
  kept.push_back(Sound(10));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), Lines(0, 0, 1) + Lines(2, 0, 0))
      << "released once";
}

TEST_F(DirectSoundOffline, FailuresNameTheCallAndItsCode) {
  struct Case {
    int32_t frames, hertz, format;
    const char* thrown;
  } cases[] = {
      {0, 44100, SAMPLE_MONO16LE, "CreateSoundBuffer failed (87)"},   // nothing to hold
      {1, 44100, SAMPLE_MONO8, "CreateSoundBuffer failed (87)"},      // below the 4-byte minimum
      {100, 50, SAMPLE_STEREO8, "CreateSoundBuffer failed (100)"},    // rate below 100 Hz
      {100, 300000, SAMPLE_MONO8, "CreateSoundBuffer failed (100)"},  // above 200 kHz
      {100, 8000, SAMPLE_STEREO16BE, "nothing thrown"},
  };
  for (const Case& c : cases) {
    Ref<TAudioSample> s = NewAudioSample(c.frames, c.hertz, c.format);
    EXPECT_EQ(test::ThrownText<String>([&] { CurrentAudioDriver()->CreateSound(s, 0); }), c.thrown)
        << c.frames << " frames at " << c.hertz;
  }
}

// End to end: a 441 Hz tone sampled at 22 050 Hz, played at rate 2 (a pitch of 882 Hz), volume
// 0.5 and pan -0.5, comes back from the file SDL's disk driver wrote: the left side at
// 10^(-669/2000) of the tone, the right side cut by a further 50 dB, at twice the pitch.
TEST(DirectSoundHeard, ToneAtItsLevelSideAndPitch) {
  InitDirectSoundDriverModule();
  test::TempDir dir;
  std::string file = dir.Path() + "/out.raw";
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
  ASSERT_EQ(SelectAudioDriver("DirectSound"), 1);
  const int32_t frames = 2205;
  Ref<TAudioSample> tone = NewAudioSample(frames, 22050, SAMPLE_MONO16LE);
  auto* pcm = reinterpret_cast<int16_t*>(tone->samples);
  for (int32_t i = 0; i < frames; ++i)
    pcm[i] = int16_t(std::lround(8000 + 6000 * std::sin(i * 2 * M_PI / 50)));
  Ref<TSound> sound = LoadAudioSound(Ref<Object>(tone), 0);
  Ref<TChannel> ch = PrimeSound(sound, nullptr);
  ch->SetVolume(0.5f);
  ch->SetPan(-0.5f);
  ch->SetRate(2);
  ContinueChannel(ch);
  for (int i = 0; i < 2500 && ch->Playing(); ++i)
    SleepMilliseconds(2);
  EXPECT_EQ(ch->Playing(), 0);
  ReleaseAudioDriver();  // closes the device and the file

  std::ifstream in(file, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const int16_t* out = reinterpret_cast<const int16_t*>(bytes.data());
  size_t first = 0, total = bytes.size() / 4;
  while (first < total && out[2 * first] == 0)
    ++first;
  ASSERT_GE(total - first, size_t(frames)) << "the whole tone was played";
  const double left = std::pow(10.0, -669 / 2000.0), right = left * std::pow(10.0, -5000 / 2000.0);
  for (int32_t f = 0; f < frames; ++f) {
    // At 44 100 Hz a period of the tone is 50 output frames: 882 Hz, twice its natural pitch.
    double s = 8000 + 6000 * std::sin(f * 2 * M_PI / 50);
    ASSERT_NEAR(out[2 * (first + f)], s * left, 2.5) << f;
    ASSERT_NEAR(out[2 * (first + f) + 1], s * right, 1.5) << f;
  }
  for (size_t f = first + frames; f < total; ++f)
    ASSERT_EQ(out[2 * f], 0) << "silence after the tone";
}

}  // namespace
}  // namespace vxl
