#include "startup/pending_modules.h"

#include "graphics/gl/gl_kor2d_driver.h"
#include "graphics/graphics.h"
#include "graphics/kor2d/kor2d.h"
#include "records/records.h"
#include "runtime/module.h"

namespace vxl {

int InitD3D7BindingStep() {
  static ModuleGuard guard("Direct3D 7 binding");
  return guard.Run({InitCoreModule}, [] {});
}

int InitD3D7GraphicsStep() {
  static ModuleGuard guard("Direct3D 7 graphics");
  static const ModuleInitialiser imports[] = {
      InitCoreModule,
      InitGraphicsModule,
      InitWin32RecordsModule,
      InitGdiRecordsModule,
      InitDirectXRecordsModule,
      InitDirectDrawRecordsModule,
      InitDirect3D7RecordsModule,
      InitDirectSoundRecordsModule,
      InitDirect3D9RecordsModule,
      InitD3DX9RecordsModule,
      InitDirect3D9LookupModule,
      InitD3DX9LookupModule,
      InitDirectDrawLookupModule,
      InitDirectSoundLookupModule,
      InitD3D7BindingStep,
  };
  return guard.Run(imports, [] {});
}

int InitD3D7Kor2DStep() {
  static ModuleGuard guard("Direct3D 7 2D driver");
  return guard.Run({InitCoreModule, InitD3D7GraphicsStep, InitKor2DModule, InitGLKor2DModule},
                   [] {});
}

}  // namespace vxl
