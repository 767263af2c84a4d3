// The start-up steps of the Direct3D 7 drivers, in their places of the start-up order.
#pragma once

namespace vxl {

// "Direct3D 7 binding": after the record wrappers. The software DirectDraw is a plain C++ API
// here, so there is nothing to bind.
int InitD3D7BindingStep();
// "Direct3D 7 graphics": registers the graphics driver's classes.
int InitD3D7GraphicsStep();
// "Direct3D 7 2D driver": after the Kor2D and OpenGL modules; registers its classes and, when
// the driver can be made (VXL_D3D7=1), makes it current with default flags 2. Making it lists the
// display modes, which starts SDL's video: only under that setting does the start-up touch SDL.
int InitD3D7Kor2DStep();

}  // namespace vxl
