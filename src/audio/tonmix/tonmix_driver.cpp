#include "audio/tonmix/tonmix_driver.h"

#include "audio/tonmix/tonmix.h"
#include "runtime/class_binder.h"

namespace vxl {

VXL_DEFINE_CLASS(TTonmixSound)

TTonmixSound::~TTonmixSound() {
  tonmix::MixerFreeSound(fa_sound);
}

Ref<TTonmixSound> TTonmixSound::CreateWithSound(tonmix::sampledata* record,
                                                const Ref<TAudioSample>&) {
  auto s = New<TTonmixSound>();
  s->fa_sound = record;
  return s;
}

Ref<TChannel> TTonmixSound::Start(const Ref<TChannel>& channel, int32_t paused) {
  if (channel && !channel->IsInstanceOf(TTonmixChannel::StaticClass())) return nullptr;
  auto* given = static_cast<TTonmixChannel*>(channel.Get());
  int32_t handle = given ? given->fa_channel : 0;
  int32_t used = tonmix::MixerPlaySound(fa_sound, paused, handle);
  if (used == 0) return nullptr;
  if (given && used == handle) return channel;
  return TTonmixChannel::CreateWithChannel(used);
}

Ref<TChannel> TTonmixSound::Play(const Ref<TChannel>& channel) {
  return Start(channel, 0);
}

Ref<TChannel> TTonmixSound::Cue(const Ref<TChannel>& channel) {
  return Start(channel, 1);
}

VXL_DEFINE_CLASS(TTonmixChannel)

TTonmixChannel::~TTonmixChannel() {
  if (fa_channel) tonmix::MixerFreeChannel(fa_channel);
}

Ref<TTonmixChannel> TTonmixChannel::CreateWithChannel(int32_t handle) {
  auto c = New<TTonmixChannel>();
  c->fa_channel = handle;
  return c;
}

int32_t TTonmixChannel::Stop() {
  tonmix::MixerStopChannel(fa_channel);
  fa_channel = 0;
  return 0;
}
int32_t TTonmixChannel::SetPaused(int32_t paused) {
  tonmix::MixerSetPaused(fa_channel, paused);
  return 0;
}
int32_t TTonmixChannel::SetVolume(float volume) {
  tonmix::MixerSetVolume(fa_channel, volume);
  return 0;
}
int32_t TTonmixChannel::SetPan(float pan) {
  tonmix::MixerSetPan(fa_channel, pan);
  return 0;
}
int32_t TTonmixChannel::SetDepth(float depth) {
  tonmix::MixerSetDepth(fa_channel, depth);
  return 0;
}
int32_t TTonmixChannel::SetRate(float rate) {
  tonmix::MixerSetRate(fa_channel, rate);
  return 0;
}
int32_t TTonmixChannel::Playing() {
  int32_t status = tonmix::MixerChannelStatus(fa_channel);
  return status != 0 && !(status & 0x01) && !(status & 0x10) ? 1 : 0;
}
int32_t TTonmixChannel::Position() {
  return tonmix::MixerChannelPosition(fa_channel);
}

void TTonmixChannel::Bind(ClassBinder<TTonmixChannel>& b) {
  b.ReadOnlyField<&TTonmixChannel::fa_channel>("fa_channel");
  b.Method<&TTonmixChannel::Position>("Position");
}

VXL_DEFINE_CLASS(TTonmixAudioDriver)

Ref<TTonmixAudioDriver> TTonmixAudioDriver::Create(const String& name, int32_t mode) {
  auto d = New<TTonmixAudioDriver>();
  d->_name = name;
  d->_mode = mode;
  return d;
}

int32_t TTonmixAudioDriver::Startup() {
  if (_mode != 1 && tonmix::MixerStart(tonmix::NewWaveOutDevice()) == 0) return 1;
  if (_mode != 0 && tonmix::MixerStart(tonmix::NewDirectSoundDevice()) == 0) return 1;
  return 0;
}

int32_t TTonmixAudioDriver::Shutdown() {
  tonmix::MixerStop();
  return 0;
}

Ref<TSound> TTonmixAudioDriver::CreateSound(const Ref<TAudioSample>& given, int32_t flags) {
  Ref<TAudioSample> sample = given;
  if (sample->format == SAMPLE_MONO16BE) sample = sample->Convert(SAMPLE_MONO16LE);
  if (sample->format == SAMPLE_STEREO16BE) sample = sample->Convert(SAMPLE_STEREO16LE);
  int32_t channels =
      sample->format >= 1 && sample->format <= 6 ? SampleFormatChannels[sample->format] : 0;
  int32_t bits = channels ? SampleFormatBytes[sample->format] * 8 / channels : 0;
  tonmix::sampledata* record =
      tonmix::MixerCreateSound(sample->length, bits, channels, sample->hertz, sample->samples,
                               flags & SOUNDFLAG_LOOP ? -1 : 0);
  return TTonmixSound::CreateWithSound(record, sample);
}

Ref<TChannel> TTonmixAudioDriver::AllocChannel() {
  int32_t handle = tonmix::MixerAllocChannel();
  if (handle == 0) return nullptr;
  return TTonmixChannel::CreateWithChannel(handle);
}

void TTonmixAudioDriver::Bind(ClassBinder<TTonmixAudioDriver>& b) {
  b.Field<&TTonmixAudioDriver::_name>("_name");
  b.Field<&TTonmixAudioDriver::_mode>("_mode");
}

int InitSoftwareMixerModule() {
  static ModuleGuard guard("software mixer library");
  return guard.Run({InitCoreModule}, [] {});
}

int InitTonmixDriverModule() {
  static ModuleGuard guard("software mixer audio driver");
  return guard.Run({InitCoreModule, InitAudioModule, InitSoftwareMixerModule}, [] {
    RegisterClass<TTonmixSound>();
    RegisterClass<TTonmixChannel>();
    RegisterClass<TTonmixAudioDriver>();
    // The software DirectSound is always present on this platform.
    TTonmixAudioDriver::Create("Tonmix DirectSound", 1);
    TTonmixAudioDriver::Create("Tonmix Multimedia", 0);
    TTonmixAudioDriver::Create("Tonmix", -1);
  });
}

}  // namespace vxl
