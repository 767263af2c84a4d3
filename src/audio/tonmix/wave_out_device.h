// The mixer's waveOut device: a looping buffer of 32 fragments of 1024 values, kept `latency`
// fragments ahead of the play position by a tick every 5 ms on the periodic timer.
//
//   auto device = std::make_unique<WaveOutDevice>(std::make_unique<platform::audio::WaveOut>());
//   MixerStart(std::move(device));
//
// Tests give their own port (a play position they set) and period 0, and call Tick themselves:
// the same code then runs without a sound card or a timer.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "audio/tonmix/tonmix.h"
#include "platform/audio/wave_out.h"

namespace vxl::tonmix {

class WaveOutDevice : public audiodevice {
 public:
  static constexpr int32_t kFragments = 32;
  static constexpr int32_t kFragmentValues = 1024;  // this platform answers as Windows NT

  // periodMs: the refill tick; 0 starts no timer (the owner calls Tick).
  explicit WaveOutDevice(std::unique_ptr<platform::audio::WaveOutPort> port, int32_t periodMs = 5);
  ~WaveOutDevice() override;

  int32_t open() override;
  void close() override;

  // The refill: keeps the buffer `latency` fragments ahead of the play position; after an
  // underrun, plays silence for 250 ticks and comes back with two more fragments of latency (at
  // most 11). Runs on the timer thread, or on the test's.
  void Tick();

 private:
  static void OnTick(void* self, int32_t id);
  const uint8_t* Bytes() const;
  uint32_t BufferBytes() const;
  void Silence();
  void WriteBuffer();

  std::unique_ptr<platform::audio::WaveOutPort> port_;
  int32_t periodMs_;
  int32_t timer_ = 0;
  bool open_ = false;
  std::unique_ptr<int16_t[]> buffer_;
  std::atomic<int32_t> running_{0};
  int32_t latency_ = 6;
  int32_t countdown_ = 0;
  uint32_t written_ = 0;  // values, cumulative
};

}  // namespace vxl::tonmix
