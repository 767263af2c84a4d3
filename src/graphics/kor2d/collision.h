// Pixel-exact collision of images as they would be drawn: position, origin, image handle,
// rotation and scale included, tested on the images' pixmaps without any graphics driver.
//
//   ClearCollisionLayers(0);                                         // every layer
//   CollideImageQuad(rock, 100, 80, 0, 0, 1, String("rock"));         // record in layer 0
//   Array<Ref<Object>> hits = CollideImageQuad(ship, x, y, 0, 1, 0, Ref<Object>());
//   if (!hits.IsEmpty()) ...                                         // hits[0] is "rock"
//   bool touching = ImagesOverlapTransformed(ship, x, y, 0, 30, 1, 1, rock, 100, 80, 0, 0, 2, 2);
//
// Placements are quads in 32 layers (bit n of a layer mask is layer n), newest first in each
// layer. A pixel of an image is solid when its alpha is 128 or more; an image whose pixmap has no
// alpha, and a rectangle, are solid everywhere. Placements are made with the collision transform
// (the current drawing rotation and scale, the identity before any graphics) and the current
// origin ((0, 0) while no Kor2D graphics is current). A placement whose corners are not finite
// (NaN or infinite position, angle or scale) collides with nothing and is not recorded.
#pragma once

#include <array>
#include <cstdint>

#include "graphics/kor2d/image.h"

namespace vxl {

// One placement: four transformed corners with texture coordinates, and the mask they sample.
class TQuad : public Object {
 public:
  VXL_CLASS(TQuad, Object)
  Ref<TQuad> link;    // next quad in its layer or in the free list
  Ref<Object> id;     // the caller's identifier, returned on collision
  Ref<TPixmap> mask;  // Null: solid everywhere
  int32_t frame = 0;
  float minx = 0, miny = 0, maxx = 0, maxy = 0;  // bounding box of the corners
  Array<float> xyuv;                             // four vertices of x, y, u, v; always 16 floats

  TQuad();
  // Corners in drawing order; texture coordinates (0, 0), (1, 0), (1, 1), (0, 1).
  void SetCoords(float x0, float y0, float x1, float y1, float x2, float y2, float x3, float y3);

  static void Bind(ClassBinder<TQuad>& b);

 private:
  Ref<TQuad> _Link() const { return link; }
  Array<float> _Xyuv() const { return xyuv; }
};

// The scan converter's state for one polygon (x, y, u, v per vertex).
class rpoly : public Object {
 public:
  VXL_CLASS(rpoly, Object)
  Ref<TPixmap> texture;  // the mask; Null: solid
  std::array<double, 16> data{};
  int32_t channels = 4;
  int32_t count = 0;  // floats used in data
  int32_t size = 16;
  std::array<double, 4> ldat{}, ladd{}, rdat{}, radd{};  // edge values and per-scanline steps
  int32_t Left = 0, Right = 0;                           // the vertexes the current edges run to
  int32_t top = 0;
  int32_t state = 0;  // 0 waiting, 1 active, 2 finished

  // Takes the quad's vertices, with the order reversed when they wind the other way.
  void Prepare(const TQuad& quad);
  // The topmost and bottommost integer vertex y.
  int32_t TopLine() const { return _topLine; }
  int32_t BottomLine() const { return _bottomLine; }
  // Places both edges on scanline y (at or below the top, scanned in increasing order); false
  // once the polygon is finished.
  bool Reach(int32_t y);
  // Moves the edge values on by one scanline.
  void Step();

 private:
  int32_t _lfrom = 0, _rfrom = 0;  // the vertexes the current edges start from
  int32_t _lend = 0, _rend = 0;    // the scanline where each current edge ends
  int32_t _topLine = 0, _bottomLine = 0;
  bool _NextEdge(int32_t y, bool left);
};

// The ids of the placements in the layers of collideMask that overlap the image drawn at (x, y),
// newest first within each layer, layers in increasing order; then the placement is recorded in
// the layers of writeMask.
Array<Ref<Object>> CollideImageQuad(const Ref<TImage>& image, float x, float y, int32_t frame,
                                    uint32_t collideMask, uint32_t writeMask,
                                    const Ref<Object>& id);
// The same for a solid rectangle with its top-left corner at (x, y).
Array<Ref<Object>> CollideRectQuad(float x, float y, float width, float height,
                                   uint32_t collideMask, uint32_t writeMask, const Ref<Object>& id);
// Empties the layers of mask (every layer when mask is 0); their quads are reused later.
void ClearCollisionLayers(uint32_t mask);
// 1 when the two images, drawn at their positions, share a solid pixel; uses layer 31 only.
int32_t ImagesOverlap(const Ref<TImage>& image1, float x1, float y1, int32_t frame1,
                      const Ref<TImage>& image2, float x2, float y2, int32_t frame2);
// The same with each image's own rotation and scale; the current ones are restored.
int32_t ImagesOverlapTransformed(const Ref<TImage>& image1, float x1, float y1, int32_t frame1,
                                 float rotation1, float scaleX1, float scaleY1,
                                 const Ref<TImage>& image2, float x2, float y2, int32_t frame2,
                                 float rotation2, float scaleX2, float scaleY2);

// Quad against quad: true when they share a pixel solid in both masks.
bool QuadsCollide(const TQuad& a, const TQuad& b);

}  // namespace vxl
