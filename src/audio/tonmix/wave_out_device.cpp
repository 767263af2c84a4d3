#include "audio/tonmix/wave_out_device.h"

#include <cstdio>
#include <cstring>

#include "platform/timer/periodic_timer.h"

namespace vxl::tonmix {

namespace {

void PrintWriteError() {
  std::printf("waveOutWrite error\n");
  std::fflush(stdout);
}

}  // namespace

WaveOutDevice::WaveOutDevice(std::unique_ptr<platform::audio::WaveOutPort> port, int32_t periodMs)
    : port_(std::move(port)), periodMs_(periodMs) {}

WaveOutDevice::~WaveOutDevice() {
  close();
}

int32_t WaveOutDevice::open() {
  mixer_ = std::make_unique<mixer>(kFragmentValues, 44100, 2);
  if (port_->Open() != 0) return 1;
  open_ = true;
  buffer_ = std::make_unique<int16_t[]>(size_t(kFragments) * kFragmentValues);
  running_ = 1;
  latency_ = 6;
  countdown_ = 0;
  written_ = 0;
  Tick();
  WriteBuffer();
  if (periodMs_ > 0) {
    timer_ = platform::timer::StartPeriodicTimer(periodMs_, &WaveOutDevice::OnTick, this,
                                                 platform::timer::TickMode::kEveryTick);
    if (timer_ == 0) {
      close();
      return 1;
    }
  }
  return 0;
}

void WaveOutDevice::close() {
  running_ = 0;
  if (timer_ != 0) platform::timer::StopPeriodicTimer(timer_);  // waits for a running tick
  timer_ = 0;
  if (mixer_) mixer_->ReleaseAll();
  if (open_) {
    port_->Reset();
    port_->Close();
    buffer_.reset();
    open_ = false;
  }
}

void WaveOutDevice::OnTick(void* self, int32_t) {
  static_cast<WaveOutDevice*>(self)->Tick();
}

const uint8_t* WaveOutDevice::Bytes() const {
  return reinterpret_cast<const uint8_t*>(buffer_.get());
}

uint32_t WaveOutDevice::BufferBytes() const {
  return uint32_t(kFragments) * kFragmentValues * 2;
}

void WaveOutDevice::Silence() {
  std::memset(buffer_.get(), 0, BufferBytes());
}

void WaveOutDevice::WriteBuffer() {
  if (port_->Write(Bytes(), BufferBytes()) != 0) PrintWriteError();
}

void WaveOutDevice::Tick() {
  if (!running_) return;
  if (countdown_ > 0) {
    if (--countdown_ > 0) return;
    WriteBuffer();
  }
  uint32_t played = 0;
  if (port_->GetPosition(&played) != 0 || played > 0x10000000) {
    port_->Reset();
    Silence();
    written_ = 0;
    WriteBuffer();
    return;
  }
  const uint32_t p = played / 2;
  const uint32_t l = uint32_t(kFragmentValues);
  if (p > 0 && written_ < p + 2 * l) {
    // Underrun: silence, restart after 250 ticks with two more fragments of latency.
    port_->Reset();
    Silence();
    countdown_ = 250;
    if (latency_ <= 9) latency_ += 2;
    written_ = 2 * uint32_t(latency_) * l;
    return;
  }
  const uint32_t now = MixerNow();
  while (written_ < p + uint32_t(latency_) * l) {
    mixer_->MixBlock(buffer_.get() + (written_ / l) % kFragments * l, kFragmentValues, now);
    written_ += l;
  }
  port_->MarkWritten();
}

std::unique_ptr<audiodevice> NewWaveOutDevice() {
  return std::make_unique<WaveOutDevice>(std::make_unique<platform::audio::WaveOut>());
}

}  // namespace vxl::tonmix
