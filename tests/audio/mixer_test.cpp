// The mixing engine against a plain reference mixer written from the formulas, and the native
// function interface on exact output values (a device that mixes only when the test asks).
#include "audio/tonmix/mixer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "audio/tonmix/tonmix.h"
#include "audio/tonmix/tonmix_driver.h"
#include "runtime/cpu_features.h"

namespace vxl::tonmix {
namespace {

// The reference: one frame at a time, every rule spelled out, no shortcuts

struct RefVoice {
  int32_t status, delay;
  int32_t rate, targetRate;
  int32_t volume, targetVolume, targetPan, targetDepth;
  uint64_t pos = 0, total = 0;
  const sampledata* d;
};

int32_t RefSample(const sampledata& d, uint64_t pos, int channel) {
  uint64_t ip = pos >> 32;
  int64_t frac = (pos >> 16) & 0xFFFF;
  uint64_t i = ip;
  if (d.channels == 2) {
    i = (ip & ~uint64_t{1}) + channel;
    frac = (int64_t(ip & 1) * 65536 + frac) / 2;
  }
  uint64_t next = i + d.channels;
  if (d.bits == 8) {
    int64_t a = d.data[i], b = d.data[next];
    return int32_t(a * 256 - 32768 + (((b - a) * frac) >> 8));
  }
  auto w = [&](uint64_t k) { return int64_t(int16_t(d.data[2 * k] | d.data[2 * k + 1] << 8)); };
  return int32_t(w(i) + (((w(next) - w(i)) * frac) >> 16));
}

int64_t RefStep(int32_t rate, const sampledata& d) {
  int64_t s = int64_t(std::max(rate, 0)) * d.hertz / 44100;
  return (std::min<int64_t>(s, 0x7FFFFFFF) * d.channels) << 16;
}

int32_t RefMix(RefVoice& v, std::vector<int64_t>& acc, int32_t frames) {
  if (v.status == 1) return 1;
  if (v.status & 0x10) return -2;
  if (v.status == 0) return -1;
  int32_t first = 0;
  if (v.delay >= frames) {
    v.delay -= frames;
    return 0;
  }
  first = v.delay;
  frames -= v.delay;
  v.delay = 0;
  const sampledata& d = *v.d;
  int64_t step = RefStep(v.rate, d), target = RefStep(v.targetRate, d);
  int64_t v0 = v.volume, v1 = v.targetVolume, pan = v.targetPan;
  uint64_t end = uint64_t(d.channels) * d.length;
  bool ramp = step != target || v0 != v1;
  if (!ramp && v1 == 0) {
    v.volume = 0;
    v.pos += uint64_t(frames * step);
    v.total += uint64_t(frames * step);
    while ((v.pos >> 32) >= end) {
      if (!(v.status & 4)) return 1;
      v.pos -= end << 32;
    }
    return 0;
  }
  int64_t stepInc = (target - step) / frames;
  int64_t vol = v0 * 256, volInc = (v1 - v0) * 256 / frames;
  if (ramp) {
    v.volume = v.targetVolume;
    v.rate = v.targetRate;
  }
  for (int32_t f = 0; f < frames; ++f) {
    int64_t g = ramp ? vol >> 8 : v0;
    int64_t left = pan > 0 ? (g * (4096 - pan)) >> 12 : g;
    int64_t right = pan < 0 ? (g * (pan + 4096)) >> 12 : g;
    if (v.targetDepth < 0) right = -right;
    int64_t sl = RefSample(d, v.pos, 0), sr = d.channels == 2 ? RefSample(d, v.pos, 1) : sl;
    acc[2 * (first + f)] += (sl * left) >> 8;
    acc[2 * (first + f) + 1] += (sr * right) >> 8;
    v.pos += uint64_t(step);
    v.total += uint64_t(step);
    while ((v.pos >> 32) >= end) {
      if (!(v.status & 4)) return 1;
      v.pos -= end << 32;
    }
    if (ramp) {
      step += stepInc;
      vol += volInc;
    }
  }
  return 0;
}

struct RecordDeleter {
  void operator()(sampledata* r) const { ReleaseSampleData(r); }
};
using Record = std::unique_ptr<sampledata, RecordDeleter>;

void CheckRandomScenes() {
  std::mt19937 rng(12345);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int scene = 0; scene < 300; ++scene) {
    int bits = pick(0, 1) ? 16 : 8, channels = pick(1, 2), length = pick(1, 400);
    std::vector<uint8_t> pcm(size_t(length) * channels * bits / 8);
    for (uint8_t& b : pcm)
      b = static_cast<uint8_t>(pick(0, 255));
    Record rec(NewSampleData(length, bits, channels, pick(4000, 96000), pcm.data(), -pick(0, 1)));
    ASSERT_TRUE(rec);
    mixer m(1024, 44100, 2);
    sound v(&m);
    v.data = rec.get();
    v.channels = channels;
    RefVoice r{};
    r.d = rec.get();
    r.status = (rec->loop ? 4 : 2) | (pick(0, 5) == 0 ? 0x10 : 0);
    r.delay = pick(0, 3) ? 0 : pick(0, 1500);
    r.rate = r.targetRate = pick(0, 0x30000);
    // Mostly ordinary settings; now and then the extremes of the 16-bit parameters.
    auto volume = [&] {
      return pick(0, 5) == 0 ? 0 : pick(0, 5) ? pick(-9000, 9000) : pick(-32768, 32767);
    };
    auto pan = [&] { return pick(0, 4) ? pick(-4096, 4096) : pick(-32768, 32767); };
    r.volume = r.targetVolume = volume();
    r.targetPan = pan();
    r.targetDepth = pick(-2, 2);
    std::vector<int64_t> want(1024);
    std::vector<int32_t> got(1024);
    for (int block = 0; block < 8; ++block) {
      v.status = r.status;
      v.startDelay = r.delay;
      v.rate = r.rate, v.targetRate = r.targetRate;
      v.volume = int16_t(r.volume), v.targetVolume = int16_t(r.targetVolume);
      v.targetPan = int16_t(r.targetPan), v.targetDepth = int16_t(r.targetDepth);
      v.position = r.pos, v.total = r.total;
      int32_t frames = pick(1, 512);
      std::fill(want.begin(), want.end(), 0);
      std::fill(got.begin(), got.end(), 0);
      int32_t wantResult = RefMix(r, want, frames);
      int32_t gotResult = MixVoice(v, got.data(), frames, 44100);
      ASSERT_EQ(gotResult, wantResult) << "scene " << scene << " block " << block;
      for (int i = 0; i < 2 * frames; ++i) {
        ASSERT_EQ(got[i], int32_t(want[i]))
            << "scene " << scene << " block " << block << " at " << i;
      }
      ASSERT_EQ(v.position.load(), r.pos) << "scene " << scene;
      ASSERT_EQ(v.total.load(), r.total) << "scene " << scene;
      ASSERT_EQ(v.volume.load(), r.volume);
      ASSERT_EQ(v.rate.load(), r.rate);
      if (wantResult == 1) break;
      // Between blocks the caller may move any target: a ramp follows.
      if (pick(0, 2) == 0) r.targetVolume = volume();
      if (pick(0, 2) == 0) r.targetRate = pick(0, 0x30000);
      if (pick(0, 3) == 0) r.targetPan = pan();
      if (pick(0, 5) == 0) r.status ^= 0x10;
    }
  }
}

// Every vector path this processor has mixes the reference's values.
TEST(Mixer, MatchesTheReferenceOnRandomScenes) {
  for (int32_t level : {kSimdSse2, kSimdAvx2}) {
    SCOPED_TRACE(level);
    LimitSimdLevel(level);
    CheckRandomScenes();
  }
}

// The native functions on exact values

uint32_t g_now = 1000;
uint32_t FakeClock() {
  return g_now;
}

// A device that mixes only when the test asks.
class TestDevice : public audiodevice {
 public:
  int32_t open() override {
    mixer_ = std::make_unique<mixer>(1024, 44100, 2);
    return 0;
  }
  void close() override { mixer_->ReleaseAll(); }
};

class NativeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetMixerClock(&FakeClock);
    g_now = 1000;
    auto device = std::make_unique<TestDevice>();
    device_ = device.get();
    ASSERT_EQ(MixerStart(std::move(device)), 0);
  }
  void TearDown() override {
    for (sampledata* r : records_)
      MixerFreeSound(r);
    MixerStop();
    SetMixerClock(nullptr);
  }
  // Interleaved output of `frames` frames, mixed in blocks of at most 512 frames.
  std::vector<int16_t> Mix(int32_t frames) {
    std::vector<int16_t> out(size_t(frames) * 2);
    for (int32_t at = 0; at < frames; at += 512) {
      device_->Mixer()->MixBlock(out.data() + 2 * at, 2 * std::min(512, frames - at), g_now);
    }
    return out;
  }
  sampledata* Mono16(std::vector<int16_t> values, int32_t loop = 0, int32_t hertz = 44100) {
    sampledata* r = MixerCreateSound(int32_t(values.size()), 16, 1, hertz, values.data(), loop);
    records_.push_back(r);
    return r;
  }
  TestDevice* device_ = nullptr;
  std::vector<sampledata*> records_;
};

