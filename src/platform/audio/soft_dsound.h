// A small software DirectSound, mixed into the SDL audio output: sound buffers with lock and
// unlock in two parts, looping or one-shot play, play and write cursors, volume in hundredths of
// a decibel, pan, frequency, status, duplicates sharing their master's memory, and notification
// positions that signal an event when the play cursor passes them.
//
//   Device* ds;
//   if (DirectSoundCreate(&ds) == DS_OK) {
//     Buffer* b;
//     ds->CreateSoundBuffer(desc, &b);
//     void *p1, *p2; uint32_t n1, n2;
//     b->Lock(0, bytes, &p1, &n1, &p2, &n2, 0);   // two parts when the range wraps
//     ...write...
//     b->Unlock(p1, n1, p2, n2);
//     b->Play(DSBPLAY_LOOPING);
//     ...
//     b->Release();
//     ds->Release();                                // closes the output
//   }
//
// Results are DirectSound's: DS_OK (0) or a negative error code. Every operation may be called
// from any thread; the mixing runs on SDL's audio thread. Locked memory is the caller's copy of
// the range until Unlock writes it back, so a writer never races the mixing, and the copying is
// done outside the lock the mixing takes: the audio thread never waits behind a large Lock or
// Unlock. A buffer holds one lock at a time (a second Lock before Unlock is refused). Volume,
// pan, frequency and status are read and set without waiting for the mixing either.
//
// A buffer outliving its device (Release of the device while buffers are held) is silent, and
// every call on it but Release answers DSERR_NODRIVER.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/audio/sdl_audio_output.h"

namespace vxl::platform::dsound {

constexpr int32_t DS_OK = 0;
constexpr int32_t DSERR_INVALIDPARAM = static_cast<int32_t>(0x80070057);
constexpr int32_t DSERR_INVALIDCALL = static_cast<int32_t>(0x88780032);
constexpr int32_t DSERR_NODRIVER = static_cast<int32_t>(0x88780078);
constexpr int32_t DSERR_OUTOFMEMORY = static_cast<int32_t>(0x8007000E);
constexpr int32_t DSERR_BADFORMAT = static_cast<int32_t>(0x88780064);
constexpr int32_t DSERR_CONTROLUNAVAIL = static_cast<int32_t>(0x8878001E);

// Buffer description flags.
constexpr uint32_t DSBCAPS_PRIMARYBUFFER = 0x1;
constexpr uint32_t DSBCAPS_STATIC = 0x2;
constexpr uint32_t DSBCAPS_LOCSOFTWARE = 0x8;
constexpr uint32_t DSBCAPS_CTRLFREQUENCY = 0x20;
constexpr uint32_t DSBCAPS_CTRLPAN = 0x40;
constexpr uint32_t DSBCAPS_CTRLVOLUME = 0x80;
constexpr uint32_t DSBCAPS_CTRLPOSITIONNOTIFY = 0x100;
constexpr uint32_t DSBCAPS_GLOBALFOCUS = 0x8000;
constexpr uint32_t DSBCAPS_GETCURRENTPOSITION2 = 0x10000;
constexpr uint32_t DSBPLAY_LOOPING = 0x1;
constexpr uint32_t DSBSTATUS_PLAYING = 0x1;
constexpr uint32_t DSBSTATUS_LOOPING = 0x4;
constexpr uint32_t DSBLOCK_ENTIREBUFFER = 0x2;
constexpr int32_t DSSCL_PRIORITY = 2;
constexpr int32_t DSBVOLUME_MIN = -10000;
constexpr int32_t DSBVOLUME_MAX = 0;
constexpr int32_t DSBPAN_LEFT = -10000;
constexpr int32_t DSBPAN_RIGHT = 10000;
constexpr uint32_t DSBFREQUENCY_MIN = 100;
constexpr uint32_t DSBFREQUENCY_MAX = 200000;
constexpr uint16_t WAVE_FORMAT_PCM = 1;

struct WaveFormat {
  uint16_t formatTag = WAVE_FORMAT_PCM;
  uint16_t channels = 0;
  uint32_t samplesPerSec = 0;
  uint32_t avgBytesPerSec = 0;
  uint16_t blockAlign = 0;
  uint16_t bitsPerSample = 0;
};

struct BufferDesc {
  uint32_t size = 36;
  uint32_t flags = 0;
  uint32_t bufferBytes = 0;
  const WaveFormat* format = nullptr;  // null for the primary buffer
};

struct Caps {
  uint32_t flags = 0;
  uint32_t minSecondarySampleRate = DSBFREQUENCY_MIN;
  uint32_t maxSecondarySampleRate = DSBFREQUENCY_MAX;
  uint32_t freeHwMixingBuffers = 0;
};

// An auto-resetting (or manual-reset) event, as the notifications signal it.
class Event {
 public:
  explicit Event(bool autoReset = true) : autoReset_(autoReset) {}
  void Set();
  void Reset();
  // True when signalled within `ms` milliseconds (an auto-reset event is then unsignalled again).
  bool Wait(int32_t ms);

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool signalled_ = false;
  bool autoReset_;
};

// The event of a name; events with the same name in one process are one event.
std::shared_ptr<Event> CreateEvent(const char* name, bool autoReset);

struct Notify {
  uint32_t offset = 0;
  std::shared_ptr<Event> event;
};

class Device;
struct BufferData;

class Buffer {
 public:
  // The range from `offset` as one or two parts (two when it wraps past the end). Refused with
  // DSERR_INVALIDCALL while the buffer holds a lock that was not unlocked.
  int32_t Lock(uint32_t offset, uint32_t bytes, void** part1, uint32_t* bytes1, void** part2,
               uint32_t* bytes2, uint32_t flags);
  // Writes back the first bytes1 of part 1 and bytes2 of part 2 and ends the lock.
  int32_t Unlock(void* part1, uint32_t bytes1, void* part2, uint32_t bytes2);
  int32_t Play(uint32_t flags);
  int32_t Stop();
  // The play cursor and the write cursor (where writing is safe from), in bytes.
  int32_t GetCurrentPosition(uint32_t* play, uint32_t* write);
  int32_t SetCurrentPosition(uint32_t play);
  // Setting volume, pan or frequency needs the matching DSBCAPS_CTRL* flag (else
  // DSERR_CONTROLUNAVAIL); a value out of range is refused with DSERR_INVALIDPARAM.
  int32_t SetVolume(int32_t hundredthsDb);  // -10000 .. 0: gain 10^(v / 2000)
  int32_t GetVolume(int32_t* hundredthsDb);
  int32_t SetPan(int32_t pan);  // -10000 left .. 10000 right: the far side cut by |pan| / 100 dB
  int32_t GetPan(int32_t* pan);
  int32_t SetFrequency(uint32_t hertz);  // 100 .. 200 000; 0: the buffer format's rate
  int32_t GetFrequency(uint32_t* hertz);
  int32_t GetStatus(uint32_t* status);  // DSBSTATUS_PLAYING, DSBSTATUS_LOOPING
  int32_t GetFormat(WaveFormat* format);
  int32_t SetFormat(const WaveFormat& format);  // primary buffer only
  int32_t SetNotificationPositions(uint32_t count, const Notify* positions);
  // Drops the reference; the last one frees the buffer (a playing buffer stops).
  uint32_t Release();
  uint32_t AddRef();

