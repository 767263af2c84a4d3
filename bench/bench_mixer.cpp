// The software mixer against OpenAL Soft on the same scene, and the sample loaders against plain
// loops over the same files.
//
// Scene: 64 looping 16-bit mono voices at varied rates, mixed offline for 10 s of 44 100 Hz
// stereo 16-bit output in blocks of 512 frames; every 100 ms a quarter of the voices get a new
// volume (a ramp over the next block) and pan. OpenAL Soft renders the same scene through its
// loopback device (ALC_SOFT_loopback), loaded with dlopen here only. Times are CPU time.
#define AL_ALEXT_PROTOTYPES 0
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <time.h>
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
#include "audio/tonmix/mixer.h"
#include "bench_util.h"
#include "platform/library/lazy_library.h"

namespace {

using namespace vxl;

constexpr int kVoices = 64;
constexpr int kSeconds = 10;
constexpr int kBlock = 512;
constexpr int kBlocks = kSeconds * 44100 / kBlock;
constexpr int kChangeEvery = 44100 / 10 / kBlock;  // about 100 ms

double CpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

struct Voice {
  int hertz, length;
  float rate;
  std::vector<int16_t> pcm;
};

struct Change {
  int block, voice;
  float volume, pan;
};

struct Scene {
  std::vector<Voice> voices;
  std::vector<Change> changes;
};

Scene MakeScene() {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> unit(0, 1);
  Scene s;
  const int rates[] = {11025, 22050, 32000, 44100, 48000};
  for (int v = 0; v < kVoices; ++v) {
    Voice voice;
    voice.hertz = rates[v % 5];
    voice.length = voice.hertz / 2 + v * 37;
    voice.rate = 0.5f + 1.5f * unit(rng);
    voice.pcm.resize(voice.length);
    for (int i = 0; i < voice.length; ++i) {
      voice.pcm[i] = int16_t(6000 * std::sin(i * (0.01 + 0.002 * v)) + 500 * (unit(rng) - 0.5f));
    }
    s.voices.push_back(std::move(voice));
  }
  for (int b = kChangeEvery; b < kBlocks; b += kChangeEvery) {
    for (int v = (b / kChangeEvery) % 4; v < kVoices; v += 4) {
      s.changes.push_back({b, v, 0.2f + 0.6f * unit(rng), 2 * unit(rng) - 1});
    }
  }
  return s;
}

double MixOurs(const Scene& scene, std::vector<int16_t>& out) {
  tonmix::mixer m(2 * kBlock, 44100, 2);
  std::vector<tonmix::sampledata*> records;
  std::vector<tonmix::sound*> voices;
  for (const Voice& v : scene.voices) {
    records.push_back(tonmix::NewSampleData(v.length, 16, 1, v.hertz, v.pcm.data(), -1));
    tonmix::sound* s = m.TakeVoice(nullptr);
    s->SetRate(int32_t(v.rate * 65536.0f));
    s->SetVolume(2048);
    m.StartVoice(s, records.back(), tonmix::kPlayingLoop, 0);
    voices.push_back(s);
  }
  out.assign(size_t(2) * kBlock, 0);
  double start = CpuSeconds();
  size_t next = 0;
  for (int b = 0; b < kBlocks; ++b) {
    for (; next < scene.changes.size() && scene.changes[next].block == b; ++next) {
      const Change& c = scene.changes[next];
      voices[c.voice]->SetVolume(int16_t(c.volume * 4096.0f));
      voices[c.voice]->SetPan(int16_t(c.pan * 4096.0f));
    }
    m.MixBlock(out.data(), 2 * kBlock, 20);  // voices started at 0: no start delay
  }
  double seconds = CpuSeconds() - start;
  m.ReleaseAll();
  for (tonmix::sampledata* r : records)
    tonmix::ReleaseSampleData(r);
  return seconds;
}

// The entry points the benchmark uses.
#define VXL_AL_FUNCTIONS(X) \
  X(alcCreateContext)       \
  X(alcMakeContextCurrent)  \
  X(alcDestroyContext)      \
  X(alcCloseDevice)         \
  X(alcGetProcAddress)      \
  X(alGenBuffers)           \
  X(alBufferData)           \
  X(alGenSources)           \
  X(alSourcei)              \
  X(alSourcef)              \
  X(alSource3f)             \
  X(alSourcePlay)           \
  X(alDistanceModel)        \
  X(alDeleteSources)        \
  X(alDeleteBuffers)

// OpenAL Soft through its loopback device, every entry point looked up at run time.
struct OpenAL {
#define VXL_AL(name) decltype(&::name) name;
  VXL_AL_FUNCTIONS(VXL_AL)
#undef VXL_AL
  LPALCLOOPBACKOPENDEVICESOFT loopbackOpen;
  LPALCRENDERSAMPLESSOFT render;

