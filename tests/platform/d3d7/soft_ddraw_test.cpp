// The software DirectDraw 7 / Direct3D 7 through its interface, as the Direct3D 7 driver uses
// it. Windows come from SDL's offscreen video driver and modes from the test list, so no display
// is needed. Pixels are checked against references computed another way: plain loops over the
// rectangles, the rasteriser called directly on hand-projected vertices, channel bytes put
// together by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <vector>

#include "platform/d3d7/d3d7_window.h"
#include "platform/d3d7/ddraw7.h"
#include "platform/d3d7/ddraw7_seams.h"
#include "platform/d3d7/raster.h"

namespace {

using namespace vxl::platform::d3d7;

const std::vector<DisplayModeEntry> kModes = {
    {640, 480, 32, 60}, {800, 600, 32, 60}, {800, 600, 32, 85}, {800, 600, 16, 60}};

struct Vertex {
  float x, y, z;
  uint32_t diffuse;
};
struct TexVertex {
  float x, y, z;
  uint32_t diffuse;
  float u, v;
};

// The projection the Direct3D 7 driver sets: pixel coordinates, y down, centres included.
D3DMATRIX PixelProjection(int w, int h) {
  D3DMATRIX m;
  m.m11 = 2.0f / float(w);
  m.m22 = -2.0f / float(h);
  m.m33 = 1;
  m.m41 = -1 - 1.0f / float(w);
  m.m42 = 1 + 1.0f / float(h);
  m.m44 = 1;
  return m;
}

class SoftDDrawTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("VXL_D3D7", "1", 1);
  }
  void SetUp() override {
    UseDisplayModesForTesting(&kModes);
    ASSERT_EQ(DirectDrawCreateEx(&dd_), DD_OK);
    ASSERT_EQ(dd_->SetCooperativeLevel(0, DDSCL_NORMAL | DDSCL_FPUPRESERVE), DD_OK);
  }
  void TearDown() override {
    if (device_) device_->Release();
    if (target_) target_->Release();
    if (d3d_) d3d_->Release();
    dd_->Release();
    UseDisplayModesForTesting(nullptr);
  }

  IDirectDrawSurface7* Create(const DDSURFACEDESC2& desc, HRESULT expect = DD_OK) {
    IDirectDrawSurface7* s = nullptr;
    EXPECT_EQ(dd_->CreateSurface(desc, &s, nullptr), expect);
    return s;
  }
  IDirectDrawSurface7* Plain(int w, int h,
                             uint32_t caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE) {
    DDSURFACEDESC2 d;
    d.flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    d.caps.caps = caps;
    d.width = uint32_t(w);
    d.height = uint32_t(h);
    return Create(d);
  }
  IDirectDrawSurface7* Texture(int w, int h, bool mipmapped) {
    DDSURFACEDESC2 d;
    d.flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    d.caps.caps = mipmapped ? DDSCAPS_TEXTURE | DDSCAPS_MIPMAP | DDSCAPS_COMPLEX : DDSCAPS_TEXTURE;
    d.caps.caps2 = DDSCAPS2_TEXTUREMANAGE;
    d.width = uint32_t(w);
    d.height = uint32_t(h);
    d.pixelFormat = {DDPF_RGB | DDPF_ALPHAPIXELS, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    return Create(d);
  }
  // A device on a w by h target, set up as the driver's ResetD3DDevice leaves it, in a scene.
  void MakeDevice(int w, int h) {
    target_ = Plain(w, h);
    ASSERT_EQ(dd_->QueryInterface(IID_IDirect3D7, reinterpret_cast<void**>(&d3d_)), DD_OK);
    ASSERT_EQ(d3d_->CreateDevice(IID_IDirect3DTnLHalDevice, target_, &device_), DD_OK);
    ASSERT_EQ(device_->SetTransform(D3DTRANSFORMSTATE_PROJECTION, PixelProjection(w, h)), DD_OK);
    const std::pair<D3DRENDERSTATETYPE, uint32_t> states[] = {
        {D3DRENDERSTATE_ALPHAREF, 128},      {D3DRENDERSTATE_ALPHAFUNC, D3DCMP_GREATEREQUAL},
        {D3DRENDERSTATE_ALPHATESTENABLE, 0}, {D3DRENDERSTATE_ALPHABLENDENABLE, 0},
        {D3DRENDERSTATE_LIGHTING, 0},        {D3DRENDERSTATE_CULLMODE, D3DCULL_NONE}};
    for (auto [s, v] : states)
      ASSERT_EQ(device_->SetRenderState(s, v), DD_OK);
    const std::pair<D3DTEXTURESTAGESTATETYPE, uint32_t> stage[] = {
        {D3DTSS_COLOROP, D3DTOP_SELECTARG2}, {D3DTSS_ALPHAOP, D3DTOP_SELECTARG2},
        {D3DTSS_COLORARG1, D3DTA_TEXTURE},   {D3DTSS_COLORARG2, D3DTA_DIFFUSE},
        {D3DTSS_ALPHAARG1, D3DTA_TEXTURE},   {D3DTSS_ALPHAARG2, D3DTA_DIFFUSE},
        {D3DTSS_ADDRESS, D3DTADDRESS_CLAMP}, {D3DTSS_MAGFILTER, D3DTFG_POINT},
        {D3DTSS_MINFILTER, D3DTFN_POINT},    {D3DTSS_MIPFILTER, D3DTFP_POINT}};
    for (auto [s, v] : stage)
      ASSERT_EQ(device_->SetTextureStageState(0, s, v), DD_OK);
    ASSERT_EQ(device_->BeginScene(), DD_OK);
  }
  void ReleaseDevice() {
    device_->Release();
    target_->Release();
    d3d_->Release();
    device_ = nullptr;
    target_ = nullptr;
    d3d_ = nullptr;
  }
  void UseTexture(IDirectDrawSurface7* t, bool filtered) {
    ASSERT_EQ(device_->SetTexture(0, t), DD_OK);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device_->SetTextureStageState(0, D3DTSS_MAGFILTER, filtered ? D3DTFG_LINEAR : D3DTFG_POINT);
    device_->SetTextureStageState(0, D3DTSS_MINFILTER, filtered ? D3DTFN_LINEAR : D3DTFN_POINT);
    device_->SetTextureStageState(0, D3DTSS_MIPFILTER, filtered ? D3DTFP_POINT : D3DTFP_NONE);
  }
  // The target's pixels, rows of width.
  std::vector<uint32_t> Pixels(IDirectDrawSurface7* s) {
    DDSURFACEDESC2 d;
    EXPECT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT | DDLOCK_READONLY, nullptr), DD_OK);
    std::vector<uint32_t> out(size_t(d.width) * d.height);
    for (uint32_t y = 0; y < d.height; ++y)
      for (uint32_t x = 0; x < d.width; ++x)
        out[y * d.width + x] =
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(d.surface) + y * d.pitch)[x];
    s->Unlock(nullptr);
    return out;
  }
  void Fill(IDirectDrawSurface7* s, uint32_t (*pixel)(uint32_t x, uint32_t y)) {
    DDSURFACEDESC2 d;
    ASSERT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr), DD_OK);
    for (uint32_t y = 0; y < d.height; ++y)
      for (uint32_t x = 0; x < d.width; ++x)
        reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(d.surface) + y * d.pitch)[x] =
            pixel(x, y);
    s->Unlock(nullptr);
  }

  IDirectDraw7* dd_ = nullptr;
  IDirect3D7* d3d_ = nullptr;
  IDirect3DDevice7* device_ = nullptr;
  IDirectDrawSurface7* target_ = nullptr;
};

