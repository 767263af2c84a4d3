// Plays a WAV or Ogg Vorbis file through the default audio driver, showing the drivers found and
// a progress line (frames played of the total) until the sound ends.
//
//   play_audio music.ogg
#include <cstdio>

#include "audio/sample_loaders.h"
#include "audio/tonmix/tonmix_driver.h"
#include "runtime/clock.h"
#include "support/example.h"
#include "support/names.h"

using namespace vxl;

namespace {

const char kUsage[] =
    "usage: %s <file.wav|file.ogg>\n"
    "Plays a WAV (8 or 16 bits, mono or stereo) or Ogg Vorbis file through the default audio\n"
    "driver, showing the drivers found and the frames played.\n";

int Main(int argc, char** argv) {
  if (argc != 2) example::UsageError(kUsage);
  InitAudioModule();
  InitTonmixDriverModule();
  InitOggLoaderModule();
  InitWavLoaderModule();

  Array<String> names = ListAudioDrivers();
  std::printf("audio drivers:");
  for (int32_t i = 0; i < names.Length(); ++i)
    std::printf(" \"%s\"", names[i].ToCString().c_str());
  std::printf("\n");

  Ref<TStream> file = OpenForReading(String(argv[1]));
  if (!file) {
    std::fprintf(stderr, "%s: cannot open it\n", argv[1]);
    return 1;
  }
  file->Close();
  Ref<TAudioSample> sample = ReadAudioSample(String(argv[1]));
  if (!sample) {
    String why = AudioSampleProblem();
    std::fprintf(stderr, "%s: %s\n", argv[1],
                 why.IsEmpty() ? "not a WAV or Ogg Vorbis file" : why.ToCString().c_str());
    return 1;
  }
  Ref<TAudioDriver> driver = CurrentAudioDriver();
  std::printf("driver: %s\n", driver->Name().ToCString().c_str());
  std::printf("%d frames at %d Hz, %s\n", sample->length, sample->hertz,
              example::SampleFormatName(sample->format).c_str());

  Ref<TSound> sound = driver->CreateSound(sample, 0);
  Ref<TChannel> channel = StartSound(sound, nullptr);
  auto tonmix = channel.As<TTonmixChannel>();
  if (!channel || !channel->Playing()) {
    std::printf("nothing to hear (no audio device)\n");
    return 0;
  }
  while (channel->Playing()) {
    int32_t at = tonmix ? tonmix->Position() : 0;
    std::printf("\r%d of %d", at < sample->length ? at : sample->length, sample->length);
    std::fflush(stdout);
    SleepMilliseconds(100);
  }
  std::printf("\r%d of %d\n", sample->length, sample->length);
  SleepMilliseconds(300);  // what the device mixed ahead still has to reach the speakers
  ReleaseAudioDriver();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return example::Run(Main, argc, argv, kUsage);
}
