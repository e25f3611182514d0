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
// D3DTADDRESS_MIRRORONCE needs mirror-clamp support in GL; without it, it clamps.
GLenum AddressMode(DWORD mode, bool mirrorOnce);
// Whether the current context can mirror once and then clamp.
bool MirrorOnceSupported();
GLenum PrimitiveMode(D3DPRIMITIVETYPE type);

}  // namespace rastro
