// The Direct3D 7 object and device: states, transforms, clip planes, scenes, Clear and
// DrawPrimitive over the rasteriser.
#include "platform/d3d7/soft_device.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/d3d7/raster.h"
#include "platform/d3d7/ref_counted.h"
#include "platform/d3d7/soft_display.h"
#include "platform/d3d7/soft_surface.h"
#include "platform/math/small_rounding.h"

namespace vxl::platform::d3d7 {
namespace {

constexpr uint32_t kRenderStates = 153;
constexpr uint32_t kStageStates = 19;
constexpr uint32_t kNotKept = 0xFFFFFFFF;

// The values a state accepts and its initial value; first is kNotKept for a state the device
// does not keep.
struct StateRange {
  uint32_t first, last, initial;
};

StateRange RenderStateRange(uint32_t state) {
  switch (state) {
    case D3DRENDERSTATE_ALPHATESTENABLE:
      return {0, 1, 0};
    case D3DRENDERSTATE_SRCBLEND:
      return {1, 13, D3DBLEND_ONE};
    case D3DRENDERSTATE_DESTBLEND:
      return {1, 13, D3DBLEND_ZERO};
    case D3DRENDERSTATE_CULLMODE:
      return {1, 3, D3DCULL_CCW};
    case D3DRENDERSTATE_ALPHAREF:
      return {0, 255, 0};
    case D3DRENDERSTATE_ALPHAFUNC:
      return {1, 8, D3DCMP_ALWAYS};
    case D3DRENDERSTATE_ALPHABLENDENABLE:
      return {0, 1, 0};
    case D3DRENDERSTATE_LIGHTING:
      return {0, 1, 1};
    case D3DRENDERSTATE_CLIPPLANEENABLE:
      return {0, 63, 0};
    default:
      return {kNotKept, 0, 0};
  }
}

StateRange StageStateRange(uint32_t type) {
  switch (type) {
    case D3DTSS_COLOROP:
      return {1, 26, D3DTOP_MODULATE};
    case D3DTSS_ALPHAOP:
      return {1, 26, D3DTOP_SELECTARG1};
    case D3DTSS_COLORARG1:
    case D3DTSS_ALPHAARG1:
      return {0, 4, D3DTA_TEXTURE};
    case D3DTSS_COLORARG2:
    case D3DTSS_ALPHAARG2:
      return {0, 4, D3DTA_CURRENT};
    case D3DTSS_ADDRESS:
      return {1, 4, D3DTADDRESS_WRAP};
    case D3DTSS_MAGFILTER:
      return {1, 5, D3DTFG_POINT};
    case D3DTSS_MINFILTER:
      return {1, 3, D3DTFN_POINT};
    case D3DTSS_MIPFILTER:
      return {1, 3, D3DTFP_NONE};
    default:
      return {kNotKept, 0, 0};
  }
}

D3DMATRIX Identity() {
  D3DMATRIX m;
  m.m11 = m.m22 = m.m33 = m.m44 = 1;
  return m;
}

// What the stage does with texture and diffuse.
enum class Op { kDiffuse, kTexture, kModulate, kInvalid };

Op OpOf(uint32_t op) {
  switch (op) {
    case D3DTOP_DISABLE:
    case D3DTOP_SELECTARG2:
      return Op::kDiffuse;
    case D3DTOP_SELECTARG1:
      return Op::kTexture;
    case D3DTOP_MODULATE:
      return Op::kModulate;
    default:
      return Op::kInvalid;
  }
}

bool IsDiffuseArg(uint32_t arg) {
  return arg == D3DTA_DIFFUSE || arg == D3DTA_CURRENT;
}

class SoftDevice final : public RefCounted<IDirect3DDevice7> {
 public:
  explicit SoftDevice(SoftSurface* target) : target_(target), projection_(Identity()) {
    target_->AddRef();
    for (uint32_t i = 0; i < kRenderStates; ++i) {
      StateRange r = RenderStateRange(i);
      renderStates_[i] = r.first == kNotKept ? 0 : r.initial;
    }
    for (uint32_t i = 0; i < kStageStates; ++i) {
      StateRange r = StageStateRange(i);
      stageStates_[i] = r.first == kNotKept ? 0 : r.initial;
    }
    WholeTargetViewport();
  }

  HRESULT BeginScene() override {
    if (inScene_) return D3DERR_SCENE_IN_SCENE;
    inScene_ = true;
    return DD_OK;
  }