TEST(SoftDDrawFactoryTest, PresentOnlyWhenTheSettingIsOne) {
  for (const char* value : {static_cast<const char*>(nullptr), "", "0", "yes", "1"}) {
    if (value) {
      setenv("VXL_D3D7", value, 1);
    } else {
      unsetenv("VXL_D3D7");
    }
    IDirectDraw7* dd = reinterpret_cast<IDirectDraw7*>(1);
    const bool on = value && std::string(value) == "1";
    EXPECT_EQ(DirectDrawCreateEx(&dd), on ? DD_OK : DDERR_UNSUPPORTED) << (value ? value : "unset");
    EXPECT_EQ(dd != nullptr, on);
    if (dd) dd->Release();
  }
}

TEST_F(SoftDDrawTest, CapsModesAndCooperativeLevels) {
  DDCAPS caps, wrong;
  wrong.size = 100;
  EXPECT_EQ(dd_->GetCaps(&caps, nullptr), DD_OK);
  EXPECT_TRUE(caps.caps & DDCAPS_3D);
  EXPECT_EQ(dd_->GetCaps(&wrong, nullptr), DDERR_INVALIDPARAMS);

  std::vector<DisplayModeEntry> seen;
  auto collect = [](DDSURFACEDESC2* m, void* ctx) -> HRESULT {
    static_cast<std::vector<DisplayModeEntry>*>(ctx)->push_back(
        {int32_t(m->width), int32_t(m->height), int32_t(m->pixelFormat.rgbBitCount),
         int32_t(m->refreshRate)});
    return DDENUMRET_OK;
  };
  ASSERT_EQ(dd_->EnumDisplayModes(DDEDM_REFRESHRATES, nullptr, &seen, collect), DD_OK);
  ASSERT_EQ(seen.size(), kModes.size());
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].width, kModes[i].width);
    EXPECT_EQ(seen[i].depth, kModes[i].depth);
    EXPECT_EQ(seen[i].hertz, kModes[i].hertz);
  }
  auto stop = [](DDSURFACEDESC2*, void* ctx) -> HRESULT {
    ++*static_cast<int*>(ctx);
    return DDENUMRET_CANCEL;
  };
  int calls = 0;
  dd_->EnumDisplayModes(0, nullptr, &calls, stop);
  EXPECT_EQ(calls, 1);

  const uint32_t kFull = DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT | DDSCL_EXCLUSIVE | DDSCL_FPUPRESERVE;
  WindowId window = CreateDeviceWindow("modes", 320, 200, true);
  ASSERT_NE(window, 0u);
  struct Step {
    const char* what;
    HRESULT result;
  };
  IDirectDraw7* other = nullptr;
  ASSERT_EQ(DirectDrawCreateEx(&other), DD_OK);
  const Step steps[] = {
      {"mode without exclusive", dd_->SetDisplayMode(800, 600, 32, 85, 0)},
      {"exclusive without window", dd_->SetCooperativeLevel(0, kFull)},
      {"normal and exclusive", dd_->SetCooperativeLevel(window, kFull | DDSCL_NORMAL)},
      {"exclusive", dd_->SetCooperativeLevel(window, kFull)},
      {"second exclusive", other->SetCooperativeLevel(window, kFull)},
      {"other sees it", other->TestCooperativeLevel()},
      {"mode not listed", dd_->SetDisplayMode(800, 600, 24, 0, 0)},
      {"rate not listed", dd_->SetDisplayMode(800, 600, 32, 75, 0)},
      {"listed mode", dd_->SetDisplayMode(800, 600, 32, 85, 0)},
      {"holder", dd_->TestCooperativeLevel()},
      {"back to normal", dd_->SetCooperativeLevel(window, DDSCL_NORMAL)},
      {"other: mode changed", other->TestCooperativeLevel()},
      {"self: fine", dd_->TestCooperativeLevel()},
  };
  const HRESULT expected[] = {DDERR_NOEXCLUSIVEMODE,
                              DDERR_INVALIDPARAMS,
                              DDERR_INVALIDPARAMS,
                              DD_OK,
                              DDERR_EXCLUSIVEMODEALREADYSET,
                              DDERR_EXCLUSIVEMODEALREADYSET,
                              DDERR_UNSUPPORTEDMODE,
                              DDERR_UNSUPPORTEDMODE,
                              DD_OK,
                              DD_OK,
                              DD_OK,
                              DDERR_WRONGMODE,
                              DD_OK};
  for (size_t i = 0; i < std::size(steps); ++i)
    EXPECT_EQ(steps[i].result, expected[i]) << steps[i].what;
  other->Release();
  DestroyDeviceWindow(window);
}

// Sizes of a mip chain, level by level, by halving until both sides are 1.
std::vector<std::pair<uint32_t, uint32_t>> HalvedSizes(uint32_t w, uint32_t h) {
  std::vector<std::pair<uint32_t, uint32_t>> sizes{{w, h}};
  while (w > 1 || h > 1) {
    w = w > 1 ? w / 2 : 1;
    h = h > 1 ? h / 2 : 1;
    sizes.push_back({w, h});
  }
  return sizes;
}

