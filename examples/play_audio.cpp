// Lists the audio drivers and plays a WAV or Ogg Vorbis file through the one named (the default
// driver when none is named), with a progress line until the sound ends.
//
//   play_audio music.ogg                   # through the default driver, "Tonmix"
//   play_audio music.ogg DirectSound       # names ignore ASCII case: "openal" works too
//   play_audio --devices music.ogg "OpenAL Default"   # adds a driver per OpenAL device first
#include <cstdio>
#include <cstring>

#include "audio/directsound/directsound_driver.h"
#include "audio/openal/openal_driver.h"
#include "audio/sample_loaders.h"
#include "audio/tonmix/tonmix_driver.h"
#include "runtime/clock.h"
#include "support/example.h"
#include "support/names.h"

using namespace vxl;

namespace {

const char kUsage[] =
    "usage: %s [--devices] <file.wav|file.ogg> [driver]\n"
    "Plays a WAV (8 or 16 bits, mono or stereo) or Ogg Vorbis file through the audio driver\n"
    "named (the default driver when none is named), showing the drivers found and the time\n"
    "played. --devices adds a driver for every OpenAL device first.\n";

int Main(int argc, char** argv) {
  bool devices = argc > 1 && std::strcmp(argv[1], "--devices") == 0;
  int first = devices ? 2 : 1;
  if (argc - first < 1 || argc - first > 2) example::UsageError(kUsage);
  const char* path = argv[first];
  const char* named = argc - first == 2 ? argv[first + 1] : nullptr;
  InitAudioModule();
  InitDirectSoundDriverModule();
  InitTonmixDriverModule();
  InitOpenALDriverModule();
  InitOggLoaderModule();
  InitWavLoaderModule();
  if (devices && !EnableOpenALDevices()) std::printf("OpenAL is not installed\n");

  Array<String> names = ListAudioDrivers();
  std::printf("audio drivers:");
  for (int32_t i = 0; i < names.Length(); ++i)
    std::printf(" \"%s\"", names[i].ToCString().c_str());
  std::printf("\n");

  Ref<TStream> file = OpenForReading(String(path));
  if (!file) {
    std::fprintf(stderr, "%s: cannot open it\n", path);
    return 1;
  }
  file->Close();
  Ref<TAudioSample> sample = ReadAudioSample(String(path));
  if (!sample) {
    String why = AudioSampleProblem();
    std::fprintf(stderr, "%s: %s\n", path,
                 why.IsEmpty() ? "not a WAV or Ogg Vorbis file" : why.ToCString().c_str());
    return 1;
  }
  if (named && !SelectAudioDriver(String(named))) {
    std::fprintf(stderr, "\"%s\": no such driver, or it did not start\n", named);
    return 1;
  }
  Ref<TAudioDriver> driver = CurrentAudioDriver();
  std::printf("driver: %s\n", driver->Name().ToCString().c_str());
  std::printf("%d frames at %d Hz, %s\n", sample->length, sample->hertz,
              example::SampleFormatName(sample->format).c_str());

  Ref<TSound> sound = driver->CreateSound(sample, 0);
  Ref<TChannel> channel = StartSound(sound, nullptr);
  if (!channel || !channel->Playing()) {
    std::printf("nothing to hear (no audio device)\n");
    example::ReportLibraryFailure();
    return 0;
  }
  // The software mixer counts the frames it played; for the others the clock tells.
  auto tonmix = channel.As<TTonmixChannel>();
  const uint32_t start = MillisecondTimer();
  const double seconds = double(sample->length) / sample->hertz;
  while (channel->Playing()) {
    double at =
        tonmix ? double(tonmix->Position()) / sample->hertz : (MillisecondTimer() - start) / 1000.0;
    std::printf("\r%.1f of %.1f s", at < seconds ? at : seconds, seconds);
    std::fflush(stdout);
    SleepMilliseconds(100);
  }
  std::printf("\r%.1f of %.1f s\n", seconds, seconds);
  SleepMilliseconds(300);  // what the device mixed ahead still has to reach the speakers
  ReleaseAudioDriver();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return example::Run(Main, argc, argv, kUsage);
}