constexpr int32_t kDelay = 882;  // 20 ms at 44 100 Hz

TEST_F(NativeTest, StartDelayTemplateVolumePanAndDepth) {
  struct Case {
    const char* what;
    float volume, pan, depth;
    int16_t left, right;
  } cases[] = {
      {"unity", 1, 0, 0, 1000, 1000},
      {"half volume set before the play", 0.5f, 0, 0, 500, 500},
      {"pan right silences the left", 1, 1, 0, 0, 1000},
      {"pan half left", 1, -0.5f, 0, 1000, 500},
      {"negative depth inverts the right", 1, 0, -0.25f, 1000, -1000},
      {"positive depth changes nothing", 1, 0, 0.75f, 1000, 1000},
  };
  sampledata* tone = Mono16(std::vector<int16_t>(4000, 1000), -1);
  for (const Case& c : cases) {
    int32_t ch = MixerAllocChannel();
    MixerSetVolume(ch, c.volume);
    MixerSetPan(ch, c.pan);
    MixerSetDepth(ch, c.depth);
    ASSERT_EQ(MixerPlaySound(tone, 0, ch), ch) << c.what;
    std::vector<int16_t> out = Mix(kDelay + 600);
    for (int32_t f = 0; f < kDelay; ++f)
      ASSERT_EQ(out[2 * f] | out[2 * f + 1], 0) << c.what << f;
    EXPECT_EQ(out[2 * kDelay], c.left) << c.what;
    EXPECT_EQ(out[2 * kDelay + 1], c.right) << c.what;
    EXPECT_EQ(out[2 * (kDelay + 599)], c.left) << c.what;
    MixerStopChannel(ch);
    Mix(512);
  }
  // A play issued 5 ms before the block's clock starts 15 ms into it.
  int32_t ch = MixerPlaySound(tone, 0, 0);
  g_now += 5;
  std::vector<int16_t> out = Mix(1024);
  EXPECT_EQ(out[2 * 660], 0);
  EXPECT_EQ(out[2 * 661], 1000);  // 15 ms = 661.5 frames, truncated
  MixerStopChannel(ch);
}