  HRESULT EndScene() override {
    if (!inScene_) return D3DERR_SCENE_NOT_IN_SCENE;
    inScene_ = false;
    return DD_OK;
  }

  HRESULT SetRenderTarget(IDirectDrawSurface7* target, uint32_t flags) override {
    auto* t = static_cast<SoftSurface*>(target);
    if (!t || flags != 0 || !(t->Caps() & DDSCAPS_3DDEVICE) || !t->Raster().pixels) {
      return DDERR_INVALIDPARAMS;
    }
    t->AddRef();
    target_->Release();
    target_ = t;
    WholeTargetViewport();
    return DD_OK;
  }

  HRESULT GetRenderTarget(IDirectDrawSurface7** target) override {
    if (!target) return DDERR_INVALIDPARAMS;
    target_->AddRef();
    *target = target_;
    return DD_OK;
  }

  HRESULT SetViewport(const D3DVIEWPORT7& v) override {
    const uint64_t right = uint64_t(v.x) + v.width, bottom = uint64_t(v.y) + v.height;
    if (v.width < 1 || v.height < 1 || right > uint64_t(target_->Width()) ||
        bottom > uint64_t(target_->Height()) || !(v.minZ >= 0 && v.minZ <= 1) ||
        !(v.maxZ >= 0 && v.maxZ <= 1)) {
      return DDERR_INVALIDPARAMS;
    }
    viewport_ = v;
    return DD_OK;
  }

  HRESULT GetViewport(D3DVIEWPORT7* v) override {
    if (!v) return DDERR_INVALIDPARAMS;
    *v = viewport_;
    return DD_OK;
  }

  HRESULT SetTransform(D3DTRANSFORMSTATETYPE type, const D3DMATRIX& m) override {
    if (type != D3DTRANSFORMSTATE_PROJECTION) return DDERR_INVALIDPARAMS;
    projection_ = m;
    return DD_OK;
  }

  HRESULT GetTransform(D3DTRANSFORMSTATETYPE type, D3DMATRIX* m) override {
    if (!m) return DDERR_INVALIDPARAMS;
    switch (type) {
      case D3DTRANSFORMSTATE_PROJECTION:
        *m = projection_;
        return DD_OK;
      case D3DTRANSFORMSTATE_WORLD:
      case D3DTRANSFORMSTATE_VIEW:
        *m = Identity();
        return DD_OK;
      default:
        return DDERR_INVALIDPARAMS;
    }
  }

  HRESULT SetRenderState(D3DRENDERSTATETYPE state, uint32_t value) override {
    StateRange r = RenderStateRange(state);
    if (r.first == kNotKept) return DDERR_UNSUPPORTED;
    if (value < r.first || value > r.last) return DDERR_INVALIDPARAMS;
    renderStates_[state] = value;
    return DD_OK;
  }

  HRESULT GetRenderState(D3DRENDERSTATETYPE state, uint32_t* value) override {
    if (!value) return DDERR_INVALIDPARAMS;
    if (RenderStateRange(state).first == kNotKept) return DDERR_UNSUPPORTED;
    *value = renderStates_[state];
    return DD_OK;
  }

  HRESULT SetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type,
                               uint32_t value) override {
    if (stage != 0) return DDERR_INVALIDPARAMS;
    StateRange r = StageStateRange(type);
    if (r.first == kNotKept) return DDERR_UNSUPPORTED;
    if (value < r.first || value > r.last) return DDERR_INVALIDPARAMS;
    stageStates_[type] = value;
    return DD_OK;
  }

  HRESULT GetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type,
                               uint32_t* value) override {
    if (stage != 0 || !value) return DDERR_INVALIDPARAMS;
    if (StageStateRange(type).first == kNotKept) return DDERR_UNSUPPORTED;
    *value = stageStates_[type];
    return DD_OK;
  }

  HRESULT SetTexture(uint32_t stage, IDirectDrawSurface7* texture) override {
    auto* t = static_cast<SoftSurface*>(texture);
    if (stage != 0 || (t && !(t->Caps() & DDSCAPS_TEXTURE))) return DDERR_INVALIDPARAMS;
    if (t) t->AddRef();
    if (texture_) texture_->Release();
    texture_ = t;
    return DD_OK;
  }

