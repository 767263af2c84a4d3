// Image collision: quad-pair tests per second through CollideImageQuad, and the same pairs
// through the tests' brute-force per-pixel reference, side by side.
//
// A 32 x 32 soft disc with holes, 100 placements at random positions, angles and scales 0.5..2
// in an 800 x 600 field in layer 0, probed by the same image at other random placements.
#include <cmath>
#include <random>

#include "bench_util.h"
#include "graphics/collision_reference.h"
#include "graphics/kor2d/collision.h"
#include "graphics/kor2d/degrees.h"
#include "graphics/kor2d/kor2d.h"

using namespace vxl;

namespace {

Ref<TPixmap> SoftDiscWithHoles() {
  Ref<TPixmap> p = TPixmap::Create(32, 32, FORMAT_RGBA32, 4);
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      const double d = std::hypot(x + 0.5 - 16, y + 0.5 - 16);
      double alpha = std::clamp((16 - d) * 64, 0.0, 255.0);
      if (std::hypot(x - 10.0, y - 12.0) < 4 || std::hypot(x - 22.0, y - 20.0) < 5) alpha = 0;
      p->WritePixel(x, y, uint32_t(alpha) << 24 | 0xFFFFFF);
    }
  }
  return p;
}

test::Placement RandomPlacement(std::mt19937& rng, const Ref<TPixmap>& mask) {
  auto uniform = [&](float a, float b) { return std::uniform_real_distribution<float>(a, b)(rng); };
  test::Placement p;
  p.mask = mask;
  p.width = p.height = 32;
  p.handleX = p.handleY = 16;
  p.x = uniform(0, 800);
  p.y = uniform(0, 600);
  p.degrees = uniform(0, 360);
  p.scaleX = p.scaleY = uniform(0.5f, 2);
  return p;
}

void Place(const test::Placement& p) {
  CollisionTransform& t = collisionTransform;
  RotationScaleMatrix(p.degrees, p.scaleX, p.scaleY, t.ix, t.iy, t.jx, t.jy);
}

}  // namespace

int main() {
  InitKor2DModule();
  Ref<TPixmap> mask = SoftDiscWithHoles();
  Ref<TImage> image = TImage::Load(mask, 0, 0, 0, 0);
  CenterImageHandle(image);
  std::mt19937 rng(7);
  std::vector<test::Placement> layer, probes;
  for (int i = 0; i < 100; ++i)
    layer.push_back(RandomPlacement(rng, mask));
  for (int i = 0; i < 2000; ++i)
    probes.push_back(RandomPlacement(rng, mask));
  ClearCollisionLayers(0);
  for (const test::Placement& p : layer) {
    Place(p);
    CollideImageQuad(image, p.x, p.y, 0, 0, 1, image);
  }
  std::vector<test::PlacedMask> placedLayer, placedProbes;
  for (const test::Placement& p : layer)
    placedLayer.emplace_back(p);
  for (const test::Placement& p : probes)
    placedProbes.emplace_back(p);

  size_t hitsFast = 0, hitsBrute = 0;
  auto fast = [&] {
    for (const test::Placement& p : probes) {
      Place(p);
      hitsFast += CollideImageQuad(image, p.x, p.y, 0, 1, 0, image).Length();
    }
  };
  auto brute = [&] {
    for (const test::PlacedMask& probe : placedProbes) {
      for (const test::PlacedMask& placed : placedLayer)
        hitsBrute += test::BruteForceHit(probe, placed);
    }
  };
  const auto [fastMs, bruteMs] = bench::MedianPairMs(5, fast, brute);
  const double pairs = double(probes.size()) * layer.size();
  bench::Print("collide_pair_tests_per_s", pairs / (fastMs / 1000), "pairs/s");
  bench::Print("bruteforce_pair_tests_per_s", pairs / (bruteMs / 1000), "pairs/s");
  bench::Print("collide_vs_bruteforce_ratio", bruteMs / fastMs);
  bench::Print("collide_hits_per_round", double(hitsFast) / 5);
  bench::Print("bruteforce_hits_per_round", double(hitsBrute) / 5);
  return 0;
}
