#include "platform/audio/soft_dsound.h"

#include "platform/math/small_math.h"

#include <algorithm>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <bit>
#include <chrono>
#include <cstring>
#include <map>
#include <string>

namespace vxl::platform::dsound {

// The memory a buffer and its duplicates play. An Unlock does not write into the bytes the mixing
// may be reading: it makes the new contents aside and swaps them in under the device lock.
struct BufferData {
  std::shared_ptr<const std::vector<uint8_t>> bytes;  // swapped under the device lock
  uint32_t size = 0;
  WaveFormat format;
  std::mutex writer;  // one Unlock at a time (never taken by the mixing)
};

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

namespace {

constexpr uint32_t kOutputRate = 44100;
std::atomic<bool> offlineOutput{false};

bool ValidFormat(const WaveFormat& f) {
  return f.formatTag == WAVE_FORMAT_PCM && (f.channels == 1 || f.channels == 2) &&
         (f.bitsPerSample == 8 || f.bitsPerSample == 16) &&
         f.blockAlign == f.channels * f.bitsPerSample / 8 && f.samplesPerSec >= DSBFREQUENCY_MIN &&
         f.samplesPerSec <= DSBFREQUENCY_MAX;
}

// 10^(hundredths of a decibel / 2000).
double DecibelGain(int32_t hundredths) {
  constexpr double kLn10 = 2.30258509299404568402;
  return math::Exp(hundredths / 2000.0 * kLn10);
}

// A gain of at most 1 in 1.15 fixed point: 32768 is 1.
int32_t Q15(double gain) {
  return static_cast<int32_t>(gain * 32768.0 + 0.5);
}

static_assert(std::endian::native == std::endian::little, "16-bit data is read in place");

// Channel `c` of a frame as signed 16-bit.
template <int kBits>
inline int32_t Value(const uint8_t* frame, int c) {
  if constexpr (kBits == 8) {
    return (int32_t(frame[c]) - 128) * 256;
  } else {
    int16_t v;
    std::memcpy(&v, frame + 2 * c, 2);
    return v;
  }
}

// Adds `out` frames of one buffer at `cursor` (32.32 frames, advancing by `step`) into acc,
// interpolating linearly toward the next frame (the first one again past the end of a looping
// buffer), at the gains `left` and `right` (1.15 fixed point, at most 1). True when a one-shot
// buffer ran out (the rest of the block is not mixed).
template <int kBits, int kChannels>
bool MixFrames(const uint8_t* bytes, uint32_t frames, bool loop, uint64_t& cursor, uint64_t step,
               int32_t left, int32_t right, int32_t* acc, int32_t out) {
  constexpr int kAlign = kChannels * kBits / 8;
  constexpr int kRight = kChannels - 1;
  const uint64_t end = uint64_t(frames) << 32;
  const uint64_t last = uint64_t(frames - 1) << 32;  // from here the next frame needs a look
  // The interpolated values of the frame at c, whose next frame is j. Both stay within 16 bits.
  auto values = [&](uint64_t c, uint32_t j, int32_t& l, int32_t& r) {
    const uint32_t i = static_cast<uint32_t>(c >> 32);
    const int32_t frac = static_cast<int32_t>((c >> 16) & 0xFFFF);
    const uint8_t* p = bytes + size_t(i) * kAlign;
    const uint8_t* q = bytes + size_t(j) * kAlign;
    int32_t l0 = Value<kBits>(p, 0), l1 = Value<kBits>(q, 0);
    l = l0 + static_cast<int32_t>((int64_t(l1 - l0) * frac) >> 16);
    r = l;
    if constexpr (kRight) {
      int32_t r0 = Value<kBits>(p, kRight), r1 = Value<kBits>(q, kRight);
      r = r0 + static_cast<int32_t>((int64_t(r1 - r0) * frac) >> 16);
    }
  };
  auto next = [](uint64_t c) { return static_cast<uint32_t>(c >> 32) + 1; };
  uint64_t c = cursor;
  int32_t o = 0;
  while (o < out) {
    if (c >= end) {
      if (!loop) {
        cursor = c;
        return true;
      }
      c = (((c >> 32) % frames) << 32) | (c & 0xFFFFFFFFu);
      continue;
    }
    if (c >= last) {  // the last frame: its next one is the first, or itself
      int32_t l, r;
      values(c, loop ? 0 : static_cast<uint32_t>(c >> 32), l, r);
      acc[2 * o] += (l * left) >> 15;
      acc[2 * o + 1] += (r * right) >> 15;
      ++o;
      c += step;
      continue;
    }
    // A run of frames whose next frame is simply the following one.
    const uint64_t before = (last - c + step - 1) / step;
    const int32_t stop = o + static_cast<int32_t>(std::min<uint64_t>(before, uint64_t(out - o)));
#if defined(__SSE2__)
    // Two frames at a time: the four products value x gain with one 16-bit multiply-add (gains
    // below 1 fit 16 bits; the products are the same as below).
    if (left <= 32767 && right <= 32767) {
      const __m128i gains = _mm_set_epi32(right, left, right, left);
      for (; o + 2 <= stop; o += 2, c += 2 * step) {
        int32_t l0, r0, l1, r1;
        values(c, next(c), l0, r0);
        values(c + step, next(c + step), l1, r1);
        const __m128i v = _mm_set_epi32(r1, l1, r0, l0);
        __m128i* a = reinterpret_cast<__m128i*>(acc + 2 * o);
        const __m128i products = _mm_srai_epi32(_mm_madd_epi16(v, gains), 15);
        _mm_storeu_si128(a, _mm_add_epi32(_mm_loadu_si128(a), products));
      }
    }
#endif
    for (; o < stop; ++o, c += step) {
      int32_t l, r;
      values(c, next(c), l, r);
      acc[2 * o] += (l * left) >> 15;
      acc[2 * o + 1] += (r * right) >> 15;
    }
  }
  cursor = c;
  return c >= end && !loop;
}

}  // namespace

bool Buffer::Gone() const {
  return device_->released_.load(std::memory_order_acquire);
}

int32_t Buffer::Lock(uint32_t offset, uint32_t bytes, void** part1, uint32_t* bytes1, void** part2,
                     uint32_t* bytes2, uint32_t flags) {
  if (flags_ & DSBCAPS_PRIMARYBUFFER) return DSERR_INVALIDCALL;
  if (!part1 || !bytes1) return DSERR_INVALIDPARAM;
  if (Gone()) return DSERR_NODRIVER;
  const uint32_t size = data_->size;
  if (flags & DSBLOCK_ENTIREBUFFER) {
    offset = 0;
    bytes = size;
  }
  if (offset >= size || bytes == 0 || bytes > size) return DSERR_INVALIDPARAM;
  std::shared_ptr<const std::vector<uint8_t>> now;
  {
    std::lock_guard<std::mutex> lock(device_->mutex_);
    if (locking_) return DSERR_INVALIDCALL;
    locking_ = true;
    now = data_->bytes;
  }
  // The copy is made outside the device lock: the mixing only ever reads `now`.
  const uint32_t first = std::min(bytes, size - offset);
  locked_.assign(now->begin() + offset, now->begin() + offset + first);
  locked_.insert(locked_.end(), now->begin(), now->begin() + (bytes - first));
  lockOffset_ = offset;
  lockFirst_ = first;
  *part1 = locked_.data();
  *bytes1 = first;
  if (part2) *part2 = bytes > first ? locked_.data() + first : nullptr;
  if (bytes2) *bytes2 = bytes - first;
  return DS_OK;
}

int32_t Buffer::Unlock(void* part1, uint32_t bytes1, void* part2, uint32_t bytes2) {
  {
    std::lock_guard<std::mutex> lock(device_->mutex_);
    if (!locking_) return DSERR_INVALIDCALL;
  }
  // Only the lock's holder gets here: locked_ and the lock's range are its own.
  const uint32_t second = static_cast<uint32_t>(locked_.size()) - lockFirst_;
  if (part1 != locked_.data() || bytes1 > lockFirst_ ||
      (bytes2 && (part2 != locked_.data() + lockFirst_ || bytes2 > second))) {
    return DSERR_INVALIDPARAM;
  }
  std::shared_ptr<const std::vector<uint8_t>> old;  // freed after the device lock is let go
  {
    std::lock_guard<std::mutex> writing(data_->writer);
    const std::vector<uint8_t>& now = *data_->bytes;  // only writers replace it
    std::shared_ptr<std::vector<uint8_t>> next;
    if (lockOffset_ == 0 && bytes1 == data_->size) {
      locked_.resize(bytes1);
      next = std::make_shared<std::vector<uint8_t>>(std::move(locked_));
    } else {
      next = std::make_shared<std::vector<uint8_t>>(now);
      std::memcpy(next->data() + lockOffset_, locked_.data(), bytes1);
      if (bytes2) std::memcpy(next->data(), locked_.data() + lockFirst_, bytes2);
    }
    std::lock_guard<std::mutex> lock(device_->mutex_);
    old = std::move(data_->bytes);
    data_->bytes = std::move(next);
    locking_ = false;
  }
  locked_ = std::vector<uint8_t>();
  return DS_OK;
}

int32_t Buffer::Play(uint32_t flags) {
  if (Gone()) return DSERR_NODRIVER;
  if (flags_ & DSBCAPS_PRIMARYBUFFER) return DS_OK;  // the output always plays
  std::lock_guard<std::mutex> lock(device_->mutex_);
  looping_.store((flags & DSBPLAY_LOOPING) != 0, std::memory_order_relaxed);
  playing_.store(true, std::memory_order_relaxed);
  return DS_OK;
}

int32_t Buffer::Stop() {
  if (Gone()) return DSERR_NODRIVER;
  playing_.store(false, std::memory_order_relaxed);
  return DS_OK;
}

int32_t Buffer::GetCurrentPosition(uint32_t* play, uint32_t* write) {
  if (flags_ & DSBCAPS_PRIMARYBUFFER) return DSERR_INVALIDCALL;
  if (Gone()) return DSERR_NODRIVER;
  std::lock_guard<std::mutex> lock(device_->mutex_);
  const WaveFormat& f = data_->format;
  uint32_t p = static_cast<uint32_t>(cursor_ >> 32) * f.blockAlign;
  if (play) *play = p;
  if (write) {
    // One output block ahead of the play cursor while playing.
    uint32_t freq = frequency_.load(std::memory_order_relaxed);
    uint32_t rate = freq ? freq : f.samplesPerSec;
    uint64_t ahead = playing_.load(std::memory_order_relaxed)
                         ? uint64_t(device_->blockFrames_) * rate / kOutputRate
                         : 0;
    *write = static_cast<uint32_t>((p + ahead * f.blockAlign) % data_->size);
  }
  return DS_OK;
}

int32_t Buffer::SetCurrentPosition(uint32_t play) {
  if (flags_ & DSBCAPS_PRIMARYBUFFER) return DSERR_INVALIDCALL;
  if (Gone()) return DSERR_NODRIVER;
  const uint32_t frames = data_->size / data_->format.blockAlign;
  uint32_t frame = play / data_->format.blockAlign;
  if (frame >= frames) return DSERR_INVALIDPARAM;
  std::lock_guard<std::mutex> lock(device_->mutex_);
  cursor_ = uint64_t(frame) << 32;
  return DS_OK;
}

int32_t Buffer::SetVolume(int32_t v) {
  if (Gone()) return DSERR_NODRIVER;
  if (!(flags_ & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
  if (v < DSBVOLUME_MIN || v > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
  volume_.store(v, std::memory_order_relaxed);
  return DS_OK;
}

int32_t Buffer::GetVolume(int32_t* v) {
  if (!v) return DSERR_INVALIDPARAM;
  if (Gone()) return DSERR_NODRIVER;
  *v = volume_.load(std::memory_order_relaxed);
  return DS_OK;
}

int32_t Buffer::SetPan(int32_t p) {
  if (Gone()) return DSERR_NODRIVER;
  if (!(flags_ & DSBCAPS_CTRLPAN)) return DSERR_CONTROLUNAVAIL;
  if (p < DSBPAN_LEFT || p > DSBPAN_RIGHT) return DSERR_INVALIDPARAM;
  pan_.store(p, std::memory_order_relaxed);
  return DS_OK;
}

int32_t Buffer::GetPan(int32_t* p) {
  if (!p) return DSERR_INVALIDPARAM;
  if (Gone()) return DSERR_NODRIVER;
  *p = pan_.load(std::memory_order_relaxed);
  return DS_OK;
}

int32_t Buffer::SetFrequency(uint32_t hertz) {
  if (Gone()) return DSERR_NODRIVER;
  if (!(flags_ & DSBCAPS_CTRLFREQUENCY)) return DSERR_CONTROLUNAVAIL;
  if (hertz != 0 && (hertz < DSBFREQUENCY_MIN || hertz > DSBFREQUENCY_MAX))
    return DSERR_INVALIDPARAM;
  frequency_.store(hertz, std::memory_order_relaxed);
  return DS_OK;
}

int32_t Buffer::GetFrequency(uint32_t* hertz) {
  if (!hertz) return DSERR_INVALIDPARAM;
  if (Gone()) return DSERR_NODRIVER;
  uint32_t f = frequency_.load(std::memory_order_relaxed);
  *hertz = f ? f : data_->format.samplesPerSec;
  return DS_OK;
}

int32_t Buffer::GetStatus(uint32_t* status) {
  if (!status) return DSERR_INVALIDPARAM;
  if (Gone()) return DSERR_NODRIVER;
  if (flags_ & DSBCAPS_PRIMARYBUFFER) {
    *status = DSBSTATUS_PLAYING | DSBSTATUS_LOOPING;
  } else if (playing_.load(std::memory_order_relaxed)) {
    *status =
        DSBSTATUS_PLAYING | (looping_.load(std::memory_order_relaxed) ? DSBSTATUS_LOOPING : 0);
  } else {
    *status = 0;
  }
  return DS_OK;
}

int32_t Buffer::GetFormat(WaveFormat* format) {
  if (!format) return DSERR_INVALIDPARAM;
  if (Gone()) return DSERR_NODRIVER;
  std::lock_guard<std::mutex> lock(device_->mutex_);
  *format = flags_ & DSBCAPS_PRIMARYBUFFER ? device_->primary_ : data_->format;
  return DS_OK;
}

int32_t Buffer::GetCaps(BufferCaps* caps) {
  if (!caps) return DSERR_INVALIDPARAM;
  if (Gone()) return DSERR_NODRIVER;
  caps->flags = flags_;
  caps->bufferBytes = data_->size;
  return DS_OK;
}

int32_t Buffer::SetFormat(const WaveFormat& format) {
  if (!(flags_ & DSBCAPS_PRIMARYBUFFER)) return DSERR_INVALIDCALL;
  if (Gone()) return DSERR_NODRIVER;
  if (!ValidFormat(format)) return DSERR_BADFORMAT;
  std::lock_guard<std::mutex> lock(device_->mutex_);
  device_->primary_ = format;  // the output itself stays 44 100 Hz stereo 16-bit
  return DS_OK;
}

int32_t Buffer::SetNotificationPositions(uint32_t count, const Notify* positions) {
  if (!(flags_ & DSBCAPS_CTRLPOSITIONNOTIFY)) return DSERR_INVALIDCALL;
  if (Gone()) return DSERR_NODRIVER;
  if (count && !positions) return DSERR_INVALIDPARAM;
  std::lock_guard<std::mutex> lock(device_->mutex_);
  if (playing_.load(std::memory_order_relaxed)) return DSERR_INVALIDCALL;
  for (uint32_t i = 0; i < count; ++i) {
    if (positions[i].offset >= data_->size || !positions[i].event) return DSERR_INVALIDPARAM;
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
  const uint8_t* bytes = data_->bytes->data();
  const uint32_t frames = data_->size / f.blockAlign;
  if (frames == 0) {
    playing_.store(false, std::memory_order_relaxed);
    return;
  }
  const int32_t volume = volume_.load(std::memory_order_relaxed);
  const int32_t pan = pan_.load(std::memory_order_relaxed);
  if (volume != mixedVolume_ || pan != mixedPan_) {
    const double level = DecibelGain(volume);
    gainLeft_ = Q15(level * (pan > 0 ? DecibelGain(-pan) : 1.0));
    gainRight_ = Q15(level * (pan < 0 ? DecibelGain(pan) : 1.0));
    mixedVolume_ = volume;
    mixedPan_ = pan;
  }
  const uint32_t freq = frequency_.load(std::memory_order_relaxed);
  const uint32_t rate = freq ? freq : f.samplesPerSec;
  const uint64_t step = (uint64_t(rate) << 32) / kOutputRate;
  const bool loop = looping_.load(std::memory_order_relaxed);
  const uint32_t startByte = static_cast<uint32_t>(cursor_ >> 32) * f.blockAlign;
  auto mix = [&](auto fn) {
    return fn(bytes, frames, loop, cursor_, step, gainLeft_, gainRight_, acc, outFrames);
  };
  bool ended;
  if (f.bitsPerSample == 8) {
    ended = f.channels == 1 ? mix(MixFrames<8, 1>) : mix(MixFrames<8, 2>);
  } else {
    ended = f.channels == 1 ? mix(MixFrames<16, 1>) : mix(MixFrames<16, 2>);
  }
  if (ended) {
    playing_.store(false, std::memory_order_relaxed);
    cursor_ = 0;
    NotifyCrossed(startByte, data_->size);
    return;
  }
  uint32_t endByte = static_cast<uint32_t>(cursor_ >> 32) * f.blockAlign;
  if (outFrames > 0) NotifyCrossed(startByte, endByte);
}

void SetOfflineOutput(bool offline) {
  offlineOutput.store(offline);
}

int32_t DirectSoundCreate(Device** out) {
  if (!out) return DSERR_INVALIDPARAM;
  *out = nullptr;
  auto* d = new Device;
  if (!offlineOutput.load()) {
    if (!d->output_.Open(&Device::Fill, d, 512)) {
      delete d;
      return DSERR_NODRIVER;
    }
    d->blockFrames_ = d->output_.FramesPerBlock();
    d->output_.Start();
  }
  *out = d;
  return DS_OK;
}

int32_t Device::SetCooperativeLevel(int32_t) {
  return released_ ? DSERR_NODRIVER : DS_OK;
}

int32_t Device::GetCaps(Caps* caps) {
  if (!caps) return DSERR_INVALIDPARAM;
  *caps = Caps{};
  return DS_OK;
}

int32_t Device::CreateSoundBuffer(const BufferDesc& desc, Buffer** out) {
  if (!out) return DSERR_INVALIDPARAM;
  *out = nullptr;
  if (released_) return DSERR_NODRIVER;
  auto data = std::make_shared<BufferData>();
  if (desc.flags & DSBCAPS_PRIMARYBUFFER) {
    if (desc.bufferBytes != 0 || desc.format) return DSERR_INVALIDPARAM;
    data->format = primary_;
    data->bytes = std::make_shared<const std::vector<uint8_t>>();
  } else {
    if (!desc.format) return DSERR_INVALIDPARAM;
    if (!ValidFormat(*desc.format)) return DSERR_BADFORMAT;
    if (desc.bufferBytes < 4 || desc.bufferBytes > 0x0FFFFFFF) return DSERR_INVALIDPARAM;
    data->format = *desc.format;
    data->size = desc.bufferBytes - desc.bufferBytes % desc.format->blockAlign;
    try {
      data->bytes = std::make_shared<const std::vector<uint8_t>>(
          data->size, desc.format->bitsPerSample == 8 ? 128 : 0);
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
  *out = nullptr;
  if (released_) return DSERR_NODRIVER;
  auto* b = new Buffer(this, original->data_, original->flags_);
  b->volume_.store(original->volume_.load());
  b->pan_.store(original->pan_.load());
  b->frequency_.store(original->frequency_.load());
  std::lock_guard<std::mutex> lock(mutex_);
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
    released_ = true;
    for (Buffer* b : buffers_)
      b->playing_.store(false, std::memory_order_relaxed);
  }
  output_.Close();  // waits for a running fill
  if (last) delete this;
  return 0;
}

void Device::Render(int16_t* out, int32_t frames) {
  Fill(this, reinterpret_cast<uint8_t*>(out), frames * 4);
}

void Device::Fill(void* p, uint8_t* out, int32_t bytes) {
  auto* d = static_cast<Device*>(p);
  const int32_t frames = bytes / 4;
  std::lock_guard<std::mutex> lock(d->mutex_);
  d->accum_.assign(size_t(frames) * 2, 0);
  for (Buffer* b : d->buffers_) {
    if (b->playing_.load(std::memory_order_relaxed) && !(b->flags_ & DSBCAPS_PRIMARYBUFFER))
      b->MixInto(d->accum_.data(), frames);
  }
  int16_t* o = reinterpret_cast<int16_t*>(out);
  for (int32_t i = 0; i < frames * 2; ++i) {
    o[i] = static_cast<int16_t>(std::clamp(d->accum_[i], -32768, 32767));
  }
}

}  // namespace vxl::platform::dsound
