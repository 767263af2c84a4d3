#include "audio/audio_driver.h"

#include "runtime/class_binder.h"
#include "runtime/never_destroyed.h"

namespace vxl {
namespace {

ModuleGuard g_audioModule("audio");

struct Registry {
  Ref<TAudioDriver> head;
  Ref<TAudioDriver> null;     // the "Null" instance made by the module
  Ref<TAudioDriver> current;  // Null while none is selected
};

Registry& State() {
  static NeverDestroyed<Registry> registry;
  return *registry;
}

Ref<TAudioDriver> FindDriver(const String& name) {
  String want = name.ToLower();
  for (Ref<TAudioDriver> d = State().head; d; d = d->_succ) {
    if (d->Name().ToLower() == want) return d;
  }
  return nullptr;
}

}  // namespace

VXL_DEFINE_CLASS(TSound)

Ref<TChannel> TSound::Play(const Ref<TChannel>&) {
  return New<TChannel>();
}

Ref<TChannel> TSound::Cue(const Ref<TChannel>&) {
  return New<TChannel>();
}

Ref<TSound> TSound::Load(const Url& url, int32_t flags) {
  const Ref<Object>& object = url.Get();
  Ref<TAudioSample> sample = object && object->IsInstanceOf(TAudioSample::StaticClass())
                                 ? Ref<TAudioSample>(static_cast<TAudioSample*>(object.Get()))
                                 : ReadAudioSample(url);
  if (!sample) return nullptr;
  return CurrentAudioDriver()->CreateSound(sample, flags);
}

void TSound::Bind(ClassBinder<TSound>& b) {
  b.Method<&TSound::Play>("Play");
  b.Method<&TSound::Cue>("Cue");
}

VXL_DEFINE_CLASS(TChannel)

int32_t TChannel::Stop() {
  return 0;
}
int32_t TChannel::SetPaused(int32_t) {
  return 0;
}
int32_t TChannel::SetVolume(float) {
  return 0;
}
int32_t TChannel::SetPan(float) {
  return 0;
}
int32_t TChannel::SetDepth(float) {
  return 0;
}
int32_t TChannel::SetRate(float) {
  return 0;
}
int32_t TChannel::Playing() {
  return 0;
}

void TChannel::Bind(ClassBinder<TChannel>& b) {
  b.Method<&TChannel::Stop>("Stop");
  b.Method<&TChannel::SetPaused>("SetPaused");
  b.Method<&TChannel::SetVolume>("SetVolume");
  b.Method<&TChannel::SetPan>("SetPan");
  b.Method<&TChannel::SetDepth>("SetDepth");
  b.Method<&TChannel::SetRate>("SetRate");
  b.Method<&TChannel::Playing>("Playing");
}

VXL_DEFINE_CLASS(TAudioDriver)

TAudioDriver::TAudioDriver() {
  _succ = State().head;
  State().head = this;
}

String TAudioDriver::Name() {
  return "Null";
}
int32_t TAudioDriver::Startup() {
  return 1;
}
int32_t TAudioDriver::Shutdown() {
  return 0;
}
Ref<TSound> TAudioDriver::CreateSound(const Ref<TAudioSample>&, int32_t) {
  return New<TSound>();
}
Ref<TChannel> TAudioDriver::AllocChannel() {
  return New<TChannel>();
}
Ref<TSound> TAudioDriver::LoadSound(const Ref<Object>& url, int32_t flags) {
  return TSound::Load(url, flags);
}

void TAudioDriver::Bind(ClassBinder<TAudioDriver>& b) {
  b.ReadOnlyField<&TAudioDriver::_succ>("_succ");
  b.Method<&TAudioDriver::Name>("Name");
  b.Method<&TAudioDriver::Startup>("Startup");
  b.Method<&TAudioDriver::Shutdown>("Shutdown");
  b.Method<&TAudioDriver::CreateSound>("CreateSound");
  b.Method<&TAudioDriver::AllocChannel>("AllocChannel");
  b.Method<&TAudioDriver::LoadSound>("LoadSound");
}

// Registry and module functions

Ref<TAudioDriver> AudioDrivers() {
  return State().head;
}

void ReleaseAudioDriver() {
  RecordExitFunction("audio shutdown");
  Registry& r = State();
  if (Ref<TAudioDriver> current = std::move(r.current)) current->Shutdown();
}

int32_t SelectAudioDriver(const String& name) {
  ReleaseAudioDriver();
  Registry& r = State();
  r.current = r.null;
  Ref<TAudioDriver> driver = FindDriver(name);
  if (!driver || !driver->Startup()) return 0;
  r.current = driver;
  return 1;
}

Ref<TAudioDriver> CurrentAudioDriver() {
  if (!State().current) {
    g_audioModule.Require("InitAudioModule");
    if (!SelectAudioDriver("Tonmix")) SelectAudioDriver("Null");
  }
  return State().current;
}

int32_t HasAudioDriver(const String& name) {
  return FindDriver(name) ? 1 : 0;
}

Array<String> ListAudioDrivers() {
  std::vector<String> names;
  for (Ref<TAudioDriver> d = State().head; d && names.size() < 100; d = d->_succ) {
    names.push_back(d->Name());
  }
  auto out = Array<String>::New(static_cast<int32_t>(names.size()));
  for (size_t i = 0; i < names.size(); ++i)
    out[static_cast<int32_t>(i)] = names[i];
  return out;
}

Ref<TSound> LoadAudioSound(const Url& url, int32_t flags) {
  return CurrentAudioDriver()->LoadSound(url, flags);
}
Ref<TChannel> NewChannel() {
  return CurrentAudioDriver()->AllocChannel();
}
Ref<TChannel> StartSound(const Ref<TSound>& sound, const Ref<TChannel>& channel) {
  return sound->Play(channel);
}
Ref<TChannel> PrimeSound(const Ref<TSound>& sound, const Ref<TChannel>& channel) {
  return sound->Cue(channel);
}
int32_t HaltChannel(const Ref<TChannel>& channel) {
  return channel->Stop();
}
int32_t HoldChannel(const Ref<TChannel>& channel) {
  return channel->SetPaused(1);
}
int32_t ContinueChannel(const Ref<TChannel>& channel) {
  return channel->SetPaused(0);
}
int32_t ChangeChannelVolume(const Ref<TChannel>& channel, float volume) {
  return channel->SetVolume(volume);
}
int32_t ChangeChannelPan(const Ref<TChannel>& channel, float pan) {
  return channel->SetPan(pan);
}
int32_t ChangeChannelDepth(const Ref<TChannel>& channel, float depth) {
  return channel->SetDepth(depth);
}
int32_t ChangeChannelRate(const Ref<TChannel>& channel, float rate) {
  return channel->SetRate(rate);
}
int32_t IsChannelPlaying(const Ref<TChannel>& channel) {
  return channel->Playing();
}

int InitAudioModule() {
  return g_audioModule.Run({InitCoreModule, InitAudioSampleModule}, [] {
    RegisterClass<TSound>();
    RegisterClass<TChannel>();
    RegisterClass<TAudioDriver>();
    State().null = New<TAudioDriver>();
    RegisterExitFunction(ReleaseAudioDriver);  // shuts the device down
  });
}

}  // namespace vxl
