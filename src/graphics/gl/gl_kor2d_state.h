// What the OpenGL Kor2D driver remembers of the GL state of the current context (module state
// shared by the driver and its image frames; not for other modules).
#pragma once

#include <cstdint>

namespace vxl::gl_kor2d {

struct State {
  int32_t blend = 0;         // the blend mode last set; 0 forgets it
  uint32_t boundTexture = 0; // the texture last bound; 0 forgets it
  bool textured = false;     // GL_TEXTURE_2D is on
  uint8_t color[4] = {};     // red, green, blue, alpha
  float ix = 1, iy = 0, jx = 0, jy = 1;
};

State& Current();

// Binds the texture and switches texturing on, flushing queued quads when either changes.
void UseTexture(uint32_t name);
// Switches texturing off, flushing queued quads when it was on.
void UseNoTexture();
// Forgets a texture that is about to be deleted, so that a new one with its name gets bound.
void ForgetTexture(uint32_t name);

}  // namespace vxl::gl_kor2d
