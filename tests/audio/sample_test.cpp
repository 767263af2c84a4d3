// Samples, every format conversion, the WAV chunk rules and Ogg decoding against oggdec's output.
#include "audio/sample.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "audio/sample_loaders.h"
#include "support/test_streams.h"
#include "support/thrown_text.h"

namespace vxl {
namespace {

using Bytes = std::vector<uint8_t>;

class SampleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitOggLoaderModule();
    InitWavLoaderModule();
  }
};

Bytes Convert(Bytes src, int32_t from, int32_t to, int32_t frames) {
  Bytes out(size_t(frames) * SampleFormatBytes[to] + 1, 0xEE);  // one canary byte
  ConvertSampleData(src.data(), from, out.data(), to, frames);
  EXPECT_EQ(out.back(), 0xEE) << from << "->" << to;
  out.pop_back();
  return out;
}

// Three frames in each format holding the same signal, and what every destination must hold,
// written out by hand from the widening and narrowing rules.
TEST_F(SampleTest, EveryConversionPairGivesTheExactBytes) {
  // Source frames per format: 8-bit 255 / 0 / 128 on the left, 128 / 255 / 0 on the right.
  const Bytes source[7] = {
      {},
      {255, 0, 128},                         // mono 8
      {0xFF, 0x7F, 0x00, 0x80, 0x80, 0x00},  // mono 16 LE: 32767, -32768, 128
      {0x7F, 0xFF, 0x80, 0x00, 0x00, 0x80},  // mono 16 BE: same values
      {255, 128, 0, 255, 128, 0},            // stereo 8
      {0xFF, 0x7F, 0x80, 0x00, 0x00, 0x80, 0xFF, 0x7F, 0x80, 0x00, 0x00, 0x80},  // stereo 16 LE
      {0x7F, 0xFF, 0x00, 0x80, 0x80, 0x00, 0x7F, 0xFF, 0x00, 0x80, 0x80, 0x00},  // stereo 16 BE
  };
  // What each destination holds for the stereo sources (L/R averaged for mono):
  // frame 0: L 32767, R 128 -> M 16447; frame 1: L -32768, R 32767 -> M 0; frame 2: L 128,
  // R -32768 -> M -16320.
  const Bytes fromStereo[7] = {
      {},
      {191, 127, 64},
      {0x3F, 0x40, 0x00, 0x00, 0x40, 0xC0},
      {0x40, 0x3F, 0x00, 0x00, 0xC0, 0x40},
      {255, 128, 0, 255, 128, 0},
      {0xFF, 0x7F, 0x80, 0x00, 0x00, 0x80, 0xFF, 0x7F, 0x80, 0x00, 0x00, 0x80},
      {0x7F, 0xFF, 0x00, 0x80, 0x80, 0x00, 0x7F, 0xFF, 0x00, 0x80, 0x80, 0x00},
  };
  // Mono sources duplicate into both channels: 32767, -32768, 128.
  const Bytes fromMono[7] = {
      {},
      {255, 0, 128},
      {0xFF, 0x7F, 0x00, 0x80, 0x80, 0x00},
      {0x7F, 0xFF, 0x80, 0x00, 0x00, 0x80},
      {255, 255, 0, 0, 128, 128},
      {0xFF, 0x7F, 0xFF, 0x7F, 0x00, 0x80, 0x00, 0x80, 0x80, 0x00, 0x80, 0x00},
      {0x7F, 0xFF, 0x7F, 0xFF, 0x80, 0x00, 0x80, 0x00, 0x00, 0x80, 0x00, 0x80},
  };
  // 8-bit 128 widens to 0x0080 = 128, and 16-bit 128 narrows back to (128 + 32768) / 257 = 128.
  for (int32_t from = 1; from <= 6; ++from) {
    for (int32_t to = 1; to <= 6; ++to) {
      Bytes want = SampleFormatChannels[from] == 2 ? fromStereo[to] : fromMono[to];
      if (from == to) want = source[from];
      EXPECT_EQ(Convert(source[from], from, to, 3), want) << from << " -> " << to;
    }
  }
}

