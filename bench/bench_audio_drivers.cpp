// The DirectSound and OpenAL drivers measured side by side with what they stand beside:
//
// - channel operations (SetVolume, SetPan, SetRate, Playing in turn over 64 playing channels)
//   through "DirectSound", "Tonmix" and "OpenAL", and the same OpenAL calls made directly;
// - Play on a fresh channel then Stop, per driver, and the DirectSound duplicates made once the
//   buffers exist (0: they are reused);
// - the 64-voice scene of audio_scene.h mixed by the software DirectSound through the driver,
//   against the software mixer's engine; and by OpenAL Soft through the driver, against the same
//   scene in plain OpenAL calls (both on loopback devices).
//
// Caller-side times are the main thread's CPU time, so the output threads of the devices (SDL's
// dummy driver plays the mixer's and the DirectSound device's output) do not count; mixing times
// are the process's CPU time of offline rendering.
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "audio/directsound/directsound_driver.h"
#include "audio/openal/openal_driver.h"
#include "audio/tonmix/tonmix_driver.h"
#include "audio_scene.h"
#include "bench_util.h"
#include "platform/audio/soft_dsound.h"
#include "runtime/clock.h"

namespace {

using namespace vxl;
using namespace vxl::bench;
namespace oal = platform::openal;

double ThreadSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

// Standard output goes nowhere while one lives: the drivers' buffer lines are not results.
class Quiet {
 public:
  Quiet() {
    std::fflush(stdout);
    saved_ = dup(1);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    close(null);
  }
  ~Quiet() {
    std::fflush(stdout);
    dup2(saved_, 1);
    close(saved_);
  }