  HRESULT GetTexture(uint32_t stage, IDirectDrawSurface7** texture) override {
    if (stage != 0 || !texture) return DDERR_INVALIDPARAMS;
    if (texture_) texture_->AddRef();
    *texture = texture_;
    return DD_OK;
  }

  HRESULT SetClipPlane(uint32_t index, const float plane[4]) override {
    if (index >= uint32_t(kRasterClipPlanes) || !plane) return DDERR_INVALIDPARAMS;
    std::memcpy(planes_[index].data(), plane, sizeof(float) * 4);
    return DD_OK;
  }

  HRESULT GetClipPlane(uint32_t index, float plane[4]) override {
    if (index >= uint32_t(kRasterClipPlanes) || !plane) return DDERR_INVALIDPARAMS;
    std::memcpy(plane, planes_[index].data(), sizeof(float) * 4);
    return DD_OK;
  }

  HRESULT Clear(uint32_t count, const D3DRECT* rects, uint32_t flags, uint32_t color, float,
                uint32_t) override {
    if (flags != D3DCLEAR_TARGET || (count > 0 && !rects)) return DDERR_INVALIDPARAMS;
    if (!inScene_) return D3DERR_SCENE_NOT_IN_SCENE;
    if (HRESULT r = TargetUsable(); r != DD_OK) return r;
    RasterSurface t = target_->Raster();
    const D3DRECT whole{int32_t(viewport_.x), int32_t(viewport_.y),
                        int32_t(viewport_.x + viewport_.width),
                        int32_t(viewport_.y + viewport_.height)};
    const uint32_t fill = color | 0xFF000000u;
    for (uint32_t i = 0; i < std::max<uint32_t>(count, 1); ++i) {
      const D3DRECT& r = count ? rects[i] : whole;
      const int32_t x0 = std::max({r.x1, whole.x1, 0}), x1 = std::min({r.x2, whole.x2, t.width});
      const int32_t y0 = std::max({r.y1, whole.y1, 0}), y1 = std::min({r.y2, whole.y2, t.height});
      if (x0 >= x1) continue;
      for (int32_t y = y0; y < y1; ++y) {
        std::fill(t.pixels + size_t(y) * t.pitch + x0, t.pixels + size_t(y) * t.pitch + x1, fill);
      }
    }
    return DD_OK;
  }

  HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, uint32_t fvf, const void* vertices, uint32_t count,
                        uint32_t flags) override;

 private:
  ~SoftDevice() override {
    target_->Release();
    if (texture_) texture_->Release();
  }

  void WholeTargetViewport() {
    viewport_ = D3DVIEWPORT7{0, 0, uint32_t(target_->Width()), uint32_t(target_->Height()), 0, 1};
  }

  HRESULT TargetUsable() const {
    if (target_->Lost()) return DDERR_SURFACELOST;
    if (target_->Busy()) return DDERR_SURFACEBUSY;
    return DD_OK;
  }

  // The raster state for the device's states, or the reason it cannot be drawn. Leaves the
  // texture and filter to the caller (they depend on the primitive's mip level).
  HRESULT BuildState(RasterState* st, bool* textured) const;
  // The enabled clip planes in screen space; false when the projection has no affine inverse.
  bool ScreenPlanes(RasterState* st) const;
  RasterVertex Transform(const uint8_t* vertex, bool hasUv) const;
  // The mip level and filter of a triangle.
  void ChooseLevel(const RasterVertex v[3], RasterState* st) const;
  bool TrySpanQuad(const RasterSurface& target, RasterState st, const RasterVertex v[4]) const;
  bool Culled(const RasterVertex& a, const RasterVertex& b, const RasterVertex& c,
              bool flipped) const;

  SoftSurface* target_;
  SoftSurface* texture_ = nullptr;
  bool inScene_ = false;
  D3DVIEWPORT7 viewport_;
  D3DMATRIX projection_;
  std::array<uint32_t, kRenderStates> renderStates_{};
  std::array<uint32_t, kStageStates> stageStates_{};
  std::array<std::array<float, 4>, kRasterClipPlanes> planes_{};
  std::vector<RasterSurface> levels_;      // the texture's mip levels, filled per draw
  std::vector<RasterVertex> transformed_;  // the vertices of the current draw on screen
};

