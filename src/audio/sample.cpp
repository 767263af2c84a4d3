#include "audio/sample.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "runtime/class_binder.h"
#include "runtime/never_destroyed.h"

namespace vxl {

int32_t SampleFormatChannels[7];
int32_t SampleFormatBytes[7];

int32_t SampleFrameBytes(int32_t format) noexcept {
  return format >= 1 && format <= 6 ? SampleFormatBytes[format] : 0;
}

namespace {

ModuleGuard g_sampleModule("audio sample");

constexpr int32_t kHub = SAMPLE_STEREO16BE;

[[noreturn]] void ThrowUnimplemented() {
  RaiseRuntimeError("Unimplemented sample format conversion");
}

bool ValidFormat(int32_t format) {
  return format >= 1 && format <= 6;
}

// One frame of any format 1..5 as hub bytes (high byte first, left then right).
void ToHub(const uint8_t* src, int32_t format, uint8_t* hub, int32_t count) {
  for (int32_t i = 0; i < count; ++i, hub += 4) {
    switch (format) {
      case SAMPLE_MONO8: {
        uint8_t c = src[i];
        hub[0] = hub[2] = static_cast<uint8_t>(c - 128);
        hub[1] = hub[3] = c;
        break;
      }
      case SAMPLE_MONO16LE:
        hub[0] = hub[2] = src[2 * i + 1];
        hub[1] = hub[3] = src[2 * i];
        break;
      case SAMPLE_MONO16BE:
        hub[0] = hub[2] = src[2 * i];
        hub[1] = hub[3] = src[2 * i + 1];
        break;
      case SAMPLE_STEREO8: {
        uint8_t c0 = src[2 * i], c1 = src[2 * i + 1];
        hub[0] = static_cast<uint8_t>(c0 - 128);
        hub[1] = c0;
        hub[2] = static_cast<uint8_t>(c1 - 128);
        hub[3] = c1;
        break;
      }
      case SAMPLE_STEREO16LE:
        hub[0] = src[4 * i + 1];
        hub[1] = src[4 * i];
        hub[2] = src[4 * i + 3];
        hub[3] = src[4 * i + 2];
        break;
      default:
        ThrowUnimplemented();
    }
  }
}

uint8_t To8(int32_t v) {
  return static_cast<uint8_t>((v + 32768) / 257);
}

void FromHub(const uint8_t* hub, uint8_t* dst, int32_t format, int32_t count) {
  if (format < 1 || format > 5) ThrowUnimplemented();
  for (int32_t i = 0; i < count; ++i, hub += 4) {
    int32_t l = static_cast<int16_t>(hub[0] << 8 | hub[1]);
    int32_t r = static_cast<int16_t>(hub[2] << 8 | hub[3]);
    int32_t m = (l + r) / 2;  // truncates toward zero
    switch (format) {
      case SAMPLE_MONO8:
        dst[i] = To8(m);
        break;
      case SAMPLE_MONO16LE:
        dst[2 * i] = static_cast<uint8_t>(m);
        dst[2 * i + 1] = static_cast<uint8_t>(m >> 8);
        break;
      case SAMPLE_MONO16BE:
        dst[2 * i] = static_cast<uint8_t>(m >> 8);
        dst[2 * i + 1] = static_cast<uint8_t>(m);
        break;
      case SAMPLE_STEREO8:
        dst[2 * i] = To8(l);
        dst[2 * i + 1] = To8(r);
        break;
      case SAMPLE_STEREO16LE:
        dst[4 * i] = static_cast<uint8_t>(l);
        dst[4 * i + 1] = static_cast<uint8_t>(l >> 8);
        dst[4 * i + 2] = static_cast<uint8_t>(r);
        dst[4 * i + 3] = static_cast<uint8_t>(r >> 8);
        break;
    }
  }
}

Ref<TAudioSampleLoader>& LoaderHead() {
  static NeverDestroyed<Ref<TAudioSampleLoader>> head;
  return *head;
}

String& Problem() {
  static NeverDestroyed<String> problem;
  return *problem;
}

}  // namespace

void CopySampleData(const uint8_t* src, uint8_t* dst, int32_t format, int32_t count) {
  // A sample of an unknown format has no bytes, and may have no memory to point at.
  size_t bytes = count > 0 ? size_t(count) * SampleFrameBytes(format) : 0;
  if (bytes > 0) std::memmove(dst, src, bytes);
}

void ConvertSampleData(const uint8_t* src, int32_t srcFormat, uint8_t* dst, int32_t dstFormat,
                       int32_t count) {
  // A code outside 1..6 is refused even when both sides name it: its frame size is unknown.
  if (!ValidFormat(srcFormat) || !ValidFormat(dstFormat)) ThrowUnimplemented();
  if (srcFormat == dstFormat) return CopySampleData(src, dst, srcFormat, count);
  if (count <= 0) return;
  if (srcFormat == kHub) return FromHub(src, dst, dstFormat, count);
  if (dstFormat == kHub) return ToHub(src, srcFormat, dst, count);
  std::unique_ptr<uint8_t[]> hub(new uint8_t[size_t(count) * 4]);
  ToHub(src, srcFormat, hub.get(), count);
  FromHub(hub.get(), dst, dstFormat, count);
}

VXL_DEFINE_CLASS(TAudioSample)

TAudioSample::~TAudioSample() {
  if (capacity >= 0 && samples) ::operator delete(samples, std::align_val_t(16));
}

Ref<TAudioSample> TAudioSample::Create(int32_t length, int32_t hertz, int32_t format) {
  auto s = New<TAudioSample>();
  int64_t bytes = length > 0 ? int64_t(length) * SampleFrameBytes(format) : 0;
  if (bytes > 0x7FFFFFFF) RaiseRuntimeError("Out of memory");
  if (bytes > 0) s->samples = static_cast<uint8_t*>(::operator new(bytes, std::align_val_t(16)));
  s->length = length;
  s->hertz = hertz;
  s->format = format;
  s->capacity = static_cast<int32_t>(bytes);
  return s;
}

Ref<TAudioSample> TAudioSample::CreateStatic(uint8_t* samples, int32_t length, int32_t hertz,
                                             int32_t format) {
  auto s = New<TAudioSample>();
  s->samples = samples;
  s->length = length;
  s->hertz = hertz;
  s->format = format;
  s->capacity = -1;
  return s;
}

Ref<TAudioSample> TAudioSample::Copy() {
  Ref<TAudioSample> s = Create(length, hertz, format);
  CopySampleData(samples, s->samples, format, length);
  return s;
}

Ref<TAudioSample> TAudioSample::Convert(int32_t to) {
  if (to == format) return Copy();
  Ref<TAudioSample> s = Create(length, hertz, to);
  ConvertSampleData(samples, format, s->samples, to, length);
  return s;
}

void TAudioSample::Bind(ClassBinder<TAudioSample>& b) {
  b.ReadOnlyField<&TAudioSample::length>("length");
  b.Field<&TAudioSample::hertz>("hertz");
  b.ReadOnlyField<&TAudioSample::format>("format");
  b.ReadOnlyField<&TAudioSample::capacity>("capacity");
  b.Method<&TAudioSample::Copy>("Copy");
  b.Method<&TAudioSample::Convert>("Convert");
}

Ref<TAudioSample> NewAudioSample(int32_t length, int32_t hertz, int32_t format) {
  return TAudioSample::Create(length, hertz, format);
}

Ref<TAudioSample> NewStaticAudioSample(uint8_t* samples, int32_t length, int32_t hertz,
                                       int32_t format) {
  return TAudioSample::CreateStatic(samples, length, hertz, format);
}

VXL_DEFINE_CLASS(TAudioSampleLoader)

TAudioSampleLoader::TAudioSampleLoader() {
  _succ = LoaderHead();
  LoaderHead() = this;
}

Ref<TAudioSample> TAudioSampleLoader::LoadAudioSample(const Ref<TStream>&) {
  ThrowNullMethod();
}

void TAudioSampleLoader::Bind(ClassBinder<TAudioSampleLoader>& b) {
  b.ReadOnlyField<&TAudioSampleLoader::_succ>("_succ");
  b.Method<&TAudioSampleLoader::LoadAudioSample>("LoadAudioSample");
}

Ref<TAudioSampleLoader> AudioSampleLoaders() {
  return LoaderHead();
}

Ref<TAudioSample> ReadAudioSample(const Url& url) {
  g_sampleModule.Require("InitAudioSampleModule");
  Ref<TStream> stream = OpenStreamUrl(url, 1, 0);
  if (!stream) return nullptr;
  int32_t pos = stream->Pos();
  if (pos == -1) RaiseRuntimeError("Stream is not seekable");
  Ref<TAudioSample> sample;
  Problem() = String();
  for (Ref<TAudioSampleLoader> loader = LoaderHead(); loader && !sample; loader = loader->_succ) {
    stream->Seek(pos);
    try {
      sample = loader->LoadAudioSample(stream);
    } catch (const Thrown& e) {
      if (!e.Is(TStreamException::StaticClass())) throw;
    }
  }
  stream->Close();
  if (sample) Problem() = String();
  return sample;
}

String AudioSampleProblem() {
  return Problem();
}

void NoteAudioSampleProblem(const String& reason) {
  Problem() = reason;
}

int InitSampleFormatModule() {
  static ModuleGuard guard("sample format tables");
  return guard.Run({InitCoreModule}, [] {
    const int32_t channels[7] = {0, 1, 1, 1, 2, 2, 2};
    const int32_t bytes[7] = {0, 1, 2, 2, 2, 4, 4};
    for (int i = 0; i < 7; ++i) {
      SampleFormatChannels[i] = channels[i];
      SampleFormatBytes[i] = bytes[i];
    }
  });
}

int InitAudioSampleModule() {
  return g_sampleModule.Run({InitCoreModule, InitStreamModule, InitSampleFormatModule}, [] {
    RegisterClass<TAudioSample>();
    RegisterClass<TAudioSampleLoader>();
  });
}

}  // namespace vxl
