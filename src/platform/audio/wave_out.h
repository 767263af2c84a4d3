// A waveOut-style output over SDL audio: one caller-owned buffer played in a loop, and the play
// position in bytes, so that a caller can keep writing ahead of what has been played.
//
//   WaveOut out;
//   if (out.Open() == 0) {
//     out.Write(buffer, bytes);          // plays buffer[0..bytes) over and over
//     uint32_t played;
//     out.GetPosition(&played);          // bytes played since the Write
//     ...fill the part of the buffer that plays next...
//     out.Close();
//   }
//
// The format is fixed: 44 100 Hz, 2 channels, signed 16-bit little-endian (4 bytes per frame).
// Call every operation from one thread at a time; the buffer is read on SDL's audio thread while
// it plays, so write only the parts that are not about to play.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/audio/sdl_audio_output.h"

namespace vxl::platform::audio {

// The operations of a waveOut-style output: WaveOut below is the real one; tests drive the
// mixer's waveOut device through their own, with a play position they choose.
class WaveOutPort {
 public:
  // Results: 0 success; kError for a device that cannot open or an operation on a closed device.
  static constexpr int32_t kError = 1;

  virtual ~WaveOutPort() = default;
  // Opens the default output device, silent until Write. kError without an audio device.
  virtual int32_t Open() = 0;
  // Starts playing `bytes` bytes of `buffer` (a whole number of frames) from its start, looping
  // until Reset or Close; the position starts again at 0.
  virtual int32_t Write(const uint8_t* buffer, uint32_t bytes) = 0;
  // Stops playing and sets the position to 0; the output plays silence until the next Write.
  virtual int32_t Reset() = 0;
  // Bytes played since the last Write (or Reset).
  virtual int32_t GetPosition(uint32_t* bytes) = 0;
  // Publishes the caller's writes into the playing buffer so far: the audio thread sees them
  // complete when it reaches them (call after each batch of writes).
  virtual void MarkWritten() = 0;
  // Stops and closes the device.
  virtual void Close() = 0;
};

class WaveOut : public WaveOutPort {
 public:
  ~WaveOut() override { Close(); }
  int32_t Open() override;
  int32_t Write(const uint8_t* buffer, uint32_t bytes) override;
  int32_t Reset() override;
  int32_t GetPosition(uint32_t* bytes) override;
  void MarkWritten() override;
  void Close() override;

 private:
  static void Fill(void* self, uint8_t* out, int32_t bytes);

  SdlAudioOutput output_;
  const uint8_t* buffer_ = nullptr;  // guarded by the output's lock
  uint32_t size_ = 0;
  uint32_t cursor_ = 0;  // audio thread only, reset under the lock
  std::atomic<uint32_t> position_{0};
  std::atomic<uint32_t> batches_{0};
};

}  // namespace vxl::platform::audio