TEST_F(NativeTest, RampsPausesLoopsAndClamping) {
  sampledata* tone = Mono16(std::vector<int16_t>(40000, 1000), -1);
  int32_t ch = MixerPlaySound(tone, 0, MixerAllocChannel());
  Mix(kDelay + 512 - kDelay % 512);  // start delay over, block-aligned from here
  MixerSetVolume(ch, 0);
  std::vector<int16_t> ramp = Mix(512);  // over one block, 4096 -> 0 in steps of 8
  EXPECT_EQ(ramp[0], 1000);
  EXPECT_EQ(ramp[2 * 256], 500);
  EXPECT_EQ(ramp[2 * 511], 1);
  EXPECT_EQ(Mix(512)[0], 0);

  MixerSetPaused(ch, 1);
  MixerSetVolume(ch, 0.25f);  // while paused: at once, no ramp
  Mix(512);
  MixerSetPaused(ch, 0);
  std::vector<int16_t> after = Mix(512);
  EXPECT_EQ(after[0], 250);
  EXPECT_EQ(after[1022], 250);

  // Two full-scale voices in phase clamp instead of wrapping.
  sampledata* high = Mono16(std::vector<int16_t>(2000, 32767));
  sampledata* low = Mono16(std::vector<int16_t>(2000, -32768));
  MixerStopChannel(ch);
  for (auto [record, want] : {std::pair{high, int16_t(32767)}, {low, int16_t(-32768)}}) {
    MixerPlaySound(record, 0, 0);
    MixerPlaySound(record, 0, 0);
    EXPECT_EQ(Mix(kDelay + 10)[2 * kDelay + 2], want);
    Mix(2048);
  }

  // A looping 8-bit sample interpolates across its end into its first frame; a one-shot one
  // holds its last frame and stops at the end.
  for (int32_t loop : {-1, 0}) {
    uint8_t bytes[2] = {0, 255};
    sampledata* r = MixerCreateSound(2, 8, 1, 22050, bytes, loop);
    records_.push_back(r);
    int32_t h = MixerPlaySound(r, 0, 0);
    std::vector<int16_t> out = Mix(kDelay + 6);
    const int16_t* f = &out[2 * kDelay];
    // Positions 0, 0.5, 1, 1.5, then the end: wrapped to 0, or finished.
    EXPECT_EQ(f[0], -32768);
    EXPECT_EQ(f[2], -128);
    EXPECT_EQ(f[4], 32512);
    EXPECT_EQ(f[6], loop ? -128 : 32512);
    EXPECT_EQ(f[8], loop ? -32768 : 0);
    MixerStopChannel(h);
    Mix(512);
  }
}

