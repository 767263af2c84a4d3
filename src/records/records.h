// The Windows and DirectX record wrappers: twelve start-up steps that hold the mirrored
// structures and resolve the native entry points by name.
//
// On this platform the structures are the native layers' own types, so the record steps have
// nothing to register. Of the four look-ups, the DirectSound one resolves the software
// DirectSound, which is always present. The DirectDraw look-up will resolve the software
// DirectDraw when that layer exists (it is switched on by the VXL_D3D7 setting); today there is
// none, so the step finds nothing. The Direct3D 9 and D3DX 9 look-ups have no counterpart here.
#pragma once

#include "runtime/module.h"

namespace vxl {

int InitWin32RecordsModule();
int InitGdiRecordsModule();
int InitDirectXRecordsModule();
int InitDirectDrawRecordsModule();
int InitDirect3D7RecordsModule();
int InitDirectSoundRecordsModule();
int InitDirect3D9RecordsModule();
int InitD3DX9RecordsModule();
int InitDirect3D9LookupModule();
int InitD3DX9LookupModule();
int InitDirectDrawLookupModule();
int InitDirectSoundLookupModule();

// Whether the look-ups found the DirectSound and DirectDraw entry points.
bool DirectSoundEntryResolved();
bool DirectDrawEntryResolved();

}  // namespace vxl
