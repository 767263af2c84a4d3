#include <cstring>
#include <string>
#include <vector>

#include "audio/sample_loaders.h"
#include "memstream/endian_stream.h"

namespace vxl {
namespace {

// Chunk tags that a RIFF WAVE writer puts at the top level; used to tell whether an odd-sized
// chunk was followed by its pad byte.
constexpr const char* kKnownTags[] = {"data", "fmt ", "LIST", "fact", "cue ", "smpl", "bext",
                                      "id3 ", "ID3 ", "PEAK", "JUNK", "inst", "acid", "plst",
                                      "iXML", "DISP", "wavl", "slnt", "labl", "note", "ltxt"};

String ReadTag(TStream& s) {
  uint8_t tag[4] = {0, 0, 0, 0};
  s.ReadBytes(tag, 4);
  return String::FromBytes(tag, 4);
}

bool IsKnownTag(const uint8_t* tag) {
  for (const char* known : kKnownTags) {
    if (std::memcmp(tag, known, 4) == 0) return true;
  }
  return false;
}

// Bytes from the position to the end; -1 when the stream cannot tell.
int64_t BytesLeft(TStream& s) {
  int32_t pos = s.Pos();
  if (pos < 0) return -1;
  return std::max<int64_t>(0, int64_t(s.Size()) - pos);
}

// Skips a chunk body of n bytes. False when the chunk runs past the end of the stream.
bool SkipChunk(TStream& s, uint32_t n) {
  int64_t left = BytesLeft(s);
  if (left < 0) {
    int64_t pad = n & 1;
    for (int64_t rest = int64_t(n) + pad; rest > 0;) {
      uint8_t buf[4096];
      int32_t want = static_cast<int32_t>(std::min<int64_t>(rest, sizeof buf));
      int32_t got = s.Read(buf, want);
      if (got <= 0) return rest == pad;  // a missing final pad byte is no harm
      rest -= got;
    }
    return true;
  }
  if (n > left) return false;
  int32_t at = s.Pos() + static_cast<int32_t>(n);
  if (n & 1 && left - n >= 5) {
    // Most writers add the pad byte; a few leave it out. Take the reading that finds a known tag.
    uint8_t next[5];
    s.Seek(at);
    s.ReadBytes(next, 5);
    if (IsKnownTag(next + 1) || !IsKnownTag(next)) ++at;
  } else if (n & 1 && left > n) {
    ++at;
  }
  s.Seek(at);
  return true;
}

int32_t FormatOf(int32_t bits, int32_t channels) {
  if (bits == 8 && channels == 1) return SAMPLE_MONO8;
  if (bits == 8 && channels == 2) return SAMPLE_STEREO8;
  if (bits == 16 && channels == 1) return SAMPLE_MONO16LE;
  if (bits == 16 && channels == 2) return SAMPLE_STEREO16LE;
  return 0;
}

// The whole frames of a "data" chunk of n bytes.
Ref<TAudioSample> ReadData(TStream& s, uint32_t n, int32_t hertz, int32_t format) {
  int32_t frameBytes = SampleFormatBytes[format];
  int64_t left = BytesLeft(s);
  if (left >= 0) {
    if (n > left) ThrowStreamRead();  // truncated data
    int32_t frames = static_cast<int32_t>(n / frameBytes);
    Ref<TAudioSample> sample = TAudioSample::Create(frames, hertz, format);
    s.ReadBytes(sample->samples, frames * frameBytes);
    return sample;
  }
  // A stream without a size: gather what arrives, never more than it delivers.
  std::vector<uint8_t> bytes;
  uint64_t want = n - n % frameBytes;
  while (bytes.size() < want) {
    size_t at = bytes.size();
    bytes.resize(at + static_cast<size_t>(std::min<uint64_t>(want - at, 1 << 16)));
    int32_t got = s.Read(bytes.data() + at, static_cast<int32_t>(bytes.size() - at));
    if (got <= 0) ThrowStreamRead();
    bytes.resize(at + got);
  }
  int32_t frames = static_cast<int32_t>(want / frameBytes);
  Ref<TAudioSample> sample = TAudioSample::Create(frames, hertz, format);
  if (frames > 0) std::memcpy(sample->samples, bytes.data(), want);
  return sample;
}

// What a WAV format chunk asks for that no sample format holds. Tools write samples of more than
// 16 bits or two channels with the extensible tag, so its depth and channels are named first.
String Unsupported(int32_t tag, int32_t bits, int32_t channels, int32_t hertz) {
  constexpr int32_t kPcm = 1, kFloat = 3, kExtensible = 0xFFFE;
  std::string why;
  if (tag == kFloat)
    why = "floating-point samples are not supported";
  else if (tag != kPcm && tag != kExtensible)
    why = "WAV encoding " + std::to_string(tag) + " is not supported";
  else if (bits != 8 && bits != 16)
    why = std::to_string(bits) + "-bit samples are not supported";
  else if (channels != 1 && channels != 2)
    why = std::to_string(channels) + "-channel samples are not supported";
  else if (tag == kExtensible)
    why = "extensible WAV format chunks are not supported";
  else
    why = "a rate of " + std::to_string(hertz) + " Hz is not supported";
  return String(why.c_str());
}

}  // namespace

VXL_DEFINE_CLASS(TAudioSampleLoaderWAV)

Ref<TAudioSample> TAudioSampleLoaderWAV::LoadAudioSample(const Ref<TStream>& stream) {
  Ref<TStream> s = WrapLittleEndian(stream);
  if (ReadTag(*s) != String("RIFF")) return nullptr;
  s->ReadInt();
  if (ReadTag(*s) != String("WAVE")) return nullptr;
  if (ReadTag(*s) != String("fmt ")) return nullptr;
  uint32_t formatSize = static_cast<uint32_t>(s->ReadInt());
  int32_t tag = s->ReadShort() & 0xFFFF;
  int32_t channels = s->ReadShort();
  int32_t hertz = s->ReadInt();
  s->ReadInt();
  s->ReadShort();
  int32_t bits = s->ReadShort();
  int32_t format = FormatOf(bits, channels);
  if (tag != 1 || format == 0 || hertz <= 0) {
    NoteAudioSampleProblem(Unsupported(tag, bits, channels, hertz));
    return nullptr;
  }
  if (formatSize > 16 && !SkipChunk(*s, formatSize - 16)) return nullptr;
  while (!s->Eof()) {
    String tag = ReadTag(*s);
    uint32_t size = static_cast<uint32_t>(s->ReadInt());
    if (tag == String("data")) return ReadData(*s, size, hertz, format);
    if (!SkipChunk(*s, size)) return nullptr;
  }
  return nullptr;
}

int InitWavLoaderModule() {
  static ModuleGuard guard("wav loader");
  return guard.Run({InitCoreModule, InitAudioSampleModule, InitEndianStreamModule}, [] {
    RegisterClass<TAudioSampleLoaderWAV>();
    New<TAudioSampleLoaderWAV>();
  });
}

}  // namespace vxl
