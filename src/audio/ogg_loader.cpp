#include <algorithm>
#include <climits>
#include <cstring>
#include <span>

#include "audio/sample_loaders.h"
#include "platform/vorbis/vorbis_decoder.h"

namespace vxl {
namespace {

// The stream callbacks: the data source is the TStream.
// Bytes the stream already holds are copied straight out of its buffered view.
size_t ReadCallback(void* buffer, size_t size, size_t count, void* source) {
  if (size == 0) return 0;
  TStream* s = static_cast<TStream*>(source);
  size_t want = std::min<size_t>(size * count, INT_MAX);
  std::span<const uint8_t> held = s->PeekBuffered();
  if (!held.empty()) {
    size_t n = std::min(want, held.size());
    std::memcpy(buffer, held.data(), n);
    s->ConsumeBuffered(n);
    return n / size;
  }
  int32_t got = s->Read(static_cast<uint8_t*>(buffer), static_cast<int32_t>(want));
  return got > 0 ? size_t(got) / size : 0;
}

int SeekCallback(void* source, int64_t offset, int whence) {
  TStream* s = static_cast<TStream*>(source);
  int64_t to;
  switch (whence) {
    case 0:
      to = offset;
      break;
    case 1:
      to = int64_t(s->Pos()) + offset;
      break;
    case 2:
      to = int64_t(s->Size()) + offset;
      break;
    default:
      return -1;
  }
  if (to < 0 || to > INT_MAX) return -1;
  return s->Seek(static_cast<int32_t>(to));
}

int CloseCallback(void*) {
  return 0;
}

long TellCallback(void* source) {
  return static_cast<TStream*>(source)->Pos();
}

// Frames of the first allocation when the total is unknown or not yet trusted: a vorbis stream
// decodes to at most a few hundred frames per byte of input for ordinary material, and the buffer
// grows when more arrives.
constexpr int64_t kInitialFramesPerByte = 64;

}  // namespace

VXL_DEFINE_CLASS(TAudioSampleLoaderOGG)

Ref<TAudioSample> TAudioSampleLoaderOGG::LoadAudioSample(const Ref<TStream>& stream) {
  TStream* source = stream.Get();
  if (!source) ThrowNullObject();
  platform::vorbis::Decoder d;
  if (!d.Open(source, {ReadCallback, SeekCallback, CloseCallback, TellCallback})) return nullptr;
  const int32_t channels = d.Channels();
  const long rate = d.Rate();
  if (channels < 1 || channels > 2 || rate <= 0 || rate > INT_MAX) return nullptr;
  const int32_t frameBytes = 2 * channels;
  const int32_t format = channels == 1 ? SAMPLE_MONO16LE : SAMPLE_STEREO16LE;
  // The declared total is a number in the file: it bounds the decoding but is not trusted for the
  // allocation beyond what the data can plausibly fill.
  int64_t total = d.TotalFrames(0);
  int64_t limit = total >= 0 ? total : INT_MAX / frameBytes;
  limit = std::min<int64_t>(limit, INT_MAX / frameBytes);
  int64_t streamBytes = std::max<int32_t>(source->Size(), 4096);
  int64_t capacity = std::min<int64_t>(limit, streamBytes * kInitialFramesPerByte);

  Ref<TAudioSample> sample =
      TAudioSample::Create(static_cast<int32_t>(capacity), static_cast<int32_t>(rate), format);
  int64_t doneBytes = 0;
  const int64_t limitBytes = limit * frameBytes;
  int firstLink = -1;
  while (doneBytes < limitBytes) {
    if (doneBytes == int64_t(sample->length) * frameBytes) {
      int64_t grown = std::min<int64_t>(limit, std::max<int64_t>(sample->length * 2, 4096));
      Ref<TAudioSample> bigger =
          TAudioSample::Create(static_cast<int32_t>(grown), sample->hertz, format);
      std::memcpy(bigger->samples, sample->samples, doneBytes);
      sample = bigger;
    }
    int64_t room = int64_t(sample->length) * frameBytes - doneBytes;
    int link = 0;
    long got = d.Read(reinterpret_cast<char*>(sample->samples) + doneBytes,
                      static_cast<int>(std::min<int64_t>(room, 1 << 20)), &link);
    if (got < 0) return nullptr;
    if (got == 0) break;  // the data ended early: keep what was decoded
    if (firstLink < 0) firstLink = link;
    if (link != firstLink) break;  // a following logical stream may differ in format
    doneBytes += got;
  }
  sample->length = static_cast<int32_t>(doneBytes / frameBytes);
  return sample;
}

int InitOggVorbisBindingModule() {
  static ModuleGuard guard("ogg vorbis binding");
  return guard.Run({InitCoreModule}, [] {});
}

int InitOggLoaderModule() {
  static ModuleGuard guard("ogg loader");
  return guard.Run({InitCoreModule, InitAudioSampleModule, InitOggVorbisBindingModule}, [] {
    RegisterClass<TAudioSampleLoaderOGG>();
    New<TAudioSampleLoaderOGG>();
  });
}

}  // namespace vxl
