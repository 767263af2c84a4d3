// The mixer's waveOut and DirectSound devices driven through their ports: the test sets the play
// position or cursor and runs the refill itself, and reads what the device did from the port.
// The expected writes are worked out by hand from the buffer geometry, not from the devices.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "audio/tonmix/dsound_device.h"
#include "audio/tonmix/wave_out_device.h"

namespace vxl::tonmix {
namespace {

// A waveOut whose play position the test sets; it logs every call.
class ScriptedWaveOut : public platform::audio::WaveOutPort {
 public:
  std::string log;
  uint32_t position = 0;
  bool failPosition = false;
  int16_t* buffer = nullptr;  // the device's buffer, from its Write

  int32_t Open() override { return log += "O", 0; }
  int32_t Write(const uint8_t* b, uint32_t bytes) override {
    EXPECT_EQ(bytes, uint32_t(WaveOutDevice::kFragments * WaveOutDevice::kFragmentValues * 2));
    buffer = reinterpret_cast<int16_t*>(const_cast<uint8_t*>(b));
    position = 0;
    return log += "W", 0;
  }
  int32_t Reset() override {
    position = 0;
    return log += "R", 0;
  }
  int32_t GetPosition(uint32_t* bytes) override {
    *bytes = position;
    return failPosition ? kError : 0;
  }
  void MarkWritten() override { log += "M"; }
  void Close() override { log += "C"; }
};

// Marks every value of the buffer, so the fragments the mixer writes afterwards (silence, as no
// voice plays) show as the ones that lost the mark.
void Mark(int16_t* buffer) {
  for (int i = 0; i < WaveOutDevice::kFragments * WaveOutDevice::kFragmentValues; ++i)
    buffer[i] = 0x5555;
}

// For each fragment: 1 when it was written since the mark, 0 when not.
std::string Fragments(const int16_t* buffer) {
  std::string s;
  for (int f = 0; f < WaveOutDevice::kFragments; ++f)
    s += buffer[f * WaveOutDevice::kFragmentValues] == 0x5555 ? '0' : '1';
  return s;
}

TEST(WaveOutDeviceSeam, RefillFollowsThePlayPositionAndRecoversFromUnderruns) {
  auto owned = std::make_unique<ScriptedWaveOut>();
  ScriptedWaveOut& port = *owned;
  WaveOutDevice device(std::move(owned), 0);
  ASSERT_EQ(device.open(), 0);
  // Opening mixes the first 6 fragments of latency, then starts the loop.
  EXPECT_EQ(port.log, "OMW");
  ASSERT_NE(port.buffer, nullptr);

  constexpr uint32_t kFragmentBytes = WaveOutDevice::kFragmentValues * 2;
  struct Step {
    const char* what;
    uint32_t playedBytes;
    const char* calls;      // port calls made by the tick
    const char* fragments;  // fragments written by the tick
  } steps[] = {
      {"nothing played yet", 0, "M", "00000000000000000000000000000000"},
      {"one fragment played: one more ahead", 1 * kFragmentBytes, "M",
       "00000010000000000000000000000000"},
      {"part of a fragment played: whole fragments keep 6 ahead", 1 * kFragmentBytes + 1000, "M",
       "00000001000000000000000000000000"},
      {"the rest of four played", 4 * kFragmentBytes, "M", "00000000110000000000000000000000"},
      {"the position overtook the writes: underrun", 9 * kFragmentBytes, "R",
       "11111111111111111111111111111111"},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    Mark(port.buffer);
    port.log.clear();
    port.position = step.playedBytes;
    device.Tick();
    EXPECT_EQ(port.log, step.calls);
    EXPECT_EQ(Fragments(port.buffer), step.fragments);
  }

  // After the underrun, silence for 250 ticks; the loop then starts again with 8 fragments of
  // latency, written from fragment 16 (where the restart put the writes) onwards.
  port.log.clear();
  for (int i = 0; i < 249; ++i)
    device.Tick();
  EXPECT_EQ(port.log, "");
  Mark(port.buffer);
  device.Tick();
  EXPECT_EQ(port.log, "WM");
  EXPECT_EQ(Fragments(port.buffer), "00000000000000000000000000000000");
  port.log.clear();
  port.position = 9 * kFragmentBytes;  // 9 played: 8 ahead means up to fragment 17
  device.Tick();
  EXPECT_EQ(Fragments(port.buffer), "00000000000000001000000000000000");

  // A position that cannot be read restarts the loop from silence.
  port.failPosition = true;
  port.log.clear();
  device.Tick();
  EXPECT_EQ(port.log, "RW");
  port.failPosition = false;

  device.close();
  EXPECT_EQ(port.log.substr(port.log.size() - 2), "RC");
}

// A DirectSound buffer whose play cursor the test sets; it records each lock.
class ScriptedDirectSound : public DirectSoundPort {
 public:
  std::vector<uint8_t> memory;
  uint32_t cursor = 0;
  bool failLock = false;
  std::vector<std::pair<uint32_t, uint32_t>> locks;  // offset, bytes
  bool playing = false;