TEST_F(SoftDDrawTest, SurfaceKindsSizesAndMipChains) {
  std::vector<uint8_t> memory(64 * 48 * 4 + 16);
  struct Case {
    const char* what;
    uint32_t flags, caps, w, h;
    int32_t pitch;
    DDPIXELFORMAT format;
    HRESULT result;
    uint32_t levels;
  };
  const DDPIXELFORMAT bgr24{DDPF_RGB, 24, 0xFF0000, 0xFF00, 0xFF, 0};
  const DDPIXELFORMAT rgba32{DDPF_RGB | DDPF_ALPHAPIXELS, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000};
  const DDPIXELFORMAT overlapping{DDPF_RGB, 32, 0xFF00, 0xFF00, 0xFF, 0};
  const DDPIXELFORMAT argb{DDPF_RGB | DDPF_ALPHAPIXELS, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000};
  const uint32_t sized = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
  const uint32_t caller = sized | DDSD_PITCH | DDSD_PIXELFORMAT | DDSD_LPSURFACE;
  const uint32_t mip = DDSCAPS_TEXTURE | DDSCAPS_MIPMAP | DDSCAPS_COMPLEX;
  const uint32_t sys = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
  const Case cases[] = {
      {"render target", sized, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE, 33, 7, 132, {}, DD_OK, 1},
      {"texture", sized | DDSD_PIXELFORMAT, DDSCAPS_TEXTURE, 128, 64, 512, argb, DD_OK, 1},
      {"largest texture", sized, DDSCAPS_TEXTURE, 8192, 1, 32768, {}, DD_OK, 1},
      {"texture too wide", sized, DDSCAPS_TEXTURE, 8193, 1, 0, {}, DDERR_INVALIDPARAMS, 0},
      {"texture too tall", sized, DDSCAPS_TEXTURE, 4, 16384, 0, {}, DDERR_INVALIDPARAMS, 0},
      {"texture not argb", sized | DDSD_PIXELFORMAT, DDSCAPS_TEXTURE, 8, 8, 0, bgr24,
       DDERR_INVALIDPARAMS, 0},
      {"mip chain", sized | DDSD_PIXELFORMAT, mip, 128, 64, 512, argb, DD_OK, 8},
      {"mip chain, odd", sized, mip, 1, 8, 4, {}, DD_OK, 4},
      {"mip without complex",
       sized,
       DDSCAPS_TEXTURE | DDSCAPS_MIPMAP,
       8,
       8,
       0,
       {},
       DDERR_INVALIDPARAMS,
       0},
      {"caller bgr24", caller, sys, 63, 48, 192, bgr24, DD_OK, 1},
      {"caller rgba32", caller, sys, 64, 48, 256, rgba32, DD_OK, 1},
      {"caller pitch short", caller, sys, 64, 48, 255, rgba32, DDERR_INVALIDPARAMS, 0},
      {"caller masks overlap", caller, sys, 16, 16, 64, overlapping, DDERR_INVALIDPARAMS, 0},
      {"caller not system", caller, DDSCAPS_OFFSCREENPLAIN, 16, 16, 64, rgba32, DDERR_INVALIDPARAMS,
       0},
      {"no size", DDSD_CAPS, DDSCAPS_OFFSCREENPLAIN, 0, 0, 0, {}, DDERR_INVALIDPARAMS, 0},
      {"no kind", sized, DDSCAPS_SYSTEMMEMORY, 4, 4, 0, {}, DDERR_INVALIDPARAMS, 0},
  };
  for (const Case& c : cases) {
    DDSURFACEDESC2 d;
    d.flags = c.flags;
    d.caps.caps = c.caps;
    d.width = c.w;
    d.height = c.h;
    d.pitch = c.pitch;
    d.pixelFormat = c.format;
    d.surface = memory.data();
    IDirectDrawSurface7* s = nullptr;
    ASSERT_EQ(dd_->CreateSurface(d, &s, nullptr), c.result) << c.what;
    if (c.result != DD_OK) {
      EXPECT_EQ(s, nullptr) << c.what;
      continue;
    }
    auto sizes = HalvedSizes(c.w, c.h);
    uint32_t levels = 0;
    IDirectDrawSurface7* level = s;
    level->AddRef();
    while (level) {
      DDSURFACEDESC2 got;
      ASSERT_EQ(level->GetSurfaceDesc(&got), DD_OK);
      ASSERT_LT(levels, sizes.size()) << c.what;
      EXPECT_EQ(got.width, sizes[levels].first) << c.what << " level " << levels;
      EXPECT_EQ(got.height, sizes[levels].second) << c.what << " level " << levels;
      if (levels == 0) {
        EXPECT_EQ(got.pitch, c.pitch) << c.what;
      }
      ++levels;
      IDirectDrawSurface7* next = nullptr;
      HRESULT r = level->GetAttachedSurface({DDSCAPS_TEXTURE, DDSCAPS2_MIPMAPSUBLEVEL}, &next);
      EXPECT_EQ(r, next ? DD_OK : DDERR_NOTFOUND);
      level->Release();
      level = next;
    }
    EXPECT_EQ(levels, c.levels) << c.what;
    // Releasing the top while a sub-level is still held leaves the sub-level usable to release.
    IDirectDrawSurface7* held = nullptr;
    if (s->GetAttachedSurface({DDSCAPS_MIPMAP, 0}, &held) == DD_OK) {
      s->Release();
      EXPECT_EQ(held->IsLost(), DDERR_SURFACELOST);
      EXPECT_EQ(held->Release(), 0u);
    } else {
      EXPECT_EQ(s->Release(), 0u);
    }
  }
}

