// The software rasteriser's rules against Mesa's llvmpipe: the same random primitives drawn with
// plain OpenGL 1.1 calls (the GL Kor2D driver's context and projection, where pixel centres lie
// at +0.5) and with the rasteriser (pixel centres at integers, so every vertex is moved by -0.5),
// then compared pixel by pixel. Both render drivers stand on these rules, so a difference here is
// a difference between the drivers' pictures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "graphics/gl/gl_kor2d_driver.h"
#include "graphics/kor2d/kor2d.h"
#include "platform/d3d7/raster.h"
#include "platform/gl/gl_api.h"
#include "platform/gl/gl_batch.h"

namespace vxl {
namespace {

namespace pgl = platform::gl;
namespace r = platform::d3d7;

constexpr int kW = 96, kH = 80, kTex = 16;

const pgl::Api& gl() {
  return pgl::GL();
}

enum class Prim { kTriangle, kLine, kPoint };

struct Case {
  const char* what;
  Prim prim;
  bool textured = false;
  r::RasterFilter filter = r::RasterFilter::kPoint;
  r::RasterBlend blend = r::RasterBlend::kOpaque;
  bool alphaTest = false;
  float grid = 256;  // vertices on multiples of 1 / grid
  int count = 60;
};

struct Vertex {
  float x, y, u, v;
};

struct Primitive {
  Vertex v[3];
  uint32_t argb;
};

std::vector<Primitive> RandomPrimitives(const Case& c, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> pos(-8.0f, kW + 8.0f), uv(-0.25f, 1.25f);
  std::uniform_int_distribution<int> size(1, 40);
  std::vector<Primitive> out;
  for (int i = 0; i < c.count; ++i) {
    Primitive p{};
    float cx = pos(rng), cy = pos(rng) * kH / kW;
    int s = size(rng);
    std::uniform_real_distribution<float> d(-float(s), float(s));
    for (Vertex& v : p.v) {
      v.x = std::round((cx + d(rng)) * c.grid) / c.grid;
      v.y = std::round((cy + d(rng)) * c.grid) / c.grid;
      if (c.prim == Prim::kLine) {
        // Mesa clips lines that leave the frame before drawing them, which moves their ends.
        v.x = std::clamp(v.x, 0.0f, kW - 1.0f);
        v.y = std::clamp(v.y, 0.0f, kH - 1.0f);
      }
      v.u = uv(rng);
      v.v = uv(rng);
    }
    p.argb = rng();
    if (!c.textured && c.blend == r::RasterBlend::kOpaque) p.argb |= 0xFF000000u;
    out.push_back(p);
  }
  return out;
}

std::vector<uint32_t> TexturePixels(uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint32_t> t(kTex * kTex);
  for (uint32_t& p : t)
    p = rng();
  return t;
}

// The frame buffer as 0xRRGGBB, rows from the top.
std::vector<uint32_t> ReadGL() {
  std::vector<uint8_t> bytes(kW * kH * 4);
  gl().ReadPixels(0, 0, kW, kH, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
  std::vector<uint32_t> px(kW * kH);
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const uint8_t* p = &bytes[((kH - 1 - y) * kW + x) * 4];
      px[y * kW + x] = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }
  }
  return px;
}

std::vector<uint32_t> DrawWithGL(const Case& c, const std::vector<Primitive>& prims,
                                 const std::vector<uint32_t>& texels) {
  pgl::FlushQuads();
  const pgl::Api& g = gl();
  g.Disable(GL_SCISSOR_TEST);
  g.ClearColor(0.25f, 0.5f, 0.75f, 1);
  g.Clear(GL_COLOR_BUFFER_BIT);
  GLuint name = 0;
  if (c.textured) {
    std::vector<uint8_t> rgba(texels.size() * 4);
    for (size_t i = 0; i < texels.size(); ++i) {
      rgba[i * 4] = texels[i] >> 16 & 0xFF;
      rgba[i * 4 + 1] = texels[i] >> 8 & 0xFF;
      rgba[i * 4 + 2] = texels[i] & 0xFF;
      rgba[i * 4 + 3] = texels[i] >> 24;
    }
    g.GenTextures(1, &name);
    g.BindTexture(GL_TEXTURE_2D, name);
    GLint filter = c.filter == r::RasterFilter::kBilinear ? GL_LINEAR : GL_NEAREST;
    g.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    g.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    g.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    g.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    g.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kTex, kTex, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    g.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    g.Enable(GL_TEXTURE_2D);
  } else {
    g.Disable(GL_TEXTURE_2D);
  }
  if (c.alphaTest) {
    g.Enable(GL_ALPHA_TEST);
    g.AlphaFunc(GL_GEQUAL, 0.5f);
  } else {
    g.Disable(GL_ALPHA_TEST);
  }
  switch (c.blend) {
    case r::RasterBlend::kOpaque:
      g.Disable(GL_BLEND);
      break;
    case r::RasterBlend::kAlpha:
      g.Enable(GL_BLEND);
      g.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
      break;
    case r::RasterBlend::kAdditive:
      g.Enable(GL_BLEND);
      g.BlendFunc(GL_SRC_ALPHA, GL_ONE);
      break;
    case r::RasterBlend::kMultiply:
      g.Enable(GL_BLEND);
      g.BlendFunc(GL_DST_COLOR, GL_ZERO);
      break;
  }
  GLenum mode = c.prim == Prim::kTriangle ? GL_TRIANGLES
                : c.prim == Prim::kLine   ? GL_LINES
                                          : GL_POINTS;
  int n = c.prim == Prim::kTriangle ? 3 : c.prim == Prim::kLine ? 2 : 1;
  for (const Primitive& p : prims) {
    g.Begin(mode);
    g.Color4ub(p.argb >> 16 & 0xFF, p.argb >> 8 & 0xFF, p.argb & 0xFF, p.argb >> 24);
    for (int i = 0; i < n; ++i) {
      g.TexCoord2f(p.v[i].u, p.v[i].v);
      g.Vertex2f(p.v[i].x + 0.5f, p.v[i].y + 0.5f);
    }
    g.End();
  }
  std::vector<uint32_t> px = ReadGL();
  g.Disable(GL_TEXTURE_2D);
  g.Disable(GL_BLEND);
  g.Disable(GL_ALPHA_TEST);
  if (name) g.DeleteTextures(1, &name);
  return px;
}

// Where llvmpipe sees a coordinate given at c + 0.5 (pixel centres at integers): projected to
// -1..1 (multiply, then add) and back through the viewport (one fused multiply-add), in single
// precision, which moves some coordinates by an ulp (20.5 becomes 20.5000019 on a 96-pixel
// axis). Only lines care: an end exactly on a pixel centre is drawn or not by that ulp. y runs
// downwards: glOrtho's bottom is the frame's height, and the window's rows are flipped.
float Seen(float c, int size, bool y) {
  volatile float g = c + 0.5f;
  float m = y ? -2.0f / size : 2.0f / size, b = y ? 1.0f : -1.0f;
  float scale = y ? -size / 2.0f : size / 2.0f, shift = size / 2.0f;
  volatile float product = g * m;
  volatile float ndc = product + b;
  return std::fma(static_cast<float>(ndc), scale, shift) - 0.5f;
}

std::vector<uint32_t> DrawWithRaster(const Case& c, const std::vector<Primitive>& prims,
                                     std::vector<uint32_t> texels) {
  // The clear colour GL stores for (0.25, 0.5, 0.75).
  std::vector<uint32_t> px(kW * kH, 0xFF4080BF);
  r::RasterSurface target{px.data(), kW, kH, kW};
  r::RasterSurface texture{texels.data(), kTex, kTex, kTex};
  r::RasterState state;
  state.texture = c.textured ? &texture : nullptr;
  state.filter = c.filter;
  state.blend = c.blend;
  state.alphaTest = c.alphaTest;
  for (const Primitive& p : prims) {
    r::RasterVertex v[3];
    for (int i = 0; i < 3; ++i)
      v[i] = {Seen(p.v[i].x, kW, false), Seen(p.v[i].y, kH, true), 0, p.argb, p.v[i].u, p.v[i].v};
    if (c.prim == Prim::kTriangle) r::DrawTriangle(target, state, v);
    if (c.prim == Prim::kLine) r::DrawLine(target, state, v[0], v[1]);
    if (c.prim == Prim::kPoint) r::DrawPoint(target, state, v[0]);
  }
  for (uint32_t& p : px)
    p &= 0xFFFFFF;
  return px;
}

class RasterRulesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The rules were matched to Mesa's llvmpipe: no other GL.
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    setenv("GALLIUM_DRIVER", "llvmpipe", 1);
    InitGLKor2DModule();
    UseGraphicsDriver(GLKor2DInstance(), 2);
    ASSERT_TRUE(OpenGraphics(kW, kH, 0, 0, 0));
  }
  void TearDown() override { CloseOpenedGraphics(); }
};

