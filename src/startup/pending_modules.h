// Start-up steps whose modules are still being built: the Direct3D 7 graphics and 2D drivers.
// Each step holds its module's place in the start-up order and imports
// what places it there; its body is empty until the module fills it (its initialiser then takes
// the step's place in FrameworkImports and in the imports of the steps below).
#pragma once

namespace vxl {

// The Direct3D 7 binding and graphics: after the record wrappers.
int InitD3D7BindingStep();
int InitD3D7GraphicsStep();
// The Direct3D 7 2D driver: after the Kor2D and OpenGL modules.
int InitD3D7Kor2DStep();

}  // namespace vxl
