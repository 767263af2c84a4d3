#include "records/records.h"

#include <cstdlib>
#include <cstring>

#include "platform/audio/soft_dsound.h"

namespace vxl {

namespace {

int32_t (*g_directSoundCreate)(platform::dsound::Device**) = nullptr;
DirectDrawCreateFunction g_directDrawCreate = nullptr;

}  // namespace

int InitWin32RecordsModule() {
  static ModuleGuard guard("Win32 records");
  return guard.Run({InitCoreModule}, [] {});
}

int InitGdiRecordsModule() {
  static ModuleGuard guard("GDI records");
  return guard.Run({InitCoreModule}, [] {});
}

int InitDirectXRecordsModule() {
  static ModuleGuard guard("DirectX records");
  return guard.Run({InitCoreModule}, [] {});
}

int InitDirectDrawRecordsModule() {
  static ModuleGuard guard("DirectDraw records");
  return guard.Run({InitCoreModule, InitDirectXRecordsModule}, [] {});
}

int InitDirect3D7RecordsModule() {
  static ModuleGuard guard("Direct3D 7 records");
  return guard.Run({InitCoreModule, InitDirectXRecordsModule}, [] {});
}

int InitDirectSoundRecordsModule() {
  static ModuleGuard guard("DirectSound records");
  return guard.Run({InitCoreModule, InitDirectXRecordsModule}, [] {});
}

int InitDirect3D9RecordsModule() {
  static ModuleGuard guard("Direct3D 9 records");
  return guard.Run({InitCoreModule, InitDirectXRecordsModule}, [] {});
}

int InitD3DX9RecordsModule() {
  static ModuleGuard guard("D3DX 9 records");
  return guard.Run({InitCoreModule, InitDirectXRecordsModule}, [] {});
}

int InitDirect3D9LookupModule() {
  static ModuleGuard guard("Direct3D 9 look-up");
  // No Direct3D 9 here: nothing to resolve.
  return guard.Run({InitCoreModule, InitDirect3D9RecordsModule}, [] {});
}

int InitD3DX9LookupModule() {
  static ModuleGuard guard("D3DX 9 look-up");
  // No D3DX 9 here: nothing to resolve.
  return guard.Run({InitCoreModule, InitD3DX9RecordsModule}, [] {});
}

int InitDirectDrawLookupModule() {
  static ModuleGuard guard("DirectDraw look-up");
  // The software DirectDraw is switched on by VXL_D3D7=1; without it there is none to find.
  return guard.Run({InitCoreModule, InitDirectDrawRecordsModule}, [] {
    const char* setting = std::getenv("VXL_D3D7");
    if (setting && std::strcmp(setting, "1") == 0)
      g_directDrawCreate = &platform::d3d7::DirectDrawCreateEx;
  });
}

int InitDirectSoundLookupModule() {
  static ModuleGuard guard("DirectSound look-up");
  // The software DirectSound is always present. Resolving it opens nothing: the device opens
  // when a driver starts.
  return guard.Run({InitCoreModule, InitDirectSoundRecordsModule},
                   [] { g_directSoundCreate = &platform::dsound::DirectSoundCreate; });
}

bool DirectSoundEntryResolved() {
  return g_directSoundCreate != nullptr;
}

bool DirectDrawEntryResolved() {
  return g_directDrawCreate != nullptr;
}

DirectDrawCreateFunction DirectDrawCreateEntry() {
  return g_directDrawCreate;
}

}  // namespace vxl
