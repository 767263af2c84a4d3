#include "audio/directsound/directsound_driver.h"

#include <cstdio>
#include <cstring>
#include <limits>

#include "platform/math/small_math.h"
#include "platform/audio/soft_dsound.h"
#include "runtime/class_binder.h"
#include "runtime/never_destroyed.h"

namespace vxl {
namespace {

namespace ds = platform::dsound;

struct DriverState {
  Ref<TDirectSoundAudioDriver> started;
  int32_t generation = 0;
};

DriverState& Module() {
  static NeverDestroyed<DriverState> state;
  return *state;
}

// A failing native result raises "<label> failed (<low 16 bits>)".
void Check(int32_t result, const char* label) {
  if (result < 0) {
    Throw(String(label) + " failed (" + String::FromInt(result & 0xFFFF) + ")");
  }
}

void Say(const char* line) {
  std::fputs(line, stdout);
  std::fflush(stdout);
}

bool IsNaN(double v) {
  return v != v;
}

// Truncation toward zero that holds at the int range instead of overflowing; NaN gives 0.
int32_t SaturatingInt(double v) {
  if (IsNaN(v)) return 0;
  if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

float NotNaN(float v) {
  return IsNaN(v) ? 0.0f : v;
}

// v^0.1 for v in 0 .. 1.
float TenthRoot(float v) {
  if (v <= 0) return 0;
  return static_cast<float>(platform::math::Exp(0.1 * platform::math::Log(v)));
}

}  // namespace

Ref<TDirectSoundAudioDriver> StartedDirectSoundDriver() {
  return Module().started;
}

int32_t DirectSoundGeneration() {
  return Module().generation;
}

VXL_DEFINE_CLASS(TBuf)

TBuf::~TBuf() {
  if (_buffer) _buffer->Release();
}

int32_t TBuf::Active() {
  if (_paused) return 1;
  if (!_buffer) return 0;
  uint32_t status = 0;
  Check(_buffer->GetStatus(&status), "DirectSound");
  return status & ds::DSBSTATUS_PLAYING ? 1 : 0;
}

void TBuf::Bind(ClassBinder<TBuf>& b) {
  // The chain and the generation decide which buffer a channel may touch: read-only.
  b.AccessorField<&TBuf::Succ>("_succ");
  b.AccessorField<&TBuf::Seq>("_seq");
  b.AccessorField<&TBuf::Paused>("_paused");
  b.Method<&TBuf::Active>("Active");
}

VXL_DEFINE_CLASS(TDirectSoundSound)

TDirectSoundSound::~TDirectSoundSound() {
  DriverState& m = Module();
  if (_seq == m.generation && m.started && _bufs) m.started->AddLonely(_bufs);
}

Ref<TDirectSoundSound> TDirectSoundSound::Create(const Ref<TAudioSample>& given, int32_t flags) {
  Ref<TAudioSample> sample = given;
  auto sound = New<TDirectSoundSound>();
  sound->_hertz = sample->hertz;
  sound->_loop = flags & SOUNDFLAG_LOOP ? 1 : 0;
  Ref<TDirectSoundAudioDriver> driver = Module().started;
  if (!driver || !driver->_dsound) return sound;  // no device: a sound that plays nothing
  driver->FlushLonely();
  if (sample->format == SAMPLE_MONO16BE) sample = sample->Convert(SAMPLE_MONO16LE);
  if (sample->format == SAMPLE_STEREO16BE) sample = sample->Convert(SAMPLE_STEREO16LE);

  const int32_t f = sample->format;
  const uint32_t channels = f >= 1 && f <= 6 ? uint32_t(SampleFormatChannels[f]) : 0;
  const uint32_t frameBytes = channels ? uint32_t(SampleFormatBytes[f]) : 0;
  ds::WaveFormat format;
  format.channels = static_cast<uint16_t>(channels);
  format.samplesPerSec = static_cast<uint32_t>(sample->hertz);
  format.bitsPerSample = static_cast<uint16_t>(channels ? frameBytes / channels * 8 : 0);
  format.blockAlign = static_cast<uint16_t>(channels * format.bitsPerSample / 8);
  format.avgBytesPerSec = format.samplesPerSec * format.blockAlign;
  const int64_t bytes = int64_t(sample->length) * frameBytes;
  ds::BufferDesc desc;
  desc.flags = ds::DSBCAPS_STATIC | ds::DSBCAPS_CTRLFREQUENCY | ds::DSBCAPS_CTRLPAN |
               ds::DSBCAPS_CTRLVOLUME | ds::DSBCAPS_GLOBALFOCUS;
  if (driver->_mode == 1 || !(flags & SOUNDFLAG_HARDWARE)) desc.flags |= ds::DSBCAPS_LOCSOFTWARE;
  desc.bufferBytes = bytes > 0 && bytes <= 0xFFFFFFFF ? uint32_t(bytes) : 0;  // 0 is refused
  desc.format = &format;

  ds::Buffer* buffer = nullptr;
  Check(driver->_dsound->CreateSoundBuffer(desc, &buffer), "CreateSoundBuffer");
  Say("Created DirectSound buffer\n");
  // The TBuf owns the buffer from here, so a failing lock or unlock does not leak it.
  auto master = New<TBuf>();
  master->_buffer = buffer;
  void *p1 = nullptr, *p2 = nullptr;
  uint32_t n1 = 0, n2 = 0;
  Check(buffer->Lock(0, desc.bufferBytes, &p1, &n1, &p2, &n2, 0), "Lock SoundBuffer");
  const uint8_t* pcm = sample->samples;
  if (pcm) {
    uint64_t have = uint64_t(bytes);
    std::memcpy(p1, pcm, size_t(std::min<uint64_t>(n1, have)));
    if (p2 && n2 && have > n1) std::memcpy(p2, pcm + n1, size_t(std::min<uint64_t>(n2, have - n1)));
  }
  Check(buffer->Unlock(p1, n1, p2, n2), "Unlock SoundBuffer");
  sound->_seq = Module().generation;
  sound->_buffer = buffer;
  sound->_bufs = master;
  return sound;
}

Ref<TChannel> TDirectSoundSound::Cue(const Ref<TChannel>& channel) {
  Ref<TDirectSoundChannel> ch = channel.As<TDirectSoundChannel>();
  if (!ch) ch = TDirectSoundChannel::Create(0);
  ch->Cue(Ref<TDirectSoundSound>(this));
  return ch;
}

Ref<TChannel> TDirectSoundSound::Play(const Ref<TChannel>& channel) {
  Ref<TChannel> ch = Cue(channel);
  ch->SetPaused(0);
  return ch;
}

void TDirectSoundSound::Bind(ClassBinder<TDirectSoundSound>& b) {
  b.AccessorField<&TDirectSoundSound::Seq>("_seq");
  b.Field<&TDirectSoundSound::_hertz>("_hertz");
  b.Field<&TDirectSoundSound::_loop>("_loop");
  b.AccessorField<&TDirectSoundSound::Bufs>("_bufs");
}

VXL_DEFINE_CLASS(TDirectSoundChannel)

Ref<TDirectSoundChannel> TDirectSoundChannel::Create(int32_t isStatic) {
  auto ch = New<TDirectSoundChannel>();
  ch->_static = isStatic;
  return ch;
}

TDirectSoundChannel::~TDirectSoundChannel() {
  if (Owned() && _buf->_paused) Stop();
}

bool TDirectSoundChannel::Owned() const {
  // A buffer from before the driver's last Shutdown belongs to a device that is gone.
  return _buf && _seq == _buf->_seq && _buf->_buffer && generation_ == Module().generation;
}

void TDirectSoundChannel::Apply() {
  ds::Buffer* b = _buf->_buffer;
  b->SetVolume(SaturatingInt((1.0f - _volume) * -10000.0f));
  b->SetPan(SaturatingInt(_pan * 10000.0f));
  // A negative product is no frequency: as an unsigned value it is out of range and refused.
  b->SetFrequency(static_cast<uint32_t>(SaturatingInt(double(_rate) * _hertz)));
}

int32_t TDirectSoundChannel::Cue(const Ref<TDirectSoundSound>& sound) {
  Stop();
  DriverState& m = Module();
  if (!sound || sound->_seq != m.generation || !m.started || !m.started->_dsound) return 0;
  Ref<TBuf> buf;
  for (Ref<TBuf> b = sound->_bufs; b; b = b->_succ) {
    if (b->_buffer && !b->Active()) {
      buf = b;
      break;
    }
  }
  if (buf) {
    ++buf->_seq;
  } else {
    Ref<TDirectSoundAudioDriver> driver = m.started;
    driver->FlushLonely();
    ds::Buffer* copy = nullptr;
    if (!sound->_buffer || driver->_dsound->DuplicateSoundBuffer(sound->_buffer, &copy) < 0) {
      return 0;
    }
    Say("Duplicated DirectSound buffer\n");
    buf = New<TBuf>();
    buf->_buffer = copy;
    buf->_succ = sound->_bufs;
    sound->_bufs = buf;
  }
  _sound = sound;
  _buf = buf;
  _seq = buf->_seq;
  generation_ = m.generation;
  _hertz = sound->_hertz;
  _playFlags = sound->_loop;
  buf->_paused = 1;
  buf->_buffer->SetCurrentPosition(0);
  Apply();
  return 1;
}

int32_t TDirectSoundChannel::Stop() {
  if (!Owned()) return 0;
  _buf->_buffer->Stop();
  _buf->_paused = 0;
  ++_buf->_seq;
  _buf = nullptr;
  return 0;
}

int32_t TDirectSoundChannel::SetPaused(int32_t paused) {
  if (!Owned()) return 0;
  if (!_buf->Active()) {  // it finished: let it go
    ++_buf->_seq;
    _buf = nullptr;
    return 0;
  }
  if (paused) {
    _buf->_buffer->Stop();
  } else {
    _buf->_buffer->Play(_playFlags ? ds::DSBPLAY_LOOPING : 0);
  }
  _buf->_paused = paused ? 1 : 0;
  return 0;
}

int32_t TDirectSoundChannel::SetVolume(float volume) {
  float v = NotNaN(volume);
  v = v < 0 ? 0 : v > 1 ? 1 : v;
  _volume = TenthRoot(v);
  if (Owned()) _buf->_buffer->SetVolume(SaturatingInt((1.0f - _volume) * -10000.0f));
  return 0;
}

int32_t TDirectSoundChannel::SetPan(float pan) {
  float p = NotNaN(pan);
  _pan = p < -1 ? -1 : p > 1 ? 1 : p;
  if (Owned()) _buf->_buffer->SetPan(SaturatingInt(_pan * 10000.0f));
  return 0;
}

int32_t TDirectSoundChannel::SetDepth(float) {
  return 0;
}

int32_t TDirectSoundChannel::SetRate(float rate) {
  _rate = NotNaN(rate);
  if (Owned()) {
    _buf->_buffer->SetFrequency(static_cast<uint32_t>(SaturatingInt(double(_rate) * _hertz)));
  }
  return 0;
}

int32_t TDirectSoundChannel::Playing() {
  return Owned() ? _buf->Active() : 0;
}

void TDirectSoundChannel::Bind(ClassBinder<TDirectSoundChannel>& b) {
  b.Field<&TDirectSoundChannel::_volume>("_volume");
  b.Field<&TDirectSoundChannel::_pan>("_pan");
  b.Field<&TDirectSoundChannel::_rate>("_rate");
  b.Field<&TDirectSoundChannel::_static>("_static");
  b.AccessorField<&TDirectSoundChannel::Sound>("_sound");
  b.AccessorField<&TDirectSoundChannel::Buf>("_buf");
  b.AccessorField<&TDirectSoundChannel::Seq>("_seq");
  b.Field<&TDirectSoundChannel::_hertz>("_hertz");
  b.Field<&TDirectSoundChannel::_playFlags>("_playFlags");
  b.Method<&TDirectSoundChannel::Cue>("Cue");
}

VXL_DEFINE_CLASS(TDirectSoundAudioDriver)

TDirectSoundAudioDriver::~TDirectSoundAudioDriver() {
  if (_dsound) Shutdown();
}

Ref<TDirectSoundAudioDriver> TDirectSoundAudioDriver::Create(const String& name, int32_t mode) {
  auto d = New<TDirectSoundAudioDriver>();
  d->_name = name;
  d->_mode = mode;
  return d;
}

int32_t TDirectSoundAudioDriver::Startup() {
  if (_dsound) Shutdown();  // started twice: the first device goes
  ds::Device* device = nullptr;
  if (ds::DirectSoundCreate(&device) < 0) return 0;
  if (device->SetCooperativeLevel(ds::DSSCL_PRIORITY) < 0) {
    device->Release();
    return 0;
  }
  _dsound = device;
  Module().started = this;
  return 1;
}

int32_t TDirectSoundAudioDriver::Shutdown() {
  if (!_dsound) return 0;  // not started: what was made belongs to another start
  DriverState& m = Module();
  ++m.generation;
  if (m.started.Get() == this) m.started = nullptr;
  _lonely = nullptr;  // their buffers are released with them
  _dsound->Release();
  _dsound = nullptr;
  return 0;
}

Ref<TSound> TDirectSoundAudioDriver::CreateSound(const Ref<TAudioSample>& sample, int32_t flags) {
  return TDirectSoundSound::Create(sample, flags);
}

Ref<TChannel> TDirectSoundAudioDriver::AllocChannel() {
  return TDirectSoundChannel::Create(1);
}

void TDirectSoundAudioDriver::AddLonely(const Ref<TBuf>& bufs) {
  if (!bufs) return;
  TBuf* tail = bufs.Get();
  while (tail->_succ)
    tail = tail->_succ.Get();
  tail->_succ = _lonely;
  _lonely = bufs;
}

void TDirectSoundAudioDriver::FlushLonely() {
  Ref<TBuf>* link = &_lonely;
  while (*link) {
    Ref<TBuf> b = *link;
    if (b->Active()) {
      link = &b->_succ;
      continue;
    }
    if (b->_buffer) b->_buffer->Release();
    b->_buffer = nullptr;
    ++b->_seq;  // a channel still holding it lets go
    Say("Released DirectSound buffer\n");
    *link = b->_succ;
  }
}

void TDirectSoundAudioDriver::Bind(ClassBinder<TDirectSoundAudioDriver>& b) {
  b.Field<&TDirectSoundAudioDriver::_name>("_name");
  b.Field<&TDirectSoundAudioDriver::_mode>("_mode");
  b.AccessorField<&TDirectSoundAudioDriver::Lonely>("_lonely");
  b.Method<&TDirectSoundAudioDriver::FlushLonely>("FlushLonely");
}

int InitDirectSoundDriverModule() {
  static ModuleGuard guard("DirectSound audio driver");
  return guard.Run({InitCoreModule, InitAudioModule}, [] {
    RegisterClass<TBuf>();
    RegisterClass<TDirectSoundSound>();
    RegisterClass<TDirectSoundChannel>();
    RegisterClass<TDirectSoundAudioDriver>();
    // The software DirectSound is always present on this platform.
    TDirectSoundAudioDriver::Create("DirectSound", 0);
  });
}

}  // namespace vxl