TEST_F(SoftDDrawTest, LockAndContextRules) {
  IDirectDrawSurface7* s = Plain(8, 4);
  DDSURFACEDESC2 d;
  DeviceContext *dc = nullptr, *other = nullptr;
  RECT part{0, 0, 2, 2};
  struct Step {
    const char* what;
    HRESULT got, want;
  };
  const Step steps[] = {
      {"unlock unlocked", s->Unlock(nullptr), DDERR_NOTLOCKED},
      {"lock a part", s->Lock(&part, &d, DDLOCK_WAIT, nullptr), DDERR_INVALIDPARAMS},
      {"read and write only", s->Lock(nullptr, &d, DDLOCK_READONLY | DDLOCK_WRITEONLY, nullptr),
       DDERR_INVALIDPARAMS},
      {"lock", s->Lock(nullptr, &d, DDLOCK_WAIT | DDLOCK_READONLY, nullptr), DD_OK},
      {"second lock", s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DDERR_SURFACEBUSY},
      {"dc while locked", s->GetDC(&dc), DDERR_SURFACEBUSY},
      {"unlock", s->Unlock(nullptr), DD_OK},
      {"dc", s->GetDC(&dc), DD_OK},
      {"lock while dc", s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DDERR_SURFACEBUSY},
      {"second dc", s->GetDC(&other), DDERR_SURFACEBUSY},
      {"release dc", s->ReleaseDC(dc), DD_OK},
      {"lock again", s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK},
      {"unlock again", s->Unlock(nullptr), DD_OK},
  };
  for (const Step& st : steps)
    EXPECT_EQ(st.got, st.want) << st.what;
  ASSERT_EQ(s->Lock(nullptr, &d, 0, nullptr), DD_OK);
  EXPECT_EQ(d.width, 8u);
  EXPECT_EQ(d.pitch, 32);
  EXPECT_EQ(d.pixelFormat.rgbBitCount, 32u);
  EXPECT_EQ(d.pixelFormat.flags, DDPF_RGB);
  s->Unlock(nullptr);
  s->Release();
}

// GetDC/BitBlt between a 32-bit target and caller memory in the four pixmap layouts, both ways.
TEST_F(SoftDDrawTest, BitBltConvertsFormatsAndZeroesWhatLiesOutside) {
  IDirectDrawSurface7* target = Plain(5, 4);
  Fill(target, [](uint32_t x, uint32_t y) {
    return 0x55000000u | (x * 40 + 1) << 16 | (y * 50 + 2) << 8 | 0x7Fu;
  });
  struct Layout {
    const char* what;
    DDPIXELFORMAT format;
    int bytes;
    int r, g, b, a;  // byte offsets in a pixel, -1: none
  };
  const Layout layouts[] = {
      {"bgr24", {DDPF_RGB, 24, 0xFF0000, 0xFF00, 0xFF, 0}, 3, 2, 1, 0, -1},
      {"rgb24", {DDPF_RGB, 24, 0xFF, 0xFF00, 0xFF0000, 0}, 3, 0, 1, 2, -1},
      {"bgra32",
       {DDPF_RGB | DDPF_ALPHAPIXELS, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
       4,
       2,
       1,
       0,
       3},
      {"rgba32",
       {DDPF_RGB | DDPF_ALPHAPIXELS, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000},
       4,
       0,
       1,
       2,
       3},
  };
  for (const Layout& l : layouts) {
    // Grab 4x3 from (2, 2): the right and bottom parts lie outside the 5x4 target.
    const int gw = 4, gh = 3, pitch = 20;
    std::vector<uint8_t> grab(pitch * gh, 0xEE);
    DDSURFACEDESC2 d;
    d.flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT | DDSD_LPSURFACE;
    d.caps.caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    d.width = gw;
    d.height = gh;
    d.pitch = pitch;
    d.pixelFormat = l.format;
    d.surface = grab.data();
    IDirectDrawSurface7* wrap = Create(d);
    ASSERT_NE(wrap, nullptr) << l.what;
    DeviceContext *from = nullptr, *to = nullptr;
    ASSERT_EQ(target->GetDC(&from), DD_OK);
    ASSERT_EQ(wrap->GetDC(&to), DD_OK);
    ASSERT_TRUE(BitBlt(to, 0, 0, gw, gh, from, 2, 2, SRCCOPY));
    for (int y = 0; y < gh; ++y)
      for (int x = 0; x < gw; ++x) {
        const uint8_t* p = &grab[y * pitch + x * l.bytes];
        const int tx = x + 2, ty = y + 2;
        const bool inside = tx < 5 && ty < 4;
        EXPECT_EQ(p[l.r], inside ? tx * 40 + 1 : 0) << l.what << " " << x << "," << y;
        EXPECT_EQ(p[l.g], inside ? ty * 50 + 2 : 0) << l.what;
        EXPECT_EQ(p[l.b], inside ? 0x7F : 0) << l.what;
        if (l.a >= 0) {
          EXPECT_EQ(p[l.a], inside ? 0xFF : 0) << l.what;
        }
      }
    EXPECT_EQ(grab[gw * l.bytes], 0xEE) << l.what << ": the row's padding stays";
    // And back: pasted at (-1, 3), only the part inside lands; alpha is not kept.
    for (int i = 0; i < gw * l.bytes; ++i)
      grab[i] = uint8_t(0x10 + i);
    ASSERT_TRUE(BitBlt(from, -1, 3, gw, gh, to, 0, 0, SRCCOPY));
    target->ReleaseDC(from);
    wrap->ReleaseDC(to);
    auto px = Pixels(target);
    for (int x = 0; x < 3; ++x) {
      const uint8_t* p = &grab[(x + 1) * l.bytes];
      uint32_t want = 0xFF000000u | uint32_t(p[l.r]) << 16 | uint32_t(p[l.g]) << 8 | p[l.b];
      EXPECT_EQ(px[3 * 5 + x], want) << l.what << " pasted " << x;
    }
    EXPECT_EQ(px[3 * 5 + 3], 0x55000000u | (3 * 40 + 1) << 16 | (3 * 50 + 2) << 8 | 0x7Fu);
    wrap->Release();
    Fill(target, [](uint32_t x, uint32_t y) {
      return 0x55000000u | (x * 40 + 1) << 16 | (y * 50 + 2) << 8 | 0x7Fu;
    });
  }
  target->Release();
}

// Blt to the primary through a clipper bound to a window: the destination is in screen
// coordinates and is cut to the client area; plain Blt between surfaces clips to both.
TEST_F(SoftDDrawTest, BltClipsToTheWindowAndToTheSurfaces) {
  WindowId window = CreateDeviceWindow("blt", 40, 30, false);
  ASSERT_NE(window, 0u);
  int32_t ox = 0, oy = 0;
  ASSERT_TRUE(DeviceWindowClientOrigin(window, &ox, &oy));
  DDSURFACEDESC2 pd;
  pd.flags = DDSD_CAPS;
  pd.caps.caps = DDSCAPS_PRIMARYSURFACE;
  IDirectDrawSurface7* primary = Create(pd);
  Create(pd, DDERR_PRIMARYSURFACEALREADYEXISTS);
  IDirectDrawClipper* clipper = nullptr;
  ASSERT_EQ(dd_->CreateClipper(0, &clipper, nullptr), DD_OK);
  ASSERT_EQ(clipper->SetHWnd(0, window), DD_OK);
  IDirectDrawSurface7* src = Plain(50, 50);
  auto pattern = [](uint32_t x, uint32_t y) { return 0xFF000000u | x << 8 | y; };
  Fill(src, pattern);
  ASSERT_EQ(primary->SetClipper(clipper), DD_OK);
  struct Case {
    RECT dest, from;
  };
  const Case cases[] = {
      {{ox, oy, ox + 40, oy + 30}, {0, 0, 40, 30}},             // the whole client area
      {{ox - 5, oy + 20, ox + 15, oy + 40}, {10, 10, 30, 30}},  // across two edges
      {{ox + 38, oy - 3, ox + 48, oy + 7}, {0, 0, 10, 10}},     // across the other two
      {{ox + 100, oy, ox + 110, oy + 10}, {0, 0, 10, 10}},      // nowhere on the window
  };
  std::vector<uint32_t> expect(40 * 30, 0);
  for (const Case& c : cases) {
    ASSERT_EQ(primary->Blt(&c.dest, src, &c.from, DDBLT_WAIT, nullptr), DD_OK);
    for (int y = c.dest.top; y < c.dest.bottom; ++y)
      for (int x = c.dest.left; x < c.dest.right; ++x) {
        int cx = x - ox, cy = y - oy;
        if (cx < 0 || cy < 0 || cx >= 40 || cy >= 30) continue;
        expect[cy * 40 + cx] =
            pattern(uint32_t(c.from.left + x - c.dest.left), uint32_t(c.from.top + y - c.dest.top));
      }
    std::vector<uint32_t> shown;
    int32_t w = 0, h = 0;
    ASSERT_TRUE(PresentedPixelsForTesting(window, &shown, &w, &h));
    ASSERT_EQ(w, 40);
    ASSERT_EQ(h, 30);
    ASSERT_EQ(shown, expect);
  }
  primary->SetClipper(nullptr);

  // Surface to surface, a source rectangle reaching past the source: the pixels without a
  // source stay.
  IDirectDrawSurface7* dst = Plain(20, 20);
  RECT dest{-4, 12, 16, 32}, from{40, 0, 60, 20};
  ASSERT_EQ(dst->Blt(&dest, src, &from, 0, nullptr), DD_OK);
  auto got = Pixels(dst);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) {
      int sx = 40 + x + 4, sy = y - 12;
      uint32_t want = (sy >= 0 && sx < 50) ? pattern(uint32_t(sx), uint32_t(sy)) : 0;
      ASSERT_EQ(got[y * 20 + x], want) << x << "," << y;
    }
  // Within one surface, overlapping: the copy is of what was there before.
  Fill(dst, pattern);
  RECT down{0, 1, 20, 20}, up{0, 0, 20, 19};
  ASSERT_EQ(dst->Blt(&down, dst, &up, 0, nullptr), DD_OK);
  got = Pixels(dst);
  for (int y = 1; y < 20; ++y)
    ASSERT_EQ(got[y * 20 + 7], pattern(7, uint32_t(y - 1))) << y;
  RECT inverted{5, 5, 4, 4};
  EXPECT_EQ(dst->Blt(&inverted, src, nullptr, 0, nullptr), DDERR_INVALIDPARAMS);
  dst->Release();
  src->Release();
  clipper->Release();
  primary->Release();
  DestroyDeviceWindow(window);
}