  bool Load() {
    using vxl::platform::Required;
#define VXL_AL(name) Required(#name, name),
    static vxl::platform::LazyLibrary& library = vxl::platform::LazyLibrary::Define(
        "libopenal", {"libopenal.so.1"}, {VXL_AL_FUNCTIONS(VXL_AL)});
#undef VXL_AL
    if (!library.Load()) return false;
    loopbackOpen = reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(
        alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
    render = reinterpret_cast<LPALCRENDERSAMPLESSOFT>(
        alcGetProcAddress(nullptr, "alcRenderSamplesSOFT"));
    return loopbackOpen && render;
  }
};

double MixOpenAL(OpenAL& al, const Scene& scene) {
  ALCdevice* device = al.loopbackOpen(nullptr);
  if (!device) return -1;
  const ALCint attrs[] = {ALC_FORMAT_CHANNELS_SOFT,
                          ALC_STEREO_SOFT,
                          ALC_FORMAT_TYPE_SOFT,
                          ALC_SHORT_SOFT,
                          ALC_FREQUENCY,
                          44100,
                          0};
  ALCcontext* context = al.alcCreateContext(device, attrs);
  if (!context) return -1;
  al.alcMakeContextCurrent(context);
  al.alDistanceModel(AL_NONE);
  std::vector<ALuint> buffers(kVoices), sources(kVoices);
  al.alGenBuffers(kVoices, buffers.data());
  al.alGenSources(kVoices, sources.data());
  auto setPan = [&](ALuint src, float pan) {
    float a = pan * 3.14159265f / 2;
    al.alSource3f(src, AL_POSITION, std::sin(a), 0, -std::cos(a));
  };
  for (int v = 0; v < kVoices; ++v) {
    const Voice& voice = scene.voices[v];
    al.alBufferData(buffers[v], AL_FORMAT_MONO16, voice.pcm.data(), voice.length * 2, voice.hertz);
    al.alSourcei(sources[v], AL_SOURCE_RELATIVE, 1);
    al.alSourcei(sources[v], AL_LOOPING, 1);
    al.alSourcei(sources[v], AL_BUFFER, ALint(buffers[v]));
    al.alSourcef(sources[v], AL_PITCH, voice.rate);
    al.alSourcef(sources[v], AL_GAIN, 0.5f);
    setPan(sources[v], 0);
    al.alSourcePlay(sources[v]);
  }
  std::vector<int16_t> out(size_t(2) * kBlock);
  double start = CpuSeconds();
  size_t next = 0;
  for (int b = 0; b < kBlocks; ++b) {
    for (; next < scene.changes.size() && scene.changes[next].block == b; ++next) {
      const Change& c = scene.changes[next];
      al.alSourcef(sources[c.voice], AL_GAIN, c.volume);
      setPan(sources[c.voice], c.pan);
    }
    al.render(device, out.data(), kBlock);
  }
  double seconds = CpuSeconds() - start;
  al.alDeleteSources(kVoices, sources.data());
  al.alDeleteBuffers(kVoices, buffers.data());
  al.alcMakeContextCurrent(nullptr);
  al.alcDestroyContext(context);
  al.alcCloseDevice(device);
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

}  // namespace

int main() {
  InitWavLoaderModule();
  InitOggLoaderModule();
  Scene scene = MakeScene();
  std::vector<int16_t> out;

  OpenAL& al = vxl::platform::EntryPoints<OpenAL>();
  bool haveAL = al.Load();
  double ours = 1e9, theirs = 1e9;
  for (int round = 0; round < 3; ++round) {  // best of three, alternating
    ours = std::min(ours, MixOurs(scene, out));
    if (haveAL) theirs = std::min(theirs, MixOpenAL(al, scene));
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