TEST_F(NativeTest, PlayingPositionAndHandles) {
  sampledata* once = Mono16(std::vector<int16_t>(100, 1));
  Ref<TTonmixSound> sound = TTonmixSound::CreateWithSound(once, nullptr);
  records_.erase(std::find(records_.begin(), records_.end(), once));  // the sound frees it
  Ref<TChannel> cued = sound->Cue(nullptr);
  ASSERT_TRUE(cued);
  EXPECT_EQ(cued->Playing(), 0);
  Mix(2000);
  EXPECT_EQ(cued->Playing(), 0);
  cued->SetPaused(0);
  EXPECT_EQ(cued->Playing(), 1);
  Mix(kDelay + 99);
  EXPECT_EQ(cued->Playing(), 1);
  Mix(1);
  EXPECT_EQ(cued->Playing(), 0);  // the one-shot ended

  // 3 seconds of a looping 44 100 Hz sample: 132 300 frames, loops included.
  sampledata* loop = Mono16(std::vector<int16_t>(1000, 7), -1);
  int32_t ch = MixerPlaySound(loop, 0, MixerAllocChannel());
  Mix(kDelay + 3 * 44100);
  EXPECT_EQ(MixerChannelPosition(ch), 132300);

  // Freed, stale and forged handles never reach another channel's voice.
  int32_t freed = MixerAllocChannel();
  MixerFreeChannel(freed);
  int32_t reused = MixerAllocChannel();
  EXPECT_EQ(reused & 0xFFF, freed & 0xFFF);  // the same slot, a new generation
  EXPECT_NE(reused, freed);
  for (int32_t bad : {freed, reused ^ 0x5000, reused & 0xFFF, ch + 4096 * 77}) {
    MixerSetVolume(bad, 0);
    MixerSetPaused(bad, 1);
    EXPECT_EQ(MixerPlaySound(loop, 0, bad), 0);
    MixerStopChannel(bad);
    MixerFreeChannel(bad);
  }
  EXPECT_EQ(Mix(1)[0], 7);
  EXPECT_EQ(MixerChannelStatus(ch), 4);
  MixerSetVolume(reused, 0.5f);
  EXPECT_EQ(MixerChannelStatus(reused), 1);  // a default voice, never started

  // A stopped mixer answers nothing; a handle from before a restart stays invalid after it.
  MixerStop();
  EXPECT_EQ(MixerChannelStatus(ch), 0);
  EXPECT_EQ(MixerAllocChannel(), 0);
  auto device = std::make_unique<TestDevice>();
  device_ = device.get();
  ASSERT_EQ(MixerStart(std::move(device)), 0);
  int32_t fresh = MixerAllocChannel();
  EXPECT_NE(fresh, ch);
  EXPECT_EQ(MixerChannelStatus(ch), 0);
  MixerPlaySound(loop, 0, fresh);
  MixerStopChannel(ch);
  EXPECT_EQ(MixerChannelStatus(fresh), 4);

  // The free list has 4095 handles; with all of them taken a play without a channel gives 0.
  std::vector<int32_t> all;
  while (int32_t h = MixerAllocChannel())
    all.push_back(h);
  EXPECT_EQ(all.size(), 4094u);              // `fresh` holds the last one
  EXPECT_EQ(MixerPlaySound(loop, 0, 0), 0);  // and nothing starts that nobody could stop
  for (int32_t h : all)
    MixerFreeChannel(h);
  MixerFreeChannel(fresh);

  // A one-shot voice without a channel gives its handle back when its voice is reused.
  int32_t shot = MixerPlaySound(once, 0, 0);
  ASSERT_NE(shot, 0);
  Mix(kDelay + 200);
  EXPECT_EQ(MixerChannelStatus(shot), 0);        // released
  MixerPlaySound(loop, 0, MixerAllocChannel());  // takes the released voice
  EXPECT_EQ(MixerChannelStatus(shot), 0);
  EXPECT_EQ(MixerAllocChannel() & 0xFFF, shot & 0xFFF);  // its slot is free again
}