TEST_F(SoftDDrawTest, ScenesAndRefusedStates) {
  MakeDevice(16, 16);
  Vertex tri[3] = {{0, 0, 0, 0xFFFFFFFF}, {16, 0, 0, 0xFFFFFFFF}, {0, 16, 0, 0xFFFFFFFF}};
  const uint32_t fvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;
  EXPECT_EQ(device_->BeginScene(), D3DERR_SCENE_IN_SCENE);
  EXPECT_EQ(device_->EndScene(), DD_OK);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLEFAN, fvf, tri, 3, 0), D3DERR_SCENE_NOT_IN_SCENE);
  EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 0, 0), D3DERR_SCENE_NOT_IN_SCENE);
  EXPECT_EQ(device_->EndScene(), D3DERR_SCENE_NOT_IN_SCENE);
  EXPECT_EQ(Pixels(target_), std::vector<uint32_t>(256, 0));
  ASSERT_EQ(device_->BeginScene(), DD_OK);

  // States the device does not keep, and values out of range.
  EXPECT_EQ(device_->SetRenderState(D3DRENDERSTATETYPE(7), 1), DDERR_UNSUPPORTED);   // z buffer
  EXPECT_EQ(device_->SetRenderState(D3DRENDERSTATETYPE(28), 1), DDERR_UNSUPPORTED);  // fog
  EXPECT_EQ(device_->SetRenderState(D3DRENDERSTATE_CULLMODE, 4), DDERR_INVALIDPARAMS);
  EXPECT_EQ(device_->SetRenderState(D3DRENDERSTATE_CLIPPLANEENABLE, 64), DDERR_INVALIDPARAMS);
  EXPECT_EQ(device_->SetTextureStageState(0, D3DTEXTURESTAGESTATETYPE(13), 1), DDERR_UNSUPPORTED);
  EXPECT_EQ(device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE), DDERR_INVALIDPARAMS);
  EXPECT_EQ(device_->SetTransform(D3DTRANSFORMSTATE_WORLD, D3DMATRIX{}), DDERR_INVALIDPARAMS);
  uint32_t value = 0;
  EXPECT_EQ(device_->GetRenderState(D3DRENDERSTATE_CULLMODE, &value), DD_OK);
  EXPECT_EQ(value, uint32_t(D3DCULL_NONE));

  // Kept but not drawable: each refuses the draw and leaves the target alone.
  struct Refusal {
    const char* what;
    D3DRENDERSTATETYPE state;
    uint32_t value, restore;
  };
  device_->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
  device_->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
  device_->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
  const Refusal refusals[] = {
      {"blend pair", D3DRENDERSTATE_DESTBLEND, D3DBLEND_DESTCOLOR, D3DBLEND_INVSRCALPHA},
      {"lighting", D3DRENDERSTATE_LIGHTING, 1, 0},
      {"alpha reference", D3DRENDERSTATE_ALPHAREF, 127, 128},
  };
  device_->SetRenderState(D3DRENDERSTATE_ALPHATESTENABLE, 1);
  for (const Refusal& r : refusals) {
    ASSERT_EQ(device_->SetRenderState(r.state, r.value), DD_OK) << r.what;
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLEFAN, fvf, tri, 3, 0), DDERR_INVALIDPARAMS)
        << r.what;
    device_->SetRenderState(r.state, r.restore);
  }
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLEFAN, fvf, tri, 3, 0), DDERR_INVALIDPARAMS);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, fvf, tri, 3, 0), DDERR_INVALIDPARAMS);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLEFAN, D3DFVF_XYZ, tri, 3, 0), DDERR_INVALIDPARAMS);
  EXPECT_EQ(Pixels(target_), std::vector<uint32_t>(256, 0));
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLEFAN, fvf, tri, 3, 0), DD_OK);
  EXPECT_NE(Pixels(target_), std::vector<uint32_t>(256, 0));
}

