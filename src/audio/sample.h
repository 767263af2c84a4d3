// PCM audio samples: the six sample formats, TAudioSample, conversion between formats, and the
// chain of loaders behind ReadAudioSample.
//
//   Ref<TAudioSample> s = ReadAudioSample(String("jump.wav"));    // WAV tried first, then Ogg
//   if (s) {
//     Ref<TAudioSample> mono = s->Convert(SAMPLE_MONO16LE);      // a new owning sample
//     int32_t bytes = mono->length * SampleFormatBytes[SAMPLE_MONO16LE];
//   }
//
// A sample owns its bytes (capacity >= 0) unless it was made with CreateStatic (capacity -1), in
// which case the memory stays the caller's. All conversions pass through stereo 16-bit big-endian.
#pragma once

#include <cstdint>

#include "runtime/runtime.h"
#include "stream/stream.h"
#include "stream/url.h"

namespace vxl {

constexpr int32_t SAMPLE_MONO8 = 1;
constexpr int32_t SAMPLE_MONO16LE = 2;
constexpr int32_t SAMPLE_MONO16BE = 3;
constexpr int32_t SAMPLE_STEREO8 = 4;
constexpr int32_t SAMPLE_STEREO16LE = 5;
constexpr int32_t SAMPLE_STEREO16BE = 6;

// Indexed by format code 0..6 (0: no format). Filled by the sample format tables module.
extern int32_t SampleFormatChannels[7];
extern int32_t SampleFormatBytes[7];

// Bytes per frame of `format`, 0 for a code outside 1..6.
int32_t SampleFrameBytes(int32_t format) noexcept;

class TAudioSample : public Object {
 public:
  VXL_CLASS(TAudioSample, Object)
  uint8_t* samples = nullptr;
  int32_t length = 0;
  int32_t hertz = 0;
  int32_t format = 0;
  int32_t capacity = 0;  // -1: the memory belongs to the caller

  ~TAudioSample() override;

  // A new owning sample with a byte copy of the data.
  virtual Ref<TAudioSample> Copy();
  // A new owning sample in `format`, converted by ConvertSampleData.
  virtual Ref<TAudioSample> Convert(int32_t format);

  // Allocates length x bytes-per-frame bytes (16-byte aligned, contents undefined). A negative
  // length or a format outside 1..6 gives an empty sample of that format (no bytes).
  static Ref<TAudioSample> Create(int32_t length, int32_t hertz, int32_t format);
  // Wraps the caller's memory; Delete leaves it alone.
  static Ref<TAudioSample> CreateStatic(uint8_t* samples, int32_t length, int32_t hertz,
                                        int32_t format);

  static void Bind(ClassBinder<TAudioSample>& b);
};

// A loader recognises one file format. Constructing one links it at the head of the chain (so the
// newest is asked first); create loaders only in module initialisers.
class TAudioSampleLoader : public Object {
 public:
  VXL_CLASS(TAudioSampleLoader, Object)
  Ref<TAudioSampleLoader> _succ;

  // A new sample read from the stream's current position, or Null when the data is not this
  // loader's format. May also throw a stream exception. Never closes the stream.
  virtual Ref<TAudioSample> LoadAudioSample(const Ref<TStream>& stream);

  static void Bind(ClassBinder<TAudioSampleLoader>& b);

 protected:
  TAudioSampleLoader();
};

// The newest loader, Null while none exists.
Ref<TAudioSampleLoader> AudioSampleLoaders();

Ref<TAudioSample> NewAudioSample(int32_t length, int32_t hertz, int32_t format);
Ref<TAudioSample> NewStaticAudioSample(uint8_t* samples, int32_t length, int32_t hertz,
                                       int32_t format);
// Opens the URL and asks each loader from the newest; Null when the URL does not open or no loader
// accepts the data. Throws TRuntimeException "Stream is not seekable" for a stream without a
// position; exceptions other than stream exceptions reach the caller.
Ref<TAudioSample> ReadAudioSample(const Url& url);
// Why the last ReadAudioSample gave Null although a loader knew the data, e.g. "24-bit samples
// are not supported"; "" when it loaded a sample or no loader knew the data.
String AudioSampleProblem();
// For loaders: the data is in this loader's format, but it cannot load it, for this reason.
void NoteAudioSampleProblem(const String& reason);
// Copies count frames of `format`.
void CopySampleData(const uint8_t* src, uint8_t* dst, int32_t format, int32_t count);
// Converts count frames; throws TRuntimeException "Unimplemented sample format conversion" for a
// code outside 1..6.
void ConvertSampleData(const uint8_t* src, int32_t srcFormat, uint8_t* dst, int32_t dstFormat,
                       int32_t count);

// The format tables; the audio sample module (TAudioSample, TAudioSampleLoader).
int InitSampleFormatModule();
int InitAudioSampleModule();

}  // namespace vxl