TEST_F(SampleTest, ConversionEdgeValues) {
  // Mono 8-bit 0x00 / 0xFF to the hub.
  EXPECT_EQ(Convert({0x00, 0xFF}, SAMPLE_MONO8, SAMPLE_STEREO16BE, 2),
            (Bytes{0x80, 0x00, 0x80, 0x00, 0x7F, 0xFF, 0x7F, 0xFF}));
  // L = 1000, R = -1001: the average truncates toward zero.
  EXPECT_EQ(Convert({0xE8, 0x03, 0x17, 0xFC}, SAMPLE_STEREO16LE, SAMPLE_MONO16LE, 1),
            (Bytes{0x00, 0x00}));
  EXPECT_EQ(Convert({0x18, 0xFC, 0xE9, 0x03}, SAMPLE_STEREO16LE, SAMPLE_MONO16LE, 1),
            (Bytes{0x00, 0x00}));
  uint8_t src[8] = {}, dst[4];
  for (auto [from, to] : {std::pair{0, 1}, {1, 7}, {7, 7}, {-1, 6}}) {
    EXPECT_THROW_TEXT_AS(TRuntimeException, ConvertSampleData(src, from, dst, to, 1),
                         "Unimplemented sample format conversion");
  }
}

TEST_F(SampleTest, CopiesAreIndependentAndStaticMemoryStaysTheCallers) {
  uint8_t data[6] = {1, 2, 3, 4, 5, 6};
  {
    Ref<TAudioSample> s = NewStaticAudioSample(data, 3, 8000, SAMPLE_MONO16LE);
    EXPECT_EQ(s->capacity, -1);
    for (Ref<TAudioSample> c : {s->Copy(), s->Convert(SAMPLE_MONO16LE)}) {
      EXPECT_NE(c->samples, data);
      EXPECT_EQ(c->capacity, 6);
      EXPECT_EQ(reinterpret_cast<uintptr_t>(c->samples) % 16, 0u);
      EXPECT_EQ((Bytes(c->samples, c->samples + 6)), (Bytes{1, 2, 3, 4, 5, 6}));
      c->samples[0] = 99;
      EXPECT_EQ(data[0], 1);
      EXPECT_EQ(c->hertz, 8000);
    }
  }
  EXPECT_EQ((Bytes(data, data + 6)), (Bytes{1, 2, 3, 4, 5, 6}));  // the static sample freed nothing
  EXPECT_EQ(NewAudioSample(-5, 100, SAMPLE_STEREO16LE)->capacity, 0);
  EXPECT_EQ(NewAudioSample(5, 100, 9)->capacity, 0);
  EXPECT_EQ(NewAudioSample(5, 100, 9)->Copy()->capacity, 0);  // no bytes, no memory to copy
}

std::string Le32(uint32_t v) {
  return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}
std::string Le16(uint32_t v) {
  return std::string{char(v), char(v >> 8)};
}
std::string Chunk(const std::string& tag, const std::string& body, bool pad = true) {
  return tag + Le32(uint32_t(body.size())) + body +
         (pad && body.size() % 2 ? std::string(1, 0) : "");
}
std::string Fmt(int tag, int channels, int hertz, int bits, std::string extra = "") {
  return Chunk("fmt ", Le16(tag) + Le16(channels) + Le32(hertz) +
                           Le32(hertz * channels * bits / 8) + Le16(channels * bits / 8) +
                           Le16(bits) + extra);
}
std::string Riff(const std::string& chunks) {
  return "RIFF" + Le32(uint32_t(chunks.size() + 4)) + "WAVE" + chunks;
}

// The registered instance of a loader class (loaders link themselves into the chain for good).
template <class T>
Ref<TAudioSampleLoader> Registered() {
  for (Ref<TAudioSampleLoader> l = AudioSampleLoaders(); l; l = l->_succ) {
    if (l->Class().Name() == T::StaticClass().Name()) return l;
  }
  return nullptr;
}

Ref<TAudioSample> Load(const std::string& bytes) {
  return ReadAudioSample(Ref<Object>(test::TMemoryStream::Of(bytes)));
}

