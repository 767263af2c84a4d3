// The Direct3D 7 object and device of the software DirectDraw 7.
#pragma once

#include <memory>

#include "platform/d3d7/ddraw7.h"

namespace vxl::platform::d3d7 {

struct DirectDrawState;

// The Direct3D object of a DirectDraw object (QueryInterface).
HRESULT CreateDirect3D(const std::shared_ptr<DirectDrawState>& owner, IDirect3D7** out);

}  // namespace vxl::platform::d3d7
