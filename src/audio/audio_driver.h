// The audio driver model: sounds, channels, drivers, the driver registry and the current driver.
//
//   Ref<TSound> boom = LoadAudioSound(String("boom.ogg"), 0);    // on the current driver
//   Ref<TChannel> ch = PrimeSound(boom, nullptr);                 // cued, paused
//   ChangeChannelPan(ch, -0.5f);
//   ContinueChannel(ch);                                          // starts playing
//   SelectAudioDriver(String("tonmix multimedia"));               // names ignore ASCII case
//
// The base classes are the complete do-nothing back end "Null": it is registered first and stays
// current when no other driver starts, so programs run silently without an audio device.
#pragma once

#include <cstdint>

#include "audio/sample.h"
#include "runtime/runtime.h"

namespace vxl {

constexpr int32_t SOUNDFLAG_LOOP = 1;
constexpr int32_t SOUNDFLAG_HARDWARE = 2;

class TChannel;

// A sample prepared for playback by a driver.
class TSound : public Object {
 public:
  VXL_CLASS(TSound, Object)
  // Starts the sound on `channel` (Null: a fresh channel released when the sound ends).
  virtual Ref<TChannel> Play(const Ref<TChannel>& channel);
  // Sets the sound up on `channel` paused; SetPaused(0) starts it.
  virtual Ref<TChannel> Cue(const Ref<TChannel>& channel);
  // The sample (a TAudioSample, or loaded from the URL) made into a sound of the current driver.
  static Ref<TSound> Load(const Url& url, int32_t flags);

  static void Bind(ClassBinder<TSound>& b);
};

// A playback voice. Volume 1 is full level; pan -1 left .. +1 right; rate multiplies the sample's
// own rate; depth -1 .. +1 front to back. Base channels do nothing and answer 0.
class TChannel : public Object {
 public:
  VXL_CLASS(TChannel, Object)
  virtual int32_t Stop();
  virtual int32_t SetPaused(int32_t paused);
  virtual int32_t SetVolume(float volume);
  virtual int32_t SetPan(float pan);
  virtual int32_t SetDepth(float depth);
  virtual int32_t SetRate(float rate);
  // 1 while audibly playing (started, not paused, not finished).
  virtual int32_t Playing();

  static void Bind(ClassBinder<TChannel>& b);
};

// A named back end. Constructing one links it at the head of the registry.
class TAudioDriver : public Object {
 public:
  VXL_CLASS(TAudioDriver, Object)
  Ref<TAudioDriver> _succ;

  TAudioDriver();

  virtual String Name();
  // 1 when the back end started, else 0.
  virtual int32_t Startup();
  virtual int32_t Shutdown();
  virtual Ref<TSound> CreateSound(const Ref<TAudioSample>& sample, int32_t flags);
  virtual Ref<TChannel> AllocChannel();
  virtual Ref<TSound> LoadSound(const Ref<Object>& url, int32_t flags);

  static void Bind(ClassBinder<TAudioDriver>& b);
};

// The newest registered driver (the head of the registry).
Ref<TAudioDriver> AudioDrivers();

// The current driver; selects "Tonmix" first when none is selected, or "Null" when that fails.
Ref<TAudioDriver> CurrentAudioDriver();
// Shuts the current driver down and starts the named one (ASCII case ignored). 1 on success; on
// failure 0 and "Null" is current.
int32_t SelectAudioDriver(const String& name);
int32_t HasAudioDriver(const String& name);
// The registered drivers' names, newest first, at most 100.
Array<String> ListAudioDrivers();
// Shuts the current driver down and selects none (run at exit).
void ReleaseAudioDriver();

Ref<TSound> LoadAudioSound(const Url& url, int32_t flags);
Ref<TChannel> NewChannel();
Ref<TChannel> StartSound(const Ref<TSound>& sound, const Ref<TChannel>& channel);
Ref<TChannel> PrimeSound(const Ref<TSound>& sound, const Ref<TChannel>& channel);
int32_t HaltChannel(const Ref<TChannel>& channel);
int32_t HoldChannel(const Ref<TChannel>& channel);
int32_t ContinueChannel(const Ref<TChannel>& channel);
int32_t ChangeChannelVolume(const Ref<TChannel>& channel, float volume);
int32_t ChangeChannelPan(const Ref<TChannel>& channel, float pan);
int32_t ChangeChannelDepth(const Ref<TChannel>& channel, float depth);
int32_t ChangeChannelRate(const Ref<TChannel>& channel, float rate);
int32_t IsChannelPlaying(const Ref<TChannel>& channel);

// The audio module: the three classes, the "Null" driver and the exit-time shutdown.
int InitAudioModule();

}  // namespace vxl
