// Image frames of the Direct3D 7 Kor2D driver: one texture surface each, a power of two on each
// side with the image at the top-left, its edges smeared outwards and, for mip-mapped frames,
// every smaller level built in software.
//
//   Ref<TD3D7ImageFrame> f = TD3D7ImageFrame::Create(driver, 100, 50, FILTEREDIMAGE);
//   Ref<TPixmap> texels = f->Lock(0, 1);    // 128 x 64 FORMAT_BGRA32 over the texture
//   texels->Paste(image, 0, 0);
//   f->Unlock();                            // smears, unlocks, builds the mip levels
#pragma once

#include <cstdint>

#include "graphics/d3d7/d3d7_texels.h"
#include "graphics/d3d7/d3d7_vertices.h"
#include "graphics/kor2d/kor2d_driver.h"
#include "platform/d3d7/ddraw7.h"

namespace vxl {

class TD3D7Kor2DDriver;

class TD3D7ImageFrame : public TImageFrame {
 public:
  VXL_CLASS(TD3D7ImageFrame, TImageFrame)
  ~TD3D7ImageFrame() override;

  int32_t seq = 0;  // graphicsGeneration when made; its surface is gone once that changed
  Ref<TD3D7Kor2DDriver> driver;
  platform::d3d7::IDirectDrawSurface7* surface = nullptr;
  platform::d3d7::DDSURFACEDESC2 sinfo;  // the texture as last locked
  D3D7TexVertex xyzuv[4];                // the quad as last drawn
  int32_t width = 0, height = 0;         // the image's size
  int32_t flags = 0;                     // image flags

  // Texture coordinates of the four corners: (u0, v0), (u1, v0), (u1, v1), (u0, v1).
  void SetUV(float u0, float v0, float u1, float v1);
  // A FORMAT_BGRA32 pixmap over the whole locked texture (valid until Unlock). Raises
  // "DD3D7ImageFrame Lock failed" when the texture cannot be locked or belongs to an earlier
  // generation.
  Ref<TPixmap> Lock(int32_t read, int32_t write);
  void Unlock();
  // Through the driver's DrawFrame.
  void Draw(float x0, float y0, float x1, float y1, float tx, float ty) override;
  void SmearEdges();
  // Raises "BuildMipMaps: lock failed" when a level cannot be locked.
  void BuildMipMaps();

  // A texture for a width x height image; throws the string "Create DX7 surface Failed" when it
  // cannot be made (sides beyond 8192 included).
  static Ref<TD3D7ImageFrame> Create(const Ref<TD3D7Kor2DDriver>& driver, int32_t width,
                                     int32_t height, int32_t flags);
  // The per-byte average of two pixels.
  static int32_t Mix(int32_t pixel1, int32_t pixel2);

  static void Bind(ClassBinder<TD3D7ImageFrame>& b);

 private:
  TexelLevel _Locked() const;
  bool _Current() const;
};

// One locked mip level.
class TMip : public Object {
 public:
  VXL_CLASS(TMip, Object)
  ~TMip() override;

  platform::d3d7::IDirectDrawSurface7* surf = nullptr;  // while locked
  platform::d3d7::DDSURFACEDESC2 info;

  // 1 when the level is locked (then it is kept until Unlock), else 0.
  int32_t Lock(platform::d3d7::IDirectDrawSurface7* surface);
  // Both clamp x to width - 1 and y to height - 1 (and to 0); nothing while not locked.
  void Write(int32_t x, int32_t y, int32_t pixel);
  int32_t Read(int32_t x, int32_t y) const;
  void Unlock();
  TexelLevel Level() const;

  static void Bind(ClassBinder<TMip>& b);
};

}  // namespace vxl
