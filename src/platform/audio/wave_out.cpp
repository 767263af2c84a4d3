#include "platform/audio/wave_out.h"

#include <algorithm>
#include <cstring>

namespace vxl::platform::audio {

int32_t WaveOut::Open() {
  Close();
  if (!output_.Open(&WaveOut::Fill, this, 512)) return kError;
  output_.Start();
  return 0;
}

void WaveOut::Fill(void* p, uint8_t* out, int32_t bytes) {
  auto* self = static_cast<WaveOut*>(p);
  self->batches_.load(std::memory_order_acquire);  // pairs with MarkWritten
  if (!self->buffer_ || self->size_ < 4) {
    std::memset(out, 0, bytes);
    return;
  }
  for (int32_t done = 0; done < bytes;) {
    uint32_t n = std::min<uint32_t>(bytes - done, self->size_ - self->cursor_);
    std::memcpy(out + done, self->buffer_ + self->cursor_, n);
    done += n;
    self->cursor_ = (self->cursor_ + n) % self->size_;
  }
  self->position_.fetch_add(static_cast<uint32_t>(bytes), std::memory_order_release);
}

int32_t WaveOut::Write(const uint8_t* buffer, uint32_t bytes) {
  if (!output_.IsOpen()) return kError;
  output_.Locked([&] {
    buffer_ = buffer;
    size_ = bytes & ~3u;
    cursor_ = 0;
    position_.store(0, std::memory_order_release);
  });
  return 0;
}

int32_t WaveOut::Reset() {
  if (!output_.IsOpen()) return kError;
  output_.Locked([&] {
    buffer_ = nullptr;
    cursor_ = 0;
    position_.store(0, std::memory_order_release);
  });
  return 0;
}

void WaveOut::MarkWritten() {
  batches_.fetch_add(1, std::memory_order_release);
}

int32_t WaveOut::GetPosition(uint32_t* bytes) {
  if (!output_.IsOpen()) return kError;
  *bytes = position_.load(std::memory_order_acquire);
  return 0;
}

void WaveOut::Close() {
  output_.Close();
  buffer_ = nullptr;
  position_.store(0);
}

}  // namespace vxl::platform::audio
