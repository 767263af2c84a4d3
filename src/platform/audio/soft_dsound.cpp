#include "platform/audio/soft_dsound.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <string>

namespace vxl::platform::dsound {

struct BufferData {
  std::vector<uint8_t> bytes;
  WaveFormat format;
};

// Events ----------------------------------------------------------------------------------------

void Event::Set() {
  std::lock_guard<std::mutex> lock(mutex_);
  signalled_ = true;
  cv_.notify_all();
}

void Event::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  signalled_ = false;
}

bool Event::Wait(int32_t ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!cv_.wait_for(lock, std::chrono::milliseconds(std::max(ms, 0)), [&] { return signalled_; }))
    return false;
  if (autoReset_) signalled_ = false;
  return true;
}

std::shared_ptr<Event> CreateEvent(const char* name, bool autoReset) {
  if (!name || !*name) return std::make_shared<Event>(autoReset);
  static std::mutex mutex;
  static auto* named = new std::map<std::string, std::weak_ptr<Event>>;  // never destroyed
  std::lock_guard<std::mutex> lock(mutex);
  std::weak_ptr<Event>& slot = (*named)[name];
  std::shared_ptr<Event> e = slot.lock();
  if (!e) slot = e = std::make_shared<Event>(autoReset);
  return e;
}

// Buffers ----------------------------------------------------------------------------------------

namespace {

constexpr uint32_t kOutputRate = 44100;

bool ValidFormat(const WaveFormat& f) {
  return f.formatTag == WAVE_FORMAT_PCM && (f.channels == 1 || f.channels == 2) &&
         (f.bitsPerSample == 8 || f.bitsPerSample == 16) &&
         f.blockAlign == f.channels * f.bitsPerSample / 8 && f.samplesPerSec >= DSBFREQUENCY_MIN &&
         f.samplesPerSec <= DSBFREQUENCY_MAX;
}

// 10^(hundredths of a decibel / 2000), by range reduction and a power series: the launcher links
// this code and loads no math library.
double DecibelGain(int32_t hundredths) {
  constexpr double kLn2 = 0.69314718055994530942, kLn10 = 2.30258509299404568402;
  double y = hundredths / 2000.0 * kLn10;
  int n = 0;
  for (; y > 0.5; y -= kLn2)
    ++n;
  for (; y < -0.5; y += kLn2)
    --n;
  double term = 1, sum = 1;
  for (int k = 1; k < 20; ++k) {
    term *= y / k;
    sum += term;
  }
  for (; n > 0; --n)
    sum *= 2;
  for (; n < 0; ++n)
    sum *= 0.5;
  return sum;
}

int32_t Q16(double gain) {
  return static_cast<int32_t>(gain * 65536.0 + 0.5);
}

// One channel value of frame `i` as signed 16-bit.
inline int32_t Value(const uint8_t* frame, int bits, int channel) {
  if (bits == 8) return (int32_t(frame[channel]) - 128) * 256;
  return static_cast<int16_t>(frame[2 * channel] | frame[2 * channel + 1] << 8);
}

}  // namespace

int32_t Buffer::Lock(uint32_t offset, uint32_t bytes, void** part1, uint32_t* bytes1, void** part2,
                     uint32_t* bytes2, uint32_t flags) {
  if (flags_ & DSBCAPS_PRIMARYBUFFER) return DSERR_INVALIDCALL;
  if (!part1 || !bytes1) return DSERR_INVALIDPARAM;
  std::lock_guard<std::mutex> lock(device_->mutex_);
  const uint32_t size = static_cast<uint32_t>(data_->bytes.size());
  if (flags & DSBLOCK_ENTIREBUFFER) {
    offset = 0;
    bytes = size;
  }
  if (offset >= size || bytes == 0 || bytes > size) return DSERR_INVALIDPARAM;
  uint32_t first = std::min(bytes, size - offset);
  locked_.assign(data_->bytes.begin() + offset, data_->bytes.begin() + offset + first);
  locked_.insert(locked_.end(), data_->bytes.begin(), data_->bytes.begin() + (bytes - first));
  lockOffset_ = offset;
  *part1 = locked_.data();
  *bytes1 = first;
  if (part2) *part2 = bytes > first ? locked_.data() + first : nullptr;
  if (bytes2) *bytes2 = bytes - first;
  return DS_OK;
}