HRESULT SoftDevice::BuildState(RasterState* st, bool* textured) const {
  const auto& rs = renderStates_;
  const auto& ts = stageStates_;
  if (rs[D3DRENDERSTATE_LIGHTING]) return DDERR_INVALIDPARAMS;
  st->blend = RasterBlend::kOpaque;
  if (rs[D3DRENDERSTATE_ALPHABLENDENABLE]) {
    const uint32_t s = rs[D3DRENDERSTATE_SRCBLEND], d = rs[D3DRENDERSTATE_DESTBLEND];
    if (s == D3DBLEND_ONE && d == D3DBLEND_ZERO) {
      st->blend = RasterBlend::kOpaque;
    } else if (s == D3DBLEND_SRCALPHA && d == D3DBLEND_INVSRCALPHA) {
      st->blend = RasterBlend::kAlpha;
    } else if (s == D3DBLEND_SRCALPHA && d == D3DBLEND_ONE) {
      st->blend = RasterBlend::kAdditive;
    } else if (s == D3DBLEND_ZERO && d == D3DBLEND_SRCCOLOR) {
      st->blend = RasterBlend::kMultiply;
    } else {
      return DDERR_INVALIDPARAMS;
    }
  }
  st->alphaTest = false;
  if (rs[D3DRENDERSTATE_ALPHATESTENABLE] && rs[D3DRENDERSTATE_ALPHAFUNC] != D3DCMP_ALWAYS) {
    if (rs[D3DRENDERSTATE_ALPHAREF] != 128 || rs[D3DRENDERSTATE_ALPHAFUNC] != D3DCMP_GREATEREQUAL) {
      return DDERR_INVALIDPARAMS;
    }
    st->alphaTest = true;
  }
  const Op colour = OpOf(ts[D3DTSS_COLOROP]), alpha = OpOf(ts[D3DTSS_ALPHAOP]);
  if (colour == Op::kInvalid || colour != alpha) return DDERR_INVALIDPARAMS;
  const bool usesTexture = colour != Op::kDiffuse;
  const bool usesDiffuse = colour != Op::kTexture;
  if (usesTexture &&
      (ts[D3DTSS_COLORARG1] != D3DTA_TEXTURE || ts[D3DTSS_ALPHAARG1] != D3DTA_TEXTURE)) {
    return DDERR_INVALIDPARAMS;
  }
  if (usesDiffuse && (!IsDiffuseArg(ts[D3DTSS_COLORARG2]) || !IsDiffuseArg(ts[D3DTSS_ALPHAARG2]))) {
    return DDERR_INVALIDPARAMS;
  }
  *textured = usesTexture && texture_;
  st->modulate = colour == Op::kModulate;
  if (*textured) {
    if (ts[D3DTSS_ADDRESS] != D3DTADDRESS_CLAMP || ts[D3DTSS_MIPFILTER] == D3DTFP_LINEAR ||
        ts[D3DTSS_MAGFILTER] > D3DTFG_LINEAR) {
      return DDERR_INVALIDPARAMS;
    }
  }
  st->clipPlaneMask = rs[D3DRENDERSTATE_CLIPPLANEENABLE];
  return DD_OK;
}

bool SoftDevice::ScreenPlanes(RasterState* st) const {
  if (!st->clipPlaneMask) return true;
  const D3DMATRIX& m = projection_;
  if (m.m14 != 0 || m.m24 != 0 || m.m34 != 0 || m.m44 != 1) return false;
  const double hw = viewport_.width / 2.0, hh = viewport_.height / 2.0;
  const double dz = double(viewport_.maxZ) - viewport_.minZ;
  // screen = A world + t
  const double a[3][3] = {{hw * m.m11, hw * m.m21, hw * m.m31},
                          {-hh * m.m12, -hh * m.m22, -hh * m.m32},
                          {dz * m.m13, dz * m.m23, dz * m.m33}};
  const double t[3] = {viewport_.x + hw * (1.0 + m.m41), viewport_.y + hh * (1.0 - m.m42),
                       viewport_.minZ + dz * m.m43};
  const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                     a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                     a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
  if (det == 0 || !std::isfinite(det)) return false;
  double inv[3][3];
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      // inverse = adjugate / det; adj[r][c] = cofactor[c][r]
      const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
      inv[r][c] = (a[r1][c1] * a[r2][c2] - a[r1][c2] * a[r2][c1]) / det;
    }
  }
  for (int i = 0; i < kRasterClipPlanes; ++i) {
    if (!(st->clipPlaneMask & (1u << i))) continue;
    const auto& p = planes_[i];
    // n . inv (s - t) + d: the screen plane's normal is n^T inv.
    double q[3];
    for (int c = 0; c < 3; ++c)
      q[c] = p[0] * inv[0][c] + p[1] * inv[1][c] + p[2] * inv[2][c];
    const double d = p[3] - (q[0] * t[0] + q[1] * t[1] + q[2] * t[2]);
    st->planes[i] = {float(q[0]), float(q[1]), float(q[2]), float(d)};
  }
  return true;
}

