// The OpenAL drivers over OpenAL Soft's null backend (the test's own configuration, ALSOFT_CONF):
// registration and selection, source state read back with alGetSource*, the source pool, driver
// restarts, and the driver's output on a loopback device against the same scene in plain OpenAL
// calls. Children (death-test forks, run first) show a missing library and one that lacks most
// entry points.
#include "audio/openal/openal_driver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "audio/directsound/directsound_driver.h"
#include "audio/tonmix/tonmix_driver.h"
#include "platform/openal/openal_library.h"
#include "support/temp_dir.h"
#include "support/thrown_text.h"

namespace vxl {
namespace {

namespace oal = platform::openal;

// OpenAL Soft reads this configuration when it loads: the null backend, no other.
class NullBackend : public ::testing::Environment {
 public:
  void SetUp() override {
    conf_ = dir_.Write("alsoft.conf", "[general]\ndrivers = null\n");
    setenv("ALSOFT_CONF", conf_.c_str(), 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
  }

 private:
  test::TempDir dir_;
  std::string conf_;
};
::testing::Environment* const kNullBackend = ::testing::AddGlobalTestEnvironment(new NullBackend);

std::vector<std::string> Names() {
  std::vector<std::string> out;
  Array<String> names = ListAudioDrivers();
  for (int32_t i = 0; i < names.Length(); ++i)
    out.push_back(names[i].ToCString());
  return out;
}

// In a child: every failed check is written to standard error, and the exit code says whether
// there was one.
#define CHILD_CHECK(condition)                          \
  do {                                                  \
    if (!(condition)) {                                 \
      std::fprintf(stderr, "failed: %s\n", #condition); \
      failed = true;                                    \
    }                                                   \
  } while (0)

TEST(OpenALMissingDeathTest, NoLibraryNoDriverAndEveryCallRaises) {
  EXPECT_EXIT(
      {
        bool failed = false;
        CHILD_CHECK(oal::UseLibraryFile("/nonexistent/libopenal.so.1"));
        InitOpenALDriverModule();
        CHILD_CHECK(!HasAudioDriver("OpenAL"));
        CHILD_CHECK(EnableOpenALDevices() == 0);
        CHILD_CHECK(Names() == std::vector<std::string>{"Null"});
        CHILD_CHECK(TOpenALAudioDriver::Create("OpenAL test", "")->Startup() == 0);
        CHILD_CHECK(test::ThrownText<TNullFunctionException>([] { oal::Api().alGetError(); }) !=
                    "nothing thrown");
        CHILD_CHECK(test::ThrownText<TNullFunctionException>(
                        [] { oal::Api().alcOpenDevice(nullptr); }) != "nothing thrown");
        std::_Exit(failed ? 1 : 0);  // no clean-up: the parent's files stay
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(OpenALMissingDeathTest, MissingEntryPointsAreStubs) {
  EXPECT_EXIT(
      {
        bool failed = false;
        CHILD_CHECK(oal::UseLibraryFile(VXL_FAKE_OPENAL));
        InitOpenALDriverModule();
        CHILD_CHECK(HasAudioDriver("OpenAL"));
        CHILD_CHECK(oal::Load());
        CHILD_CHECK(oal::Api().alGetError() == 0x7E57);
        CHILD_CHECK(std::string(oal::Api().alGetString(0)) == "fake");
        CHILD_CHECK(oal::Resolved("alcGetString") && !oal::Resolved("alSourcef"));
        CHILD_CHECK(test::ThrownText<TNullFunctionException>(
                        [] { oal::Api().alSourcef(1, AL_GAIN, 1); }) != "nothing thrown");
        CHILD_CHECK(EnableOpenALDevices() == 1);
        CHILD_CHECK(HasAudioDriver("OpenAL Fake Device") && HasAudioDriver("OpenAL Default"));
        std::_Exit(failed ? 1 : 0);  // no clean-up: the parent's files stay
      },
      ::testing::ExitedWithCode(0), "");
}

// No output at all (OpenAL's only backend has no file to write, SDL no audio driver): every
// driver fails to start and "Null" stays.
TEST(OpenALMissingDeathTest, NoDeviceLeavesNull) {
  test::TempDir dir;
  std::string conf = dir.Write("none.conf", "[general]\ndrivers = wave\n");
  EXPECT_EXIT(
      {
        bool failed = false;
        setenv("ALSOFT_CONF", conf.c_str(), 1);
        setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
        InitDirectSoundDriverModule();
        InitTonmixDriverModule();
        InitOpenALDriverModule();
        for (const char* name :
             {"OpenAL", "Tonmix", "Tonmix Multimedia", "Tonmix DirectSound", "DirectSound"}) {
          if (SelectAudioDriver(name) != 0) {
            std::fprintf(stderr, "failed: %s started\n", name);
            failed = true;
          }
        }
        CHILD_CHECK(CurrentAudioDriver()->Name() == String("Null"));
        std::_Exit(failed ? 1 : 0);
      },
      ::testing::ExitedWithCode(0), "");
}

class OpenAL : public ::testing::Test {
 protected:
  void SetUp() override {
    InitDirectSoundDriverModule();
    InitTonmixDriverModule();
    InitOpenALDriverModule();
    ASSERT_TRUE(HasAudioDriver("OpenAL")) << "libopenal.so.1 is not installed";
    ASSERT_EQ(SelectAudioDriver("openal"), 1);
  }
  void TearDown() override { ReleaseAudioDriver(); }

  static const oal::EntryPoints& Al() { return oal::Api(); }
  static ALuint SourceOf(const Ref<TChannel>& ch) { return ch.As<TOpenALChannel>()->_source->_id; }
  static ALint Int(ALuint source, ALenum what) {
    ALint v = -1;
    Al().alGetSourcei(source, what, &v);
    return v;
  }
  static ALfloat Float(ALuint source, ALenum what) {
    ALfloat v = -1;
    Al().alGetSourcef(source, what, &v);
    return v;
  }
  static std::vector<float> Position(ALuint source) {
    ALfloat x = 9, y = 9, z = 9;
    Al().alGetSource3f(source, AL_POSITION, &x, &y, &z);
    return {x, y, z};
  }
  static Ref<TSound> Sound(int32_t frames, int32_t flags = 0) {
    Ref<TAudioSample> s = NewAudioSample(frames, 22050, SAMPLE_MONO16LE);
    for (int32_t i = 0; i < frames; ++i)
      reinterpret_cast<int16_t*>(s->samples)[i] = int16_t(i * 7);
    return CurrentAudioDriver()->CreateSound(s, flags);
  }
};

TEST_F(OpenAL, DriversByNameAndDevicesOnRequest) {
  EXPECT_EQ(CurrentAudioDriver()->Name(), String("OpenAL"));
  EXPECT_EQ(Names(), (std::vector<std::string>{"OpenAL", "Tonmix", "Tonmix Multimedia",
                                               "Tonmix DirectSound", "DirectSound", "Null"}));
  // The drivers added are those OpenAL lists (the null backend lists one), newest first.
  std::vector<std::string> listed;
  for (const char* d = Al().alcGetString(nullptr, ALC_DEVICE_SPECIFIER); d && *d;
       d += listed.back().size() + 1) {
    listed.push_back(d);
  }
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(EnableOpenALDevices(), 1);
  EXPECT_EQ(EnableOpenALDevices(), 1);
  std::vector<std::string> names = Names();
  ASSERT_EQ(names.size(), 8u) << "added once";
  EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 2),
            (std::vector<std::string>{"OpenAL Default", "OpenAL " + listed[0]}));
  auto devname = [](const std::string& name) {
    for (Ref<TAudioDriver> d = AudioDrivers(); d; d = d->_succ) {
      if (d->Name() == String(name.c_str()))
        return std::string(d.As<TOpenALAudioDriver>()->_devname.ToCString());
    }
    return std::string("?");
  };
  EXPECT_EQ(devname("OpenAL Default"), Al().alcGetString(nullptr, ALC_DEFAULT_DEVICE_SPECIFIER));
  EXPECT_EQ(devname("OpenAL " + listed[0]), listed[0]);
  for (const std::string& name : {names[0], names[1], std::string("openal")}) {
    ASSERT_EQ(SelectAudioDriver(name.c_str()), 1) << name;
    Ref<TChannel> ch = Sound(22050, SOUNDFLAG_LOOP)->Play(nullptr);
    EXPECT_EQ(ch->Playing(), 1) << name;
    EXPECT_EQ(Int(SourceOf(ch), AL_SOURCE_STATE), AL_PLAYING) << name;
  }
}

// What each channel operation leaves in the source, read back from OpenAL.
TEST_F(OpenAL, ChannelOperationsAsTheSourceSees) {
  Ref<TSound> loop = Sound(2000, SOUNDFLAG_LOOP), once = Sound(2000);
  Ref<TChannel> ch = NewChannel();
  const ALuint id = SourceOf(ch);
  ASSERT_NE(id, 0u);
  EXPECT_EQ(Int(id, AL_SOURCE_RELATIVE), AL_TRUE);
  EXPECT_EQ(Position(id), (std::vector<float>{0, 0, 1}));
  PrimeSound(loop, ch);
  EXPECT_EQ(Int(id, AL_BUFFER), ALint(loop.As<TOpenALSound>()->_buffer));
  EXPECT_EQ(Int(id, AL_LOOPING), AL_TRUE);
  EXPECT_EQ(ch->Playing(), 0) << "cued: not playing yet";
  struct Row {
    float volume, pan, rate;
    std::vector<float> position;
  } rows[] = {
      {0.25f, -1, 2, {-1, 0, 0}},
      {1, 0, 0.5f, {0, 0, -1}},
      {0.5f, 1, 1, {1, 0, 0}},
      {0.75f, 0.5f, 1.5f, {0.70710677f, 0, -0.70710677f}},
  };
  for (const Row& r : rows) {
    ch->SetVolume(r.volume);
    ch->SetPan(r.pan);
    ch->SetRate(r.rate);
    ch->SetDepth(5);  // no effect
    EXPECT_EQ(Float(id, AL_GAIN), r.volume);
    EXPECT_EQ(Float(id, AL_PITCH), r.rate);
    std::vector<float> at = Position(id);
    for (int i = 0; i < 3; ++i)
      EXPECT_NEAR(at[i], r.position[i], 1e-6) << r.pan;
  }
  ContinueChannel(ch);
  EXPECT_EQ(Int(id, AL_SOURCE_STATE), AL_PLAYING);
  EXPECT_EQ(ch->Playing(), 1);
  HoldChannel(ch);
  EXPECT_EQ(Int(id, AL_SOURCE_STATE), AL_PAUSED);
  EXPECT_EQ(ch->Playing(), 0) << "paused counts as not playing";
  // Another sound on the same channel replaces the buffer and the looping.
  StartSound(once, ch);
  EXPECT_EQ(Int(id, AL_BUFFER), ALint(once.As<TOpenALSound>()->_buffer));
  EXPECT_EQ(Int(id, AL_LOOPING), AL_FALSE);
  // Stopped, a channel from AllocChannel is inert for good.
  HaltChannel(ch);
  EXPECT_EQ(Int(id, AL_SOURCE_STATE), AL_STOPPED);
  StartSound(loop, ch);
  ch->SetVolume(0.125f);
  EXPECT_EQ(ch->Playing(), 0);
  EXPECT_EQ(Int(id, AL_SOURCE_STATE), AL_STOPPED);
  EXPECT_EQ(Float(id, AL_GAIN), 0.75f);
}

// Two sounds cued on fresh channels and then started both play: a cued source is not free.
TEST_F(OpenAL, CuedChannelsKeepTheirSources) {
  Ref<TSound> a = Sound(22050, SOUNDFLAG_LOOP), b = Sound(22050, SOUNDFLAG_LOOP);
  Ref<TChannel> first = PrimeSound(a, nullptr);
  Ref<TChannel> second = PrimeSound(b, nullptr);
  EXPECT_NE(SourceOf(first), SourceOf(second));
  ContinueChannel(first);
  ContinueChannel(second);
  EXPECT_EQ(first->Playing(), 1);
  EXPECT_EQ(second->Playing(), 1);
  // A cued channel that goes frees its source.
  Ref<TChannel> cued = PrimeSound(a, nullptr);
  const ALuint id = SourceOf(cued);
  cued = nullptr;
  EXPECT_EQ(SourceOf(PrimeSound(b, nullptr)), id);
}

// A sound whose last source stopped is deleted when that source is taken again, and its buffer
// goes with it (a buffer still attached to a source cannot be deleted).
TEST_F(OpenAL, BuffersOfDroppedSoundsAreDeleted) {
  Ref<TSound> sound = Sound(1000);
  const ALuint buffer = sound.As<TOpenALSound>()->_buffer;
  Ref<TChannel> ch = sound->Play(nullptr);
  ch->Stop();
  ch = nullptr;
  sound = nullptr;  // the pooled source still holds it
  EXPECT_TRUE(Al().alIsBuffer(buffer));
  Sound(10)->Play(nullptr);  // takes the stopped source
  EXPECT_FALSE(Al().alIsBuffer(buffer));
}

// Started again, OpenAL numbers sources and buffers from 1 in the new context: nothing made
// before may touch them.
TEST_F(OpenAL, ARestartLeavesTheOldSoundsAndChannelsInert) {
  Ref<TSound> old = Sound(22050, SOUNDFLAG_LOOP);
  Ref<TChannel> kept = StartSound(old, NewChannel());
  Ref<TChannel> pooled = StartSound(old, nullptr);
  ASSERT_EQ(SelectAudioDriver("OpenAL"), 1);
  Ref<TSound> fresh = Sound(22050, SOUNDFLAG_LOOP);
  Ref<TChannel> now = StartSound(fresh, NewChannel());
  ASSERT_EQ(now->Playing(), 1);
  for (const Ref<TChannel>& ch : {kept, pooled}) {
    EXPECT_EQ(ch->Playing(), 0);
    ch->SetVolume(0);
    ch->Stop();
  }
  EXPECT_EQ(Float(SourceOf(now), AL_GAIN), 1.0f);
  EXPECT_EQ(now->Playing(), 1);
  EXPECT_EQ(StartSound(old, nullptr)->Playing(), 0) << "an old sound plays nothing";
  const ALuint buffer = fresh.As<TOpenALSound>()->_buffer;
  kept = pooled = nullptr;
  old = nullptr;
  EXPECT_TRUE(Al().alIsBuffer(buffer)) << "the old sound deleted nothing of the new context";
  // The pool starts empty: a fresh channel gets a source of the new context.
  Ref<TChannel> another = StartSound(fresh, nullptr);
  EXPECT_EQ(another->Playing(), 1);
}

// The driver on a loopback device renders, sample for sample, what the same calls made directly
// render on another.
TEST_F(OpenAL, LoopbackOutputIsThatOfPlainCalls) {
  ReleaseAudioDriver();
  ASSERT_TRUE(oal::SetLoopbackOutput(true));
  struct Voice {
    int hertz;
    float rate, volume, pan;
  } voices[] = {
      {22050, 1, 1, 0}, {44100, 1.5f, 0.5f, -1}, {11025, 0.75f, 0.25f, 1}, {48000, 2, 0.8f, 0.5f}};
  auto pcm = [](int v, int i) { return int16_t((i * (40 + 13 * v)) % 16000 - 8000); };
  const int frames = 5000, blocks = 20, block = 512;

  ASSERT_EQ(SelectAudioDriver("OpenAL"), 1);
  oal::SetLoopbackOutput(false);
  std::vector<Ref<TSound>> sounds;
  std::vector<Ref<TChannel>> channels;
  for (int v = 0; v < 4; ++v) {
    Ref<TAudioSample> s = NewAudioSample(frames, voices[v].hertz, SAMPLE_MONO16LE);
    for (int i = 0; i < frames; ++i)
      reinterpret_cast<int16_t*>(s->samples)[i] = pcm(v, i);
    sounds.push_back(CurrentAudioDriver()->CreateSound(s, SOUNDFLAG_LOOP));
    Ref<TChannel> ch = PrimeSound(sounds.back(), NewChannel());
    ch->SetVolume(voices[v].volume);
    ch->SetPan(voices[v].pan);
    ch->SetRate(voices[v].rate);
    ContinueChannel(ch);
    channels.push_back(ch);
  }
  auto* device = static_cast<ALCdevice*>(CurrentAudioDriver().As<TOpenALAudioDriver>()->_device);
  std::vector<int16_t> driver(size_t(2) * block * blocks);
  for (int b = 0; b < blocks; ++b)
    oal::RenderLoopback(device, driver.data() + size_t(2) * block * b, block);
  channels.clear();
  sounds.clear();
  ReleaseAudioDriver();

  // The same, in plain calls.
  const oal::EntryPoints& al = Al();
  oal::SetLoopbackOutput(true);
  ALCdevice* plain = al.alcOpenDevice(nullptr);
  oal::SetLoopbackOutput(false);
  ALCcontext* context = al.alcCreateContext(plain, nullptr);
  ASSERT_TRUE(context);
  al.alcMakeContextCurrent(context);
  al.alDistanceModel(AL_NONE);
  ALuint buffers[4], sources[4];
  al.alGenBuffers(4, buffers);
  al.alGenSources(4, sources);
  const float positions[4][3] = {{0, 0, -1}, {-1, 0, 0}, {1, 0, 0}, {0.70710677f, 0, -0.70710677f}};
  for (int v = 0; v < 4; ++v) {
    std::vector<int16_t> data(frames);
    for (int i = 0; i < frames; ++i)
      data[i] = pcm(v, i);
    al.alBufferData(buffers[v], AL_FORMAT_MONO16, data.data(), frames * 2, voices[v].hertz);
    al.alSourcei(sources[v], AL_SOURCE_RELATIVE, AL_TRUE);
    al.alSourcei(sources[v], AL_LOOPING, AL_TRUE);
    al.alSourcei(sources[v], AL_BUFFER, ALint(buffers[v]));
    al.alSourcef(sources[v], AL_GAIN, voices[v].volume);
    al.alSourcef(sources[v], AL_PITCH, voices[v].rate);
    al.alSource3f(sources[v], AL_POSITION, positions[v][0], positions[v][1], positions[v][2]);
    al.alSourcePlay(sources[v]);
  }
  std::vector<int16_t> direct(driver.size());
  for (int b = 0; b < blocks; ++b)
    oal::RenderLoopback(plain, direct.data() + size_t(2) * block * b, block);
  al.alDeleteSources(4, sources);
  al.alDeleteBuffers(4, buffers);
  al.alcMakeContextCurrent(nullptr);
  al.alcDestroyContext(context);
  al.alcCloseDevice(plain);

  size_t loud = 0;
  for (int16_t s : direct)
    loud += s > 1000 || s < -1000;
  EXPECT_GT(loud, direct.size() / 4) << "the scene is heard";
  EXPECT_TRUE(driver == direct);
}

}  // namespace
}  // namespace vxl
