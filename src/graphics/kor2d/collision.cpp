#include "graphics/kor2d/collision.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "graphics/kor2d/degrees.h"
#include "graphics/kor2d/kor2d.h"
#include "runtime/class_binder.h"
#include "runtime/never_destroyed.h"

namespace vxl {

VXL_DEFINE_CLASS(TQuad)
VXL_DEFINE_CLASS(rpoly)

namespace {

constexpr int kLayers = 32;
constexpr uint32_t kOverlapLayer = 0x80000000u;
// Pixels of a scanline compared at a time; wider common spans are taken in pieces.
constexpr int kLineBuffer = 1024;
// Integer positions are kept within +-2^30, far outside any screen, so int arithmetic on them
// never overflows.
constexpr double kIntLimit = 1073741824.0;

struct CollisionState {
  std::array<Ref<TQuad>, kLayers> layers;
  Ref<TQuad> free;
  Ref<rpoly> polys[2];
  std::array<uint8_t, kLineBuffer> line{};
};

CollisionState& C() {
  static NeverDestroyed<CollisionState> state;
  return *state;
}

// The integer part (floor, so that negative positions are cut like positive ones), limited to
// +-2^30; the values are finite here.
int32_t IntPart(double v) {
  return static_cast<int32_t>(std::floor(std::clamp(v, -kIntLimit, kIntLimit)));
}

Ref<TQuad> TakeQuad() {
  CollisionState& c = C();
  Ref<TQuad> q = c.free;
  if (!q) return New<TQuad>();
  c.free = q->link;
  q->link = Ref<TQuad>();
  return q;
}

// The placement's quad: the local corners (hx, hy) .. (hx + w, hy + h) through the collision
// transform, moved by the position and the origin. Null when a corner is not finite.
Ref<TQuad> MakeQuad(float x, float y, float w, float h, float hx, float hy) {
  float ox = 0, oy = 0;
  if (Ref<TKor2DGraphics> g = TKor2DGraphics::Current()) {
    ox = g->origin_x;
    oy = g->origin_y;
  }
  const CollisionTransform& t = collisionTransform;
  const float cx[4] = {hx, hx + w, hx + w, hx};
  const float cy[4] = {hy, hy, hy + h, hy + h};
  float p[8];
  for (int i = 0; i < 4; ++i) {
    p[2 * i] = cx[i] * t.ix + cy[i] * t.iy + x + ox;
    p[2 * i + 1] = cx[i] * t.jx + cy[i] * t.jy + y + oy;
  }
  for (float v : p) {
    if (!std::isfinite(v)) return Ref<TQuad>();
  }
  Ref<TQuad> q = TakeQuad();
  q->SetCoords(p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7]);
  return q;
}

Array<Ref<Object>> TestAndWrite(const Ref<TQuad>& quad, uint32_t collideMask, uint32_t writeMask) {
  CollisionState& c = C();
  std::vector<Ref<Object>> hits;
  for (int layer = 0; layer < kLayers; ++layer) {
    if (!(collideMask >> layer & 1)) continue;
    for (TQuad* q = c.layers[layer].Get(); q; q = q->link.Get()) {
      if (QuadsCollide(*quad, *q)) hits.push_back(q->id);
    }
  }
  for (int layer = 0; layer < kLayers; ++layer) {
    if (!(writeMask >> layer & 1)) continue;
    Ref<TQuad> copy = TakeQuad();
    copy->id = quad->id;
    copy->mask = quad->mask;
    copy->frame = quad->frame;
    std::copy(quad->xyuv.begin(), quad->xyuv.end(), copy->xyuv.begin());
    copy->minx = quad->minx;
    copy->miny = quad->miny;
    copy->maxx = quad->maxx;
    copy->maxy = quad->maxy;
    copy->link = c.layers[layer];
    c.layers[layer] = copy;
  }
  // The probe itself goes back to the free list, without its references.
  quad->id = Ref<Object>();
  quad->mask = Ref<TPixmap>();
  quad->link = c.free;
  c.free = quad;
  auto result = Array<Ref<Object>>::New(static_cast<int32_t>(hits.size()));
  std::copy(hits.begin(), hits.end(), result.begin());
  return result;
}

// The mask's alpha byte: the last byte of a 32-bit pixel, the only one of an 8-bit alpha pixel.
struct MaskView {
  const uint8_t* alpha = nullptr;
  int32_t width = 0, height = 0, pitch = 0, bytes = 0;
  bool solid = true;  // no mask
  bool empty = false;