int32_t Buffer::Unlock(void* part1, uint32_t bytes1, void* part2, uint32_t bytes2) {
  std::lock_guard<std::mutex> lock(device_->mutex_);
  if (!part1 || part1 != locked_.data() || uint64_t(bytes1) + bytes2 > locked_.size())
    return DSERR_INVALIDPARAM;
  const uint32_t size = static_cast<uint32_t>(data_->bytes.size());
  std::memcpy(data_->bytes.data() + lockOffset_, locked_.data(),
              std::min<uint32_t>(bytes1, size - lockOffset_));
  if (part2 && bytes2) std::memcpy(data_->bytes.data(), locked_.data() + bytes1, bytes2);
  locked_.clear();
  return DS_OK;
}

int32_t Buffer::Play(uint32_t flags) {
  std::lock_guard<std::mutex> lock(device_->mutex_);
  if (flags_ & DSBCAPS_PRIMARYBUFFER) return DS_OK;  // the output always plays
  playing_ = true;
  looping_ = (flags & DSBPLAY_LOOPING) != 0;
  return DS_OK;
}

int32_t Buffer::Stop() {
  std::lock_guard<std::mutex> lock(device_->mutex_);
  playing_ = false;
  return DS_OK;
}

int32_t Buffer::GetCurrentPosition(uint32_t* play, uint32_t* write) {
  std::lock_guard<std::mutex> lock(device_->mutex_);
  if (flags_ & DSBCAPS_PRIMARYBUFFER) return DSERR_INVALIDCALL;
  const WaveFormat& f = data_->format;
  const uint32_t size = static_cast<uint32_t>(data_->bytes.size());
  uint32_t p = static_cast<uint32_t>(cursor_ >> 32) * f.blockAlign;
  if (play) *play = p;
  if (write) {
    // One output block ahead of the play cursor while playing.
    uint32_t rate = frequency_ ? frequency_ : f.samplesPerSec;
    uint64_t ahead =
        playing_ ? uint64_t(device_->output_.FramesPerBlock()) * rate / kOutputRate : 0;
    *write = static_cast<uint32_t>((p + ahead * f.blockAlign) % size);
  }
  return DS_OK;
}

int32_t Buffer::SetCurrentPosition(uint32_t play) {
  std::lock_guard<std::mutex> lock(device_->mutex_);
  if (flags_ & DSBCAPS_PRIMARYBUFFER) return DSERR_INVALIDCALL;
  const uint32_t frames = static_cast<uint32_t>(data_->bytes.size() / data_->format.blockAlign);
  uint32_t frame = play / data_->format.blockAlign;
  if (frame >= frames) return DSERR_INVALIDPARAM;
  cursor_ = uint64_t(frame) << 32;
  return DS_OK;
}

