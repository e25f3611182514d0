// How Direct3D formats live in OpenGL textures: internal format, the client format and type
// that read and write the Direct3D memory layout unchanged, and the swizzle that makes the
// channels read as Direct3D defines them.
#pragma once

#include <epoxy/gl.h>

#include "d3d9types.h"

namespace rastro {

struct GlFormat {
  GLenum internalFormat = 0;
  GLenum format = 0;  // client format of glTexSubImage / glReadPixels
  GLenum type = 0;
  GLint swizzle[4] = {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA};
  bool compressed = false;
  bool depth = false;
  bool stencil = false;
  bool renderable = false;  // may be a colour attachment
};

// False for formats no OpenGL texture holds as they are in memory.
bool LookupGlFormat(D3DFORMAT format, GlFormat& out);

}  // namespace rastro
