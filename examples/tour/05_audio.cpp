// Tour: audio samples, drivers and channels.
#include <cstdio>

#include "audio/audio_driver.h"
#include "audio/sample.h"
#include "runtime/clock.h"
#include "startup/startup.h"

using namespace vxl;

int main() {
  InitFrameworkModules();
  // tour:begin
  for (const String& name : ListAudioDrivers()) std::printf("driver \"%s\"\n", name.ToCString().c_str());
  SelectAudioDriver(String("tonmix"));                      // names ignore ASCII case
  Ref<TAudioSample> beep = TAudioSample::Create(22050, 44100, SAMPLE_MONO16LE);
  for (int32_t i = 0; i < beep->length; ++i)                // half a second of 441 Hz
    reinterpret_cast<int16_t*>(beep->samples)[i] = (i / 50) % 2 ? 8000 : -8000;
  Ref<TSound> sound = CurrentAudioDriver()->CreateSound(beep, 0);
  Ref<TChannel> channel = PrimeSound(sound, nullptr);       // cued, paused
  ChangeChannelPan(channel, -0.5f);
  ContinueChannel(channel);
  while (IsChannelPlaying(channel)) SleepMilliseconds(10);
  // tour:end
}
