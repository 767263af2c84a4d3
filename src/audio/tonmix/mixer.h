// The mixing engine of the software mixer: sample data records, voices and the mixer that adds
// the playing voices into one 44 100 Hz stereo 16-bit stream, in fixed point only.
//
// Two threads meet here without locks. The caller's thread creates records and voices, sets their
// parameters and queues starts; the output thread mixes blocks. They exchange voices through two
// single-producer single-consumer rings (starts: caller to output; releases: output to caller),
// and every value both sides touch is an atomic word (relaxed where a late value is harmless).
//
//   mixer m(1024, 44100, 2);
//   sound* v = m.TakeVoice(nullptr);        // caller's thread
//   m.StartVoice(v, record, 2, nowMs);      // queued: heard 20 ms after nowMs on the mixing clock
//   m.MixBlock(out, 1024, clockMs);         // output thread: 512 frames into out
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace vxl::tonmix {

// A block of PCM ready for mixing, shared by the voices that play it. The allocation holds one
// guard frame after the last (the first frame again for a looping record, else the last frame),
// so interpolation may always read one frame ahead.
struct sampledata {
  int32_t hertz = 0;
  int32_t channels = 0;  // 1 or 2
  int32_t bits = 0;      // 8 (unsigned, silence 128) or 16 (signed little-endian)
  int32_t bytesPerFrame = 0;
  int32_t length = 0;  // frames
  int32_t dataSize = 0;
  int32_t writeCursor = 0;       // frames copied in so far
  std::atomic<int32_t> refs{1};  // the owner's, plus one per voice playing it
  int32_t loop = 0;              // 0 or -1
  uint8_t* data = nullptr;
  uint8_t* write = nullptr;
  int32_t owned = 0;  // bytes allocated, 0 when the memory is the caller's
};

// A new record holding a copy of `length` frames; null for a shape the mixer cannot play
// (bits other than 8 or 16, channels other than 1 or 2, a negative length, or too large).
sampledata* NewSampleData(int32_t length, int32_t bits, int32_t channels, int32_t hertz,
                          const void* data, int32_t loop);
// Drops one reference; the last one frees the record. Safe from either thread.
void ReleaseSampleData(sampledata* record);

// Anything with playback parameters: rate 16.16 (0x10000 = 1.0), volume, pan and depth 4.12
// (4096 = 1.0; pan -4096 left .. +4096 right). Getters take 1 for the target, 0 for the current
// value.
class output {
 public:
  virtual ~output() = default;
  virtual void SetRate(int32_t) {}
  virtual void SetVolume(int16_t) {}
  virtual void SetPan(int16_t) {}
  virtual void SetDepth(int16_t) {}
  virtual int32_t GetRate(int32_t) { return 0x10000; }
  virtual int16_t GetVolume(int32_t) { return 4096; }
  virtual int16_t GetPan(int32_t) { return 0; }
  virtual int16_t GetDepth(int32_t) { return 0; }
  virtual int32_t Position() { return 0; }
};

class mixer;

// Voice status words.
constexpr int32_t kReleased = 0;
constexpr int32_t kStopped = 1;
constexpr int32_t kPlayingOnce = 2;
constexpr int32_t kPlayingLoop = 4;
constexpr int32_t kPaused = 0x10;

// One voice: a record being played.
class sound : public output {
 public:
  explicit sound(mixer* owner) : owner(owner) {}

  // Setters write the target, and also the current rate, volume and pan while paused.
  void SetRate(int32_t rate) override;
  void SetVolume(int16_t volume) override;
  void SetPan(int16_t pan) override;
  void SetDepth(int16_t depth) override;
  int32_t GetRate(int32_t target) override;
  int16_t GetVolume(int32_t target) override;
  int16_t GetPan(int32_t target) override;
  int16_t GetDepth(int32_t target) override;
  // Frames played since the start, loops included.
  int32_t Position() override;

  mixer* owner;
  std::atomic<int32_t> status{kStopped};
  int32_t handle = 0;  // caller's thread only
  std::atomic<int32_t> autoRelease{0};
  sound* next = nullptr;  // output thread only, while in the active list
  sampledata* data = nullptr;
  int32_t channels = 0;               // the record's, kept for Position after the record is gone
  std::atomic<uint64_t> position{0};  // 32.32 in sample values (channels per frame)
  std::atomic<uint64_t> total{0};     // the same, never wrapped at the end
  std::atomic<int32_t> rate{0x10000}, targetRate{0x10000};
  std::atomic<int16_t> volume{4096}, targetVolume{4096};
  std::atomic<int16_t> pan{0}, targetPan{0};
  std::atomic<int16_t> depth{0}, targetDepth{0};
  uint32_t startTime = 0;  // milliseconds at the play call
  int32_t startDelay = 0;  // output frames still to wait
  // Output thread: the step last found, and the rate and shapes it was found for.
  uint64_t stepValue = 0;
  int32_t stepRate = -1, stepHertz = 0, stepChannels = 0, stepOutputRate = 0;
  // Caller's thread only: the voice went to the start ring and belongs to the output thread until
  // it comes back through the release ring.
  bool started = false;
};

constexpr int32_t kRingSize = 4096;

class mixer : public output {
 public:
  // fragmentLength: the largest block, in 16-bit output values.
  mixer(int32_t fragmentLength, int32_t outputRate, int32_t outputChannels);
  ~mixer() override;

  // Caller's thread. A voice from the release ring, the spare list or a new one, with the
  // template's target rate, volume, pan and depth (defaults without a template) as both current
  // and target values. `reused` receives the handle the reused voice still recorded (0 if none).
  sound* TakeVoice(sound* templ, int32_t* reused = nullptr);
  // Caller's thread. Queues the voice on the start ring with the record and status; false (the
  // voice untouched) when the record is null or empty, the output rate is 0, or the ring is full.
  bool StartVoice(sound* voice, sampledata* record, int32_t status, uint32_t nowMs);
  // Caller's thread: keeps a voice that never went to the output thread for reuse.
  void Recycle(sound* voice);
  // Caller's thread: true while voices released by the output thread wait to be taken.
  bool HasReleasedVoice() const {
    return releaseRead_.load(std::memory_order_relaxed) !=
           releaseWrite_.load(std::memory_order_acquire);
  }

  // Output thread. Mixes count / 2 frames into out (count 16-bit values, two per frame).
  void MixBlock(int16_t* out, int32_t count, uint32_t nowMs);
  // Output thread, once stopped: releases every voice of the active list and the start ring.
  void ReleaseAll();

  int32_t fragmentLength;
  int32_t outputRate;
  int32_t outputChannels;

 private:
  void MixPiece(int16_t* out, int32_t count, uint32_t nowMs);
  void ReleaseVoice(sound* v);

  std::unique_ptr<int32_t[]> accum_;
  sound* active_ = nullptr;
  std::atomic<uint32_t> startRead_{0}, startWrite_{0};
  sound* startRing_[kRingSize] = {};
  std::atomic<uint32_t> releaseRead_{0}, releaseWrite_{0};
  sound* releaseRing_[kRingSize] = {};
  std::vector<sound*> releaseOverflow_;      // output thread: releases waiting for ring space
  std::vector<sound*> spare_;                // caller's thread: voices never started
  std::vector<std::unique_ptr<sound>> all_;  // caller's thread: every voice, owned
};

// Mixes one voice for `frames` frames into `accum` (two 32-bit values per frame): -1 released,
// -2 paused, 0 mixed or waiting, 1 finished or stopped. Exposed for the tests' reference check.
int32_t MixVoice(sound& v, int32_t* accum, int32_t frames, int32_t outputRate);

}  // namespace vxl::tonmix
