#include "platform/openal/openal_library.h"

#include <AL/alext.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/library/lazy_library.h"

namespace vxl::platform::openal {
namespace {

std::atomic<void (*)()> missingHandler{nullptr};

[[noreturn]] void MissingFunction() {
  if (void (*handler)() = missingHandler.load()) handler();
  std::abort();
}

// A stub of the same type as the entry point it stands in for.
template <class F>
struct Stub;
template <class R, class... A>
struct Stub<R (*)(A...)> {
  static R Call(A...) { MissingFunction(); }
};

constexpr const char* kNames[] = {
#define VXL_OPENAL_NAME(name) #name,
    VXL_OPENAL_ENTRY_POINTS(VXL_OPENAL_NAME)
#undef VXL_OPENAL_NAME
};
constexpr size_t kCount = sizeof(kNames) / sizeof(kNames[0]);

// Written once, inside the std::call_once of Bind; read-only afterwards.
struct Binding {
  EntryPoints table;
  bool loaded;
  bool resolved[kCount];
  decltype(&::alcOpenDevice) open;
  decltype(&::alcCreateContext) createContext;
  decltype(&::alcCloseDevice) close;
  LPALCLOOPBACKOPENDEVICESOFT loopbackOpen;
  LPALCRENDERSAMPLESSOFT render;
};
Binding binding;  // trivially destructible: nothing runs at exit
std::once_flag bound;

LazyLibrary& Library() {
  static LazyLibrary& library = LazyLibrary::Define("libopenal", {"libopenal.so.1"},
                                                    {
#define VXL_OPENAL_SYMBOL(name) Optional(#name, binding.table.name),
                                                        VXL_OPENAL_ENTRY_POINTS(VXL_OPENAL_SYMBOL)
#undef VXL_OPENAL_SYMBOL
                                                    });
  return library;
}

// Loopback devices opened while SetLoopbackOutput(true) was in force.
std::atomic<bool> loopbackOutput{false};
std::mutex loopbackMutex;
std::vector<ALCdevice*>& LoopbackDevices() {
  static auto* devices = new std::vector<ALCdevice*>;  // never destroyed
  return *devices;
}

bool IsLoopback(ALCdevice* device) {
  std::lock_guard<std::mutex> lock(loopbackMutex);
  auto& all = LoopbackDevices();
  return std::find(all.begin(), all.end(), device) != all.end();
}

ALCdevice* ALC_APIENTRY OpenDevice(const ALCchar* name) {
  if (!loopbackOutput.load() || !binding.loopbackOpen) return binding.open(name);
  ALCdevice* device = binding.loopbackOpen(nullptr);
  if (device) {
    std::lock_guard<std::mutex> lock(loopbackMutex);
    LoopbackDevices().push_back(device);
  }
  return device;
}

ALCcontext* ALC_APIENTRY CreateContext(ALCdevice* device, const ALCint* attributes) {
  static const ALCint kLoopbackFormat[] = {ALC_FORMAT_CHANNELS_SOFT,
                                           ALC_STEREO_SOFT,
                                           ALC_FORMAT_TYPE_SOFT,
                                           ALC_SHORT_SOFT,
                                           ALC_FREQUENCY,
                                           44100,
                                           0};
  if (!attributes && IsLoopback(device)) attributes = kLoopbackFormat;
  return binding.createContext(device, attributes);
}

ALCboolean ALC_APIENTRY CloseDevice(ALCdevice* device) {
  {
    std::lock_guard<std::mutex> lock(loopbackMutex);
    auto& all = LoopbackDevices();
    all.erase(std::remove(all.begin(), all.end(), device), all.end());
  }
  return binding.close(device);
}

bool ResolvedNow(const char* name) {
  for (size_t i = 0; i < kCount; ++i) {
    if (std::strcmp(kNames[i], name) == 0) return binding.resolved[i];
  }
  return false;
}

void Bind() {
  std::call_once(bound, [] {
    Binding& b = binding;
    // OpenAL Soft reports its errors on standard error unless told otherwise; the framework's
    // results say what failed. A level the user set stays.
    setenv("ALSOFT_LOGLEVEL", "0", 0);
    b.loaded = Library().Load();
    size_t i = 0;
#define VXL_OPENAL_STUB(name)                \
  b.resolved[i++] = b.table.name != nullptr; \
  if (!b.table.name) b.table.name = &Stub<decltype(&::name)>::Call;
    VXL_OPENAL_ENTRY_POINTS(VXL_OPENAL_STUB)
#undef VXL_OPENAL_STUB
    if (ResolvedNow("alcGetProcAddress")) {
      b.loopbackOpen = reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(
          b.table.alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
      b.render = reinterpret_cast<LPALCRENDERSAMPLESSOFT>(
          b.table.alcGetProcAddress(nullptr, "alcRenderSamplesSOFT"));
    }
    // Opening, context creation and closing pass through here, so that loopback output can
    // stand in for a device without the callers knowing.
    if (b.loopbackOpen && b.render && ResolvedNow("alcOpenDevice") &&
        ResolvedNow("alcCreateContext") && ResolvedNow("alcCloseDevice")) {
      b.open = b.table.alcOpenDevice;
      b.createContext = b.table.alcCreateContext;
      b.close = b.table.alcCloseDevice;
      b.table.alcOpenDevice = &OpenDevice;
      b.table.alcCreateContext = &CreateContext;
      b.table.alcCloseDevice = &CloseDevice;
    } else {
      b.loopbackOpen = nullptr;
      b.render = nullptr;
    }
  });
}

}  // namespace

const EntryPoints& Api() {
  Bind();
  return binding.table;
}

bool Load() {
  Bind();
  return binding.loaded;
}

bool Resolved(const char* name) {
  Bind();
  return ResolvedNow(name);
}

std::string LoadError() {
  return Library().Error();
}

bool Present() {
  return !Library().Find().empty();
}

bool UseLibraryFile(const char* file) {
  return SetLibraryFile("libopenal", file);
}

void SetMissingFunctionHandler(void (*handler)()) {
  missingHandler.store(handler);
}

bool SetLoopbackOutput(bool loopback) {
  Bind();
  loopbackOutput.store(loopback);
  return binding.loopbackOpen != nullptr;
}

void RenderLoopback(ALCdevice* device, int16_t* out, int32_t frames) {
  Bind();
  if (binding.render && device && IsLoopback(device)) binding.render(device, out, frames);
}

}  // namespace vxl::platform::openal
