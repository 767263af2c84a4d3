#include "audio/openal/openal_driver.h"

#include <string>

#include "platform/math/small_math.h"
#include "platform/openal/openal_library.h"
#include "runtime/class_binder.h"
#include "runtime/function.h"
#include "runtime/never_destroyed.h"

namespace vxl {
namespace {

namespace oal = platform::openal;

struct OpenALState {
  Ref<TOpenALSource> pool;  // free sources, head first
  int32_t generation = 0;   // advanced by every Shutdown
  bool devicesEnabled = false;
  int32_t devicesResult = 0;
};

OpenALState& Module() {
  static NeverDestroyed<OpenALState> state;
  return *state;
}

const oal::EntryPoints& Al() {
  return oal::Api();
}

// The library's bytes as a string, one character per byte.
String Text(const char* bytes) {
  return String(bytes ? bytes : "");
}

}  // namespace

VXL_DEFINE_CLASS(TOpenALSource)

bool TOpenALSource::Current() const {
  return _id != 0 && generation_ == Module().generation;
}

int32_t TOpenALSource::Playing() {
  if (!Current()) return 0;
  ALint state = 0;
  Al().alGetSourcei(_id, AL_SOURCE_STATE, &state);
  return state == AL_PLAYING ? 1 : 0;
}

int32_t TOpenALSource::Paused() {
  if (!Current()) return 0;
  ALint state = 0;
  Al().alGetSourcei(_id, AL_SOURCE_STATE, &state);
  return state == AL_PAUSED ? 1 : 0;
}

int32_t TOpenALSource::Active() {
  if (!Current()) return 0;
  if (cued_) return 1;
  ALint state = 0;
  Al().alGetSourcei(_id, AL_SOURCE_STATE, &state);
  return state == AL_PLAYING || state == AL_PAUSED ? 1 : 0;
}

void TOpenALSource::DropSound() {
  // OpenAL refuses to delete a buffer still attached to a source, stopped or not.
  if (_sound && Current()) Al().alSourcei(_id, AL_BUFFER, 0);
  _sound = nullptr;
}

void TOpenALSource::Bind(ClassBinder<TOpenALSource>& b) {
  b.AccessorField<&TOpenALSource::Succ>("_succ");
  b.AccessorField<&TOpenALSource::Id>("_id");
  b.AccessorField<&TOpenALSource::Seq>("_seq");
  b.AccessorField<&TOpenALSource::Sound>("_sound");
  b.Method<&TOpenALSource::Playing>("Playing");
  b.Method<&TOpenALSource::Paused>("Paused");
  b.Method<&TOpenALSource::Active>("Active");
}

VXL_DEFINE_CLASS(TOpenALSound)

TOpenALSound::~TOpenALSound() {
  if (_buffer && generation_ == Module().generation) Al().alDeleteBuffers(1, &_buffer);
}

Ref<TOpenALSound> TOpenALSound::Create(const Ref<TAudioSample>& given, int32_t flags) {
  Ref<TAudioSample> sample = given;
  if (sample->format == SAMPLE_MONO16BE) sample = sample->Convert(SAMPLE_MONO16LE);
  if (sample->format == SAMPLE_STEREO16BE) sample = sample->Convert(SAMPLE_STEREO16LE);
  ALenum format = 0;
  switch (sample->format) {
    case SAMPLE_MONO8:
      format = AL_FORMAT_MONO8;
      break;
    case SAMPLE_MONO16LE:
      format = AL_FORMAT_MONO16;
      break;
    case SAMPLE_STEREO8:
      format = AL_FORMAT_STEREO8;
      break;
    case SAMPLE_STEREO16LE:
      format = AL_FORMAT_STEREO16;
      break;
    default:
      break;
  }
  auto sound = New<TOpenALSound>();
  sound->_loop = flags & SOUNDFLAG_LOOP ? 1 : 0;
  sound->generation_ = Module().generation;
  const oal::EntryPoints& al = Al();
  ALuint buffer = 0;
  al.alGenBuffers(1, &buffer);
  sound->_buffer = buffer;
  const int64_t bytes = format ? int64_t(sample->length) * SampleFormatBytes[sample->format] : 0;
  // A size OpenAL cannot take leaves the buffer empty: the sound plays nothing.
  if (buffer && bytes > 0 && bytes <= 0x7FFFFFFF && sample->samples) {
    al.alBufferData(buffer, format, sample->samples, ALsizei(bytes), sample->hertz);
  }
  return sound;
}

Ref<TChannel> TOpenALSound::Cue(const Ref<TChannel>& channel) {
  Ref<TOpenALChannel> ch = channel.As<TOpenALChannel>();
  if (!ch) ch = TOpenALChannel::Create(0);
  ch->Cue(Ref<TOpenALSound>(this));
  return ch;
}

Ref<TChannel> TOpenALSound::Play(const Ref<TChannel>& channel) {
  Ref<TChannel> ch = Cue(channel);
  ch->SetPaused(0);
  return ch;
}

void TOpenALSound::Bind(ClassBinder<TOpenALSound>& b) {
  b.AccessorField<&TOpenALSound::Buffer>("_buffer");
  b.Field<&TOpenALSound::_loop>("_loop");
}

VXL_DEFINE_CLASS(TOpenALChannel)

Ref<TOpenALChannel> TOpenALChannel::Create(int32_t isStatic) {
  OpenALState& m = Module();
  Ref<TOpenALSource> source;
  for (Ref<TOpenALSource>* link = &m.pool; *link; link = &(*link)->_succ) {
    if (!(*link)->Active()) {
      source = *link;
      *link = source->_succ;
      source->_succ = nullptr;
      ++source->_seq;
      source->DropSound();
      break;
    }
  }
  if (!source) {
    source = New<TOpenALSource>();
    source->generation_ = m.generation;
    ALuint id = 0;
    Al().alGenSources(1, &id);
    source->_id = id;
  }
  auto ch = New<TOpenALChannel>();
  ch->_source = source;
  ch->_seq = source->_seq;
  ch->_static = isStatic;
  if (source->_id == 0) {
    ch->_seq = source->_seq + 1;  // inert
    return ch;
  }
  const oal::EntryPoints& al = Al();
  al.alSourcei(source->_id, AL_SOURCE_RELATIVE, AL_TRUE);
  al.alSourcef(source->_id, AL_GAIN, 1.0f);
  al.alSourcef(source->_id, AL_PITCH, 1.0f);
  al.alSource3f(source->_id, AL_POSITION, 0, 0, 1.0f);
  if (!isStatic) {  // reused once it has stopped playing
    source->_succ = m.pool;
    m.pool = source;
  }
  return ch;
}

TOpenALChannel::~TOpenALChannel() {
  if (!Owned()) return;
  if (_source->cued_ || _source->Paused()) {
    Al().alSourceStop(_source->_id);
    _source->cued_ = false;
  }
  if (_static) {
    _source->_succ = Module().pool;
    Module().pool = _source;
  }
}

bool TOpenALChannel::Owned() const {
  return _source && _seq == _source->_seq && _source->Current();
}

int32_t TOpenALChannel::Cue(const Ref<TOpenALSound>& sound) {
  if (!Owned() || !sound || sound->generation_ != Module().generation) return 0;
  const oal::EntryPoints& al = Al();
  const ALuint id = _source->_id;
  al.alSourceStop(id);
  al.alSourcei(id, AL_LOOPING, sound->_loop ? AL_TRUE : AL_FALSE);
  al.alSourcei(id, AL_BUFFER, ALint(sound->_buffer));
  _source->_sound = sound;  // the previous sound's buffer is already detached
  _source->cued_ = true;
  return 1;
}

int32_t TOpenALChannel::SetPaused(int32_t paused) {
  if (!Owned()) return 0;
  if (paused) {
    Al().alSourcePause(_source->_id);
  } else {
    Al().alSourcePlay(_source->_id);
    _source->cued_ = false;
  }
  return 0;
}

int32_t TOpenALChannel::SetVolume(float volume) {
  if (Owned()) Al().alSourcef(_source->_id, AL_GAIN, volume);
  return 0;
}

int32_t TOpenALChannel::SetPan(float pan) {
  if (!Owned()) return 0;
  const double angle = double(pan) * 90.0 * 3.14159265358979323846 / 180.0;
  Al().alSource3f(_source->_id, AL_POSITION, float(platform::math::Sin(angle)), 0.0f,
                  float(-platform::math::Cos(angle)));
  return 0;
}

int32_t TOpenALChannel::SetDepth(float) {
  return 0;
}

int32_t TOpenALChannel::SetRate(float rate) {
  if (Owned()) Al().alSourcef(_source->_id, AL_PITCH, rate);
  return 0;
}

int32_t TOpenALChannel::Playing() {
  return Owned() ? _source->Playing() : 0;
}

int32_t TOpenALChannel::Stop() {
  if (!Owned()) return 0;
  Al().alSourceStop(_source->_id);
  _source->cued_ = false;
  ++_source->_seq;
  if (_static) {
    _source->_succ = Module().pool;
    Module().pool = _source;
  }
  return 0;
}

void TOpenALChannel::Bind(ClassBinder<TOpenALChannel>& b) {
  b.AccessorField<&TOpenALChannel::Source>("_source");
  b.AccessorField<&TOpenALChannel::Seq>("_seq");
  // Whether the channel keeps its source out of the pool: read-only, or a source could be pooled
  // twice.
  b.AccessorField<&TOpenALChannel::Static>("_static");
  b.Method<&TOpenALChannel::Cue>("Cue");
}

VXL_DEFINE_CLASS(TOpenALAudioDriver)

Ref<TOpenALAudioDriver> TOpenALAudioDriver::Create(const String& name, const String& devname) {
  auto d = New<TOpenALAudioDriver>();
  d->_name = name;
  d->_devname = devname;
  return d;
}

int32_t TOpenALAudioDriver::Startup() {
  if (_device) Shutdown();
  if (!oal::Load()) return 0;  // the stubs stay bound
  const oal::EntryPoints& al = Al();
  ALCdevice* device = nullptr;
  if (_devname.Length() > 0) {
    device = al.alcOpenDevice(_devname.ToCString().c_str());
  } else {
    device = al.alcOpenDevice(nullptr);
    if (!device) device = al.alcOpenDevice("Generic Hardware");
    if (!device) device = al.alcOpenDevice("Generic Software");
  }
  if (!device) return 0;
  ALCcontext* context = al.alcCreateContext(device, nullptr);
  if (!context) {
    al.alcCloseDevice(device);
    return 0;
  }
  al.alcMakeContextCurrent(context);
  al.alDistanceModel(AL_NONE);
  _device = device;
  _context = context;
  return 1;
}

int32_t TOpenALAudioDriver::Shutdown() {
  if (!_device) return 0;  // not started: what was made belongs to another start
  OpenALState& m = Module();
  // Source and buffer names mean nothing in the next context (and restart at 1 there): what was
  // made so far goes stale, and the pool starts empty.
  ++m.generation;
  for (Ref<TOpenALSource> s = m.pool; s; s = s->_succ)
    ++s->_seq;
  while (m.pool) {
    Ref<TOpenALSource> next = m.pool->_succ;
    m.pool->_succ = nullptr;
    m.pool = next;
  }
  const oal::EntryPoints& al = Al();
  if (al.alcGetCurrentContext() == _context) al.alcMakeContextCurrent(nullptr);
  al.alcDestroyContext(static_cast<ALCcontext*>(_context));
  al.alcCloseDevice(static_cast<ALCdevice*>(_device));
  _context = nullptr;
  _device = nullptr;
  return 0;
}

Ref<TSound> TOpenALAudioDriver::CreateSound(const Ref<TAudioSample>& sample, int32_t flags) {
  return TOpenALSound::Create(sample, flags);
}

Ref<TChannel> TOpenALAudioDriver::AllocChannel() {
  return TOpenALChannel::Create(1);
}

void TOpenALAudioDriver::Bind(ClassBinder<TOpenALAudioDriver>& b) {
  b.Field<&TOpenALAudioDriver::_name>("_name");
  b.Field<&TOpenALAudioDriver::_devname>("_devname");
}

int32_t EnableOpenALDevices() {
  OpenALState& m = Module();
  if (m.devicesEnabled) return m.devicesResult;
  m.devicesEnabled = true;
  if (!oal::Load() || !oal::Resolved("alcGetString")) return m.devicesResult = 0;
  const oal::EntryPoints& al = Al();
  const ALCchar* list = al.alcGetString(nullptr, ALC_DEVICE_SPECIFIER);
  for (int n = 0; list && *list && n < 100; ++n) {
    std::string name(list);
    TOpenALAudioDriver::Create(String("OpenAL ") + Text(name.c_str()), Text(name.c_str()));
    list += name.size() + 1;
  }
  TOpenALAudioDriver::Create("OpenAL Default",
                             Text(al.alcGetString(nullptr, ALC_DEFAULT_DEVICE_SPECIFIER)));
  return m.devicesResult = 1;
}

int InitOpenALBindingModule() {
  static ModuleGuard guard("OpenAL binding");
  return guard.Run({InitCoreModule}, [] { oal::SetMissingFunctionHandler(&ThrowNullFunction); });
}

int InitOpenALDriverModule() {
  static ModuleGuard guard("OpenAL audio driver");
  return guard.Run({InitCoreModule, InitAudioModule, InitOpenALBindingModule}, [] {
    RegisterClass<TOpenALSource>();
    RegisterClass<TOpenALSound>();
    RegisterClass<TOpenALChannel>();
    RegisterClass<TOpenALAudioDriver>();
    // Only whether the library is there: it is loaded by the first call that needs it.
    if (oal::Present()) TOpenALAudioDriver::Create("OpenAL", "");
  });
}

}  // namespace vxl
