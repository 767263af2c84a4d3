// The Windows and DirectX record wrappers: twelve start-up steps that hold the mirrored
// structures and resolve the native entry points by name.
//
// On this platform the structures are the native layers' own types, so the record steps have
// nothing to register. Of the four look-ups, the DirectSound one resolves the software
// DirectSound, which is always present. The DirectDraw look-up resolves the software DirectDraw
// only when the environment setting VXL_D3D7 is "1" (so that OpenGL stays the default graphics
// driver and nothing starts SDL otherwise). The Direct3D 9 and D3DX 9 look-ups have no
// counterpart here.
#pragma once

#include "platform/d3d7/ddraw7.h"
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

// The DirectDraw object factory the look-up resolved, nullptr when it resolved none.
using DirectDrawCreateFunction = platform::d3d7::HRESULT (*)(platform::d3d7::IDirectDraw7**);
DirectDrawCreateFunction DirectDrawCreateEntry();

}  // namespace vxl
