#include "audio/tonmix/dsound_device.h"

#include <algorithm>
#include <cstring>

#include "platform/audio/soft_dsound.h"

namespace vxl::tonmix {

namespace ds = platform::dsound;

namespace {

class SoftDirectSoundPort : public DirectSoundPort {
 public:
  ~SoftDirectSoundPort() override { Release(); }

  int32_t Create(uint32_t bufferBytes, uint32_t stepBytes) override {
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
    secondary.bufferBytes = bufferBytes;
    secondary.format = &format;
    if ((r = device_->CreateSoundBuffer(secondary, &buffer_)) != ds::DS_OK) return r;
    event_ = ds::CreateEvent("SOUNDEVENT", true);
    if (!event_) return ds::DSERR_OUTOFMEMORY;
    event_->Reset();
    uint32_t steps = bufferBytes / stepBytes;
    std::unique_ptr<ds::Notify[]> notify(new ds::Notify[steps]);
    for (uint32_t i = 0; i < steps; ++i)
      notify[i] = {i * stepBytes, event_};
    return buffer_->SetNotificationPositions(steps, notify.get());
  }
  int32_t Lock(uint32_t offset, uint32_t bytes, void** p1, uint32_t* n1, void** p2,
               uint32_t* n2) override {
    return buffer_->Lock(offset, bytes, p1, n1, p2, n2, 0);
  }
  int32_t Unlock(void* p1, uint32_t n1, void* p2, uint32_t n2) override {
    return buffer_->Unlock(p1, n1, p2, n2);
  }
  int32_t Play() override { return buffer_->Play(ds::DSBPLAY_LOOPING); }
  void Stop() override { buffer_->Stop(); }
  uint32_t PlayCursor() override {
    uint32_t play = 0;
    buffer_->GetCurrentPosition(&play, nullptr);
    return play;
  }
  void Wait(int32_t ms) override { event_->Wait(ms); }
  void Wake() override {
    if (event_) event_->Set();
  }
  void Release() override {
    if (buffer_) buffer_->Release();
    if (primary_) primary_->Release();
    if (device_) device_->Release();
    buffer_ = primary_ = nullptr;
    device_ = nullptr;
    event_.reset();
  }

 private:
  ds::Device* device_ = nullptr;
  ds::Buffer* primary_ = nullptr;
  ds::Buffer* buffer_ = nullptr;
  std::shared_ptr<ds::Event> event_;
};

}  // namespace

std::unique_ptr<DirectSoundPort> NewSoftDirectSoundPort() {
  return std::make_unique<SoftDirectSoundPort>();
}

DirectSoundDevice::DirectSoundDevice(std::unique_ptr<DirectSoundPort> port, bool worker)
    : port_(std::move(port)), withWorker_(worker) {}

DirectSoundDevice::~DirectSoundDevice() {
  close();
}

int32_t DirectSoundDevice::open() {
  running_ = 1;
  written_ = wraps_ = 0;
  last_ = 0;
  mixer_ = std::make_unique<mixer>(12288, 44100, 2);
  int32_t r = port_->Create(kBufferBytes, kStep);
  if (r == ds::DS_OK && withWorker_ && !worker_.Start("vxl dsound mix", [this] { Work(); }))
    r = ds::DSERR_OUTOFMEMORY;
  if (r != ds::DS_OK) {
    running_ = 0;
    port_->Release();
    return r;
  }
  return 0;
}

void DirectSoundDevice::close() {
  if (!running_) return;
  running_ = 0;
  port_->Wake();  // the worker looks at running_ now rather than at its next notification
  worker_.Join();
  mixer_->ReleaseAll();
  port_->Release();
}

bool DirectSoundDevice::Prime() {
  void *p1, *p2;
  uint32_t n1, n2;
  if (port_->Lock(0, 4 * kStep, &p1, &n1, &p2, &n2) != ds::DS_OK) return false;
  std::memset(p1, 0, n1);
  if (p2) std::memset(p2, 0, n2);
  port_->Unlock(p1, n1, p2, n2);
  port_->Play();
  return true;
}

bool DirectSoundDevice::Step() {
  uint32_t play = port_->PlayCursor();
  if (play < last_) ++wraps_;
  last_ = play;
  int64_t ahead = int64_t(wraps_ * kBufferBytes + play + 2 * kStep) - int64_t(written_);
  int64_t h = ahead / int64_t(kStep);
  if (h <= 0) return true;
  void *p1, *p2;
  uint32_t n1, n2;
  uint32_t bytes = uint32_t(std::min<int64_t>(h, 2)) * kStep;
  if (port_->Lock(uint32_t(written_ % kBufferBytes), bytes, &p1, &n1, &p2, &n2) != ds::DS_OK)
    return false;
  const uint32_t now = MixerNow();
  mixer_->MixBlock(static_cast<int16_t*>(p1), int32_t(n1 / 2), now);
  if (p2 && n2) mixer_->MixBlock(static_cast<int16_t*>(p2), int32_t(n2 / 2), now);
  if (port_->Unlock(p1, n1, p2, n2) != ds::DS_OK) return false;
  written_ += n1 + n2;
  return true;
}

void DirectSoundDevice::Work() {
  if (!Prime()) return;
  // A second without a notification (the output stalled, the machine was busy or asleep) is no
  // reason to stop feeding the buffer for good: the worker looks again. Only a failing lock or
  // unlock ends it.
  while (running_ && Step())
    port_->Wait(1000);
  port_->Stop();
}

std::unique_ptr<audiodevice> NewDirectSoundDevice() {
  return std::make_unique<DirectSoundDevice>(NewSoftDirectSoundPort());
}

}  // namespace vxl::tonmix