  int32_t Create(uint32_t bufferBytes, uint32_t) override {
    memory.assign(bufferBytes, 0x55);
    return 0;
  }
  int32_t Lock(uint32_t offset, uint32_t bytes, void** p1, uint32_t* n1, void** p2,
               uint32_t* n2) override {
    if (failLock) return -1;
    locks.push_back({offset, bytes});
    uint32_t first = std::min<uint32_t>(bytes, uint32_t(memory.size()) - offset);
    *p1 = memory.data() + offset;
    *n1 = first;
    *p2 = first < bytes ? memory.data() : nullptr;
    *n2 = bytes - first;
    return 0;
  }
  int32_t Unlock(void*, uint32_t, void*, uint32_t) override { return 0; }
  int32_t Play() override {
    playing = true;
    return 0;
  }
  void Stop() override { playing = false; }
  uint32_t PlayCursor() override { return cursor; }
  void Wait(int32_t) override {}
  void Wake() override {}
  void Release() override {}
};

TEST(DirectSoundDeviceSeam, WritesStayTwoStepsAheadOfTheCursorAcrossWraps) {
  auto owned = std::make_unique<ScriptedDirectSound>();
  ScriptedDirectSound& port = *owned;
  DirectSoundDevice device(std::move(owned), false);
  ASSERT_EQ(device.open(), 0);
  ASSERT_TRUE(device.Prime());
  EXPECT_TRUE(port.playing);
  ASSERT_EQ(port.locks.size(), 1u);
  EXPECT_EQ(port.locks[0], std::make_pair(0u, 32768u));  // the whole buffer, silenced
  EXPECT_EQ(port.memory, std::vector<uint8_t>(32768, 0));

  struct Step {
    uint32_t cursor;
    std::vector<std::pair<uint32_t, uint32_t>> locks;
  } steps[] = {
      {0, {{0, 16384}}},                    // two steps ahead of the start
      {100, {}},                            // less than a step has played
      {8192, {{16384, 8192}}},              // one step played: one more
      {30000, {{24576, 16384}}},            // two more, wrapping past the end
      {1000, {{8192, 8192}}},               // the cursor wrapped: counted as one buffer further
      {1000 + 3 * 8192, {{16384, 16384}}},  // far ahead: at most two steps a refill
      {1000 + 3 * 8192, {{32768 % 32768, 8192}}},
      {1000 + 3 * 8192, {}},
  };
  int n = 0;
  for (const Step& step : steps) {
    SCOPED_TRACE(testing::Message() << "step " << n++ << " cursor " << step.cursor);
    port.locks.clear();
    port.cursor = step.cursor;
    EXPECT_TRUE(device.Step());
    EXPECT_EQ(port.locks, step.locks);
  }
  port.failLock = true;
  port.cursor = 20000;
  EXPECT_FALSE(device.Step()) << "a failing lock ends the worker";
  device.close();
}

}  // namespace
}  // namespace vxl::tonmix