  explicit MaskView(const TPixmap* p) {
    if (!p) return;
    solid = false;
    if (!p->pixels || p->width < 1 || p->height < 1) {
      empty = true;
      return;
    }
    bytes = FormatBytes[p->format];
    alpha = p->pixels + (bytes == 4 ? 3 : 0);
    width = p->width;
    height = p->height;
    pitch = p->pitch;
  }
  bool Solid(double u, double v) const {
    u = std::clamp(u, 0.0, 1.0);
    v = std::clamp(v, 0.0, 1.0);
    const int32_t col = std::min(static_cast<int32_t>(u * width), width - 1);
    const int32_t row = std::min(static_cast<int32_t>(v * height), height - 1);
    return alpha[int64_t(row) * pitch + int64_t(col) * bytes] >= 128;
  }
};

// Marks (pass 0) or tests against the marks (pass 1) the solid pixels of one polygon over the
// common span piece [from, from + n). True on a pixel solid in both.
bool SpanPass(const rpoly& p, const MaskView& m, int32_t from, int32_t n, int pass, uint8_t* line) {
  if (m.solid) {
    if (pass == 0) {
      std::fill_n(line, n, uint8_t(1));
      return false;
    }
    for (int32_t i = 0; i < n; ++i) {
      if (line[i]) return true;
    }
    return false;
  }
  const double lx = p.ldat[0], rx = p.rdat[0];
  if (m.empty || !(rx - lx >= 1.0)) return false;
  const double du = (p.rdat[2] - p.ldat[2]) / (rx - lx);
  const double dv = (p.rdat[3] - p.ldat[3]) / (rx - lx);
  const double start = from + 0.5 - lx;
  const double u = p.ldat[2] + start * du;
  const double v = p.ldat[3] + start * dv;
  if (pass == 0) {
    for (int32_t i = 0; i < n; ++i) {
      if (m.Solid(u + i * du, v + i * dv)) line[i] = 1;
    }
    return false;
  }
  // Only pixels the other polygon marked can hit.
  for (int32_t i = 0; i < n; ++i) {
    if (line[i] && m.Solid(u + i * du, v + i * dv)) return true;
  }
  return false;
}

// The span test of one scanline for the two active polygons.
bool SpanHit(const rpoly& a, const MaskView& ma, const rpoly& b, const MaskView& mb) {
  const int32_t start = std::max(IntPart(a.ldat[0]), IntPart(b.ldat[0]));
  const int32_t end = std::min(IntPart(a.rdat[0]), IntPart(b.rdat[0]));
  uint8_t* line = C().line.data();
  for (int32_t from = start; from < end; from += kLineBuffer) {
    const int32_t n = std::min(end - from, kLineBuffer);
    std::fill_n(line, n, uint8_t(0));
    SpanPass(a, ma, from, n, 0, line);
    if (SpanPass(b, mb, from, n, 1, line)) return true;
  }
  return false;
}

}  // namespace


TQuad::TQuad() : xyuv(Array<float>::New(16)) {}

void TQuad::SetCoords(float x0, float y0, float x1, float y1, float x2, float y2, float x3,
                      float y3) {
  const float v[16] = {x0, y0, 0, 0, x1, y1, 1, 0, x2, y2, 1, 1, x3, y3, 0, 1};
  std::copy(std::begin(v), std::end(v), xyuv.begin());
  minx = std::min({x0, x1, x2, x3});
  maxx = std::max({x0, x1, x2, x3});
  miny = std::min({y0, y1, y2, y3});
  maxy = std::max({y0, y1, y2, y3});
}

void TQuad::Bind(ClassBinder<TQuad>& b) {
  // Links change only here: one written by hand could close a loop no layer walk would leave.
  b.AccessorField<&TQuad::_Link>("link");
  b.Field<&TQuad::id>("id");
  b.Field<&TQuad::mask>("mask");
  b.Field<&TQuad::frame>("frame");
  b.Field<&TQuad::minx>("minx");
  b.Field<&TQuad::miny>("miny");
  b.Field<&TQuad::maxx>("maxx");
  b.Field<&TQuad::maxy>("maxy");
  // The scan converter reads 16 floats from it: read-only.
  b.AccessorField<&TQuad::_Xyuv>("xyuv");
  b.Method<&TQuad::SetCoords>("SetCoords");
}


