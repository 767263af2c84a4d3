// The two output devices of the mixer: waveOut (a looping buffer of 32 fragments refilled by a
// 5 ms tick) and DirectSound (a looping secondary buffer refilled by a worker on notifications).
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "audio/tonmix/tonmix.h"
#include "platform/audio/soft_dsound.h"
#include "platform/audio/wave_out.h"

namespace vxl::tonmix {
namespace {

void PrintWriteError() {
  std::printf("waveOutWrite error\n");
  std::fflush(stdout);
}

// A one-shot timer re-armed after every tick, on its own thread; Cancel waits for a running tick.
class TickTimer {
 public:
  template <class F>
  void Start(int32_t ms, F tick) {
    stop_ = false;
    thread_ = std::thread([this, ms, tick] {
      std::unique_lock<std::mutex> lock(mutex_);
      while (!cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop_; })) {
        lock.unlock();
        tick();
        lock.lock();
      }
    });
  }
  void Cancel() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable cv_;
  bool stop_ = false;
};

class winmmdevice : public audiodevice {
 public:
  ~winmmdevice() override { close(); }

  int32_t open() override {
    // This platform answers as Windows NT: fragments of 1024 values.
    fragment_ = 1024;
    mixer_ = std::make_unique<mixer>(fragment_, 44100, 2);
    if (out_.Open() != 0) return 1;
    open_ = true;
    buffer_ = std::make_unique<int16_t[]>(size_t(kFragments) * fragment_);
    running_ = 1;
    latency_ = 6;
    countdown_ = 0;
    written_ = 0;
    Tick();
    if (out_.Write(Bytes(), BufferBytes()) != 0) PrintWriteError();
    timer_.Start(5, [this] { Tick(); });
    return 0;
  }

  void close() override {
    running_ = 0;
    timer_.Cancel();
    if (mixer_) mixer_->ReleaseAll();
    if (open_) {
      out_.Reset();
      out_.Close();
      buffer_.reset();
      open_ = false;
    }
  }

 private:
  static constexpr int32_t kFragments = 32;

  const uint8_t* Bytes() const { return reinterpret_cast<const uint8_t*>(buffer_.get()); }
  uint32_t BufferBytes() const { return uint32_t(kFragments) * fragment_ * 2; }
  void Silence() { std::memset(buffer_.get(), 0, BufferBytes()); }

  // The tick body: keep the buffer `latency_` fragments ahead of the play position.
  void Tick() {
    if (!running_) return;
    if (countdown_ > 0) {
      if (--countdown_ > 0) return;
      if (out_.Write(Bytes(), BufferBytes()) != 0) PrintWriteError();
    }
    uint32_t played = 0;
    if (out_.GetPosition(&played) != 0 || played > 0x10000000) {
      out_.Reset();
      Silence();
      written_ = 0;
      if (out_.Write(Bytes(), BufferBytes()) != 0) PrintWriteError();
      return;
    }
    const uint32_t p = played / 2;
    const uint32_t l = uint32_t(fragment_);
    if (p > 0 && written_ < p + 2 * l) {
      // Underrun: silence, restart after 250 ticks with two more fragments of latency.
      out_.Reset();
      Silence();
      countdown_ = 250;
      if (latency_ <= 9) latency_ += 2;
      written_ = 2 * uint32_t(latency_) * l;
      return;
    }
    const uint32_t now = MixerNow();
    while (written_ < p + uint32_t(latency_) * l) {
      mixer_->MixBlock(buffer_.get() + (written_ / l) % kFragments * l, fragment_, now);
      written_ += l;
    }
    out_.MarkWritten();
  }

  platform::audio::WaveOut out_;
  bool open_ = false;
  int32_t fragment_ = 1024;
  std::unique_ptr<int16_t[]> buffer_;
  std::atomic<int32_t> running_{0};
  int32_t latency_ = 6;
  int32_t countdown_ = 0;
  uint32_t written_ = 0;  // values, cumulative
  TickTimer timer_;
};

namespace ds = platform::dsound;

class dsounddevice : public audiodevice {
 public:
  ~dsounddevice() override { close(); }

  int32_t open() override {
    running_ = 1;
    threadRunning_ = 0;
    mixer_ = std::make_unique<mixer>(12288, 44100, 2);
    int32_t r = Create();
    if (r != ds::DS_OK) {
      running_ = 0;
      Release();
      return r;
    }
    worker_ = std::thread([this] { Work(); });
    return 0;
  }