 private:
  friend class Device;
  Buffer(Device* device, std::shared_ptr<BufferData> data, uint32_t flags)
      : device_(device), data_(std::move(data)), flags_(flags) {}
  bool Gone() const;
  // Mixing, under the device lock: adds `frames` output frames into acc (left, right).
  void MixInto(int32_t* acc, int32_t frames);
  void NotifyCrossed(uint32_t from, uint32_t to);

  Device* device_;
  std::shared_ptr<BufferData> data_;
  const uint32_t flags_;
  uint32_t refs_ = 1;  // under the device lock
  // Set by callers without waiting for the mixing, read by it once per block.
  std::atomic<bool> playing_{false}, looping_{false};
  std::atomic<int32_t> volume_{0}, pan_{0};
  std::atomic<uint32_t> frequency_{0};
  // The mixing's own: its cursor (32.32 frames, under the device lock) and the gains (1.15) of
  // the volume and pan it last saw.
  uint64_t cursor_ = 0;
  int32_t mixedVolume_ = 1, mixedPan_ = 0;
  int32_t gainLeft_ = 0, gainRight_ = 0;
  std::vector<Notify> notify_;
  // The lock in progress: `locking_` under the device lock; the copy belongs to the holder.
  bool locking_ = false;
  std::vector<uint8_t> locked_;
  uint32_t lockOffset_ = 0, lockFirst_ = 0;
};

class Device {
 public:
  int32_t SetCooperativeLevel(int32_t level);
  int32_t GetCaps(Caps* caps);
  int32_t CreateSoundBuffer(const BufferDesc& desc, Buffer** out);
  // A new buffer playing the same memory with its own cursor and settings.
  int32_t DuplicateSoundBuffer(Buffer* original, Buffer** out);
  // Drops the reference; the last one closes the output (buffers still held become silent).
  uint32_t Release();
  // Mixes `frames` frames of 44 100 Hz stereo 16-bit into `out` now, as the output would: for a
  // device made while SetOfflineOutput(true) was in force, which has no output of its own.
  void Render(int16_t* out, int32_t frames);

 private:
  friend class Buffer;
  friend int32_t DirectSoundCreate(Device** out);
  Device() = default;
  static void Fill(void* self, uint8_t* out, int32_t bytes);
  void Detach(Buffer* b);

  std::mutex mutex_;  // the buffer list, the cursors and the memory each buffer plays
  std::vector<Buffer*> buffers_;
  std::vector<int32_t> accum_;
  WaveFormat primary_{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16};
  uint32_t refs_ = 1;
  std::atomic<bool> released_{false};
  int32_t blockFrames_ = 512;
  audio::SdlAudioOutput output_;
};

// Opens the default output. DSERR_NODRIVER when there is no audio device.
int32_t DirectSoundCreate(Device** out);

// With true, devices created afterwards open no output: they mix only when Device::Render is
// called (offline rendering for measurements and tests). False restores the audio output.
void SetOfflineOutput(bool offline);

}  // namespace vxl::platform::dsound