RasterVertex SoftDevice::Transform(const uint8_t* p, bool hasUv) const {
  float in[3];
  uint32_t diffuse;
  std::memcpy(in, p, sizeof in);
  std::memcpy(&diffuse, p + 12, 4);
  RasterVertex out;
  out.diffuse = diffuse;
  if (hasUv) {
    std::memcpy(&out.u, p + 16, 4);
    std::memcpy(&out.v, p + 20, 4);
  }
  const D3DMATRIX& m = projection_;
  const double x = in[0], y = in[1], z = in[2];
  const double cx = x * m.m11 + y * m.m21 + z * m.m31 + m.m41;
  const double cy = x * m.m12 + y * m.m22 + z * m.m32 + m.m42;
  const double cz = x * m.m13 + y * m.m23 + z * m.m33 + m.m43;
  const double cw = x * m.m14 + y * m.m24 + z * m.m34 + m.m44;
  const double hw = viewport_.width / 2.0, hh = viewport_.height / 2.0;
  out.x = float(viewport_.x + (cx / cw + 1.0) * hw);
  out.y = float(viewport_.y + (1.0 - cy / cw) * hh);
  out.z = float(viewport_.minZ + cz / cw * (double(viewport_.maxZ) - viewport_.minZ));
  return out;
}

void SoftDevice::ChooseLevel(const RasterVertex v[3], RasterState* st) const {
  const auto& ts = stageStates_;
  const RasterSurface& top = levels_.front();
  const double e1x = double(v[1].x) - v[0].x, e1y = double(v[1].y) - v[0].y;
  const double e2x = double(v[2].x) - v[0].x, e2y = double(v[2].y) - v[0].y;
  const double det = e1x * e2y - e2x * e1y;
  double lambda = 0;
  if (det != 0 && std::isfinite(det)) {
    const double du1 = (double(v[1].u) - v[0].u) * top.width,
                 du2 = (double(v[2].u) - v[0].u) * top.width;
    const double dv1 = (double(v[1].v) - v[0].v) * top.height,
                 dv2 = (double(v[2].v) - v[0].v) * top.height;
    const double dudx = (du1 * e2y - du2 * e1y) / det, dudy = (du2 * e1x - du1 * e2x) / det;
    const double dvdx = (dv1 * e2y - dv2 * e1y) / det, dvdy = (dv2 * e1x - dv1 * e2x) / det;
    // log2 of the larger texel-to-pixel ratio, taken as half the log2 of its square.
    const double rho2 = std::max(dudx * dudx + dvdx * dvdx, dudy * dudy + dvdy * dvdy);
    if (rho2 > 0 && std::isfinite(rho2)) lambda = 0.5 * math::Log2(rho2);
    // A one-to-one mapping is still one to one after the projection's float rounding and the
    // vertices' (a few 1e-5 of a sprite's size far from the origin).
    if (lambda > -0x1p-10 && lambda < 0x1p-10) lambda = 0;
  }
  size_t level = 0;
  if (lambda <= 0) {
    st->filter =
        ts[D3DTSS_MAGFILTER] == D3DTFG_LINEAR ? RasterFilter::kBilinear : RasterFilter::kPoint;
  } else {
    st->filter =
        ts[D3DTSS_MINFILTER] == D3DTFN_LINEAR ? RasterFilter::kBilinear : RasterFilter::kPoint;
    if (ts[D3DTSS_MIPFILTER] == D3DTFP_POINT && lambda > 0.5) {
      level =
          size_t(std::min<double>(-math::Floor(-(lambda + 0.5)) - 1, double(levels_.size() - 1)));
    }
  }
  st->texture = &levels_[level];
}

