// The software mixer against OpenAL Soft on the same scene, against the floor of a plain SSE2
// multiply-add pass over the same voices, and against SDL2_mixer; the Ogg loader against plain
// vorbisfile and stb_vorbis loops over the same file.
//
// The scene and the two mixings are in audio_scene.h (OpenAL Soft renders on its loopback device).
// The floor adds each voice's samples times its two gains into the same blocks, one sample per
// frame (no resampling), and clips them to the output. SDL2_mixer plays the first 8 voices
// (converted to the output format when loaded, as it does) through SDL's disk driver writing to
// /dev/null as fast as it can, for the same 10 s; ours mixes the same 8 voices. Times are CPU
// time of the process.
#include <SDL.h>
#include <SDL_mixer.h>
#include <emmintrin.h>
#include <unistd.h>

#include <atomic>

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>
#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

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

// The floor: per block, each voice's next 512 samples times its two gains added to the block
// (SSE2, four frames per step), then the block clipped to 16 bits.
double MixFloor(const Scene& scene, std::vector<int16_t>& out) {
  std::vector<int32_t> acc(size_t(2) * kBlock);
  std::vector<size_t> pos(scene.voices.size());
  struct Gains {
    __m128i v;  // left, right, left, ... as 16-bit values
  };
  std::vector<Gains> gains(scene.voices.size(), Gains{_mm_set1_epi16(2048)});
  out.assign(size_t(2) * kBlock, 0);
  double start = CpuSeconds();
  size_t next = 0;
  for (int b = 0; b < kBlocks; ++b) {
    for (; next < scene.changes.size() && scene.changes[next].block == b; ++next) {
      const Change& c = scene.changes[next];
      int32_t v = int32_t(c.volume * 4096.0f), pan = int32_t(c.pan * 4096.0f);
      int32_t left = pan > 0 ? (v * (4096 - pan)) >> 12 : v;
      int32_t right = pan < 0 ? (v * (pan + 4096)) >> 12 : v;
      gains[c.voice].v =
          _mm_set_epi16(int16_t(right), int16_t(left), int16_t(right), int16_t(left),
                        int16_t(right), int16_t(left), int16_t(right), int16_t(left));
    }
    std::fill(acc.begin(), acc.end(), 0);
    for (size_t v = 0; v < scene.voices.size(); ++v) {
      const std::vector<int16_t>& pcm = scene.voices[v].pcm;
      const __m128i g = gains[v].v;
      for (int f = 0; f < kBlock; f += 4) {  // four frames: 32-bit products of 16-bit halves
        if (pos[v] + 4 > pcm.size()) pos[v] = 0;
        __m128i s = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&pcm[pos[v]]));
        pos[v] += 4;
        s = _mm_unpacklo_epi16(s, s);
        __m128i lo = _mm_mullo_epi16(s, g), hi = _mm_mulhi_epi16(s, g);
        __m128i* o = reinterpret_cast<__m128i*>(&acc[size_t(2) * f]);
        __m128i p0 = _mm_srai_epi32(_mm_unpacklo_epi16(lo, hi), 8);
        __m128i p1 = _mm_srai_epi32(_mm_unpackhi_epi16(lo, hi), 8);
        _mm_storeu_si128(o, _mm_add_epi32(_mm_loadu_si128(o), p0));
        _mm_storeu_si128(o + 1, _mm_add_epi32(_mm_loadu_si128(o + 1), p1));
      }
    }
    for (int i = 0; i < 2 * kBlock; i += 8) {
      __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&acc[i]));
      __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&acc[i + 4]));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(&out[i]), _mm_packs_epi32(a, c));
    }
  }
  return CpuSeconds() - start;
}

// SDL2_mixer playing the voices of `scene` (looping, no changes) for kSeconds through SDL's disk
// driver, which mixes as fast as it can: CPU seconds of the process meanwhile, or -1.
std::atomic<int64_t> g_mixedBytes{0};

