// The DirectSound driver "DirectSound": every sound is one static DirectSound buffer holding the
// sample, and every channel plays a duplicate of it, so the mixing is DirectSound's own.
//
//   SelectAudioDriver(String("DirectSound"));
//   Ref<TSound> s = LoadAudioSound(String("shot.wav"), 0);   // "Created DirectSound buffer"
//   for (int i = 0; i < 5; ++i) s->Play(nullptr);              // four "Duplicated ..." lines
//
// Buffers of deleted sounds wait on the driver's lonely list until they fall silent, and are then
// released ("Released DirectSound buffer"). Every `TBuf` carries the generation of the channel
// that owns it: a channel whose buffer was taken by another channel, or that comes from before
// the driver's last Shutdown, does nothing. Failures of the native calls a sound depends on raise
// the String "<operation> failed (<low 16 bits of the result>)".
#pragma once

#include "audio/audio_driver.h"

namespace vxl {

namespace platform::dsound {
class Buffer;
class Device;
}  // namespace platform::dsound

// One DirectSound buffer of a sound (the master or a duplicate), in a chain.
class TBuf : public Object {
 public:
  VXL_CLASS(TBuf, Object)
  Ref<TBuf> _succ;
  platform::dsound::Buffer* _buffer = nullptr;  // released with the TBuf, or by FlushLonely
  int32_t _seq = 0;                             // bumped whenever a channel takes or drops it
  int32_t _paused = 0;                          // 1 while cued or paused

  ~TBuf() override;
  // 1 while cued, paused or playing.
  virtual int32_t Active();

  Ref<TBuf> Succ() const { return _succ; }
  int32_t Seq() const { return _seq; }
  int32_t Paused() const { return _paused; }
  static void Bind(ClassBinder<TBuf>& b);
};

class TDirectSoundSound : public TSound {
 public:
  VXL_CLASS(TDirectSoundSound, TSound)
  int32_t _seq = -1;                            // the driver generation it was made in
  platform::dsound::Buffer* _buffer = nullptr;  // the master buffer
  int32_t _hertz = 0;
  int32_t _loop = 0;
  Ref<TBuf> _bufs;  // the master and its duplicates, newest first

  // Hands its buffers to the driver's lonely list, so that playing duplicates finish.
  ~TDirectSoundSound() override;
  Ref<TChannel> Play(const Ref<TChannel>& channel) override;
  Ref<TChannel> Cue(const Ref<TChannel>& channel) override;
  // A static buffer filled with the sample, on the started driver's device.
  static Ref<TDirectSoundSound> Create(const Ref<TAudioSample>& sample, int32_t flags);

  int32_t Seq() const { return _seq; }
  Ref<TBuf> Bufs() const { return _bufs; }
  static void Bind(ClassBinder<TDirectSoundSound>& b);
};

class TDirectSoundChannel : public TChannel {
 public:
  VXL_CLASS(TDirectSoundChannel, TChannel)
  float _volume = 1.0f;  // the level's tenth root: 1 - _volume is the cut, in 100 dB units
  float _pan = 0.0f;
  float _rate = 1.0f;
  int32_t _static = 0;
  Ref<TSound> _sound;
  Ref<TBuf> _buf;
  int32_t _seq = 0;  // _buf's _seq when taken: they differ once someone else took it
  int32_t _hertz = 0;
  int32_t _playFlags = 0;

  // Stops a cued or paused buffer, which nothing could start any more.
  ~TDirectSoundChannel() override;
  int32_t Stop() override;
  int32_t SetPaused(int32_t paused) override;
  int32_t SetVolume(float volume) override;
  int32_t SetPan(float pan) override;
  int32_t SetDepth(float depth) override;
  int32_t SetRate(float rate) override;
  // 1 while the channel's buffer is cued, paused or playing.
  int32_t Playing() override;
  // Sets the sound up, paused, on a free buffer of it (a new duplicate if none is free). 1 on
  // success; 0 when no buffer could be had (the channel stays silent).
  virtual int32_t Cue(const Ref<TDirectSoundSound>& sound);
  static Ref<TDirectSoundChannel> Create(int32_t isStatic);

  Ref<TSound> Sound() const { return _sound; }
  Ref<TBuf> Buf() const { return _buf; }
  int32_t Seq() const { return _seq; }
  static void Bind(ClassBinder<TDirectSoundChannel>& b);

 private:
  bool Owned() const;
  void Apply();

  int32_t generation_ = -1;  // the driver generation of the buffer it took
};

class TDirectSoundAudioDriver : public TAudioDriver {
 public:
  VXL_CLASS(TDirectSoundAudioDriver, TAudioDriver)
  String _name;
  int32_t _mode = 0;  // 1: every buffer software-mixed
  platform::dsound::Device* _dsound = nullptr;
  Ref<TBuf> _lonely;  // buffers of deleted sounds, released once silent

  ~TDirectSoundAudioDriver() override;
  String Name() override { return _name; }
  int32_t Startup() override;
  // Every sound and channel made so far goes stale; the device is released.
  int32_t Shutdown() override;
  Ref<TSound> CreateSound(const Ref<TAudioSample>& sample, int32_t flags) override;
  Ref<TChannel> AllocChannel() override;
  static Ref<TDirectSoundAudioDriver> Create(const String& name, int32_t mode);
  // Puts a chain of buffers at the head of the lonely list.
  virtual void AddLonely(const Ref<TBuf>& bufs);
  // Releases the lonely buffers that have fallen silent.
  virtual void FlushLonely();

  Ref<TBuf> Lonely() const { return _lonely; }
  static void Bind(ClassBinder<TDirectSoundAudioDriver>& b);
};

// The driver started last and not shut down since (Null when none), and the generation that
// every Shutdown advances.
Ref<TDirectSoundAudioDriver> StartedDirectSoundDriver();
int32_t DirectSoundGeneration();

// Registers the four classes and the driver "DirectSound".
int InitDirectSoundDriverModule();

}  // namespace vxl
