// Names of DirectDraw / Direct3D result codes, and the check that ends the program on a failed
// call the driver cannot go on without.
//
//   CheckDX(dd->SetCooperativeLevel(window, 0x1013), "DXERROR");   // prints and ends on failure
//   DXErrorName(0x8876024B);                                       // "WRONGMODE"
#pragma once

#include <cstdint>

#include "runtime/string.h"

namespace vxl {

// "OK", the names of the codes the driver meets, else "UNKNOWN:" with the code in signed decimal,
// a space and its low 16 bits.
String DXErrorName(int32_t result);
// For a negative result: writes context, " err=", the name and a newline to standard output and
// ends the program with EndProgram. Other results return.
void CheckDX(int32_t result, const char* context);

}  // namespace vxl
