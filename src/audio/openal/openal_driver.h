// The OpenAL drivers: "OpenAL" on the default device, and, once EnableOpenALDevices was called,
// "OpenAL <device>" for each device OpenAL names and "OpenAL Default". Every sound is one OpenAL
// buffer; channels play on sources taken from a pool, so the mixing is OpenAL's own.
//
//   if (HasAudioDriver(String("OpenAL")) && SelectAudioDriver(String("OpenAL"))) {
//     Ref<TChannel> ch = LoadAudioSound(String("hit.ogg"), 0)->Play(nullptr);
//     ch->SetPan(-1);   // the source moves to (-1, 0, 0), relative to the listener
//   }
//
// The library is found at start-up and loaded by the first call that needs it; when it is missing
// no driver registers, and the bound entry points raise TNullFunctionException. Sources and sounds
// carry the generation of the driver start they belong to: after a Shutdown, what was made
// before neither plays nor deletes anything of the next start.
#pragma once

#include "audio/audio_driver.h"

namespace vxl {

class TOpenALSound;

// An OpenAL source, in the free pool or owned by a channel.
class TOpenALSource : public Object {
 public:
  VXL_CLASS(TOpenALSource, Object)
  Ref<TOpenALSource> _succ;  // next in the free pool
  uint32_t _id = 0;          // the OpenAL source name, 0 when none could be made
  int32_t _seq = 0;          // bumped whenever a channel takes it or lets it go for good
  Ref<TOpenALSound> _sound;  // the sound last attached

  virtual int32_t Playing();
  virtual int32_t Paused();
  // Playing, paused, or cued and not yet started, stopped or given up.
  virtual int32_t Active();

  int32_t Id() const { return static_cast<int32_t>(_id); }
  int32_t Seq() const { return _seq; }
  Ref<TOpenALSource> Succ() const { return _succ; }
  Ref<TOpenALSound> Sound() const { return _sound; }
  static void Bind(ClassBinder<TOpenALSource>& b);

 private:
  friend class TOpenALChannel;
  friend class TOpenALAudioDriver;
  bool Current() const;
  // Detaches the sound's buffer from the source, then lets the sound go.
  void DropSound();

  int32_t generation_ = -1;
  bool cued_ = false;
};

class TOpenALSound : public TSound {
 public:
  VXL_CLASS(TOpenALSound, TSound)
  uint32_t _buffer = 0;  // the OpenAL buffer name
  int32_t _loop = 0;

  // Deletes the buffer, unless the sound is from before the driver's last Shutdown.
  ~TOpenALSound() override;
  Ref<TChannel> Play(const Ref<TChannel>& channel) override;
  Ref<TChannel> Cue(const Ref<TChannel>& channel) override;
  static Ref<TOpenALSound> Create(const Ref<TAudioSample>& sample, int32_t flags);

  int32_t Buffer() const { return static_cast<int32_t>(_buffer); }
  static void Bind(ClassBinder<TOpenALSound>& b);

 private:
  friend class TOpenALChannel;
  int32_t generation_ = -1;
};

class TOpenALChannel : public TChannel {
 public:
  VXL_CLASS(TOpenALChannel, TChannel)
  Ref<TOpenALSource> _source;
  int32_t _seq = 0;     // _source's _seq when taken: they differ once the channel is inert
  int32_t _static = 0;  // 1 for channels from AllocChannel, which keep their source

  // A cued or paused source is stopped; a static channel's source goes back to the pool.
  ~TOpenALChannel() override;
  int32_t Stop() override;
  int32_t SetPaused(int32_t paused) override;
  int32_t SetVolume(float volume) override;
  int32_t SetPan(float pan) override;
  int32_t SetDepth(float depth) override;
  int32_t SetRate(float rate) override;
  int32_t Playing() override;
  // Sets the sound up on the channel's source, stopped; 1 when the channel owns its source.
  virtual int32_t Cue(const Ref<TOpenALSound>& sound);
  static Ref<TOpenALChannel> Create(int32_t isStatic);

  Ref<TOpenALSource> Source() const { return _source; }
  int32_t Seq() const { return _seq; }
  int32_t Static() const { return _static; }
  static void Bind(ClassBinder<TOpenALChannel>& b);

 private:
  bool Owned() const;
};

class TOpenALAudioDriver : public TAudioDriver {
 public:
  VXL_CLASS(TOpenALAudioDriver, TAudioDriver)
  String _name;
  String _devname;           // "" for the default device
  void* _device = nullptr;   // the OpenAL device while started
  void* _context = nullptr;  // its context, made current by Startup

  String Name() override { return _name; }
  // Loads the library on first use; 0 when it is missing or no device or context opens.
  int32_t Startup() override;
  int32_t Shutdown() override;
  Ref<TSound> CreateSound(const Ref<TAudioSample>& sample, int32_t flags) override;
  Ref<TChannel> AllocChannel() override;
  static Ref<TOpenALAudioDriver> Create(const String& name, const String& devname);

  static void Bind(ClassBinder<TOpenALAudioDriver>& b);
};

// Registers a driver for each OpenAL device (at most 100) and "OpenAL Default", the first time;
// 1 when OpenAL is there, else 0. Later calls give the first result.
int32_t EnableOpenALDevices();

// The OpenAL binding (finds the library, binds the missing-function stub's error) and the driver
// module (its classes, and "OpenAL" when the library is there).
int InitOpenALBindingModule();
int InitOpenALDriverModule();

}  // namespace vxl