TEST_F(SoftDDrawTest, ClearFillsTheRectanglesCutToTheViewport) {
  MakeDevice(24, 20);
  D3DVIEWPORT7 vp{2, 3, 20, 15, 0, 1};
  ASSERT_EQ(device_->SetViewport(vp), DD_OK);
  D3DVIEWPORT7 outside{10, 10, 20, 20, 0, 1};
  EXPECT_EQ(device_->SetViewport(outside), DDERR_INVALIDPARAMS);
  const D3DRECT rects[] = {{-5, -5, 4, 30}, {18, 15, 100, 100}, {10, 10, 10, 12}, {30, 0, 40, 5}};
  ASSERT_EQ(device_->Clear(4, rects, D3DCLEAR_TARGET, 0x00123456, 1, 0), DD_OK);
  EXPECT_EQ(device_->Clear(1, rects, D3DCLEAR_TARGET | 2, 0, 1, 0), DDERR_INVALIDPARAMS);
  auto px = Pixels(target_);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 24; ++x) {
      bool inViewport = x >= 2 && x < 22 && y >= 3 && y < 18;
      bool inRect = false;
      for (const D3DRECT& r : rects)
        inRect |= x >= r.x1 && x < r.x2 && y >= r.y1 && y < r.y2;
      ASSERT_EQ(px[y * 24 + x], inViewport && inRect ? 0xFF123456u : 0u) << x << "," << y;
    }
  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1, 0), DD_OK);
  px = Pixels(target_);
  EXPECT_EQ(px[3 * 24 + 2], 0xFF00FF00u);
  EXPECT_EQ(px[2 * 24 + 2], 0u);
}

// Random primitives through the device against the rasteriser fed with vertices projected by
// hand (pixel coordinates minus half a pixel): the projection, the assembly of strips and fans
// and the viewport planes as user clip planes. The target's sides are powers of two, so the
// projection's float entries are exact and so is the hand projection.
TEST_F(SoftDDrawTest, PrimitivesMatchTheRasteriserOnHandProjectedVertices) {
  const int W = 64, H = 32;
  MakeDevice(W, H);
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> cx(-8, W + 8), cy(-8, H + 8);
  const float vx = 5, vy = 7, vw = 30, vh = 21;
  std::vector<uint32_t> reference(W * H);
  RasterSurface ref{reference.data(), W, H, W};
  const uint32_t fvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;
  for (int n = 0; n < 300; ++n) {
    const D3DPRIMITIVETYPE type = D3DPRIMITIVETYPE(
        std::array{D3DPT_POINTLIST, D3DPT_LINELIST, D3DPT_TRIANGLESTRIP, D3DPT_TRIANGLEFAN}[n % 4]);
    const int count = 3 + n % 5;
    std::vector<Vertex> v(count);
    for (auto& p : v) {
      // Whole, half and eighth positions as well as arbitrary ones.
      float x = cx(rng), y = cy(rng);
      int grid = n % 3;
      if (grid == 0) x = std::round(x * 8) / 8, y = std::round(y * 8) / 8;
      p = {x, y, 0, 0xFF000000u | uint32_t(rng() & 0xFFFFFF)};
    }
    const bool clipped = n % 2 == 1;
    RasterState st;
    if (clipped) {
      const float planes[4][4] = {
          {1, 0, 0, -vx}, {-1, 0, 0, vx + vw}, {0, 1, 0, -vy}, {0, -1, 0, vy + vh}};
      for (int i = 0; i < 4; ++i)
        ASSERT_EQ(device_->SetClipPlane(uint32_t(i), planes[i]), DD_OK);
      st.clipPlaneMask = 15;
      // In screen space the planes move by half a pixel.
      st.planes[0] = {1, 0, 0, -vx + 0.5f};
      st.planes[1] = {-1, 0, 0, vx + vw - 0.5f};
      st.planes[2] = {0, 1, 0, -vy + 0.5f};
      st.planes[3] = {0, -1, 0, vy + vh - 0.5f};
    }
    device_->SetRenderState(D3DRENDERSTATE_CLIPPLANEENABLE, clipped ? 15 : 0);
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 0, 0), DD_OK);
    ASSERT_EQ(device_->DrawPrimitive(type, fvf, v.data(), uint32_t(count), 0), DD_OK);
    std::fill(reference.begin(), reference.end(), 0xFF000000u);
    std::vector<RasterVertex> r(count);
    for (int i = 0; i < count; ++i)
      r[i] = {v[i].x - 0.5f, v[i].y - 0.5f, 0, v[i].diffuse, 0, 0};
    if (type == D3DPT_POINTLIST) {
      for (auto& p : r)
        DrawPoint(ref, st, p);
    } else if (type == D3DPT_LINELIST) {
      for (int i = 0; i + 1 < count; i += 2)
        DrawLine(ref, st, r[i], r[i + 1]);
    } else {
      for (int i = 0; i + 2 < count; ++i) {
        RasterVertex t[3] = {type == D3DPT_TRIANGLEFAN ? r[0] : r[i], r[i + 1], r[i + 2]};
        DrawTriangle(ref, st, t);
      }
    }
    auto got = Pixels(target_);
    int differ = 0;
    for (int i = 0; i < W * H; ++i)
      differ += got[i] != reference[i];
    ASSERT_EQ(differ, 0) << "primitive " << n << " type " << type;
  }
}