bool SoftDevice::Culled(const RasterVertex& a, const RasterVertex& b, const RasterVertex& c,
                        bool flipped) const {
  const uint32_t mode = renderStates_[D3DRENDERSTATE_CULLMODE];
  if (mode == D3DCULL_NONE) return false;
  double cross =
      (double(b.x) - a.x) * (double(c.y) - a.y) - (double(b.y) - a.y) * (double(c.x) - a.x);
  if (flipped) cross = -cross;
  // On screen with y down, a positive cross product is clockwise.
  return mode == D3DCULL_CW ? cross > 0 : cross < 0;
}

// The fan's four vertices as an unscaled, axis-aligned quad (corners at pixel edges after
// snapping, one colour, texels one to one): drawn by the span path.
bool SoftDevice::TrySpanQuad(const RasterSurface& target, RasterState st,
                             const RasterVertex v[4]) const {
  auto snap = [](float c) { return math::NearbyInt(double(c) * 256.0); };
  double sx[4], sy[4];
  for (int i = 0; i < 4; ++i) {
    sx[i] = snap(v[i].x);
    sy[i] = snap(v[i].y);
    if (!std::isfinite(sx[i]) || !std::isfinite(sy[i]) || v[i].diffuse != v[0].diffuse) {
      return false;
    }
  }
  // Consecutive corners differ in exactly one coordinate.
  for (int i = 0; i < 4; ++i) {
    const int j = (i + 1) % 4;
    if ((sx[i] == sx[j]) == (sy[i] == sy[j])) return false;
  }
  const double x0 = std::min({sx[0], sx[1], sx[2]}), x1 = std::max({sx[0], sx[1], sx[2]});
  const double y0 = std::min({sy[0], sy[1], sy[2]}), y1 = std::max({sy[0], sy[1], sy[2]});
  // Corners at pixel edges: (n - 0.5) * 256.
  auto edge = [](double s) { return math::IsMultipleOf(s + 128.0, 256.0); };
  if (!edge(x0) || !edge(x1) || !edge(y0) || !edge(y1) || x0 == x1 || y0 == y1) return false;
  if (std::abs(x0) > 1 << 28 || std::abs(y0) > 1 << 28 || x1 - x0 > 1 << 28 || y1 - y0 > 1 << 28) {
    return false;
  }
  const auto px = int32_t((x0 + 128) / 256), py = int32_t((y0 + 128) / 256);
  const auto w = int32_t((x1 - x0) / 256), h = int32_t((y1 - y0) / 256);
  int32_t tx = 0, ty = 0;
  if (st.texture) {
    const RasterSurface& t = *st.texture;
    if (!std::has_single_bit(uint32_t(t.width)) || !std::has_single_bit(uint32_t(t.height))) {
      return false;
    }
    for (int i = 0; i < 4; ++i) {
      // Texel coordinates at this corner: tx at the left edge, tx + w at the right one.
      const float tu = v[i].u * float(t.width), tv = v[i].v * float(t.height);
      const float wantU = sx[i] == x0 ? 0 : float(w), wantV = sy[i] == y0 ? 0 : float(h);
      if (i == 0) {
        tx = int32_t(math::NearbyInt(tu - wantU));
        ty = int32_t(math::NearbyInt(tv - wantV));
      }
      if (!std::isfinite(tu) || !std::isfinite(tv) || tu != float(tx) + wantU ||
          tv != float(ty) + wantV || std::abs(tu) > 1 << 24 || std::abs(tv) > 1 << 24) {
        return false;
      }
    }
  }
  DrawSpanQuad(target, st, px, py, w, h, tx, ty, v[0].diffuse);
  return true;
}