TEST_F(SampleTest, WavChunkRules) {
  const std::string pcm = "\x01\x02\x03\x04\x05\x06\x07\x08";
  struct Case {
    const char* what;
    std::string file;
    int32_t format, length, hertz;  // format 0: Null expected
  } cases[] = {
      {"mono 8", Riff(Fmt(1, 1, 8000, 8) + Chunk("data", pcm)), SAMPLE_MONO8, 8, 8000},
      {"stereo 8", Riff(Fmt(1, 2, 8000, 8) + Chunk("data", pcm)), SAMPLE_STEREO8, 4, 8000},
      {"mono 16", Riff(Fmt(1, 1, 44100, 16) + Chunk("data", pcm)), SAMPLE_MONO16LE, 4, 44100},
      {"stereo 16", Riff(Fmt(1, 2, 22050, 16) + Chunk("data", pcm)), SAMPLE_STEREO16LE, 2, 22050},
      {"chunk between fmt and data",
       Riff(Fmt(1, 1, 8000, 8) + Chunk("LIST", "abcd") + Chunk("data", pcm)), SAMPLE_MONO8, 8,
       8000},
      {"18-byte format chunk", Riff(Fmt(1, 1, 8000, 8, "xy") + Chunk("data", pcm)), SAMPLE_MONO8, 8,
       8000},
      {"odd chunk with pad byte",
       Riff(Fmt(1, 1, 8000, 8) + Chunk("junk", "abc") + Chunk("data", pcm)), SAMPLE_MONO8, 8, 8000},
      {"odd chunk without pad byte",
       Riff(Fmt(1, 1, 8000, 8) + Chunk("junk", "abc", false) + Chunk("data", pcm)), SAMPLE_MONO8, 8,
       8000},
      {"partial frame ignored", Riff(Fmt(1, 2, 8000, 16) + Chunk("data", pcm.substr(0, 7))),
       SAMPLE_STEREO16LE, 1, 8000},
      {"empty data", Riff(Fmt(1, 1, 8000, 16) + Chunk("data", "")), SAMPLE_MONO16LE, 0, 8000},
      {"chunk before fmt", Riff(Chunk("LIST", "abcd") + Fmt(1, 1, 8000, 8) + Chunk("data", pcm)), 0,
       0, 0},
      {"not PCM", Riff(Fmt(3, 1, 8000, 32) + Chunk("data", pcm)), 0, 0, 0},
      {"24-bit", Riff(Fmt(1, 1, 8000, 24) + Chunk("data", pcm)), 0, 0, 0},
      {"three channels", Riff(Fmt(1, 3, 8000, 16) + Chunk("data", pcm)), 0, 0, 0},
      {"zero channels", Riff(Fmt(1, 0, 8000, 16) + Chunk("data", pcm)), 0, 0, 0},
      {"zero rate", Riff(Fmt(1, 1, 0, 16) + Chunk("data", pcm)), 0, 0, 0},
      {"no data chunk", Riff(Fmt(1, 1, 8000, 8) + Chunk("LIST", "abcd")), 0, 0, 0},
      {"data longer than the file", Riff(Fmt(1, 1, 8000, 8)) + "data" + Le32(0x7FFFFFF0) + pcm, 0,
       0, 0},
      {"huge skipped chunk", Riff(Fmt(1, 1, 8000, 8)) + "LIST" + Le32(0xFFFFFFF0) + pcm, 0, 0, 0},
      {"truncated header", Riff(Fmt(1, 1, 8000, 8)).substr(0, 30), 0, 0, 0},
      {"not RIFF", "RIFX" + Riff(Fmt(1, 1, 8000, 8)).substr(4), 0, 0, 0},
  };
  for (const Case& c : cases) {
    Ref<TAudioSample> s = Load(c.file);
    if (c.format == 0) {
      EXPECT_FALSE(s) << c.what;
      continue;
    }
    ASSERT_TRUE(s) << c.what;
    EXPECT_EQ(s->format, c.format) << c.what;
    EXPECT_EQ(s->length, c.length) << c.what;
    EXPECT_EQ(s->hertz, c.hertz) << c.what;
    int32_t bytes = c.length * SampleFormatBytes[c.format];
    EXPECT_EQ(Bytes(s->samples, s->samples + bytes), Bytes(pcm.begin(), pcm.begin() + bytes))
        << c.what;
  }
}