TEST_F(SoftDDrawTest, NonFiniteVerticesDrawNothingOfTheirTriangles) {
  MakeDevice(16, 16);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  for (float bad : {nan, inf, -inf}) {
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 0, 0), DD_OK);
    // A strip of two triangles; the bad vertex is only in the second one.
    Vertex strip[4] = {{0, 0, 0, 0xFFFF0000},
                       {16, 0, 0, 0xFFFF0000},
                       {0, 8, 0, 0xFFFF0000},
                       {bad, 8, 0, 0xFFFF0000}};
    ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, D3DFVF_XYZ | D3DFVF_DIFFUSE, strip, 4, 0),
              DD_OK);
    auto px = Pixels(target_);
    for (int y = 8; y < 16; ++y)
      for (int x = 0; x < 16; ++x)
        ASSERT_EQ(px[y * 16 + x], 0xFF000000u) << x << "," << y;
    EXPECT_EQ(px[0], 0xFFFF0000u);
    Vertex point{bad, 3, 0, 0xFF00FF00};
    ASSERT_EQ(device_->DrawPrimitive(D3DPT_POINTLIST, D3DFVF_XYZ | D3DFVF_DIFFUSE, &point, 1, 0),
              DD_OK);
    EXPECT_EQ(Pixels(target_), px);
  }
}

// A sprite drawn as the driver's 4-vertex fan: unscaled it takes the span path, and every
// placement gives the pixels of the two triangles drawn by the rasteriser itself on vertices
// projected by hand. On 800x600 the projection's float entries are not exact; snapping to 1/256
// pixel absorbs the difference.
TEST_F(SoftDDrawTest, TexturedFansMatchTheTwoTriangles) {
  for (auto [W, H] : {std::pair{64, 32}, std::pair{800, 600}}) {
    SCOPED_TRACE(W);
    MakeDevice(W, H);
    IDirectDrawSurface7* tex = Texture(16, 8, false);
    Fill(tex, [](uint32_t x, uint32_t y) {
      return (x * 16 + 15) << 24 | (x * 13) << 16 | (y * 30) << 8 | 0x40u;
    });
    UseTexture(tex, false);
    std::vector<uint32_t> texels(16 * 8);
    for (uint32_t y = 0; y < 8; ++y)
      for (uint32_t x = 0; x < 16; ++x)
        texels[y * 16 + x] = (x * 16 + 15) << 24 | (x * 13) << 16 | (y * 30) << 8 | 0x40u;
    RasterSurface texture{texels.data(), 16, 8, 16};
    std::vector<uint32_t> reference(W * H);
    RasterSurface ref{reference.data(), W, H, W};
    struct Case {
      float x0, y0, x1, y1, u0, v0, u1, v1;
      bool blend, filtered;
      bool minifyByPoint = false;  // MINFILTER point: one to one must still magnify
    };
    const Case cases[] = {
        {3, 4, 19, 12, 0, 0, 1, 1, false, false},                 // unscaled: the span path
        {-5, 30, 11, 38, 0, 0, 1, 1, true, false},                // unscaled across two edges
        {10, 10, 14, 12, 0.25f, 0.5f, 0.5f, 0.75f, true, false},  // a part of the texture
        {3.5f, 4.125f, 19.5f, 12.125f, 0, 0, 1, 1, true, false},  // off the pixel grid
        {2, 2, 34, 18, 0, 0, 1, 1, false, true},                  // magnified, filtered
        {20, 2, 4, 10, 0, 0, 1, 1, false, false},                 // mirrored
        // One to one, filtered, where the projection's rounding makes 16 pixels a little less.
        {49.5f, 4.25f, 65.5f, 12.25f, 0, 0, 1, 1, false, true, true},
    };
    for (const Case& c : cases) {
      device_->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, c.blend);
      device_->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
      device_->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
      UseTexture(tex, c.filtered);
      if (c.minifyByPoint) device_->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTFN_POINT);
      ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF203040, 0, 0), DD_OK);
      const uint32_t colour = 0xC0FFA080;
      TexVertex q[4] = {{c.x0, c.y0, 0, colour, c.u0, c.v0},
                        {c.x1, c.y0, 0, colour, c.u1, c.v0},
                        {c.x1, c.y1, 0, colour, c.u1, c.v1},
                        {c.x0, c.y1, 0, colour, c.u0, c.v1}};
      ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLEFAN, D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1,
                                       q, 4, 0),
                DD_OK);
      std::fill(reference.begin(), reference.end(), 0xFF203040u);
      RasterState st;
      st.texture = &texture;
      st.filter = c.filtered ? RasterFilter::kBilinear : RasterFilter::kPoint;
      st.blend = c.blend ? RasterBlend::kAlpha : RasterBlend::kOpaque;
      RasterVertex r[4];
      for (int i = 0; i < 4; ++i)
        r[i] = {q[i].x - 0.5f, q[i].y - 0.5f, 0, colour, q[i].u, q[i].v};
      RasterVertex t1[3] = {r[0], r[1], r[2]}, t2[3] = {r[0], r[2], r[3]};
      DrawTriangle(ref, st, t1);
      DrawTriangle(ref, st, t2);
      ASSERT_EQ(Pixels(target_), reference) << c.x0 << "," << c.y0;
    }
    tex->Release();
    ReleaseDevice();
  }
}

