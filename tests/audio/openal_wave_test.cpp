// End to end through OpenAL Soft's wave-file backend (the test's own configuration: 44 100 Hz,
// stereo, 16-bit, no dithering, no limiter): a tone played through "OpenAL" at full volume and
// then at half, panned hard left and at twice its rate, read back from the file OpenAL wrote.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "audio/openal/openal_driver.h"
#include "runtime/clock.h"
#include "support/temp_dir.h"

namespace vxl {
namespace {

struct Segment {
  size_t first, frames;
};

double Rms(const std::vector<int16_t>& pcm, const Segment& s, int channel) {
  double sum = 0;
  size_t from = s.first + s.frames / 10, to = s.first + s.frames * 9 / 10;
  for (size_t f = from; f < to; ++f)
    sum += double(pcm[2 * f + channel]) * pcm[2 * f + channel];
  return std::sqrt(sum / double(to - from));
}

TEST(OpenALWaveFile, ToneAtItsLevelSideAndPitch) {
  test::TempDir dir;
  const std::string wav = dir.File("out.wav");
  std::string conf = dir.Write("alsoft.conf",
                               "[general]\ndrivers = wave\nfrequency = 44100\nchannels = stereo\n"
                               "sample-type = int16\ndither = false\noutput-limiter = false\n"
                               "[wave]\nfile = " +
                                   wav + "\n");
  setenv("ALSOFT_CONF", conf.c_str(), 1);
  InitOpenALDriverModule();
  ASSERT_EQ(SelectAudioDriver("OpenAL"), 1);

  // 441 Hz at 22 050 Hz, 0.2 s; played at rate 2 it is 882 Hz.
  const int32_t frames = 4410;
  Ref<TAudioSample> tone = NewAudioSample(frames, 22050, SAMPLE_MONO16LE);
  for (int32_t i = 0; i < frames; ++i)
    reinterpret_cast<int16_t*>(tone->samples)[i] =
        int16_t(std::lround(8000 * std::sin(i * 2 * M_PI / 50)));
  Ref<TSound> sound = LoadAudioSound(Ref<Object>(tone), 0);
  for (float volume : {1.0f, 0.5f}) {
    Ref<TChannel> ch = PrimeSound(sound, nullptr);
    ch->SetVolume(volume);
    ch->SetPan(-1);
    ch->SetRate(2);
    ContinueChannel(ch);
    for (int i = 0; i < 2500 && ch->Playing(); ++i)
      SleepMilliseconds(2);
    ASSERT_EQ(ch->Playing(), 0);
    SleepMilliseconds(100);  // a gap of silence between the two
  }
  ReleaseAudioDriver();  // closes the device: the file is complete

  std::string bytes = test::TempDir::Read(wav);
  ASSERT_GT(bytes.size(), 44u);
  size_t data = bytes.find("data");
  size_t fmt = bytes.find("fmt ");
  ASSERT_NE(data, std::string::npos);
  ASSERT_NE(fmt, std::string::npos);
  uint16_t channels, bits;
  uint32_t rate;
  std::memcpy(&channels, bytes.data() + fmt + 10, 2);
  std::memcpy(&rate, bytes.data() + fmt + 12, 4);
  std::memcpy(&bits, bytes.data() + fmt + 22, 2);
  ASSERT_EQ(channels, 2);
  ASSERT_EQ(rate, 44100u);
  ASSERT_EQ(bits, 16);
  std::vector<int16_t> pcm((bytes.size() - data - 8) / 2);
  std::memcpy(pcm.data(), bytes.data() + data + 8, pcm.size() * 2);

  // Runs of sound separated by at least 100 silent frames.
  std::vector<Segment> heard;
  size_t quiet = 1000;
  for (size_t f = 0; f < pcm.size() / 2; ++f) {
    if (pcm[2 * f] == 0 && pcm[2 * f + 1] == 0) {
      ++quiet;
      continue;
    }
    if (quiet >= 100) heard.push_back({f, 0});
    heard.back().frames = f + 1 - heard.back().first;
    quiet = 0;
  }
  ASSERT_EQ(heard.size(), 2u);
  for (const Segment& s : heard) {
    EXPECT_NEAR(double(s.frames), frames, 10) << "one output frame per sample frame";
    int crossings = 0;
    for (size_t f = s.first + 1; f < s.first + s.frames; ++f)
      crossings += (pcm[2 * f] >= 0) != (pcm[2 * f - 2] >= 0);
    EXPECT_NEAR(crossings, 2.0 * frames / 50, 3) << "twice the tone's pitch";
    EXPECT_GT(Rms(pcm, s, 0), 3 * Rms(pcm, s, 1)) << "hard left";
  }
  EXPECT_GT(Rms(pcm, heard[0], 0), 8000 / std::sqrt(2.0) * 0.5);
  EXPECT_NEAR(Rms(pcm, heard[1], 0) / Rms(pcm, heard[0], 0), 0.5, 0.01) << "half the level";
}

}  // namespace
}  // namespace vxl
