// The one SDL audio output both native audio devices play through: the default device at 44 100
// Hz, 2 channels, signed 16-bit, pulling blocks from a callback on SDL's audio thread. Private to
// src/platform/audio.
#pragma once

#include <cstdint>

namespace vxl::platform::audio {

class SdlAudioOutput {
 public:
  // Called on SDL's audio thread to fill `bytes` bytes of interleaved 16-bit frames.
  using Fill = void (*)(void* user, uint8_t* out, int32_t bytes);

  SdlAudioOutput() = default;
  SdlAudioOutput(const SdlAudioOutput&) = delete;
  SdlAudioOutput& operator=(const SdlAudioOutput&) = delete;
  ~SdlAudioOutput() { Close(); }

  // Starts SDL's audio subsystem and opens the default device, paused; false when SDL or an audio
  // device is missing. framesPerBlock: the block the callback fills.
  bool Open(Fill fill, void* user, int32_t framesPerBlock);
  // Starts pulling blocks.
  void Start();
  // Runs `fn` while the callback is not running (SDL's device lock).
  template <class F>
  void Locked(F&& fn) {
    Lock();
    fn();
    Unlock();
  }
  // Stops the callback for good, closes the device and stops the subsystem.
  void Close();
  bool IsOpen() const { return device_ != 0; }
  // The frames per block SDL granted.
  int32_t FramesPerBlock() const { return frames_; }

 private:
  void Lock();
  void Unlock();

  uint32_t device_ = 0;
  int32_t frames_ = 0;
};

}  // namespace vxl::platform::audio