 private:
  int saved_;
};

constexpr int kOps = 1000000;
constexpr int kChannels = 64;

Ref<TAudioSample> Tone(int32_t frames, int32_t hertz) {
  Ref<TAudioSample> s = NewAudioSample(frames, hertz, SAMPLE_MONO16LE);
  auto* pcm = reinterpret_cast<int16_t*>(s->samples);
  for (int32_t i = 0; i < frames; ++i)
    pcm[i] = int16_t(5000 * std::sin(i * 0.05));
  return s;
}

// 64 channels playing a looping sound on the current driver.
std::vector<Ref<TChannel>> PlayingChannels(Ref<TSound>& sound) {
  sound = CurrentAudioDriver()->CreateSound(Tone(22050, 22050), SOUNDFLAG_LOOP);
  std::vector<Ref<TChannel>> channels;
  for (int i = 0; i < kChannels; ++i)
    channels.push_back(sound->Play(NewChannel()));
  return channels;
}

// The CPU seconds of kOps operations, op i on channel i % 64, in turn volume, pan, rate, status.
template <class Volume, class Pan, class Rate, class Status>
double ChannelOps(Volume volume, Pan pan, Rate rate, Status status) {
  int64_t playing = 0;
  double start = ThreadSeconds();
  for (int i = 0; i < kOps; ++i) {
    const int c = i % kChannels;
    const float x = float(i & 15) / 16.0f;
    switch (i & 3) {
      case 0:
        volume(c, 0.4f + 0.5f * x);
        break;
      case 1:
        pan(c, 2 * x - 1);
        break;
      case 2:
        rate(c, 0.9f + 0.2f * x);
        break;
      default:
        playing += status(c);
        break;
    }
  }
  double seconds = ThreadSeconds() - start;
  if (playing == 0) std::printf("warning: no channel was playing\n");
  return seconds;
}

double DriverChannelOps(std::vector<Ref<TChannel>>& ch) {
  return ChannelOps(
      [&](int c, float v) { ch[c]->SetVolume(v); }, [&](int c, float p) { ch[c]->SetPan(p); },
      [&](int c, float r) { ch[c]->SetRate(r); }, [&](int c) { return ch[c]->Playing(); });
}

double DirectChannelOps(const std::vector<ALuint>& src) {
  const oal::EntryPoints& al = oal::Api();
  return ChannelOps([&](int c, float v) { al.alSourcef(src[c], AL_GAIN, v); },
                    [&](int c, float p) {
                      double a = double(p) * 90.0 * 3.14159265358979323846 / 180.0;
                      al.alSource3f(src[c], AL_POSITION, float(std::sin(a)), 0,
                                    float(-std::cos(a)));
                    },
                    [&](int c, float r) { al.alSourcef(src[c], AL_PITCH, r); },
                    [&](int c) {
                      ALint state = 0;
                      al.alGetSourcei(src[c], AL_SOURCE_STATE, &state);
                      return state == AL_PLAYING ? 1 : 0;
                    });
}

// CPU seconds of `n` plays on fresh channels, each stopped at once; batches of 1000 with a pause
// between them, so that the software mixer's start ring is drained as in a running program.
double PlayStop(const Ref<TSound>& sound, int n) {
  double seconds = 0;
  for (int done = 0; done < n; done += 1000) {
    double start = ThreadSeconds();
    for (int i = 0; i < 1000; ++i) {
      if (Ref<TChannel> ch = sound->Play(nullptr)) ch->Stop();
    }
    seconds += ThreadSeconds() - start;
    SleepMilliseconds(12);
  }
  return seconds;
}

int32_t ChainLength(const Ref<TSound>& sound) {
  int32_t n = 0;
  for (Ref<TBuf> b = sound.As<TDirectSoundSound>()->_bufs; b; b = b->_succ)
    ++n;
  return n;
}

// The scene through the current driver's channels; `render` mixes one block.
double MixSceneThroughDriver(const Scene& scene, const std::function<void(int16_t*)>& render) {
  std::vector<Ref<TSound>> sounds;
  std::vector<Ref<TChannel>> channels;
  for (const Voice& v : scene.voices) {
    Ref<TAudioSample> s =
        NewStaticAudioSample(reinterpret_cast<uint8_t*>(const_cast<int16_t*>(v.pcm.data())),
                             v.length, v.hertz, SAMPLE_MONO16LE);
    sounds.push_back(CurrentAudioDriver()->CreateSound(s, SOUNDFLAG_LOOP));
    Ref<TChannel> ch = PrimeSound(sounds.back(), NewChannel());
    ch->SetVolume(0.5f);
    ch->SetRate(v.rate);
    ch->SetPan(0);
    ch->SetPaused(0);
    channels.push_back(ch);
  }
  std::vector<int16_t> out(size_t(2) * kBlock);
  return PlayScene(
      scene,
      [&](const Change& c) {
        channels[c.voice]->SetVolume(c.volume);
        channels[c.voice]->SetPan(c.pan);
      },
      [&] { render(out.data()); });
}

}  // namespace

