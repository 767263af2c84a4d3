// Textures made from pixmaps, shared by the image frames and the overlay.
#pragma once

#include <cstdint>

#include "pixmap/pixmap.h"

namespace vxl {

// Rounds width and height up to powers of two, then halves them until the GL implementation
// accepts a texture of that size (asked through the proxy texture). Raises TRuntimeException
// "Unable to calculate tex size" when not even 1 by 1 is accepted. Needs a current context.
void GLFitTexSize(int32_t& width, int32_t& height);

// Uploads an FORMAT_RGBA32 pixmap into the bound texture: level 0 and, when mipmapped, each
// further level scaled down from the one before (halving each side greater than 1, to 1 by 1).
// Levels are allocated with glTexImage2D when `allocate` is set, else replaced with
// glTexSubImage2D. The unpack row length follows the pixmap's pitch and is reset to 0.
void GLUploadLevels(Ref<TPixmap> pixmap, bool mipmapped, bool allocate);

// A new texture of the pixmap (converted to FORMAT_RGBA32 and resized to a size GLFitTexSize
// accepts), with its mip chain when mipmapped and linear filtering otherwise. The texture bound
// before and the unpack row length are kept. Returns the texture name.
int32_t GLTextureFromPixmap(const Ref<TPixmap>& pixmap, int32_t mipmapped);

}  // namespace vxl

namespace vxl {

// Copies the pixmap into the drawing buffer with its top-left corner at pixel (x, y) of the
// current projection (y downwards), with glDrawPixels: no transform, no texture.
void GLDrawPixmapAt(const Ref<TPixmap>& pixmap, int32_t x, int32_t y);

}  // namespace vxl