double MixSdlMixer(const Scene& scene) {
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
  setenv("SDL_DISKAUDIODELAY", "0", 1);
  if (SDL_Init(SDL_INIT_AUDIO) != 0) return -1;
  // The disk driver warns that it is one.
  SDL_LogSetOutputFunction([](void*, int, SDL_LogPriority, const char*) {}, nullptr);
  if (Mix_OpenAudio(44100, AUDIO_S16SYS, 2, kBlock) != 0) {
    SDL_Quit();
    return -1;
  }
  Mix_AllocateChannels(int(scene.voices.size()));
  std::vector<Mix_Chunk*> chunks;
  for (const Voice& v : scene.voices) {
    // The voice's samples converted to the output format, as Mix_LoadWAV would convert them.
    SDL_AudioCVT cvt;
    SDL_BuildAudioCVT(&cvt, AUDIO_S16SYS, 1, int(float(v.hertz) * v.rate), AUDIO_S16SYS, 2, 44100);
    cvt.len = int(v.pcm.size() * 2);
    cvt.buf = static_cast<Uint8*>(SDL_malloc(size_t(cvt.len) * size_t(cvt.len_mult)));
    std::memcpy(cvt.buf, v.pcm.data(), size_t(cvt.len));
    SDL_ConvertAudio(&cvt);
    chunks.push_back(Mix_QuickLoad_RAW(cvt.buf, Uint32(cvt.len_cvt)));
  }
  Mix_SetPostMix(
      [](void*, Uint8*, int len) { g_mixedBytes.fetch_add(len, std::memory_order_relaxed); },
      nullptr);
  Mix_Pause(-1);
  for (size_t c = 0; c < chunks.size(); ++c) {
    Mix_Volume(int(c), MIX_MAX_VOLUME / 2);
    Mix_PlayChannel(int(c), chunks[c], -1);
  }
  const int64_t wanted = int64_t(kSeconds) * 44100 * 4;
  g_mixedBytes = 0;
  double start = CpuSeconds();
  Mix_Resume(-1);
  while (g_mixedBytes.load(std::memory_order_relaxed) < wanted)
    usleep(200);
  double seconds = (CpuSeconds() - start) * double(wanted) / double(g_mixedBytes.load());
  Mix_HaltChannel(-1);
  Mix_CloseAudio();
  for (Mix_Chunk* c : chunks) {
    SDL_free(c->abuf);
    Mix_FreeChunk(c);
  }
  SDL_Quit();
  return seconds;
}

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

// stb_vorbis decoding the whole file into one buffer of 16-bit values; the values, or empty.
std::vector<int16_t> DecodeStb(const std::string& path) {
  int channels = 0, rate = 0;
  short* out = nullptr;
  int frames = stb_vorbis_decode_filename(path.c_str(), &channels, &rate, &out);
  std::vector<int16_t> values;
  if (frames > 0) values.assign(out, out + size_t(frames) * size_t(channels));
  std::free(out);
  return values;
}

// vorbisfile's values for the whole file.
std::vector<int16_t> DecodeAllPlain(const std::string& path) {
  OggVorbis_File vf;
  std::vector<int16_t> values;
  if (ov_fopen(path.c_str(), &vf) != 0) return values;
  values.resize(size_t(ov_pcm_total(&vf, 0) * ov_info(&vf, -1)->channels));
  size_t done = 0;
  int link;
  while (done < values.size()) {
    long n = ov_read(&vf, reinterpret_cast<char*>(values.data() + done),
                     int(std::min<size_t>((values.size() - done) * 2, 1 << 20)), 0, 2, 1, &link);
    if (n <= 0) break;
    done += size_t(n) / 2;
  }
  values.resize(done);
  ov_clear(&vf);
  return values;
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

  std::vector<int16_t> out;
  double floor = 1e9;
  ours = 1e9;
  for (int round = 0; round < 5; ++round) {  // best of five, alternating
    ours = std::min(ours, MixSceneTonmix(scene));
    floor = std::min(floor, MixFloor(scene, out));
  }
  bench::Print("mix_64_voices_vs_simd_floor_ratio", ours / floor);
  bench::Print("mix_ns_per_voice_frame", ours * 1e9 / (double(kVoices) * kBlocks * kBlock), "ns");
  bench::Print("floor_ns_per_voice_frame", floor * 1e9 / (double(kVoices) * kBlocks * kBlock),
               "ns");

  Scene eight = scene;
  eight.voices.resize(8);
  eight.changes.clear();
  double ours8 = 1e9, sdl8 = 1e9;
  for (int round = 0; round < 3; ++round) {
    ours8 = std::min(ours8, MixSceneTonmix(eight));
    double t = MixSdlMixer(eight);
    if (t > 0) sdl8 = std::min(sdl8, t);
  }
  if (sdl8 < 1e9) bench::Print("mix_8_voices_vs_sdl_mixer_ratio", ours8 / sdl8);

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
    auto [ourOgg2, stbOgg] = bench::MedianPairMs(
        5,
        [&] {
          if (!ReadAudioSample(String(ogg.c_str()))) std::abort();
        },
        [&] { DecodeStb(ogg); });
    bench::Print("ogg_decode_stb_vorbis_ms", stbOgg, "ms");
    bench::Print("ogg_decode_vs_stb_vorbis_ratio", ourOgg2 / stbOgg);
    // Whether the other decoder gives the same samples: how many differ, and by how much.
    std::vector<int16_t> a = DecodeAllPlain(ogg), b = DecodeStb(ogg);
    size_t differ = a.size() == b.size() ? 0 : std::max(a.size(), b.size());
    int maxDiff = 0;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
      differ += a[i] != b[i];
      maxDiff = std::max(maxDiff, std::abs(int(a[i]) - int(b[i])));
    }
    bench::Print("stb_vorbis_values_differing_from_vorbisfile",
                 100.0 * double(differ) / double(std::max<size_t>(a.size(), 1)), "%");
    bench::Print("stb_vorbis_largest_difference", maxDiff);
  } else {
    std::printf("ogg_decode_vs_vorbisfile_ratio: skipped (no oggenc)\n");
  }
  std::string rm = "rm -rf " + dir;
  return std::system(rm.c_str()) == 0 ? 0 : 1;
}
