#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <span>
#include <string>

#include "audio/sample_loaders.h"
#include "platform/vorbis/vorbis_decoder.h"

namespace vxl {
namespace {

// The data source of the callbacks: the stream, and what it threw. An exception must not pass
// through the decoder's C code (its state and allocations would be left behind), so a callback
// keeps it, reports failure from then on, and the loader rethrows it once the decoder is cleared.
struct Source {
  TStream* stream;
  std::exception_ptr thrown;

  template <class F>
  auto Guard(F call, decltype(call()) failed) -> decltype(call()) {
    if (thrown) return failed;
    try {
      return call();
    } catch (...) {
      thrown = std::current_exception();
      return failed;
    }
  }
};

// Bytes the stream already holds are copied straight out of its buffered view.
size_t ReadCallback(void* buffer, size_t size, size_t count, void* data) {
  if (size == 0) return 0;
  auto* source = static_cast<Source*>(data);
  return source->Guard(
      [&]() -> size_t {
        TStream* s = source->stream;
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
      },
      0);
}

int SeekCallback(void* data, int64_t offset, int whence) {
  auto* source = static_cast<Source*>(data);
  return source->Guard(
      [&]() -> int {
        TStream* s = source->stream;
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
      },
      -1);
}

int CloseCallback(void*) {
  return 0;
}

long TellCallback(void* data) {
  auto* source = static_cast<Source*>(data);
  return source->Guard([&]() -> long { return source->stream->Pos(); }, -1);
}

// Frames of the first allocation when the total is unknown or not yet trusted: a vorbis stream
// decodes to at most a few hundred frames per byte of input for ordinary material, and the buffer
// grows when more arrives.
constexpr int64_t kInitialFramesPerByte = 64;

// The sample, decoded; the decoder is cleared on return.
Ref<TAudioSample> Decode(Source& source) {
  platform::vorbis::Decoder d;
  if (!d.Open(&source, {ReadCallback, SeekCallback, CloseCallback, TellCallback})) return nullptr;
  const int32_t channels = d.Channels();
  const long rate = d.Rate();
  if (channels < 1 || channels > 2 || rate <= 0 || rate > INT_MAX) {
    std::string why = channels < 1 || channels > 2
                          ? std::to_string(channels) + "-channel samples are not supported"
                          : "a rate of " + std::to_string(rate) + " Hz is not supported";
    NoteAudioSampleProblem(String(why.c_str()));
    return nullptr;
  }
  const int32_t frameBytes = 2 * channels;
  const int32_t format = channels == 1 ? SAMPLE_MONO16LE : SAMPLE_STEREO16LE;
  // The declared total is a number in the file: it bounds the decoding but is not trusted for the
  // allocation beyond what the data can plausibly fill.
  int64_t total = d.TotalFrames(0);
  int64_t limit = total >= 0 ? total : INT_MAX / frameBytes;
  limit = std::min<int64_t>(limit, INT_MAX / frameBytes);
  int64_t streamBytes = std::max<int32_t>(source.stream->Size(), 4096);
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

}  // namespace

VXL_DEFINE_CLASS(TAudioSampleLoaderOGG)

Ref<TAudioSample> TAudioSampleLoaderOGG::LoadAudioSample(const Ref<TStream>& stream) {
  if (!stream) ThrowNullObject();
  Source source{stream.Get(), nullptr};
  Ref<TAudioSample> sample = Decode(source);
  if (source.thrown) std::rethrow_exception(source.thrown);
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
