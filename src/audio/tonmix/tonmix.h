// The software mixer's native function interface: a started output device, sample data records,
// and channel handles with generation counts.
//
//   MixerStart(NewWaveOutDevice());                 // -1: no device could be opened
//   sampledata* r = MixerCreateSound(frames, 16, 2, 44100, pcm, 0);
//   int32_t ch = MixerAllocChannel();               // slot index | generation
//   MixerSetVolume(ch, 0.5f);                       // kept for the next play on ch
//   MixerPlaySound(r, 0, ch);
//
// Every function that takes a handle does nothing (and answers 0) for a handle that is 0, freed,
// from an earlier start of the mixer, or forged, and while no device is started. Everything here
// runs on the caller's (main) thread; only the device's output thread mixes.
#pragma once

#include <cstdint>
#include <memory>

#include "audio/tonmix/mixer.h"

namespace vxl::tonmix {

// An output device; it owns its mixer, made by open.
class audiodevice {
 public:
  virtual ~audiodevice() = default;
  // 0 when the device is open and being fed by its output thread.
  virtual int32_t open() = 0;
  // Stops the output thread and releases the native output; the mixer's voices are released.
  virtual void close() = 0;
  mixer* Mixer() { return mixer_.get(); }

 protected:
  std::unique_ptr<mixer> mixer_;
};

// The waveOut device (a looping 32-fragment buffer fed every 5 ms) and the DirectSound device (a
// looping secondary buffer fed by a worker on notifications).
std::unique_ptr<audiodevice> NewWaveOutDevice();
std::unique_ptr<audiodevice> NewDirectSoundDevice();

// -1 when the device is missing or does not open (it is then closed); else builds the handle table
// and returns 0. A device started before is stopped first.
int32_t MixerStart(std::unique_ptr<audiodevice> device);
// Frees the handle table, closes and destroys the started device.
void MixerStop();
// A new record with a copy of the frames (loop -1 or 0); null when no device is started or the
// shape is not playable.
sampledata* MixerCreateSound(int32_t length, int32_t bits, int32_t channels, int32_t hertz,
                             const void* data, int32_t loop);
// Drops the caller's reference to a record (also after the mixer stopped).
void MixerFreeSound(sampledata* record);
// A handle from the free list, 0 when none is free or no device is started.
int32_t MixerAllocChannel();
// Returns the handle's slot; its voice plays to its end and is then released (a paused voice,
// which nobody could resume any more, is stopped).
void MixerFreeChannel(int32_t handle);
// Starts the record on a voice (paused when `paused` is 1). Handle 0 takes a fresh handle whose
// voice is released when it ends; a valid handle replaces what it played and lends its settings.
// Returns the handle used; 0 when nothing started (an invalid handle, no free handle, an empty
// record, a full start ring), in which case a fresh handle is given back.
int32_t MixerPlaySound(sampledata* record, int32_t paused, int32_t handle);
void MixerStopChannel(int32_t handle);
void MixerSetPaused(int32_t handle, int32_t paused);
// Values beyond what 4.12 (or 16.16 for the rate) can hold are held at the nearest limit.
void MixerSetVolume(int32_t handle, float volume);
void MixerSetPan(int32_t handle, float pan);
void MixerSetDepth(int32_t handle, float depth);
void MixerSetRate(int32_t handle, float rate);
int32_t MixerChannelStatus(int32_t handle);
int32_t MixerChannelPosition(int32_t handle);

// The mixing clock in milliseconds (the system's monotonic clock). Tests replace it to place
// starts exactly; null restores the system clock.
using Clock = uint32_t (*)();
void SetMixerClock(Clock clock);
uint32_t MixerNow();

}  // namespace vxl::tonmix
