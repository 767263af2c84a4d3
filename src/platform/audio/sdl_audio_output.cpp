#include "platform/audio/sdl_audio_output.h"

#include "platform/sdl/sdl_library.h"

namespace vxl::platform::audio {

bool SdlAudioOutput::Open(Fill fill, void* user, int32_t framesPerBlock) {
  Close();
  const sdl::Library* sdl = sdl::StartSubsystems(SDL_INIT_AUDIO);
  if (!sdl) return false;
  SDL_AudioSpec want{}, have{};
  want.freq = 44100;
  want.format = AUDIO_S16LSB;
  want.channels = 2;
  want.samples = static_cast<Uint16>(framesPerBlock);
  want.callback = reinterpret_cast<SDL_AudioCallback>(fill);
  want.userdata = user;
  // SDL converts if the hardware differs, so the callback always sees this format.
  SDL_AudioDeviceID id = sdl->OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (id == 0) {
    sdl::StopSubsystems(SDL_INIT_AUDIO);
    return false;
  }
  device_ = id;
  frames_ = have.samples;
  return true;
}

void SdlAudioOutput::Start() {
  if (device_) sdl::Open()->PauseAudioDevice(device_, 0);
}

void SdlAudioOutput::Lock() {
  if (device_) sdl::Open()->LockAudioDevice(device_);
}

void SdlAudioOutput::Unlock() {
  if (device_) sdl::Open()->UnlockAudioDevice(device_);
}

void SdlAudioOutput::Close() {
  if (!device_) return;
  sdl::Open()->CloseAudioDevice(device_);  // waits for a running callback
  device_ = 0;
  sdl::StopSubsystems(SDL_INIT_AUDIO);
}

}  // namespace vxl::platform::audio
