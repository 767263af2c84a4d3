// Random states, projections, clip planes and primitives through the software Direct3D 7
// device: whatever they are, the device never touches memory outside its surfaces (the
// sanitizers watch the surfaces' own buffers), never hangs, and a refused call changes nothing.
// Input: a header (target width and height, texture side, a mipmapped bit), then commands of one
// kind byte and their arguments: a render or stage state with a value, a projection entry, a
// clip plane, a viewport, a clear, or a primitive (type, vertex count and vertices of six 4-byte
// fields each: x, y, z, diffuse, u, v).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/d3d7/ddraw7.h"

namespace {

using namespace vxl::platform::d3d7;

struct Reader {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  bool More() const { return at < size; }
  uint8_t Byte() { return at < size ? data[at++] : 0; }
  uint32_t Word() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
      v |= uint32_t(Byte()) << (8 * i);
    return v;
  }
  float Float() {
    uint32_t bits = Word();
    // Now and then a small whole or half value, so edges and pixel centres are hit.
    if ((bits & 0xC0000000u) == 0x40000000u) return float(int32_t(bits & 0x3FF) - 256) / 2.0f;
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
  }
};

const D3DRENDERSTATETYPE kRenderStates[] = {
    D3DRENDERSTATE_ALPHATESTENABLE,  D3DRENDERSTATE_SRCBLEND, D3DRENDERSTATE_DESTBLEND,
    D3DRENDERSTATE_CULLMODE,         D3DRENDERSTATE_ALPHAREF, D3DRENDERSTATE_ALPHAFUNC,
    D3DRENDERSTATE_ALPHABLENDENABLE, D3DRENDERSTATE_LIGHTING, D3DRENDERSTATE_CLIPPLANEENABLE};
const D3DTEXTURESTAGESTATETYPE kStageStates[] = {
    D3DTSS_COLOROP,   D3DTSS_COLORARG1, D3DTSS_COLORARG2, D3DTSS_ALPHAOP,   D3DTSS_ALPHAARG1,
    D3DTSS_ALPHAARG2, D3DTSS_ADDRESS,   D3DTSS_MAGFILTER, D3DTSS_MINFILTER, D3DTSS_MIPFILTER};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static IDirectDraw7* dd = [] {
    setenv("VXL_D3D7", "1", 1);
    IDirectDraw7* made = nullptr;
    DirectDrawCreateEx(&made);
    made->SetCooperativeLevel(0, DDSCL_NORMAL);
    return made;
  }();
  Reader in{data, size};
  DDSURFACEDESC2 desc;
  desc.flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
  desc.caps.caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE;
  desc.width = 1 + in.Byte() % 64;
  desc.height = 1 + in.Byte() % 64;
  IDirectDrawSurface7* target = nullptr;
  if (dd->CreateSurface(desc, &target, nullptr) != DD_OK) return 0;
  const uint8_t side = in.Byte();
  desc.caps.caps =
      (side & 0x80) ? DDSCAPS_TEXTURE | DDSCAPS_MIPMAP | DDSCAPS_COMPLEX : DDSCAPS_TEXTURE;
  desc.width = 1u << (side % 7);
  desc.height = 1u << ((side >> 3) % 7);
  IDirectDrawSurface7* texture = nullptr;
  dd->CreateSurface(desc, &texture, nullptr);
  IDirect3D7* d3d = nullptr;
  IDirect3DDevice7* device = nullptr;
  dd->QueryInterface(IID_IDirect3D7, reinterpret_cast<void**>(&d3d));
  d3d->CreateDevice(IID_IDirect3DHALDevice, target, &device);
  device->SetTexture(0, texture);
  device->BeginScene();
  D3DMATRIX projection;
  projection.m11 = 2.0f / float(desc.width);
  projection.m22 = -2.0f;
  projection.m33 = projection.m44 = 1;
  std::vector<uint8_t> vertices;
  for (int commands = 0; in.More() && commands < 64; ++commands) {
    switch (in.Byte() % 7) {
      case 0:
        device->SetRenderState(kRenderStates[in.Byte() % std::size(kRenderStates)],
                               in.Word() % 300);
        break;
      case 1:
        device->SetTextureStageState(0, kStageStates[in.Byte() % std::size(kStageStates)],
                                     in.Word() % 30);
        break;
      case 2: {
        float* entries = &projection.m11;
        entries[in.Byte() % 16] = in.Float();
        device->SetTransform(D3DTRANSFORMSTATE_PROJECTION, projection);
        break;
      }
      case 3: {
        float plane[4] = {in.Float(), in.Float(), in.Float(), in.Float()};
        device->SetClipPlane(in.Byte() % 8, plane);
        break;
      }
      case 4: {
        D3DVIEWPORT7 v{in.Byte() % 64u, in.Byte() % 64u, in.Byte() % 65u,
                       in.Byte() % 65u, in.Float(),      in.Float()};
        device->SetViewport(v);
        break;
      }
      case 5: {
        D3DRECT r{int32_t(in.Word()), int32_t(in.Word()), int32_t(in.Word()), int32_t(in.Word())};
        device->Clear(in.Byte() % 2, &r, D3DCLEAR_TARGET, in.Word(), 0, 0);
        break;
      }
      default: {
        const auto type = D3DPRIMITIVETYPE(1 + in.Byte() % 6);
        const bool textured = in.Byte() & 1;
        const uint32_t count = in.Byte() % 9;
        const size_t stride = textured ? 24 : 16;
        vertices.assign(stride * count, 0);
        for (uint32_t i = 0; i < count; ++i) {
          float xyz[3] = {in.Float(), in.Float(), in.Float()};
          uint32_t diffuse = in.Word();
          float uv[2] = {in.Float(), in.Float()};
          std::memcpy(&vertices[i * stride], xyz, 12);
          std::memcpy(&vertices[i * stride + 12], &diffuse, 4);
          if (textured) std::memcpy(&vertices[i * stride + 16], uv, 8);
        }
        device->DrawPrimitive(type, D3DFVF_XYZ | D3DFVF_DIFFUSE | (textured ? D3DFVF_TEX1 : 0),
                              vertices.data(), count, 0);
        break;
      }
    }
  }
  device->EndScene();
  device->Release();
  d3d->Release();
  if (texture) texture->Release();
  target->Release();
  return 0;
}
