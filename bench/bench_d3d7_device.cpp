// The software Direct3D 7 device on bench_kor2d's sprite scene without a window: an 800x600
// render target, 10 000 alpha-blended 32x32 sprites per frame at xorshift positions, each sent
// as Kor2D's DrawFrame sends it (a 4-vertex textured fan in pixel coordinates through the
// driver's projection). Side by side in the same run, the anchor: the rasteriser's span path
// called directly for the same sprites. The ratio near 1 shows the fans reach the span path.
// CPU time of this thread, medians.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "bench_util.h"
#include "platform/d3d7/ddraw7.h"
#include "platform/d3d7/raster.h"

namespace {

using namespace vxl::platform::d3d7;

constexpr int kWidth = 800, kHeight = 600, kSprites = 10000, kSize = 32, kFrames = 20;

struct TexVertex {
  float x, y, z;
  uint32_t diffuse;
  float u, v;
};

uint32_t Texel(int i) {
  return static_cast<uint32_t>(i * 2654435761u) | 0x40000000u;
}

}  // namespace

int main() {
  setenv("VXL_D3D7", "1", 1);
  IDirectDraw7* dd = nullptr;
  if (DirectDrawCreateEx(&dd) != DD_OK) return 1;
  dd->SetCooperativeLevel(0, DDSCL_NORMAL | DDSCL_FPUPRESERVE);
  DDSURFACEDESC2 desc;
  desc.flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
  desc.caps.caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE;
  desc.width = kWidth;
  desc.height = kHeight;
  IDirectDrawSurface7* target = nullptr;
  dd->CreateSurface(desc, &target, nullptr);
  desc.caps.caps = DDSCAPS_TEXTURE;
  desc.width = desc.height = kSize;
  IDirectDrawSurface7* texture = nullptr;
  dd->CreateSurface(desc, &texture, nullptr);
  DDSURFACEDESC2 locked;
  texture->Lock(nullptr, &locked, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr);
  std::vector<uint32_t> texels(kSize * kSize);
  for (int i = 0; i < kSize * kSize; ++i) {
    texels[i] = Texel(i);
    static_cast<uint32_t*>(locked.surface)[i] = Texel(i);  // pitch is 4 * kSize
  }
  texture->Unlock(nullptr);

  IDirect3D7* d3d = nullptr;
  IDirect3DDevice7* device = nullptr;
  dd->QueryInterface(IID_IDirect3D7, reinterpret_cast<void**>(&d3d));
  if (!d3d || d3d->CreateDevice(IID_IDirect3DHALDevice, target, &device) != DD_OK) return 1;
  D3DMATRIX projection;
  projection.m11 = 2.0f / kWidth;
  projection.m22 = -2.0f / kHeight;
  projection.m33 = 1;
  projection.m41 = -1 - 1.0f / kWidth;
  projection.m42 = 1 + 1.0f / kHeight;
  projection.m44 = 1;
  device->SetTransform(D3DTRANSFORMSTATE_PROJECTION, projection);
  device->SetRenderState(D3DRENDERSTATE_LIGHTING, 0);
  device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
  device->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
  device->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
  device->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
  device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
  device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
  device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
  device->SetTextureStageState(0, D3DTSS_ADDRESS, D3DTADDRESS_CLAMP);
  device->SetTexture(0, texture);
  device->BeginScene();

  auto fans = [&] {
    vxl::bench::XorShift rng;
    for (int i = 0; i < kSprites; ++i) {
      auto x = static_cast<float>(rng.Next() % (kWidth - kSize));
      auto y = static_cast<float>(rng.Next() % (kHeight - kSize));
      TexVertex q[4] = {{x, y, 0, 0xFFFFFFFF, 0, 0},
                        {x + kSize, y, 0, 0xFFFFFFFF, 1, 0},
                        {x + kSize, y + kSize, 0, 0xFFFFFFFF, 1, 1},
                        {x, y + kSize, 0, 0xFFFFFFFF, 0, 1}};
      device->DrawPrimitive(D3DPT_TRIANGLEFAN, D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1, q, 4, 0);
    }
  };
  std::vector<uint32_t> frame(kWidth * kHeight, 0xFF000000u);
  RasterSurface direct{frame.data(), kWidth, kHeight, kWidth};
  RasterSurface tex{texels.data(), kSize, kSize, kSize};
  RasterState state;
  state.texture = &tex;
  state.blend = RasterBlend::kAlpha;
  auto spans = [&] {
    vxl::bench::XorShift rng;
    for (int i = 0; i < kSprites; ++i) {
      int x = static_cast<int>(rng.Next() % (kWidth - kSize));
      int y = static_cast<int>(rng.Next() % (kHeight - kSize));
      DrawSpanQuad(direct, state, x, y, kSize, kSize, 0, 0, 0xFFFFFFFF);
    }
  };
  fans();
  spans();
  auto [fanMs, spanMs] = vxl::bench::MedianPairCpuMs(kFrames, fans, spans);
  vxl::bench::Print("d3d7_device_fan_sprites_per_s", kSprites / (fanMs / 1000.0), "sprites/s");
  vxl::bench::Print("d3d7_raster_span_sprites_per_s", kSprites / (spanMs / 1000.0), "sprites/s");
  vxl::bench::Print("d3d7_device_vs_span_ratio", spanMs / fanMs);

  device->EndScene();
  device->Release();
  d3d->Release();
  texture->Release();
  target->Release();
  dd->Release();
  return 0;
}