int32_t Buffer::SetVolume(int32_t v) {
  if (v < DSBVOLUME_MIN || v > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
  std::lock_guard<std::mutex> lock(device_->mutex_);
  volume_ = v;
  return DS_OK;
}

int32_t Buffer::GetVolume(int32_t* v) {
  std::lock_guard<std::mutex> lock(device_->mutex_);
  *v = volume_;
  return DS_OK;
}

int32_t Buffer::SetPan(int32_t p) {
  if (p < DSBPAN_LEFT || p > DSBPAN_RIGHT) return DSERR_INVALIDPARAM;
  std::lock_guard<std::mutex> lock(device_->mutex_);
  pan_ = p;
  return DS_OK;
}

int32_t Buffer::GetPan(int32_t* p) {
  std::lock_guard<std::mutex> lock(device_->mutex_);
  *p = pan_;
  return DS_OK;
}

int32_t Buffer::SetFrequency(uint32_t hertz) {
  if (hertz != 0 && (hertz < DSBFREQUENCY_MIN || hertz > DSBFREQUENCY_MAX))
    return DSERR_INVALIDPARAM;
  std::lock_guard<std::mutex> lock(device_->mutex_);
  frequency_ = hertz;
  return DS_OK;
}

int32_t Buffer::GetFrequency(uint32_t* hertz) {
  std::lock_guard<std::mutex> lock(device_->mutex_);
  *hertz = frequency_ ? frequency_ : data_->format.samplesPerSec;
  return DS_OK;
}

int32_t Buffer::GetStatus(uint32_t* status) {
  if (!status) return DSERR_INVALIDPARAM;
  std::lock_guard<std::mutex> lock(device_->mutex_);
  bool primary = flags_ & DSBCAPS_PRIMARYBUFFER;
  *status =
      primary || playing_ ? DSBSTATUS_PLAYING | (primary || looping_ ? DSBSTATUS_LOOPING : 0) : 0;
  return DS_OK;
}

int32_t Buffer::GetFormat(WaveFormat* format) {
  std::lock_guard<std::mutex> lock(device_->mutex_);
  *format = flags_ & DSBCAPS_PRIMARYBUFFER ? device_->primary_ : data_->format;
  return DS_OK;
}

int32_t Buffer::SetFormat(const WaveFormat& format) {
  if (!(flags_ & DSBCAPS_PRIMARYBUFFER)) return DSERR_INVALIDCALL;
  if (!ValidFormat(format)) return DSERR_BADFORMAT;
  std::lock_guard<std::mutex> lock(device_->mutex_);
  device_->primary_ = format;  // the output itself stays 44 100 Hz stereo 16-bit
  return DS_OK;
}

int32_t Buffer::SetNotificationPositions(uint32_t count, const Notify* positions) {
  if (!(flags_ & DSBCAPS_CTRLPOSITIONNOTIFY)) return DSERR_INVALIDCALL;
  std::lock_guard<std::mutex> lock(device_->mutex_);
  if (playing_) return DSERR_INVALIDCALL;
  for (uint32_t i = 0; i < count; ++i) {
    if (positions[i].offset >= data_->bytes.size() || !positions[i].event)
      return DSERR_INVALIDPARAM;
  }
  notify_.assign(positions, positions + count);
  return DS_OK;
}

uint32_t Buffer::AddRef() {
  std::lock_guard<std::mutex> lock(device_->mutex_);
  return ++refs_;
}

uint32_t Buffer::Release() {
  {
    std::lock_guard<std::mutex> lock(device_->mutex_);
    if (--refs_ > 0) return refs_;
  }
  device_->Detach(this);
  delete this;
  return 0;
}

void Buffer::NotifyCrossed(uint32_t from, uint32_t to) {
  for (const Notify& n : notify_) {
    bool crossed =
        from <= to ? (n.offset >= from && n.offset < to) : (n.offset >= from || n.offset < to);
    if (crossed) n.event->Set();
  }
}

void Buffer::MixInto(int32_t* acc, int32_t outFrames) {
  const WaveFormat& f = data_->format;
  const uint8_t* bytes = data_->bytes.data();
  const uint32_t frames = static_cast<uint32_t>(data_->bytes.size() / f.blockAlign);
  if (frames == 0) {
    playing_ = false;
    return;
  }
  const uint32_t rate = frequency_ ? frequency_ : f.samplesPerSec;
  const uint64_t step = (uint64_t(rate) << 32) / kOutputRate;
  const double level = DecibelGain(volume_);
  const int32_t left = Q16(level * (pan_ > 0 ? DecibelGain(-pan_) : 1.0));
  const int32_t right = Q16(level * (pan_ < 0 ? DecibelGain(pan_) : 1.0));
  const int right1 = f.channels == 2 ? 1 : 0;
  const uint32_t startByte = static_cast<uint32_t>(cursor_ >> 32) * f.blockAlign;
  for (int32_t o = 0; o < outFrames; ++o) {
    uint32_t i = static_cast<uint32_t>(cursor_ >> 32);
    uint32_t j = i + 1 < frames ? i + 1 : (looping_ ? 0 : i);
    int32_t frac = static_cast<int32_t>((cursor_ >> 16) & 0xFFFF);
    const uint8_t* a = bytes + size_t(i) * f.blockAlign;
    const uint8_t* b = bytes + size_t(j) * f.blockAlign;
    int32_t l0 = Value(a, f.bitsPerSample, 0), l1 = Value(b, f.bitsPerSample, 0);
    int32_t r0 = Value(a, f.bitsPerSample, right1), r1 = Value(b, f.bitsPerSample, right1);
    int32_t l = l0 + static_cast<int32_t>((int64_t(l1 - l0) * frac) >> 16);
    int32_t r = r0 + static_cast<int32_t>((int64_t(r1 - r0) * frac) >> 16);
    acc[2 * o] += static_cast<int32_t>((int64_t(l) * left) >> 16);
    acc[2 * o + 1] += static_cast<int32_t>((int64_t(r) * right) >> 16);
    cursor_ += step;
    if ((cursor_ >> 32) >= frames) {
      if (!looping_) {
        playing_ = false;
        cursor_ = 0;
        NotifyCrossed(startByte, static_cast<uint32_t>(data_->bytes.size()));
        return;
      }
      cursor_ = (((cursor_ >> 32) % frames) << 32) | (cursor_ & 0xFFFFFFFFu);
    }
  }
  uint32_t endByte = static_cast<uint32_t>(cursor_ >> 32) * f.blockAlign;
  if (outFrames > 0) NotifyCrossed(startByte, endByte == startByte ? startByte : endByte);
}

// Device -----------------------------------------------------------------------------------------

int32_t DirectSoundCreate(Device** out) {
  if (!out) return DSERR_INVALIDPARAM;
  *out = nullptr;
  auto* d = new Device;
  if (!d->output_.Open(&Device::Fill, d, 512)) {
    delete d;
    return DSERR_NODRIVER;
  }
  d->output_.Start();
  *out = d;
  return DS_OK;
}

int32_t Device::SetCooperativeLevel(int32_t) {
  return DS_OK;
}

int32_t Device::GetCaps(Caps* caps) {
  if (!caps) return DSERR_INVALIDPARAM;
  *caps = Caps{};
  return DS_OK;
}

int32_t Device::CreateSoundBuffer(const BufferDesc& desc, Buffer** out) {
  if (!out) return DSERR_INVALIDPARAM;
  *out = nullptr;
  auto data = std::make_shared<BufferData>();
  if (desc.flags & DSBCAPS_PRIMARYBUFFER) {
    if (desc.bufferBytes != 0 || desc.format) return DSERR_INVALIDPARAM;
    data->format = primary_;
  } else {
    if (!desc.format) return DSERR_INVALIDPARAM;
    if (!ValidFormat(*desc.format)) return DSERR_BADFORMAT;
    if (desc.bufferBytes < 4 || desc.bufferBytes > 0x0FFFFFFF) return DSERR_INVALIDPARAM;
    data->format = *desc.format;
    try {
      data->bytes.assign(desc.bufferBytes - desc.bufferBytes % desc.format->blockAlign,
                         desc.format->bitsPerSample == 8 ? 128 : 0);
    } catch (const std::bad_alloc&) {
      return DSERR_OUTOFMEMORY;
    }
  }
  auto* b = new Buffer(this, std::move(data), desc.flags);
  std::lock_guard<std::mutex> lock(mutex_);
  buffers_.push_back(b);
  *out = b;
  return DS_OK;
}

int32_t Device::DuplicateSoundBuffer(Buffer* original, Buffer** out) {
  if (!original || !out || original->device_ != this ||
      (original->flags_ & DSBCAPS_PRIMARYBUFFER)) {
    return DSERR_INVALIDPARAM;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  auto* b = new Buffer(this, original->data_, original->flags_);
  b->volume_ = original->volume_;
  b->pan_ = original->pan_;
  b->frequency_ = original->frequency_;
  buffers_.push_back(b);
  *out = b;
  return DS_OK;
}

void Device::Detach(Buffer* b) {
  bool last;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    buffers_.erase(std::remove(buffers_.begin(), buffers_.end(), b), buffers_.end());
    last = refs_ == 0 && buffers_.empty();
  }
  if (last) delete this;
}

uint32_t Device::Release() {
  bool last;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (--refs_ > 0) return refs_;
    last = buffers_.empty();
  }
  output_.Close();  // waits for a running fill
  if (last) delete this;
  return 0;
}

void Device::Fill(void* p, uint8_t* out, int32_t bytes) {
  auto* d = static_cast<Device*>(p);
  const int32_t frames = bytes / 4;
  std::lock_guard<std::mutex> lock(d->mutex_);
  d->accum_.assign(size_t(frames) * 2, 0);
  for (Buffer* b : d->buffers_) {
    if (b->playing_ && !(b->flags_ & DSBCAPS_PRIMARYBUFFER)) b->MixInto(d->accum_.data(), frames);
  }
  int16_t* o = reinterpret_cast<int16_t*>(out);
  for (int32_t i = 0; i < frames * 2; ++i) {
    o[i] = static_cast<int16_t>(std::clamp(d->accum_[i], -32768, 32767));
  }
}

}  // namespace vxl::platform::dsound
