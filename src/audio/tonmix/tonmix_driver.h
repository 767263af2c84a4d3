// The software mixer as an audio driver: "Tonmix" (waveOut, else DirectSound), "Tonmix
// Multimedia" (waveOut only) and "Tonmix DirectSound" (DirectSound only).
//
//   SelectAudioDriver(String("Tonmix"));
//   Ref<TSound> s = LoadAudioSound(String("loop.wav"), SOUNDFLAG_LOOP);
//   Ref<TChannel> ch = s->Play(nullptr);
//   int32_t frames = ch.As<TTonmixChannel>()->Position();   // frames played, loops included
#pragma once

#include "audio/audio_driver.h"

namespace vxl {

namespace tonmix {
struct sampledata;
}

class TTonmixSound : public TSound {
 public:
  VXL_CLASS(TTonmixSound, TSound)
  tonmix::sampledata* fa_sound = nullptr;  // the native record, released with the sound

  ~TTonmixSound() override;
  // A channel argument of another driver gives Null; Null asks for a fresh channel.
  Ref<TChannel> Play(const Ref<TChannel>& channel) override;
  Ref<TChannel> Cue(const Ref<TChannel>& channel) override;
  static Ref<TTonmixSound> CreateWithSound(tonmix::sampledata* record,
                                           const Ref<TAudioSample>& sample);

 private:
  Ref<TChannel> Start(const Ref<TChannel>& channel, int32_t paused);
};

class TTonmixChannel : public TChannel {
 public:
  VXL_CLASS(TTonmixChannel, TChannel)
  int32_t fa_channel = 0;  // the channel handle, 0 for none; freed with the channel

  ~TTonmixChannel() override;
  int32_t Stop() override;
  int32_t SetPaused(int32_t paused) override;
  int32_t SetVolume(float volume) override;
  int32_t SetPan(float pan) override;
  int32_t SetDepth(float depth) override;
  int32_t SetRate(float rate) override;
  int32_t Playing() override;
  // Frames played since the start, loops included.
  virtual int32_t Position();
  static Ref<TTonmixChannel> CreateWithChannel(int32_t handle);

  static void Bind(ClassBinder<TTonmixChannel>& b);
};

class TTonmixAudioDriver : public TAudioDriver {
 public:
  VXL_CLASS(TTonmixAudioDriver, TAudioDriver)
  String _name;
  int32_t _mode = -1;  // -1 any device, 0 waveOut, 1 DirectSound

  String Name() override { return _name; }
  // Opens the device (the audio output); 1 on success.
  int32_t Startup() override;
  int32_t Shutdown() override;
  Ref<TSound> CreateSound(const Ref<TAudioSample>& sample, int32_t flags) override;
  Ref<TChannel> AllocChannel() override;
  static Ref<TTonmixAudioDriver> Create(const String& name, int32_t mode);

  static void Bind(ClassBinder<TTonmixAudioDriver>& b);
};

// The mixing engine; the driver module (registers the three drivers).
int InitSoftwareMixerModule();
int InitTonmixDriverModule();

}  // namespace vxl