// A burst of plays without a channel takes every handle; once those sounds have ended, their
// handles come back and plays start again.
TEST_F(NativeTest, PlaysStartAgainAfterABurstHasPlayedOut) {
  sampledata* once = Mono16(std::vector<int16_t>(2205, 3));  // 50 ms
  int32_t started = 0;
  for (int i = 0; i < 5000; ++i)
    started += MixerPlaySound(once, 0, 0) != 0;
  EXPECT_EQ(started, 4095);
  Mix(kDelay + 2205 + 512);
  ASSERT_EQ(Mix(512)[0], 0) << "still playing";
  std::vector<int32_t> again;
  for (int i = 0; i < 100; ++i)
    if (int32_t h = MixerPlaySound(once, 0, 0)) again.push_back(h);
  ASSERT_EQ(again.size(), 100u);
  for (int32_t h : again)
    EXPECT_EQ(MixerChannelStatus(h), kPlayingOnce);
  EXPECT_EQ(Mix(kDelay + 1)[2 * kDelay], 300);
}

// A channel that a play without a channel handed out can be played on again once its sound has
// ended and its voice was released: the voice that comes back from the release ring is then the
// channel's own, and the new sound must play on it, and only on it.
TEST_F(NativeTest, ReplayOnAChannelWhoseSoundEnded) {
  sampledata* once = Mono16(std::vector<int16_t>(100, 1000));
  sampledata* empty = Mono16({});
  sampledata* loop = Mono16(std::vector<int16_t>(1000, 7), -1);
  for (bool refusedFirst : {false, true}) {
    int32_t shot = MixerPlaySound(once, 0, 0);
    ASSERT_NE(shot, 0);
    Mix(kDelay + 200);
    ASSERT_EQ(MixerChannelStatus(shot), 0) << refusedFirst;  // released, handle still valid
    if (refusedFirst) {
      // A play that starts nothing leaves the channel usable and its voice to nobody else.
      EXPECT_EQ(MixerPlaySound(empty, 0, shot), 0);
      int32_t other = MixerPlaySound(loop, 0, 0);
      MixerStopChannel(shot);
      EXPECT_EQ(MixerChannelStatus(other), kPlayingLoop);
      MixerStopChannel(other);
      Mix(512);
      continue;
    }
    EXPECT_EQ(MixerPlaySound(once, 0, shot), shot);
    EXPECT_EQ(MixerChannelStatus(shot), kPlayingOnce);
    EXPECT_EQ(Mix(kDelay + 10)[2 * kDelay + 2], 1000);
    MixerStopChannel(shot);
    Mix(512);
  }
}

}  // namespace
}  // namespace vxl::tonmix
