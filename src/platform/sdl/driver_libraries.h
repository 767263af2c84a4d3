// What the SDL layer does about the libraries that SDL's drivers load behind its back (the GL
// driver, the sound libraries): they stay loaded (platform::KeepLoadedLibrariesLoaded, called
// once a GL context or an audio device exists), and they stay quiet.
#pragma once

namespace vxl::platform::sdl {

// Stops the sound libraries SDL uses from printing their own diagnostics on standard error (ALSA
// writes a dozen lines when there is no sound card); SDL's error text still says what failed.
// Called before SDL's audio subsystem starts.
void SilenceAudioLibraries();

}  // namespace vxl::platform::sdl
