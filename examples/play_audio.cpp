// Plays a WAV or Ogg Vorbis file through the default audio driver, showing the drivers found and
// a progress line (frames played of the total) until the sound ends.
//
//   play_audio music.ogg
#include <cstdio>

#include "audio/sample_loaders.h"
#include "audio/tonmix/tonmix_driver.h"
#include "runtime/clock.h"

using namespace vxl;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s file.wav|file.ogg\n", argv[0]);
    return 2;
  }
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
    std::fprintf(stderr, "%s: not a WAV or Ogg Vorbis file\n", argv[1]);
    return 1;
  }
  Ref<TAudioDriver> driver = CurrentAudioDriver();
  std::printf("driver: %s\n", driver->Name().ToCString().c_str());
  std::printf("%d frames at %d Hz, format %d\n", sample->length, sample->hertz, sample->format);

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
