#include "audio/tonmix/tonmix.h"

#include <algorithm>
#include <atomic>

#include "runtime/clock.h"
#include "runtime/never_destroyed.h"

namespace vxl::tonmix {
namespace {

constexpr int32_t kSlots = 4096;
constexpr uint32_t kSlotMask = kSlots - 1;

// Channel handles: slot index in the low 12 bits, the slot's generation above. Slot 0 heads the
// free list and is never handed out.
struct HandleTable {
  explicit HandleTable(uint32_t firstGeneration) {
    for (int32_t i = 0; i < kSlots; ++i) {
      voice[i] = nullptr;
      link[i] = i + 1 < kSlots ? i + 1 : 0;
      generation[i] = firstGeneration;
      used[i] = false;
    }
  }
  sound* voice[kSlots];
  uint32_t link[kSlots];
  uint32_t generation[kSlots];
  bool used[kSlots];  // handed out and not freed: a freed slot's old handle stays invalid
};

struct State {
  std::unique_ptr<audiodevice> device;
  std::unique_ptr<HandleTable> table;
  // Generations continue across starts, so a handle kept from an earlier start never matches.
  uint32_t nextGeneration = 4096;
  std::atomic<Clock> clock{nullptr};
};

State& MixerState() {
  static NeverDestroyed<State> state;
  return *state;
}

mixer* Mix() {
  State& s = MixerState();
  return s.device && s.table ? s.device->Mixer() : nullptr;
}

bool Valid(int32_t handle) {
  HandleTable* t = MixerState().table.get();
  if (!t || handle == 0 || !MixerState().device) return false;
  uint32_t h = static_cast<uint32_t>(handle), slot = h & kSlotMask;
  return slot != 0 && t->used[slot] && (h & ~kSlotMask) == t->generation[slot];
}

void FreeSlot(uint32_t slot) {
  HandleTable& t = *MixerState().table;
  t.voice[slot] = nullptr;
  t.used[slot] = false;
  t.link[slot] = t.link[0];
  t.link[0] = slot;
}

// A voice taken from the mixer. A reused voice that still stands in the slot of the handle it
// recorded gives that slot back, unless that is the handle being played on now.
sound* Take(sound* templ, int32_t keepHandle) {
  int32_t recorded = 0;
  sound* v = Mix()->TakeVoice(templ, &recorded);
  if (recorded && recorded != keepHandle && Valid(recorded) &&
      MixerState().table->voice[recorded & kSlotMask] == v) {
    FreeSlot(recorded & kSlotMask);
  }
  return v;
}

// A voice that ended comes back from the output thread still holding the slot of a play without
// a channel; taking it for a new play gives that slot back. With every slot in use no play gets
// that far, so a handle request that finds none free first takes back the ended voices' slots.
void ReclaimEndedSlots() {
  mixer* m = Mix();
  while (m->HasReleasedVoice())
    m->Recycle(Take(nullptr, 0));
}

// The voice in a valid handle's slot, made (with default settings) when the slot has none yet.
sound* SlotVoice(int32_t handle) {
  uint32_t slot = static_cast<uint32_t>(handle) & kSlotMask;
  sound*& v = MixerState().table->voice[slot];
  if (!v) {
    v = Take(nullptr, handle);
    v->handle = handle;
  }
  return v;
}

// Lets a voice go: one the output thread has plays out and is released there; one that never
// started is kept for reuse at once.
void Detach(sound* v) {
  if (!v->started) {
    Mix()->Recycle(v);
    return;
  }
  v->autoRelease.store(1, std::memory_order_relaxed);
}

// Sets status 1 on a voice that is not released.
void MarkStopped(sound* v) {
  int32_t s = v->status.load(std::memory_order_relaxed);
  while (s != kReleased && !v->status.compare_exchange_weak(s, kStopped)) {
  }
}

int16_t Fixed412(float x) {
  float v = x * 4096.0f;
  if (!(v == v)) return 0;
  return static_cast<int16_t>(std::clamp(v, -32768.0f, 32767.0f));
}

int32_t Fixed1616(float x) {
  float v = x * 65536.0f;
  if (!(v == v)) return 0;
  if (v >= 2147483520.0f) return 0x7FFFFFFF;
  if (v <= -2147483648.0f) return INT32_MIN;
  return static_cast<int32_t>(v);
}

uint32_t SystemClock() {
  return MillisecondTimer();
}

}  // namespace

void SetMixerClock(Clock clock) {
  MixerState().clock.store(clock);
}

uint32_t MixerNow() {
  Clock c = MixerState().clock.load();
  return c ? c() : SystemClock();
}

int32_t MixerStart(std::unique_ptr<audiodevice> device) {
  MixerStop();
  if (!device) return -1;
  if (device->open() != 0) {
    device->close();
    return -1;
  }
  State& s = MixerState();
  s.device = std::move(device);
  s.table = std::make_unique<HandleTable>(s.nextGeneration);
  return 0;
}

void MixerStop() {
  State& s = MixerState();
  if (s.table) {
    uint32_t highest = 0;
    for (uint32_t g : s.table->generation)
      highest = std::max(highest, g);
    s.nextGeneration = highest + kSlots;
    if (s.nextGeneration == 0) s.nextGeneration = kSlots;
  }
  s.table.reset();
  if (s.device) {
    s.device->close();
    s.device.reset();
  }
}

sampledata* MixerCreateSound(int32_t length, int32_t bits, int32_t channels, int32_t hertz,
                             const void* data, int32_t loop) {
  if (!MixerState().table) return nullptr;
  return NewSampleData(length, bits, channels, hertz, data, loop);
}

void MixerFreeSound(sampledata* record) {
  ReleaseSampleData(record);
}

int32_t MixerAllocChannel() {
  if (!Mix()) return 0;
  HandleTable& t = *MixerState().table;
  if (t.link[0] == 0) ReclaimEndedSlots();
  uint32_t slot = t.link[0];
  if (slot == 0) return 0;
  t.link[0] = t.link[slot];
  t.generation[slot] += kSlots;
  if (t.generation[slot] == 0) t.generation[slot] = kSlots;  // handle 0 means none
  t.used[slot] = true;
  t.voice[slot] = nullptr;
  return static_cast<int32_t>(slot | t.generation[slot]);
}

void MixerFreeChannel(int32_t handle) {
  if (!Valid(handle)) return;
  uint32_t slot = static_cast<uint32_t>(handle) & kSlotMask;
  if (sound* v = MixerState().table->voice[slot]) {
    if (v->started && (v->status.load(std::memory_order_relaxed) & kPaused)) MarkStopped(v);
    Detach(v);
  }
  FreeSlot(slot);
}

int32_t MixerPlaySound(sampledata* record, int32_t paused, int32_t handle) {
  mixer* m = Mix();
  if (!m || !record) return handle;
  sound* templ = nullptr;
  bool fresh = false;
  if (handle != 0) {
    if (!Valid(handle)) return 0;  // a stale or forged handle starts nothing
    templ = SlotVoice(handle);
  } else {
    // Without a free handle nothing starts: a voice no handle reaches could never be stopped.
    handle = MixerAllocChannel();
    if (handle == 0) return 0;
    fresh = true;
  }
  int32_t status = (record->loop ? kPlayingLoop : kPlayingOnce) | (paused ? kPaused : 0);
  sound* v = Take(templ, handle);
  // The voice may be the slot's own: one that ended and was released while its handle stayed
  // valid comes back from the release ring. It must neither be stopped as the old voice nor
  // recycled while the slot still refers to it.
  sound*& slotVoice = MixerState().table->voice[static_cast<uint32_t>(handle) & kSlotMask];
  if (!m->StartVoice(v, record, status, MixerNow())) {
    if (v != slotVoice) m->Recycle(v);
    if (fresh) FreeSlot(static_cast<uint32_t>(handle) & kSlotMask);
    return 0;
  }
  if (sound* old = slotVoice; old && old != v) {
    if (old->started) MarkStopped(old);
    Detach(old);
  }
  slotVoice = v;
  v->handle = handle;
  v->autoRelease.store(templ ? 0 : 1, std::memory_order_relaxed);
  return handle;
}

void MixerStopChannel(int32_t handle) {
  if (!Valid(handle)) return;
  if (sound* v = MixerState().table->voice[static_cast<uint32_t>(handle) & kSlotMask]) {
    v->autoRelease.store(1, std::memory_order_relaxed);
    MarkStopped(v);
  }
  MixerFreeChannel(handle);
}

void MixerSetPaused(int32_t handle, int32_t paused) {
  if (!Valid(handle)) return;
  sound* v = SlotVoice(handle);
  int32_t s = v->status.load(std::memory_order_relaxed);
  // Only a playing voice pauses or resumes; a finished or released one stays as it is.
  while ((s & ~kPaused) == kPlayingOnce || (s & ~kPaused) == kPlayingLoop) {
    int32_t want = paused ? (s | kPaused) : (s & ~kPaused);
    if (v->status.compare_exchange_weak(s, want)) break;
  }
}

void MixerSetVolume(int32_t handle, float volume) {
  if (Valid(handle)) SlotVoice(handle)->SetVolume(Fixed412(volume));
}
void MixerSetPan(int32_t handle, float pan) {
  if (Valid(handle)) SlotVoice(handle)->SetPan(Fixed412(pan));
}
void MixerSetDepth(int32_t handle, float depth) {
  if (Valid(handle)) SlotVoice(handle)->SetDepth(Fixed412(depth));
}
void MixerSetRate(int32_t handle, float rate) {
  if (Valid(handle)) SlotVoice(handle)->SetRate(Fixed1616(rate));
}

int32_t MixerChannelStatus(int32_t handle) {
  return Valid(handle) ? SlotVoice(handle)->status.load(std::memory_order_relaxed) : 0;
}

int32_t MixerChannelPosition(int32_t handle) {
  return Valid(handle) ? SlotVoice(handle)->Position() : 0;
}

}  // namespace vxl::tonmix
