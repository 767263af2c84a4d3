// Hostile bytes through the Ogg Vorbis loader, on a seekable stream and on one that cannot seek.
// Nothing may crash or hang; a sample has one or two 16-bit channels, a positive rate, and never
// more frames than the decoder delivered.
#include <cstdint>
#include <string>

#include "audio/sample_loaders.h"
#include "support/test_streams.h"

namespace {

using namespace vxl;

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

void CheckSample(const Ref<TAudioSample>& s) {
  if (!s) return;
  Check(s->format == SAMPLE_MONO16LE || s->format == SAMPLE_STEREO16LE);
  Check(s->hertz > 0 && s->length >= 0);
  Check(int64_t(s->length) * SampleFormatBytes[s->format] <= s->capacity);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Ref<TAudioSampleLoader> ogg = [] {
    InitOggLoaderModule();
    return AudioSampleLoaders();  // the only loader here
  }();
  std::string bytes(reinterpret_cast<const char*>(data), size);
  try {
    CheckSample(ogg->LoadAudioSample(test::TMemoryStream::Of(bytes)));
    CheckSample(ogg->LoadAudioSample(test::TOneWayStream::Of(bytes, 5)));
  } catch (const Thrown&) {
    Check(false);  // the Ogg loader declines with Null, it never throws
  }
  return 0;
}
