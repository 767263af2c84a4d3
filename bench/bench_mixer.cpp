// The software mixer against OpenAL Soft on the same scene, and the sample loaders against plain
// loops over the same files.
//
// The scene and the two mixings are in audio_scene.h (OpenAL Soft renders on its loopback device).
#include <unistd.h>

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "audio/sample_loaders.h"
#include "audio_scene.h"
#include "bench_util.h"

namespace {

using namespace vxl;
using namespace vxl::bench;

std::string WriteWav(const std::string& path, int frames) {
  std::vector<int16_t> pcm(size_t(frames) * 2);
  for (size_t i = 0; i < pcm.size(); ++i)
    pcm[i] = int16_t(8000 * std::sin(i * 0.013));
  auto le32 = [](uint32_t v) {
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
  };
  auto le16 = [](uint32_t v) { return std::string{char(v), char(v >> 8)}; };
  uint32_t bytes = uint32_t(pcm.size() * 2);
  std::string head = "RIFF" + le32(36 + bytes) + "WAVEfmt " + le32(16) + le16(1) + le16(2) +
                     le32(44100) + le32(176400) + le16(4) + le16(16) + "data" + le32(bytes);
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(head.data(), 1, head.size(), f);
  std::fwrite(pcm.data(), 2, pcm.size(), f);
  std::fclose(f);
  return path;
}

// The plain decoding loop: ov_fopen and ov_read into one buffer.
void DecodePlain(const std::string& path) {
  OggVorbis_File vf;
  if (ov_fopen(path.c_str(), &vf) != 0) std::abort();
  int64_t total = ov_pcm_total(&vf, 0) * ov_info(&vf, -1)->channels * 2;
  std::vector<char> out(total);
  int64_t done = 0;
  int link;
  while (done < total) {
    long n = ov_read(&vf, out.data() + done, int(std::min<int64_t>(total - done, 1 << 20)), 0, 2, 1,
                     &link);
    if (n <= 0) break;
    done += n;
  }
  ov_clear(&vf);
}

}  // namespace

int main() {
  InitWavLoaderModule();
  InitOggLoaderModule();
  Scene scene = MakeScene();

  bool haveAL = MixSceneOpenAL(scene) >= 0;
  double ours = 1e9, theirs = 1e9;
  for (int round = 0; round < 3; ++round) {  // best of three, alternating
    ours = std::min(ours, MixSceneTonmix(scene));
    if (haveAL) theirs = std::min(theirs, MixSceneOpenAL(scene));
  }
  if (haveAL && theirs > 0) bench::Print("mix_64_voices_vs_openal_ratio", ours / theirs);
  bench::Print("mix_64_voices_ms", ours * 1000, "ms");
  if (haveAL) bench::Print("mix_64_voices_openal_ms", theirs * 1000, "ms");
  bench::Print("mix_64_voices_realtime_factor", kSeconds / ours);

  std::string dir = "/tmp/bench_mixer_" + std::to_string(getpid());
  std::string mkdir = "mkdir -p " + dir;
  if (std::system(mkdir.c_str()) != 0) return 1;
  const int frames = 44100 * 30;  // 30 s of stereo: about 5 MB
  std::string wav = WriteWav(dir + "/long.wav", frames);
  double wavMs = 1e9;
  for (int i = 0; i < 5; ++i) {
    wavMs = std::min(wavMs, bench::TimeMs([&] {
                       if (!ReadAudioSample(String(wav.c_str()))) std::abort();
                     }));
  }
  bench::Print("wav_load_mb_s", frames * 4 / 1e6 / (wavMs / 1000), "MB/s");

  std::string ogg = dir + "/long.ogg";
  std::string encode = "oggenc -Q -q 4 -o " + ogg + " " + wav;
  if (std::system(encode.c_str()) == 0) {
    auto [ourOgg, plainOgg] = bench::MedianPairMs(
        5,
        [&] {
          if (!ReadAudioSample(String(ogg.c_str()))) std::abort();
        },
        [&] { DecodePlain(ogg); });
    bench::Print("ogg_decode_ms", ourOgg, "ms");
    bench::Print("ogg_decode_vorbisfile_ms", plainOgg, "ms");
    bench::Print("ogg_decode_vs_vorbisfile_ratio", ourOgg / plainOgg);
  } else {
    std::printf("ogg_decode_vs_vorbisfile_ratio: skipped (no oggenc)\n");
  }
  std::string rm = "rm -rf " + dir;
  return std::system(rm.c_str()) == 0 ? 0 : 1;
}
