// The software DirectSound through SDL's disk driver: what each buffer setting sounds like, read
// back from the file the driver wrote, and the buffer state a driver relies on.
#include "platform/audio/soft_dsound.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

namespace vxl::platform::dsound {
namespace {

WaveFormat Format(uint16_t channels, uint32_t hertz, uint16_t bits) {
  uint16_t align = channels * bits / 8;
  return WaveFormat{WAVE_FORMAT_PCM, channels, hertz, hertz * align, align, bits};
}

// A one-shot buffer of `frames` frames, every frame the given bytes.
Buffer* Constant(Device* ds, const WaveFormat& f, uint32_t frames, std::vector<uint8_t> frame) {
  BufferDesc desc;
  desc.flags = DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_CTRLFREQUENCY |
               DSBCAPS_CTRLPOSITIONNOTIFY | DSBCAPS_STATIC;
  desc.bufferBytes = frames * f.blockAlign;
  desc.format = &f;
  Buffer* b = nullptr;
  EXPECT_EQ(ds->CreateSoundBuffer(desc, &b), DS_OK);
  void *p1, *p2;
  uint32_t n1, n2;
  EXPECT_EQ(b->Lock(0, 0, &p1, &n1, &p2, &n2, DSBLOCK_ENTIREBUFFER), DS_OK);
  for (uint32_t i = 0; i < n1; i += f.blockAlign)
    std::memcpy(static_cast<uint8_t*>(p1) + i, frame.data(), f.blockAlign);
  EXPECT_EQ(b->Unlock(p1, n1, p2, n2), DS_OK);
  return b;
}

void AwaitSilence(std::vector<Buffer*> buffers) {
  for (int i = 0; i < 2000; ++i) {
    bool playing = false;
    for (Buffer* b : buffers) {
      uint32_t status = 0;
      b->GetStatus(&status);
      playing |= (status & DSBSTATUS_PLAYING) != 0;
    }
    if (!playing) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ADD_FAILURE() << "a one-shot buffer never stopped";
}

struct Segment {
  int16_t left, right;
  size_t frames;
  bool operator==(const Segment&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Segment& s) {
  return o << "{" << s.left << ", " << s.right << " x " << s.frames << "}";
}

TEST(SoftDirectSound, BufferSettingsAsHeard) {
  test::TempDir dir;
  std::string file = dir.Path() + "/out.raw";
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
  Device* ds = nullptr;
  ASSERT_EQ(DirectSoundCreate(&ds), DS_OK);
  const WaveFormat mono = Format(1, 44100, 16), stereo8 = Format(2, 44100, 8);
  const WaveFormat slow = Format(1, 22050, 16);

  struct Case {
    const char* what;
    const WaveFormat* format;
    std::vector<uint8_t> frame;
    int32_t volume, pan;
    uint32_t hertz;  // 0: the format's rate
    bool duplicate;  // also play a duplicate at -6 dB
    Segment heard;
  } cases[] = {
      {"as written", &mono, {0x10, 0x27}, 0, 0, 0, false, {10000, 10000, 300}},
      {"-6 dB", &mono, {0x10, 0x27}, -600, 0, 0, false, {5011, 5011, 300}},
      {"full right", &mono, {0x10, 0x27}, 0, 10000, 0, false, {0, 10000, 300}},
      {"left -6 dB", &mono, {0x10, 0x27}, 0, -600, 0, false, {10000, 5011, 300}},
      {"8-bit stereo", &stereo8, {200, 56}, 0, 0, 0, false, {18432, -18432, 300}},
      {"half rate plays twice as long", &slow, {0x10, 0x27}, 0, 0, 0, false, {10000, 10000, 600}},
      {"frequency set to double", &mono, {0x10, 0x27}, 0, 0, 88200, false, {10000, 10000, 150}},
      {"with a duplicate at -6 dB", &mono, {0x10, 0x27}, 0, 0, 0, true, {15011, 15011, 300}},
  };
  for (const Case& c : cases) {
    Buffer* b = Constant(ds, *c.format, 300, c.frame);
    ASSERT_EQ(b->SetVolume(c.volume), DS_OK);
    ASSERT_EQ(b->SetPan(c.pan), DS_OK);
    ASSERT_EQ(b->SetFrequency(c.hertz), DS_OK);
    std::vector<Buffer*> playing{b};
    if (c.duplicate) {
      Buffer* d = nullptr;
      ASSERT_EQ(ds->DuplicateSoundBuffer(b, &d), DS_OK);
      ASSERT_EQ(d->SetVolume(-600), DS_OK);
      playing.push_back(d);
    }
    for (Buffer* p : playing)
      ASSERT_EQ(p->Play(0), DS_OK);
    AwaitSilence(playing);
    uint32_t play = 1;
    b->GetCurrentPosition(&play, nullptr);
    EXPECT_EQ(play, 0u) << c.what;  // a finished one-shot buffer is back at its start
    for (Buffer* p : playing)
      p->Release();
  }

  // A notification position signals its event when the play cursor passes it.
  auto event = CreateEvent("dsound test", true);
  Buffer* n = Constant(ds, mono, 300, {0, 0});
  Notify at{400, event};
  ASSERT_EQ(n->SetNotificationPositions(1, &at), DS_OK);
  ASSERT_EQ(n->Play(DSBPLAY_LOOPING), DS_OK);
  uint32_t status = 0;
  n->GetStatus(&status);
  EXPECT_EQ(status, DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
  EXPECT_TRUE(event->Wait(5000));
  EXPECT_EQ(n->SetVolume(1), DSERR_INVALIDPARAM);
  EXPECT_EQ(n->Lock(600, 10, nullptr, nullptr, nullptr, nullptr, 0), DSERR_INVALIDPARAM);
  n->Release();
  ds->Release();

  std::ifstream in(file, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const int16_t* pcm = reinterpret_cast<const int16_t*>(bytes.data());
  std::vector<Segment> heard;
  for (size_t f = 0; f < bytes.size() / 4; ++f) {
    int16_t l = pcm[2 * f], r = pcm[2 * f + 1];
    if (l == 0 && r == 0) continue;
    bool afterSilence = f == 0 || (pcm[2 * f - 2] == 0 && pcm[2 * f - 1] == 0);
    if (heard.empty() || afterSilence || heard.back().left != l || heard.back().right != r) {
      heard.push_back({l, r, 0});
    }
    ++heard.back().frames;
  }
  std::vector<Segment> want;
  for (const Case& c : cases)
    want.push_back(c.heard);
  EXPECT_EQ(heard, want);
}

// The results a caller relies on, on a device without output: one lock at a time, settings that
// need their control flag, and buffers that outlive their device.
TEST(SoftDirectSound, ResultsOfMisuse) {
  SetOfflineOutput(true);
  Device* ds = nullptr;
  ASSERT_EQ(DirectSoundCreate(&ds), DS_OK);
  SetOfflineOutput(false);
  const WaveFormat mono = Format(1, 22050, 16);
  BufferDesc bare;  // no control flags
  bare.bufferBytes = 1000;
  bare.format = &mono;
  Buffer* b = nullptr;
  ASSERT_EQ(ds->CreateSoundBuffer(bare, &b), DS_OK);
  void *p1, *p2, *q1, *q2;
  uint32_t n1, n2, m1, m2;
  ASSERT_EQ(b->Lock(900, 200, &p1, &n1, &p2, &n2, 0), DS_OK);
  EXPECT_EQ(std::vector<uint32_t>({n1, n2}), std::vector<uint32_t>({100, 100})) << "wraps";
  EXPECT_EQ(b->Lock(0, 10, &q1, &m1, &q2, &m2, 0), DSERR_INVALIDCALL) << "a second lock";
  std::memset(p1, 0x11, n1);
  std::memset(p2, 0x22, n2);
  EXPECT_EQ(b->Unlock(p2, n2, p1, n1), DSERR_INVALIDPARAM) << "parts swapped";
  EXPECT_EQ(b->Unlock(p1, n1, p2, n2), DS_OK);
  EXPECT_EQ(b->Unlock(p1, n1, p2, n2), DSERR_INVALIDCALL) << "nothing locked";
  ASSERT_EQ(b->Lock(0, 0, &q1, &m1, &q2, &m2, DSBLOCK_ENTIREBUFFER), DS_OK);
  const auto* all = static_cast<const uint8_t*>(q1);
  EXPECT_EQ(std::vector<int>({all[0], all[99], all[100], all[899], all[900], all[999]}),
            std::vector<int>({0x22, 0x22, 0, 0, 0x11, 0x11}));
  EXPECT_EQ(b->Unlock(q1, 0, nullptr, 0), DS_OK) << "nothing written back";

  EXPECT_EQ(b->SetVolume(-100), DSERR_CONTROLUNAVAIL);
  EXPECT_EQ(b->SetPan(100), DSERR_CONTROLUNAVAIL);
  EXPECT_EQ(b->SetFrequency(44100), DSERR_CONTROLUNAVAIL);

  ASSERT_EQ(b->Play(DSBPLAY_LOOPING), DS_OK);
  EXPECT_EQ(ds->Release(), 0u);  // the buffer outlives its device
  uint32_t status = 0;
  int32_t volume = 0;
  EXPECT_EQ(b->GetStatus(&status), DSERR_NODRIVER);
  EXPECT_EQ(b->Play(0), DSERR_NODRIVER);
  EXPECT_EQ(b->GetVolume(&volume), DSERR_NODRIVER);
  EXPECT_EQ(b->Lock(0, 10, &q1, &m1, &q2, &m2, 0), DSERR_NODRIVER);
  EXPECT_EQ(b->Release(), 0u);
}

}  // namespace
}  // namespace vxl::platform::dsound
