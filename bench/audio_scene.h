// The 64-voice scene the audio benchmarks mix, and two ways of mixing it that others are measured
// against: the software mixer's engine called directly, and OpenAL Soft called directly on a
// loopback device (ALC_SOFT_loopback).
//
// Scene: 64 looping 16-bit mono voices at varied rates, mixed offline for 10 s of 44 100 Hz
// stereo 16-bit output in blocks of 512 frames; every 100 ms a quarter of the voices get a new
// volume and pan. Times are CPU time.
#pragma once

#include <time.h>

#include <cmath>
#include <random>
#include <vector>

#include "audio/tonmix/mixer.h"
#include "platform/openal/openal_library.h"

namespace vxl::bench {

constexpr int kVoices = 64;
constexpr int kSeconds = 10;
constexpr int kBlock = 512;
constexpr int kBlocks = kSeconds * 44100 / kBlock;
constexpr int kChangeEvery = 44100 / 10 / kBlock;  // about 100 ms

inline double CpuSeconds() {
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

inline Scene MakeScene() {
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

// Runs `change` for every change of block b before `mix` mixes it; the CPU seconds of the loop.
template <class ChangeFn, class MixFn>
double PlayScene(const Scene& scene, ChangeFn change, MixFn mix) {
  double start = CpuSeconds();
  size_t next = 0;
  for (int b = 0; b < kBlocks; ++b) {
    for (; next < scene.changes.size() && scene.changes[next].block == b; ++next)
      change(scene.changes[next]);
    mix();
  }
  return CpuSeconds() - start;
}

// The software mixer's engine, no device.
inline double MixSceneTonmix(const Scene& scene) {
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
  std::vector<int16_t> out(size_t(2) * kBlock);
  double seconds = PlayScene(
      scene,
      [&](const Change& c) {
        voices[c.voice]->SetVolume(int16_t(c.volume * 4096.0f));
        voices[c.voice]->SetPan(int16_t(c.pan * 4096.0f));
      },
      [&] { m.MixBlock(out.data(), 2 * kBlock, 20); });  // started at 0: no start delay
  m.ReleaseAll();
  for (tonmix::sampledata* r : records)
    tonmix::ReleaseSampleData(r);
  return seconds;
}

// OpenAL Soft in plain calls on a loopback device; -1 without OpenAL or its loopback extension.
// Pan p puts a source at (sin a, 0, -cos a), a = p * 90 degrees, as the OpenAL driver does.
inline double MixSceneOpenAL(const Scene& scene, std::vector<int16_t>* rendered = nullptr) {
  namespace oal = platform::openal;
  if (!oal::Load() || !oal::SetLoopbackOutput(true)) return -1;
  const oal::EntryPoints& al = oal::Api();
  ALCdevice* device = al.alcOpenDevice(nullptr);
  ALCcontext* context = device ? al.alcCreateContext(device, nullptr) : nullptr;
  oal::SetLoopbackOutput(false);
  if (!context) return -1;
  al.alcMakeContextCurrent(context);
  al.alDistanceModel(AL_NONE);
  std::vector<ALuint> buffers(kVoices), sources(kVoices);
  al.alGenBuffers(kVoices, buffers.data());
  al.alGenSources(kVoices, sources.data());
  auto setPan = [&](ALuint src, float pan) {
    double a = double(pan) * 90.0 * 3.14159265358979323846 / 180.0;
    al.alSource3f(src, AL_POSITION, float(std::sin(a)), 0, float(-std::cos(a)));
  };
  for (int v = 0; v < kVoices; ++v) {
    const Voice& voice = scene.voices[v];
    al.alBufferData(buffers[v], AL_FORMAT_MONO16, voice.pcm.data(), voice.length * 2, voice.hertz);
    al.alSourcei(sources[v], AL_SOURCE_RELATIVE, 1);
    al.alSourcef(sources[v], AL_GAIN, 1.0f);
    al.alSourcef(sources[v], AL_PITCH, 1.0f);
    al.alSource3f(sources[v], AL_POSITION, 0, 0, 1.0f);
    al.alSourceStop(sources[v]);
    al.alSourcei(sources[v], AL_LOOPING, 1);
    al.alSourcei(sources[v], AL_BUFFER, ALint(buffers[v]));
    al.alSourcef(sources[v], AL_GAIN, 0.5f);
    al.alSourcef(sources[v], AL_PITCH, voice.rate);
    setPan(sources[v], 0);
    al.alSourcePlay(sources[v]);
  }
  std::vector<int16_t> out(size_t(2) * kBlock);
  double seconds = PlayScene(
      scene,
      [&](const Change& c) {
        al.alSourcef(sources[c.voice], AL_GAIN, c.volume);
        setPan(sources[c.voice], c.pan);
      },
      [&] {
        oal::RenderLoopback(device, out.data(), kBlock);
        if (rendered) rendered->insert(rendered->end(), out.begin(), out.end());
      });
  al.alDeleteSources(kVoices, sources.data());
  al.alDeleteBuffers(kVoices, buffers.data());
  al.alcMakeContextCurrent(nullptr);
  al.alcDestroyContext(context);
  al.alcCloseDevice(device);
  return seconds;
}

}  // namespace vxl::bench
