// Direct3D state values as their OpenGL counterparts.
#pragma once

#include <epoxy/gl.h>

#include "d3d9types.h"

namespace rastro {

// A D3DCOLOR (0xAARRGGBB) as red, green, blue, alpha in [0, 1].
void ColorFloats(D3DCOLOR color, float out[4]);

GLenum CompareFunction(DWORD func);
GLenum BlendFactor(DWORD blend);
GLenum BlendEquation(DWORD op);
GLenum StencilOperation(DWORD op);
GLenum AddressMode(DWORD mode);
GLenum PrimitiveMode(D3DPRIMITIVETYPE type);
// Vertices a draw of `primitives` primitives of this type reads.
UINT VertexCount(D3DPRIMITIVETYPE type, UINT primitives);

}  // namespace rastro
