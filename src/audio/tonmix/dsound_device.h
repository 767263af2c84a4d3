// The mixer's DirectSound device: a looping secondary buffer of four 8192-byte steps with a
// notification at each, kept two steps ahead of the play cursor by a worker thread that wakes on
// every notification (and at least once a second).
//
//   MixerStart(std::make_unique<DirectSoundDevice>(NewSoftDirectSoundPort()));
//
// Tests give their own port (a play cursor they set) and no worker, and call Prime and Step
// themselves: the same code then runs without a sound card or a thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "audio/tonmix/tonmix.h"
#include "platform/thread/thread.h"

namespace vxl::tonmix {

// What the device needs of a DirectSound: one looping secondary buffer (44 100 Hz, 2 channels,
// 16 bits) with notification positions. Results are DirectSound's (0 success).
class DirectSoundPort {
 public:
  virtual ~DirectSoundPort() = default;
  // Opens the output and makes the buffer of `bufferBytes` with a notification every
  // `stepBytes`.
  virtual int32_t Create(uint32_t bufferBytes, uint32_t stepBytes) = 0;
  // The buffer's lock and unlock in two parts, as DirectSound's.
  virtual int32_t Lock(uint32_t offset, uint32_t bytes, void** part1, uint32_t* bytes1,
                       void** part2, uint32_t* bytes2) = 0;
  virtual int32_t Unlock(void* part1, uint32_t bytes1, void* part2, uint32_t bytes2) = 0;
  // Plays the buffer in a loop; stops it.
  virtual int32_t Play() = 0;
  virtual void Stop() = 0;
  // The play cursor in bytes.
  virtual uint32_t PlayCursor() = 0;
  // Waits for the next notification or Wake, at most `ms` milliseconds.
  virtual void Wait(int32_t ms) = 0;
  // Ends a Wait now. Any thread.
  virtual void Wake() = 0;
  // Releases the buffer and the output (also after a failed Create).
  virtual void Release() = 0;
};

// The port over this platform's software DirectSound.
std::unique_ptr<DirectSoundPort> NewSoftDirectSoundPort();

class DirectSoundDevice : public audiodevice {
 public:
  static constexpr uint32_t kBufferBytes = 32768;
  static constexpr uint32_t kStep = 8192;

  // worker: false starts no thread (the owner calls Prime, then Step).
  explicit DirectSoundDevice(std::unique_ptr<DirectSoundPort> port, bool worker = true);
  ~DirectSoundDevice() override;

  int32_t open() override;
  void close() override;

  // Fills the whole buffer with silence and starts it playing; false when the lock fails.
  bool Prime();
  // One refill: up to two steps written where the cursor will reach next, keeping two steps
  // ahead of it. False when a lock or unlock failed (the worker then ends).
  bool Step();

 private:
  void Work();

  std::unique_ptr<DirectSoundPort> port_;
  bool withWorker_;
  platform::thread::Thread worker_;
  std::atomic<int32_t> running_{0};
  uint64_t written_ = 0, wraps_ = 0;
  uint32_t last_ = 0;
};

}  // namespace vxl::tonmix