void rpoly::Prepare(const TQuad& quad) {
  texture = quad.mask;
  count = std::min(quad.xyuv.Length(), size);
  for (int32_t i = 0; i < count; ++i)
    data[i] = quad.xyuv[i];
  const int32_t n = count / channels;
  auto X = [&](int i) { return data[i * channels]; };
  auto Y = [&](int i) { return data[i * channels + 1]; };
  // Reversed when no triangle fan piece has a cross value below 0 once truncated (above -1).
  bool reverse = true;
  for (int i = 2; i < n; ++i) {
    const double cross =
        (X(i) - X(i - 1)) * (Y(i - 1) - Y(0)) - (X(i - 1) - X(0)) * (Y(i) - Y(i - 1));
    if (!(cross > -1.0)) reverse = false;
  }
  if (reverse) {
    for (int i = 0, j = n - 1; i < j; ++i, --j) {
      for (int c = 0; c < channels; ++c)
        std::swap(data[i * channels + c], data[j * channels + c]);
    }
  }
  top = 0;
  for (int i = 1; i < n; ++i) {
    if (IntPart(Y(i)) < IntPart(Y(top))) top = i;
  }
  state = 0;
  Left = Right = _lfrom = _rfrom = top;
  _topLine = _bottomLine = _lend = _rend = IntPart(Y(top));
  for (int i = 0; i < n; ++i)
    _bottomLine = std::max(_bottomLine, IntPart(Y(i)));
}

// Moves one edge on until it covers scanline y. An edge walks from the top down its side of the
// polygon; running back to the top or upwards means the polygon is finished.
bool rpoly::_NextEdge(int32_t y, bool left) {
  const int32_t n = count / channels;
  int32_t& to = left ? Left : Right;
  int32_t& from = left ? _lfrom : _rfrom;
  int32_t& end = left ? _lend : _rend;
  if (n < 3) return false;
  while (y >= end) {
    from = to;
    to = left ? (from + n - 1) % n : (from + 1) % n;
    if (to == top) return false;
    const int32_t y0 = IntPart(data[from * channels + 1]);
    const int32_t y1 = IntPart(data[to * channels + 1]);
    if (y1 < y0) return false;
    end = y1;
    if (y1 > y0 && y < y1) {
      // Values at the centre of scanline y: half a step past the vertex on its first line.
      std::array<double, 4>& dat = left ? ldat : rdat;
      std::array<double, 4>& add = left ? ladd : radd;
      const double lines = y1 - y0;
      for (int c = 0; c < channels; ++c) {
        const double a = data[from * channels + c];
        add[c] = (data[to * channels + c] - a) / lines;
        dat[c] = a + (double(y - y0) + 0.5) * add[c];
      }
    }
  }
  return true;
}

bool rpoly::Reach(int32_t y) {
  if (state == 2) return false;
  if (y < TopLine()) return true;
  if (!_NextEdge(y, true) || !_NextEdge(y, false)) {
    state = 2;
    return false;
  }
  state = 1;
  return true;
}

void rpoly::Step() {
  for (int c = 0; c < channels; ++c) {
    ldat[c] += ladd[c];
    rdat[c] += radd[c];
  }
}


bool QuadsCollide(const TQuad& a, const TQuad& b) {
  if (a.maxx < b.minx || a.maxy < b.miny || a.minx > b.maxx || a.miny > b.maxy) return false;
  CollisionState& c = C();
  for (Ref<rpoly>& p : c.polys) {
    if (!p) p = New<rpoly>();
  }
  rpoly& pa = *c.polys[0];
  rpoly& pb = *c.polys[1];
  pa.Prepare(a);
  pb.Prepare(b);
  const MaskView ma(pa.texture.Get());
  const MaskView mb(pb.texture.Get());
  // Only scanlines where both polygons are active can hold a common pixel.
  const int32_t first = std::max(pa.TopLine(), pb.TopLine());
  const int32_t last = std::min(pa.BottomLine(), pb.BottomLine());
  bool hit = false;
  for (int32_t y = first; y < last && !hit; ++y) {
    if (!pa.Reach(y) || !pb.Reach(y)) break;
    hit = SpanHit(pa, ma, pb, mb);
    pa.Step();
    pb.Step();
  }
  pa.texture = Ref<TPixmap>();
  pb.texture = Ref<TPixmap>();
  return hit;
}

