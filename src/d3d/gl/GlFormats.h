// How Direct3D formats live in OpenGL textures: internal format, the client format and type
// that read and write the Direct3D memory layout unchanged, and the swizzle that makes the
// channels read as Direct3D defines them.
#pragma once

#include <epoxy/gl.h>

#include <array>
#include <span>

#include "d3d9types.h"

namespace rastro {

// What a format is good for in this renderer, combined in a table row.
enum GlFormatTrait : unsigned {
  kGlSampled = 1u << 0,     // offered for textures: uploads as it is in memory and samples as Direct3D reads it
  kGlRenderable = 1u << 1,  // may be a colour attachment
  kGlCompressed = 1u << 2,  // 4x4 blocks, uploaded with glCompressedTexImage*
  kGlDepth = 1u << 3,
  kGlStencil = 1u << 4,
};

struct GlFormat {
  D3DFORMAT d3dFormat = D3DFMT_UNKNOWN;
  GLenum internalFormat = 0;
  GLenum format = 0;  // client format of glTexSubImage / glReadPixels
  GLenum type = 0;
  std::array<GLint, 4> swizzle{GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA};
  bool sampled = false;
  bool renderable = false;
  bool compressed = false;
  bool depth = false;
  bool stencil = false;
};

// False for formats no OpenGL texture holds as they are in memory.
bool LookupGlFormat(D3DFORMAT format, GlFormat& out);

// Every format the renderer knows, in the order the adapter offers them: textures, then depth
// buffers.
std::span<const GlFormat> GlFormatTable();

}  // namespace rastro