HRESULT SoftDevice::DrawPrimitive(D3DPRIMITIVETYPE type, uint32_t fvf, const void* vertices,
                                  uint32_t count, uint32_t flags) {
  const uint32_t plain = D3DFVF_XYZ | D3DFVF_DIFFUSE;
  if ((fvf != plain && fvf != (plain | D3DFVF_TEX1)) || (count > 0 && !vertices) || flags != 0) {
    return DDERR_INVALIDPARAMS;
  }
  if (type != D3DPT_POINTLIST && type != D3DPT_LINELIST && type != D3DPT_TRIANGLESTRIP &&
      type != D3DPT_TRIANGLEFAN) {
    return DDERR_INVALIDPARAMS;
  }
  if (!inScene_) return D3DERR_SCENE_NOT_IN_SCENE;
  if (HRESULT r = TargetUsable(); r != DD_OK) return r;
  RasterState st;
  bool textured = false;
  if (HRESULT r = BuildState(&st, &textured); r != DD_OK) return r;
  if (!ScreenPlanes(&st)) return DDERR_INVALIDPARAMS;
  levels_.clear();
  if (textured) {
    if (texture_->Lost()) return DDERR_SURFACELOST;
    if (texture_->Busy()) return DDERR_SURFACEBUSY;
    for (SoftSurface* s = texture_; s; s = s->NextLevel())
      levels_.push_back(s->Raster());
    st.texture = &levels_.front();
  }
  const bool hasUv = fvf & D3DFVF_TEX1;
  const size_t stride = hasUv ? 24 : 16;
  std::vector<RasterVertex>& v = transformed_;
  v.resize(count);
  const auto* bytes = static_cast<const uint8_t*>(vertices);
  for (uint32_t i = 0; i < count; ++i)
    v[i] = Transform(bytes + i * stride, hasUv);
  const RasterSurface target = target_->Raster();

  auto triangle = [&](const RasterVertex& a, const RasterVertex& b, const RasterVertex& c,
                      bool flipped) {
    if (Culled(a, b, c, flipped)) return;
    const RasterVertex tri[3] = {a, b, c};
    if (textured) ChooseLevel(tri, &st);
    DrawTriangle(target, st, tri);
  };
  switch (type) {
    case D3DPT_POINTLIST:
      if (textured)
        st.filter = stageStates_[D3DTSS_MAGFILTER] == D3DTFG_LINEAR ? RasterFilter::kBilinear
                                                                    : RasterFilter::kPoint;
      for (const RasterVertex& p : v)
        DrawPoint(target, st, p);
      break;
    case D3DPT_LINELIST:
      if (textured)
        st.filter = stageStates_[D3DTSS_MAGFILTER] == D3DTFG_LINEAR ? RasterFilter::kBilinear
                                                                    : RasterFilter::kPoint;
      for (uint32_t i = 0; i + 1 < count; i += 2)
        DrawLine(target, st, v[i], v[i + 1]);
      break;
    case D3DPT_TRIANGLESTRIP:
      for (uint32_t i = 0; i + 2 < count; ++i)
        triangle(v[i], v[i + 1], v[i + 2], i % 2 == 1);
      break;
    case D3DPT_TRIANGLEFAN:
      if (count == 4 && st.clipPlaneMask == 0 && !Culled(v[0], v[1], v[2], false) &&
          !Culled(v[0], v[2], v[3], false)) {
        RasterState quad = st;
        if (textured) {
          const RasterVertex first[3] = {v[0], v[1], v[2]};
          ChooseLevel(first, &quad);
        }
        if ((!textured || quad.texture == &levels_.front()) &&
            (TrySpanQuad(target, quad, v.data()) || DrawRectangleFan(target, quad, v.data()))) {
          break;
        }
      }
      for (uint32_t i = 1; i + 1 < count; ++i)
        triangle(v[0], v[i], v[i + 1], false);
      break;
    default:
      break;
  }
  return DD_OK;
}

class SoftDirect3D final : public RefCounted<IDirect3D7> {
 public:
  explicit SoftDirect3D(const std::shared_ptr<DirectDrawState>& owner) : owner_(owner) {}

  HRESULT CreateDevice(Iid device, IDirectDrawSurface7* target, IDirect3DDevice7** out) override {
    if (!out) return DDERR_INVALIDPARAMS;
    *out = nullptr;
    auto* t = static_cast<SoftSurface*>(target);
    if ((device != IID_IDirect3DHALDevice && device != IID_IDirect3DTnLHalDevice) || !t ||
        !(t->Caps() & DDSCAPS_3DDEVICE) || !t->Raster().pixels) {
      return DDERR_INVALIDPARAMS;
    }
    if (!owner_->alive) return DDERR_SURFACELOST;
    if (t->Lost()) return DDERR_SURFACELOST;
    *out = new SoftDevice(t);
    return DD_OK;
  }

 private:
  std::shared_ptr<DirectDrawState> owner_;
};

}  // namespace

HRESULT CreateDirect3D(const std::shared_ptr<DirectDrawState>& owner, IDirect3D7** out) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = new SoftDirect3D(owner);
  return DD_OK;
}

}  // namespace vxl::platform::d3d7