Array<Ref<Object>> CollideImageQuad(const Ref<TImage>& image, float x, float y, int32_t frame,
                                    uint32_t collideMask, uint32_t writeMask,
                                    const Ref<Object>& id) {
  Ref<TPixmap> pixmap = image->Lock(frame, 1, 0);
  Ref<TQuad> quad =
      MakeQuad(x, y, float(image->width), float(image->height), -image->handle_x, -image->handle_y);
  if (!quad) return Array<Ref<Object>>::New(0);
  quad->id = id;
  quad->frame = frame;
  if (pixmap && FormatAlphaBits[pixmap->format] != 0) quad->mask = pixmap;
  return TestAndWrite(quad, collideMask, writeMask);
}

Array<Ref<Object>> CollideRectQuad(float x, float y, float width, float height,
                                   uint32_t collideMask, uint32_t writeMask,
                                   const Ref<Object>& id) {
  Ref<TQuad> quad = MakeQuad(x, y, width, height, 0, 0);
  if (!quad) return Array<Ref<Object>>::New(0);
  quad->id = id;
  return TestAndWrite(quad, collideMask, writeMask);
}

void ClearCollisionLayers(uint32_t mask) {
  CollisionState& c = C();
  for (int layer = 0; layer < kLayers; ++layer) {
    if (mask != 0 && !(mask >> layer & 1)) continue;
    while (Ref<TQuad> q = c.layers[layer]) {
      c.layers[layer] = q->link;
      // A reused quad never shows an old placement's id or mask.
      q->id = Ref<Object>();
      q->mask = Ref<TPixmap>();
      q->link = c.free;
      c.free = q;
    }
  }
}

int32_t ImagesOverlap(const Ref<TImage>& image1, float x1, float y1, int32_t frame1,
                      const Ref<TImage>& image2, float x2, float y2, int32_t frame2) {
  ClearCollisionLayers(kOverlapLayer);
  CollideImageQuad(image1, x1, y1, frame1, 0, kOverlapLayer, image1);
  return CollideImageQuad(image2, x2, y2, frame2, kOverlapLayer, 0, image2).IsEmpty() ? 0 : 1;
}

namespace {

// Sets the rotation and scale placements are made with, through the current graphics when there
// is one (which sets the collision transform), else the collision transform alone; the previous
// ones come back when it goes out of scope.
class TransformScope {
 public:
  TransformScope() : graphics_(TKor2DGraphics::Current()), saved_(collisionTransform) {
    if (graphics_) {
      rotation_ = graphics_->tform_rot;
      scaleX_ = graphics_->tform_scale_x;
      scaleY_ = graphics_->tform_scale_y;
    }
  }
  ~TransformScope() {
    if (graphics_ && TKor2DGraphics::Current() == graphics_) {
      ApplyRotation(rotation_);
      ApplyScale(scaleX_, scaleY_);
    }
    collisionTransform = saved_;
  }
  void Set(float rotation, float scaleX, float scaleY) {
    if (graphics_) {
      ApplyRotation(rotation);
      ApplyScale(scaleX, scaleY);
    } else {
      CollisionTransform& t = collisionTransform;
      RotationScaleMatrix(rotation, scaleX, scaleY, t.ix, t.iy, t.jx, t.jy);
    }
  }

 private:
  Ref<TKor2DGraphics> graphics_;
  CollisionTransform saved_;
  float rotation_ = 0, scaleX_ = 1, scaleY_ = 1;
};

}  // namespace

int32_t ImagesOverlapTransformed(const Ref<TImage>& image1, float x1, float y1, int32_t frame1,
                                 float rotation1, float scaleX1, float scaleY1,
                                 const Ref<TImage>& image2, float x2, float y2, int32_t frame2,
                                 float rotation2, float scaleX2, float scaleY2) {
  TransformScope scope;
  ClearCollisionLayers(kOverlapLayer);
  scope.Set(rotation1, scaleX1, scaleY1);
  CollideImageQuad(image1, x1, y1, frame1, 0, kOverlapLayer, image1);
  scope.Set(rotation2, scaleX2, scaleY2);
  return CollideImageQuad(image2, x2, y2, frame2, kOverlapLayer, 0, image2).IsEmpty() ? 0 : 1;
}

}  // namespace vxl
