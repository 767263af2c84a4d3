// OpenAL 1.1 (OpenAL Soft's libopenal.so.1), opened on first use, with its 93 entry points.
//
// Start-up only asks whether the library is there (Present: the file is found as the dynamic
// linker would find it, nothing is loaded). The first call of Api() loads it and binds the table;
// an entry point the library lacks, or every one when it does not load, is bound to a stub that
// calls the missing-function handler (the framework's raises its null-function error):
//
//   const platform::openal::EntryPoints& al = platform::openal::Api();
//   ALCdevice* device = al.alcOpenDevice(nullptr);    // a stub raises if OpenAL is missing
//
// Only files in src/platform/ include this header.
#pragma once

#include <AL/al.h>
#include <AL/alc.h>

#include <cstdint>
#include <string>

namespace vxl::platform::openal {

// The entry points, in the table's order.
// clang-format off
#define VXL_OPENAL_ENTRY_POINTS(X) \
  X(alcOpenDevice) \
  X(alcCloseDevice) \
  X(alcGetError) \
  X(alcGetString) \
  X(alcGetIntegerv) \
  X(alcCreateContext) \
  X(alcMakeContextCurrent) \
  X(alcProcessContext) \
  X(alcSuspendContext) \
  X(alcDestroyContext) \
  X(alcGetCurrentContext) \
  X(alcGetContextsDevice) \
  X(alcIsExtensionPresent) \
  X(alcGetProcAddress) \
  X(alcGetEnumValue) \
  X(alcCaptureOpenDevice) \
  X(alcCaptureCloseDevice) \
  X(alcCaptureStart) \
  X(alcCaptureStop) \
  X(alcCaptureSamples) \
  X(alEnable) \
  X(alDisable) \
  X(alIsEnabled) \
  X(alGetString) \
  X(alGetBooleanv) \
  X(alGetIntegerv) \
  X(alGetFloatv) \
  X(alGetDoublev) \
  X(alGetBoolean) \
  X(alGetInteger) \
  X(alGetFloat) \
  X(alGetDouble) \
  X(alGetError) \
  X(alIsExtensionPresent) \
  X(alGetProcAddress) \
  X(alGetEnumValue) \
  X(alListenerf) \
  X(alListener3f) \
  X(alListenerfv) \
  X(alListeneri) \
  X(alListener3i) \
  X(alListeneriv) \
  X(alGetListenerf) \
  X(alGetListener3f) \
  X(alGetListenerfv) \
  X(alGetListeneri) \
  X(alGetListener3i) \
  X(alGetListeneriv) \
  X(alGenBuffers) \
  X(alDeleteBuffers) \
  X(alIsBuffer) \
  X(alBufferData) \
  X(alBufferf) \
  X(alBuffer3f) \
  X(alBufferfv) \
  X(alBufferi) \
  X(alBuffer3i) \
  X(alBufferiv) \
  X(alGetBufferf) \
  X(alGetBuffer3f) \
  X(alGetBufferfv) \
  X(alGetBufferi) \
  X(alGetBuffer3i) \
  X(alGetBufferiv) \
  X(alGenSources) \
  X(alDeleteSources) \
  X(alIsSource) \
  X(alSourcef) \
  X(alSource3f) \
  X(alSourcefv) \
  X(alSourcei) \
  X(alSource3i) \
  X(alSourceiv) \
  X(alGetSourcef) \
  X(alGetSource3f) \
  X(alGetSourcefv) \
  X(alGetSourcei) \
  X(alGetSource3i) \
  X(alGetSourceiv) \
  X(alSourcePlayv) \
  X(alSourceStopv) \
  X(alSourceRewindv) \
  X(alSourcePausev) \
  X(alSourcePlay) \
  X(alSourceStop) \
  X(alSourceRewind) \
  X(alSourcePause) \
  X(alSourceQueueBuffers) \
  X(alSourceUnqueueBuffers) \
  X(alDopplerFactor) \
  X(alDopplerVelocity) \
  X(alSpeedOfSound) \
  X(alDistanceModel)
// clang-format on

struct EntryPoints {
#define VXL_OPENAL_SLOT(name) decltype(&::name) name;
  VXL_OPENAL_ENTRY_POINTS(VXL_OPENAL_SLOT)
#undef VXL_OPENAL_SLOT
};

// The table; the first call loads the library and binds it (thread-safe, once).
const EntryPoints& Api();
// Loads (once) and answers whether the library opened.
bool Load();
// Whether the entry point `name` is the library's own, not a stub (loads first).
bool Resolved(const char* name);
// Why the library did not load ("" when it did, or before the first load).
std::string LoadError();

// Whether the library file is there; never loads it. For start-up.
bool Present();
// Makes the first load open `file` instead of libopenal.so.1 (a file that does not exist makes
// OpenAL missing). False once the library was loaded.
bool UseLibraryFile(const char* file);

// The function every stub calls; it must not return (it throws). Without one a stub aborts.
void SetMissingFunctionHandler(void (*handler)());

// With true, devices that alcOpenDevice opens afterwards are loopback devices (ALC_SOFT_loopback)
// at 44 100 Hz, stereo, 16-bit, which play nothing by themselves and mix only when
// RenderLoopback is called. False: real devices again. For measurements and tests.
bool SetLoopbackOutput(bool loopback);
// Mixes `frames` frames of a loopback device into `out` (interleaved left, right).
void RenderLoopback(ALCdevice* device, int16_t* out, int32_t frames);

}  // namespace vxl::platform::openal
