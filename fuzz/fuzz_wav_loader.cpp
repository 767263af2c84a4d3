// Hostile bytes through the audio-sample loader chain (WAV first, then Ogg) and through the WAV
// loader on a stream that cannot seek. Nothing may crash, hang or allocate beyond the input: a WAV
// sample never holds more bytes than the input had.
#include <cstdint>
#include <string>

#include "audio/sample_loaders.h"
#include "support/test_streams.h"

namespace {

using namespace vxl;

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

void CheckSample(const Ref<TAudioSample>& s, size_t inputBytes) {
  if (!s) return;
  Check(s->format >= 1 && s->format <= 6 && s->length >= 0 && s->hertz > 0);
  Check(size_t(s->length) * SampleFormatBytes[s->format] <= inputBytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool started = (InitWavLoaderModule(), true);
  (void)started;
  std::string bytes(reinterpret_cast<const char*>(data), size);
  Ref<TAudioSampleLoader> wav;
  for (Ref<TAudioSampleLoader> l = AudioSampleLoaders(); l; l = l->_succ) {
    if (l->Class().Name() == "TAudioSampleLoaderWAV") wav = l;
  }
  CheckSample(ReadAudioSample(Ref<Object>(test::TMemoryStream::Of(bytes))), size);
  try {
    CheckSample(wav->LoadAudioSample(test::TOneWayStream::Of(bytes, 7)), size);
  } catch (const Thrown& e) {
    Check(e.Is(TStreamException::StaticClass()));
  }
  return 0;
}
