// The SDL2 library, opened on first use.
//
// Nothing in the framework links SDL2: the launcher's start-up must not load it, and a program
// that never opens a window, an audio device or a joystick never pays for it. The native layers
// that need SDL (events and windows, audio output, joysticks) call through the table of entry
// points that Open() fills from libSDL2 on first use:
//
//   const platform::sdl::Library* sdl = platform::sdl::StartSubsystems(SDL_INIT_EVENTS);
//   if (!sdl) return false;           // no SDL2 on this machine, or the subsystem did not start
//   SDL_Event e;
//   while (sdl->PollEvent(&e)) ...
//
// Only files in src/platform/ include this header. To call another SDL function, add its name to
// VXL_SDL_ENTRY_POINTS.
#pragma once

#include <SDL2/SDL.h>

#include <cstdint>
#include <string>

// Declared by SDL_syswm.h, which brings the window systems' own headers along; only the files
// that read the record include it.
struct SDL_SysWMinfo;
extern "C" SDL_bool SDL_GetWindowWMInfo(SDL_Window* window, SDL_SysWMinfo* info);

namespace vxl::platform::sdl {

// Every SDL function the native layers call, without the "SDL_" prefix.
// clang-format off
#define VXL_SDL_ENTRY_POINTS(X) \
  X(Init) \
  X(InitSubSystem) \
  X(QuitSubSystem) \
  X(WasInit) \
  X(GetError) \
  X(SetHint) \
  X(GetVersion) \
  /* events and input */ \
  X(PollEvent) \
  X(WaitEvent) \
  X(WaitEventTimeout) \
  X(PushEvent) \
  X(RegisterEvents) \
  X(PumpEvents) \
  X(PeepEvents) \
  X(FlushEvents) \
  X(GetKeyboardState) \
  X(GetModState) \
  X(StartTextInput) \
  X(StopTextInput) \
  X(CaptureMouse) \
  X(ShowCursor) \
  X(WarpMouseInWindow) \
  X(WarpMouseGlobal) \
  X(GetMouseState) \
  X(GetGlobalMouseState) \
  X(GetKeyboardFocus) \
  X(GetMouseFocus) \
  X(ShowMessageBox) \
  /* windows, display modes and OpenGL contexts */ \
  X(GetCurrentVideoDriver) \
  X(GetNumVideoDisplays) \
  X(GetNumDisplayModes) \
  X(GetDisplayMode) \
  X(GetDesktopDisplayMode) \
  X(GetCurrentDisplayMode) \
  X(CreateWindow) \
  X(CreateWindowFrom) \
  X(GetWindowFlags) \
  X(MinimizeWindow) \
  X(ShowWindow) \
  X(SetWindowDisplayMode) \
  X(DestroyWindow) \
  X(GetWindowID) \
  X(GetWindowFromID) \
  X(GetWindowSize) \
  X(GetWindowPosition) \
  X(SetWindowTitle) \
  X(SetWindowFullscreen) \
  X(GetWindowWMInfo) \
  X(GetWindowSurface) \
  X(UpdateWindowSurface) \
  X(MapRGB) \
  X(GetRGB) \
  X(RaiseWindow) \
  X(GL_LoadLibrary) \
  X(GL_SetAttribute) \
  X(GL_CreateContext) \
  X(GL_DeleteContext) \
  X(GL_MakeCurrent) \
  X(GL_SwapWindow) \
  X(GL_SetSwapInterval) \
  X(GL_GetProcAddress) \
  X(GL_GetCurrentContext) \
  X(GL_GetSwapInterval) \
  X(GL_ResetAttributes) \
  /* audio */ \
  X(GetCurrentAudioDriver) \
  X(OpenAudioDevice) \
  X(CloseAudioDevice) \
  X(PauseAudioDevice) \
  X(LockAudioDevice) \
  X(UnlockAudioDevice) \
  X(GetAudioDeviceStatus) \
  /* joysticks */ \
  X(NumJoysticks) \
  X(JoystickOpen) \
  X(JoystickClose) \
  X(JoystickName) \
  X(JoystickNameForIndex) \
  X(JoystickNumAxes) \
  X(JoystickNumButtons) \
  X(JoystickNumHats) \
  X(JoystickGetAxis) \
  X(JoystickGetButton) \
  X(JoystickGetHat) \
  X(JoystickUpdate) \
  X(JoystickInstanceID) \
  X(JoystickGetDeviceInstanceID) \
  X(JoystickAttachVirtual) \
  X(JoystickDetachVirtual) \
  X(JoystickSetVirtualAxis) \
  X(JoystickSetVirtualButton) \
  X(JoystickSetVirtualHat) \
  X(JoystickEventState)
// clang-format on

// The entry points, typed as SDL declares them: sdl->PollEvent(&event).
struct Library {
#define VXL_SDL_FIELD(name) decltype(&::SDL_##name) name;
  VXL_SDL_ENTRY_POINTS(VXL_SDL_FIELD)
#undef VXL_SDL_FIELD
};

// Opens libSDL2 and resolves every entry point, once per process (thread-safe), through the
// lazy-library helper (platform/library; its name there is "libSDL2"). Null when the library is
// missing or lacks an entry point; OpenError() then says which. The library stays loaded until
// the process ends.
const Library* Open();
// Why Open() or the last StartSubsystems gave Null: the loader's text, else SDL's reason for a
// subsystem that did not start ("" while nothing has failed).
std::string OpenError();

// Opens the library if needed and starts the given SDL_INIT_* subsystems (already running ones
// are counted by SDL). Null if the library is missing or a subsystem did not start; OpenError()
// then holds SDL's reason. Call from the main thread.
const Library* StartSubsystems(uint32_t flags);
// Stops subsystems started with StartSubsystems (for a module's exit function).
void StopSubsystems(uint32_t flags);

}  // namespace vxl::platform::sdl