TEST_F(RasterRulesTest, RandomPrimitivesMatchLlvmpipe) {
  using F = r::RasterFilter;
  using B = r::RasterBlend;
  const Case cases[] = {
      {"flat triangles on the 1/256 grid", Prim::kTriangle},
      {"flat triangles at half pixels", Prim::kTriangle, false, F::kPoint, B::kOpaque, false, 2},
      {"flat triangles anywhere", Prim::kTriangle, false, F::kPoint, B::kOpaque, false, 1 << 20},
      {"alpha-blended triangles", Prim::kTriangle, false, F::kPoint, B::kAlpha},
      {"additive triangles", Prim::kTriangle, false, F::kPoint, B::kAdditive},
      {"multiplied triangles", Prim::kTriangle, false, F::kPoint, B::kMultiply},
      {"point-sampled triangles", Prim::kTriangle, true},
      {"bilinear triangles", Prim::kTriangle, true, F::kBilinear},
      {"bilinear, alpha-tested", Prim::kTriangle, true, F::kBilinear, B::kOpaque, true},
      {"point-sampled, alpha-blended", Prim::kTriangle, true, F::kPoint, B::kAlpha},
      {"lines on the 1/256 grid", Prim::kLine, false, F::kPoint, B::kOpaque, false, 256, 400},
      {"lines at half pixels", Prim::kLine, false, F::kPoint, B::kOpaque, false, 2, 400},
      {"lines between pixel centres", Prim::kLine, false, F::kPoint, B::kOpaque, false, 1, 400},
      {"points", Prim::kPoint, false, F::kPoint, B::kOpaque, false, 8, 400},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<Primitive> prims = RandomPrimitives(c, 17);
    std::vector<uint32_t> texels = TexturePixels(5);
    std::vector<uint32_t> a = DrawWithGL(c, prims, texels);
    std::vector<uint32_t> b = DrawWithRaster(c, prims, texels);
    int bad = 0, first = -1;
    for (size_t i = 0; i < a.size(); ++i) {
      if (a[i] != b[i] && bad++ == 0) first = static_cast<int>(i);
    }
    std::printf("%-34s %5d differing pixels\n", c.what, bad);
    EXPECT_EQ(bad, 0) << "first at (" << first % kW << ", " << first / kW << "): llvmpipe "
                      << std::hex << (first >= 0 ? a[first] : 0) << ", rasteriser "
                      << (first >= 0 ? b[first] : 0);
  }
}

