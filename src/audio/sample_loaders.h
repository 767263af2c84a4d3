// The two audio-sample loaders the framework registers: RIFF WAVE and Ogg Vorbis.
//
// The Ogg Vorbis loader module runs first and the WAV loader module later, so ReadAudioSample
// tries WAV first. Both decline data they do not recognise by returning Null, and never allocate
// more than the data can fill.
#pragma once

#include "audio/sample.h"

namespace vxl {

// Integer PCM in 8 or 16 bits, one or two channels. The format chunk must be the first chunk;
// other chunks before "data" are skipped (an odd-sized chunk with its pad byte, or without it when
// only that reading finds a known chunk tag next). Only whole frames of "data" are loaded (a
// trailing partial frame is ignored); a "data" chunk longer than what the stream still holds, a
// rate of 0 or less, or any other encoding gives Null.
class TAudioSampleLoaderWAV : public TAudioSampleLoader {
 public:
  VXL_CLASS(TAudioSampleLoaderWAV, TAudioSampleLoader)
  Ref<TAudioSample> LoadAudioSample(const Ref<TStream>& stream) override;
};

// Ogg Vorbis through libvorbisfile, reading the stream through callbacks. Mono gives
// SAMPLE_MONO16LE, stereo SAMPLE_STEREO16LE; streams of more than two channels give Null. Decoding
// stops at the total length of the first logical stream, or where the data ends or the first
// logical stream changes when the total is unknown (a stream that cannot seek); the sample then
// holds the frames decoded. A decoding error gives Null; an exception the stream raises
// reaches the caller once the decoder is cleared.
class TAudioSampleLoaderOGG : public TAudioSampleLoader {
 public:
  VXL_CLASS(TAudioSampleLoaderOGG, TAudioSampleLoader)
  Ref<TAudioSample> LoadAudioSample(const Ref<TStream>& stream) override;
};

// The Ogg Vorbis binding; the Ogg loader module (creates the Ogg loader).
int InitOggVorbisBindingModule();
int InitOggLoaderModule();
// The WAV loader module (creates the WAV loader).
int InitWavLoaderModule();

}  // namespace vxl