  void close() override {
    if (!running_) return;
    running_ = 0;
    if (event_) event_->Set();  // wake the worker now rather than at its next notification
    if (worker_.joinable()) worker_.join();
    mixer_->ReleaseAll();
    Release();
  }

 private:
  static constexpr uint32_t kBufferBytes = 32768;
  static constexpr uint32_t kStep = 8192;

  int32_t Create() {
    int32_t r = ds::DirectSoundCreate(&device_);
    if (r != ds::DS_OK) return r;
    if ((r = device_->SetCooperativeLevel(ds::DSSCL_PRIORITY)) != ds::DS_OK) return r;
    ds::Caps caps;
    if ((r = device_->GetCaps(&caps)) != ds::DS_OK) return r;
    ds::BufferDesc primary;
    primary.flags = ds::DSBCAPS_PRIMARYBUFFER;
    if ((r = device_->CreateSoundBuffer(primary, &primary_)) != ds::DS_OK) return r;
    ds::WaveFormat format{ds::WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16};
    if ((r = primary_->SetFormat(format)) != ds::DS_OK) return r;
    ds::BufferDesc secondary;
    secondary.flags =
        ds::DSBCAPS_GETCURRENTPOSITION2 | ds::DSBCAPS_GLOBALFOCUS | ds::DSBCAPS_CTRLPOSITIONNOTIFY;
    secondary.bufferBytes = kBufferBytes;
    secondary.format = &format;
    if ((r = device_->CreateSoundBuffer(secondary, &buffer_)) != ds::DS_OK) return r;
    event_ = ds::CreateEvent("SOUNDEVENT", true);
    if (!event_) return ds::DSERR_OUTOFMEMORY;
    event_->Reset();
    ds::Notify notify[4];
    for (uint32_t i = 0; i < 4; ++i)
      notify[i] = {i * kStep, event_};
    return buffer_->SetNotificationPositions(4, notify);
  }

  void Release() {
    if (buffer_) buffer_->Release();
    if (primary_) primary_->Release();
    if (device_) device_->Release();
    buffer_ = primary_ = nullptr;
    device_ = nullptr;
    event_.reset();
  }

  void Work() {
    void *p1, *p2;
    uint32_t n1, n2;
    if (buffer_->Lock(0, 4 * kStep, &p1, &n1, &p2, &n2, 0) != ds::DS_OK) return;
    std::memset(p1, 0, n1);
    if (p2) std::memset(p2, 0, n2);
    buffer_->Unlock(p1, n1, p2, n2);
    buffer_->Play(ds::DSBPLAY_LOOPING);
    threadRunning_ = 1;
    uint64_t written = 0, wraps = 0;
    uint32_t last = 0;
    while (running_) {
      uint32_t play = 0;
      buffer_->GetCurrentPosition(&play, nullptr);
      if (play < last) ++wraps;
      last = play;
      int64_t ahead = int64_t(wraps * kBufferBytes + play + 2 * kStep) - int64_t(written);
      int64_t h = ahead / int64_t(kStep);
      if (h > 0) {
        uint32_t bytes = uint32_t(std::min<int64_t>(h, 2)) * kStep;
        if (buffer_->Lock(uint32_t(written % kBufferBytes), bytes, &p1, &n1, &p2, &n2, 0) !=
            ds::DS_OK) {
          break;
        }
        const uint32_t now = MixerNow();
        mixer_->MixBlock(static_cast<int16_t*>(p1), int32_t(n1 / 2), now);
        if (p2 && n2) mixer_->MixBlock(static_cast<int16_t*>(p2), int32_t(n2 / 2), now);
        if (buffer_->Unlock(p1, n1, p2, n2) != ds::DS_OK) break;
        written += n1 + n2;
      }
      // A second without a notification (the output stalled, the machine was busy or asleep) is
      // no reason to stop feeding the buffer for good: the worker looks again. Only a failing lock
      // or unlock ends it.
      event_->Wait(1000);
    }
    threadRunning_ = 0;
    buffer_->Stop();
  }

  ds::Device* device_ = nullptr;
  ds::Buffer* primary_ = nullptr;
  ds::Buffer* buffer_ = nullptr;
  std::shared_ptr<ds::Event> event_;
  std::thread worker_;
  std::atomic<int32_t> running_{0}, threadRunning_{0};
};

}  // namespace

std::unique_ptr<audiodevice> NewWaveOutDevice() {
  return std::make_unique<winmmdevice>();
}

std::unique_ptr<audiodevice> NewDirectSoundDevice() {
  return std::make_unique<dsounddevice>();
}

}  // namespace vxl::tonmix