// Unscaled images whose pixel centres fall exactly on texel edges (quads at whole coordinates,
// where llvmpipe's pixel centres are at +0.5): the interpolated texture position must land on the
// same side of each edge, which takes llvmpipe's own set-up of the interpolation planes.
TEST_F(RasterRulesTest, TexelEdgesFallAsInLlvmpipe) {
  for (r::RasterFilter filter : {r::RasterFilter::kPoint, r::RasterFilter::kBilinear}) {
    Case c{"quads on texel edges", Prim::kTriangle, true, filter};
    std::vector<Primitive> prims;
    for (int k = 0; k < 6; ++k) {
      float x0 = 3 + k * 15.0f, y0 = 5 + k * 9.5f, x1 = x0 + 13, y1 = y0 + 9;
      float u1 = 13 / 16.0f, v1 = 9 / 16.0f;
      Vertex a{x0, y0, 0, 0}, b{x1, y0, u1, 0}, d{x1, y1, u1, v1}, e{x0, y1, 0, v1};
      prims.push_back({{a, b, d}, 0xFFFFFFFF});
      prims.push_back({{a, d, e}, 0xFFFFFFFF});
    }
    std::vector<uint32_t> texels = TexturePixels(5);
    std::vector<uint32_t> gl = DrawWithGL(c, prims, texels);
    std::vector<uint32_t> ours = DrawWithRaster(c, prims, texels);
    int bad = 0;
    for (size_t i = 0; i < gl.size(); ++i)
      bad += gl[i] != ours[i];
    EXPECT_EQ(bad, 0) << (filter == r::RasterFilter::kPoint ? "point" : "bilinear");
  }
}

}  // namespace
}  // namespace vxl
