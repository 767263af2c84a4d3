// What the SDL layer does about the libraries that SDL's drivers load behind its back (the GL
// driver, the sound libraries): they stay loaded, and they stay quiet.
#pragma once

namespace vxl::platform::sdl {

// Keeps every shared library loaded at this moment in memory until the process ends. Called once
// a GL context or an audio device exists: the GL library unloads its driver when the last context
// and display go, and blocks the driver keeps would then be reachable from nowhere (LeakSanitizer
// reports them from an unknown module). A program opens and closes windows many times; the driver
// is loaded once.
void KeepLoadedLibrariesLoaded();

// Stops the sound libraries SDL uses from printing their own diagnostics on standard error (ALSA
// writes a dozen lines when there is no sound card); SDL's error text still says what failed.
// Called before SDL's audio subsystem starts.
void SilenceAudioLibraries();

}  // namespace vxl::platform::sdl