TEST_F(SampleTest, WavFromAStreamThatCannotSeek) {
  Ref<TAudioSampleLoader> loader = Registered<TAudioSampleLoaderWAV>();
  const std::string pcm = "\x10\x20\x30\x40\x50";
  auto pipe = test::TOneWayStream::Of(
      Riff(Fmt(1, 1, 8000, 16) + Chunk("LIST", "xyz") + Chunk("data", pcm)), 3);
  Ref<TAudioSample> s = loader->LoadAudioSample(pipe);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->length, 2);
  EXPECT_EQ(Bytes(s->samples, s->samples + 4), Bytes(pcm.begin(), pcm.begin() + 4));
  auto cut = test::TOneWayStream::Of(Riff(Fmt(1, 1, 8000, 16)) + "data" + Le32(1000) + pcm);
  // A stream exception: the chain counts it as declined.
  EXPECT_THROW_TEXT_AS(TStreamReadException, loader->LoadAudioSample(cut),
                       "Error reading from stream");

  EXPECT_THROW_TEXT_AS(TRuntimeException,
                       ReadAudioSample(Ref<Object>(test::TOneWayStream::Of("RIFF"))),
                       "Stream is not seekable");
}

std::string DataFile(const char* name) {
  return std::string(VXL_AUDIO_TEST_DATA) + "/" + name;
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST_F(SampleTest, OggDecodesAsOggdecDoes) {
  for (auto [ogg, wav, format] : {std::tuple{"stereo.ogg", "stereo_oggdec.wav", SAMPLE_STEREO16LE},
                                  {"mono.ogg", "mono_oggdec.wav", SAMPLE_MONO16LE}}) {
    Ref<TAudioSample> decoded = ReadAudioSample(String(DataFile(ogg).c_str()));
    Ref<TAudioSample> reference = ReadAudioSample(String(DataFile(wav).c_str()));
    ASSERT_TRUE(decoded) << ogg;
    ASSERT_TRUE(reference) << wav;
    EXPECT_EQ(decoded->format, format);
    EXPECT_EQ(decoded->hertz, reference->hertz);
    ASSERT_EQ(decoded->length, reference->length) << ogg;
    int32_t bytes = decoded->length * SampleFormatBytes[format];
    EXPECT_EQ(Bytes(decoded->samples, decoded->samples + bytes),
              Bytes(reference->samples, reference->samples + bytes))
        << ogg;

    // Without seeking there is no declared total: the decoder runs to the end of the data.
    Ref<TAudioSampleLoader> loader = Registered<TAudioSampleLoaderOGG>();
    Ref<TAudioSample> piped =
        loader->LoadAudioSample(test::TOneWayStream::Of(FileBytes(DataFile(ogg)), 700));
    ASSERT_TRUE(piped);
    EXPECT_EQ(piped->length, reference->length);
    EXPECT_EQ(Bytes(piped->samples, piped->samples + bytes),
              Bytes(decoded->samples, decoded->samples + bytes));
  }
}

TEST_F(SampleTest, OggThatCannotBeUsedGivesNullOrWhatWasDecoded) {
  EXPECT_FALSE(ReadAudioSample(String(DataFile("three.ogg").c_str())));  // three channels
  std::string whole = FileBytes(DataFile("stereo.ogg"));
  Ref<TAudioSample> full = ReadAudioSample(String(DataFile("stereo.ogg").c_str()));
  ASSERT_TRUE(full);
  for (size_t cut : {size_t(0), size_t(40), whole.size() / 2, whole.size() - 200}) {
    Ref<TAudioSample> s = Load(whole.substr(0, cut));
    if (s) {
      EXPECT_LE(s->length, full->length) << cut;
      EXPECT_EQ(s->format, SAMPLE_STEREO16LE);
    }
  }
  EXPECT_FALSE(Load(""));
  EXPECT_FALSE(Load("OggS not really"));
  // A second logical stream that ends after its first page (58 bytes: the identification
  // header): vorbisfile refuses the file, and keeps a few bytes of its own while doing so
  // (suppressed in tests/support/lsan.supp).
  EXPECT_FALSE(Load(whole + FileBytes(DataFile("mono.ogg")).substr(0, 58)));
}

// Data a loader knows but cannot load gives Null with the reason; data no loader knows, or a
// sample loaded after a refusal, leaves no reason behind.
TEST_F(SampleTest, RefusedFormatsSayWhy) {
  const std::string pcm = "\x01\x02\x03\x04";
  struct {
    const char* what;
    std::string url;    // a file, or ""
    std::string bytes;  // else these bytes
    const char* problem;
  } cases[] = {
      {"24-bit WAV written by sox", DataFile("tone24.wav"), "", "24-bit samples are not supported"},
      {"3-channel Ogg", DataFile("three.ogg"), "", "3-channel samples are not supported"},
      {"6-channel WAV", "", Riff(Fmt(1, 6, 8000, 16) + Chunk("data", pcm)),
       "6-channel samples are not supported"},
      {"float WAV", "", Riff(Fmt(3, 1, 8000, 32) + Chunk("data", pcm)),
       "floating-point samples are not supported"},
      {"not audio", "", "GIF89a", ""},
      {"a WAV it loads", "", Riff(Fmt(1, 1, 8000, 8) + Chunk("data", pcm)), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Ref<TAudioSample> s = c.url.empty() ? Load(c.bytes) : ReadAudioSample(String(c.url.c_str()));
    EXPECT_EQ(bool(s), std::string(c.what) == "a WAV it loads");
    EXPECT_EQ(AudioSampleProblem().ToCString(), c.problem);
  }
}

// Streams that raise a read error where a read would pass byte `limit`: a file and a pipe.
class TFailingFile : public test::TMemoryStream {
 public:
  VXL_CLASS(TFailingFile, test::TMemoryStream)
  int32_t limit = 0;
  int32_t Read(uint8_t* buf, int32_t count) override {
    if (pos + count > limit) ThrowStreamRead();
    return TMemoryStream::Read(buf, count);
  }
};
VXL_DEFINE_CLASS(TFailingFile)

class TFailingPipe : public test::TOneWayStream {
 public:
  VXL_CLASS(TFailingPipe, test::TOneWayStream)
  int32_t limit = 0;
  int32_t Read(uint8_t* buf, int32_t count) override {
    if (int64_t(at) + std::min(count, piece) > limit) ThrowStreamRead();
    return TOneWayStream::Read(buf, count);
  }
};
VXL_DEFINE_CLASS(TFailingPipe)

// A stream error met while the decoder reads (opening or decoding) reaches the caller once the
// decoder is cleared: nothing of it is left behind (the sanitizer build checks), and the chain
// counts the error as a declined file.
TEST_F(SampleTest, OggStreamErrorsLeaveNothingBehind) {
  Ref<TAudioSampleLoader> loader = Registered<TAudioSampleLoaderOGG>();
  std::string whole = FileBytes(DataFile("stereo.ogg"));
  for (int32_t limit : {10, 100, 3000, int32_t(whole.size()) - 100}) {
    auto file = New<TFailingFile>();
    file->bytes = whole;
    file->limit = limit;
    auto pipe = New<TFailingPipe>();
    pipe->bytes = whole;
    pipe->piece = 500;
    pipe->limit = limit;
    for (Ref<TStream> s : {Ref<TStream>(file), Ref<TStream>(pipe)}) {
      EXPECT_THROW_TEXT_AS(TStreamReadException, loader->LoadAudioSample(s),
                           "Error reading from stream")
          << limit;
    }
    file->pos = 0;
    EXPECT_FALSE(ReadAudioSample(Ref<Object>(file))) << limit;
  }
}

}  // namespace
}  // namespace vxl