// Each mip level in its own colour: a quad drawn at 1/s of the texture size shows the level
// ceil(log2(s) + 1/2) - 1 (nearest level, ties to the larger one); unfiltered frames stay on
// level 0.
TEST_F(SoftDDrawTest, MinifiedTrianglesTakeTheNearestMipLevel) {
  MakeDevice(64, 64);
  IDirectDrawSurface7* tex = Texture(64, 64, true);
  const uint32_t colours[] = {0xFF0000FF, 0xFF00FF00, 0xFFFF0000, 0xFF00FFFF,
                              0xFFFF00FF, 0xFFFFFF00, 0xFFFFFFFF};
  IDirectDrawSurface7* level = tex;
  level->AddRef();
  for (uint32_t colour : colours) {
    DDSURFACEDESC2 d;
    ASSERT_EQ(level->Lock(nullptr, &d, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr), DD_OK);
    for (uint32_t y = 0; y < d.height; ++y)
      for (uint32_t x = 0; x < d.width; ++x)
        reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(d.surface) + y * d.pitch)[x] = colour;
    level->Unlock(nullptr);
    IDirectDrawSurface7* next = nullptr;
    level->GetAttachedSurface({DDSCAPS_TEXTURE, DDSCAPS2_MIPMAPSUBLEVEL}, &next);
    level->Release();
    level = next;
  }
  EXPECT_EQ(level, nullptr);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
  for (bool filtered : {true, false}) {
    UseTexture(tex, filtered);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    for (float size : {64.0f, 48.0f, 45.0f, 40.0f, 23.0f, 22.0f, 10.0f, 3.0f, 1.0f}) {
      ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 0, 0), DD_OK);
      TexVertex q[4] = {{0, 0, 0, ~0u, 0, 0},
                        {size, 0, 0, ~0u, 1, 0},
                        {size, size, 0, ~0u, 1, 1},
                        {0, size, 0, ~0u, 0, 1}};
      ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLEFAN, D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1,
                                       q, 4, 0),
                DD_OK);
      const double lambda = std::log2(64.0 / size);
      int want = 0;
      if (filtered && lambda > 0.5) want = std::min(6, int(std::ceil(lambda + 0.5)) - 1);
      EXPECT_EQ(Pixels(target_)[0], colours[want])
          << "size " << size << (filtered ? " filtered" : "");
    }
  }
  tex->Release();
}

// Losing exclusive mode: the flip chain is lost until the focus is back and the surfaces are
// restored; Flip shows the back buffer in the window.
TEST_F(SoftDDrawTest, ExclusiveModeLossAndFlip) {
  WindowId window = CreateDeviceWindow("full", 640, 480, true);
  ASSERT_NE(window, 0u);
  ASSERT_EQ(dd_->SetCooperativeLevel(
                window, DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT | DDSCL_EXCLUSIVE | DDSCL_FPUPRESERVE),
            DD_OK);
  ASSERT_EQ(dd_->SetDisplayMode(640, 480, 32, 60, 0), DD_OK);
  DDSURFACEDESC2 d;
  d.flags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
  d.caps.caps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE;
  d.backBufferCount = 1;
  IDirectDrawSurface7* primary = Create(d);
  ASSERT_NE(primary, nullptr);
  IDirectDrawSurface7* back = nullptr;
  ASSERT_EQ(primary->GetAttachedSurface({DDSCAPS_BACKBUFFER, 0}, &back), DD_OK);
  ASSERT_EQ(dd_->QueryInterface(IID_IDirect3D7, reinterpret_cast<void**>(&d3d_)), DD_OK);
  ASSERT_EQ(d3d_->CreateDevice(IID_IDirect3DHALDevice, back, &device_), DD_OK);
  ASSERT_EQ(device_->BeginScene(), DD_OK);
  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00ABCDEF, 0, 0), DD_OK);
  ASSERT_EQ(device_->EndScene(), DD_OK);
  ASSERT_EQ(primary->Flip(nullptr, DDFLIP_NOVSYNC), DD_OK);
  std::vector<uint32_t> shown;
  int32_t w = 0, h = 0;
  ASSERT_TRUE(PresentedPixelsForTesting(window, &shown, &w, &h));
  ASSERT_EQ(size_t(w) * h, shown.size());
  EXPECT_EQ(shown[0], 0xFFABCDEFu);
  EXPECT_EQ(shown[w * std::min(h, 480) - 1], 0xFFABCDEFu);

  IDirectDrawSurface7* managed = Texture(8, 8, true);
  IDirectDrawSurface7* plainTexture = Plain(8, 8, DDSCAPS_TEXTURE);
  LoseExclusiveModeForTesting();
  EXPECT_EQ(managed->IsLost(), DD_OK) << "managed textures survive";
  EXPECT_EQ(plainTexture->IsLost(), DDERR_SURFACELOST);
  managed->Release();
  plainTexture->Release();
  DDSURFACEDESC2 locked;
  struct Step {
    const char* what;
    HRESULT got, want;
  };
  const Step lost[] = {
      {"test", dd_->TestCooperativeLevel(), DDERR_NOEXCLUSIVEMODE},
      {"is lost", back->IsLost(), DDERR_SURFACELOST},
      {"lock", back->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr), DDERR_SURFACELOST},
      {"flip", primary->Flip(nullptr, 0), DDERR_SURFACELOST},
      {"restore", dd_->RestoreAllSurfaces(), DDERR_WRONGMODE},
      {"begin", device_->BeginScene(), DD_OK},
      {"draw", device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 0, 0), DDERR_SURFACELOST},
      {"end", device_->EndScene(), DD_OK},
  };
  for (const Step& s : lost)
    EXPECT_EQ(s.got, s.want) << s.what;
  RegainExclusiveModeForTesting();
  const Step back_again[] = {
      {"test", dd_->TestCooperativeLevel(), DD_OK},
      {"still lost", primary->IsLost(), DDERR_SURFACELOST},
      {"restore", dd_->RestoreAllSurfaces(), DD_OK},
      {"front", primary->IsLost(), DD_OK},
      {"back", back->IsLost(), DD_OK},
      {"flip", primary->Flip(nullptr, 0), DD_OK},
  };
  for (const Step& s : back_again)
    EXPECT_EQ(s.got, s.want) << s.what;
  back->Release();
  device_->Release();
  device_ = nullptr;
  primary->Release();
  // The DirectDraw object going leaves its surfaces lost.
  IDirectDrawSurface7* survivor = Plain(4, 4);
  dd_->Release();
  EXPECT_EQ(survivor->IsLost(), DDERR_SURFACELOST);
  survivor->Release();
  ASSERT_EQ(DirectDrawCreateEx(&dd_), DD_OK);
  DestroyDeviceWindow(window);
}

}  // namespace
