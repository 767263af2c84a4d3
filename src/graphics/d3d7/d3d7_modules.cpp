#include "graphics/d3d7/d3d7_modules.h"

#include "graphics/d3d7/d3d7_graphics.h"
#include "graphics/d3d7/d3d7_kor2d_driver.h"
#include "graphics/gl/gl_kor2d_driver.h"
#include "graphics/graphics.h"
#include "graphics/kor2d/kor2d.h"
#include "records/records.h"
#include "runtime/class_binder.h"
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
  return guard.Run(imports, [] {
    RegisterClass<TD3D7Surface>();
    RegisterClass<TD3D7Graphics>();
    RegisterClass<TD3D7GraphicsDriver>();
  });
}

int InitD3D7Kor2DStep() {
  static ModuleGuard guard("Direct3D 7 2D driver");
  return guard.Run({InitCoreModule, InitD3D7GraphicsStep, InitKor2DModule, InitGLKor2DModule}, [] {
    RegisterClass<TD3D7ImageFrame>();
    RegisterClass<TMip>();
    RegisterClass<TD3D7Kor2DDriver>();
    if (Ref<TD3D7Kor2DDriver> driver = D3D7Kor2DInstance()) UseGraphicsDriver(driver, 2);
  });
}

}  // namespace vxl