int main() {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  InitDirectSoundDriverModule();
  InitTonmixDriverModule();
  InitOpenALDriverModule();
  const bool haveAL = HasAudioDriver("OpenAL") && oal::Load() && oal::SetLoopbackOutput(false);
  Scene scene = MakeScene();

  // Channel operations, best of three rounds, drivers alternating.
  double dsoundOps = 1e9, tonmixOps = 1e9, openalOps = 1e9, directOps = 1e9;
  double dsoundPlay = 1e9, tonmixPlay = 1e9, openalPlay = 1e9;
  int32_t duplicatesAfterWarmup = 0;
  const int kPlays = 20000;
  for (int round = 0; round < 3; ++round) {
    {
      Quiet quiet;
      if (SelectAudioDriver("DirectSound") != 1) return 1;
      Ref<TSound> sound;
      std::vector<Ref<TChannel>> ch = PlayingChannels(sound);
      dsoundOps = std::min(dsoundOps, DriverChannelOps(ch));
      Ref<TSound> once = CurrentAudioDriver()->CreateSound(Tone(4410, 22050), 0);
      PlayStop(once, 1000);  // warm-up: the buffers it needs exist from here on
      int32_t before = ChainLength(once);
      dsoundPlay = std::min(dsoundPlay, PlayStop(once, kPlays));
      duplicatesAfterWarmup = std::max(duplicatesAfterWarmup, ChainLength(once) - before);
    }
    {
      if (SelectAudioDriver("Tonmix") != 1) return 1;
      Ref<TSound> sound;
      std::vector<Ref<TChannel>> ch = PlayingChannels(sound);
      tonmixOps = std::min(tonmixOps, DriverChannelOps(ch));
      Ref<TSound> once = CurrentAudioDriver()->CreateSound(Tone(4410, 22050), 0);
      tonmixPlay = std::min(tonmixPlay, PlayStop(once, kPlays));
    }
    if (haveAL) {
      oal::SetLoopbackOutput(true);
      if (SelectAudioDriver("OpenAL") != 1) return 1;
      oal::SetLoopbackOutput(false);
      Ref<TSound> sound;
      std::vector<Ref<TChannel>> ch = PlayingChannels(sound);
      openalOps = std::min(openalOps, DriverChannelOps(ch));
      std::vector<ALuint> sources;
      for (const Ref<TChannel>& c : ch)
        sources.push_back(c.As<TOpenALChannel>()->_source->_id);
      directOps = std::min(directOps, DirectChannelOps(sources));
      Ref<TSound> once = CurrentAudioDriver()->CreateSound(Tone(4410, 22050), 0);
      openalPlay = std::min(openalPlay, PlayStop(once, kPlays));
    }
    ReleaseAudioDriver();
  }
  Print("channel_ops_per_s_dsound", kOps / dsoundOps, "ops/s");
  Print("channel_ops_per_s_tonmix", kOps / tonmixOps, "ops/s");
  Print("channel_ops_dsound_vs_tonmix_ratio", dsoundOps / tonmixOps);
  if (haveAL) {
    Print("channel_ops_per_s_openal", kOps / openalOps, "ops/s");
    Print("channel_ops_per_s_openal_direct", kOps / directOps, "ops/s");
    Print("channel_ops_openal_vs_direct_ratio", openalOps / directOps);
  }
  Print("play_stop_per_s_dsound", kPlays / dsoundPlay, "plays/s");
  Print("play_stop_per_s_tonmix", kPlays / tonmixPlay, "plays/s");
  if (haveAL) Print("play_stop_per_s_openal", kPlays / openalPlay, "plays/s");
  Print("dsound_duplicates_after_warmup", duplicatesAfterWarmup);

  // The scene, offline.
  double dsoundMix = 1e9, tonmixMix = 1e9, driverMix = 1e9, directMix = 1e9;
  for (int round = 0; round < 3; ++round) {
    {
      Quiet quiet;
      platform::dsound::SetOfflineOutput(true);
      if (SelectAudioDriver("DirectSound") != 1) return 1;
      platform::dsound::SetOfflineOutput(false);
      platform::dsound::Device* device = StartedDirectSoundDriver()->_dsound;
      dsoundMix = std::min(dsoundMix, MixSceneThroughDriver(scene, [&](int16_t* out) {
                             device->Render(out, kBlock);
                           }));
      ReleaseAudioDriver();
    }
    tonmixMix = std::min(tonmixMix, MixSceneTonmix(scene));
    if (haveAL) {
      oal::SetLoopbackOutput(true);
      if (SelectAudioDriver("OpenAL") != 1) return 1;
      oal::SetLoopbackOutput(false);
      auto* device =
          static_cast<ALCdevice*>(CurrentAudioDriver().As<TOpenALAudioDriver>()->_device);
      driverMix = std::min(driverMix, MixSceneThroughDriver(scene, [&](int16_t* out) {
                             oal::RenderLoopback(device, out, kBlock);
                           }));
      ReleaseAudioDriver();
      directMix = std::min(directMix, MixSceneOpenAL(scene));
    }
  }
  Print("mix_64_voices_dsound_ms", dsoundMix * 1000, "ms");
  Print("mix_64_voices_tonmix_ms", tonmixMix * 1000, "ms");
  Print("mix_64_voices_dsound_vs_tonmix_ratio", dsoundMix / tonmixMix);
  if (haveAL) {
    Print("mix_64_voices_openal_driver_ms", driverMix * 1000, "ms");
    Print("mix_64_voices_openal_direct_ms", directMix * 1000, "ms");
    Print("mix_64_voices_openal_driver_vs_direct_ratio", driverMix / directMix);
  }
  return 0;
}
