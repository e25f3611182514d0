// SDL's video subsystem, shared by every Direct3D object: the first user starts it (choosing
// the offscreen driver when no display is announced), the last one stops it.
#pragma once

#include <SDL2/SDL.h>

#include "d3d9types.h"

namespace rastro {

bool AcquireSdlVideo();
void ReleaseSdlVideo();
// Rendering goes nowhere visible: the offscreen (or dummy) driver is in use.
bool SdlVideoHeadless();

// The Direct3D display format of a display mode's pixel format: 8-bit channels (24 or 32 bits
// a pixel) are X8R8G8B8, 10-bit ones A2R10G10B10, 16- and 15-bit ones R5G6B5 and X1R5G5B5;
// D3DFMT_UNKNOWN for formats Direct3D has no display format for.
D3DFORMAT DisplayFormatOf(Uint32 pixelFormat);

// Sets the attributes of an OpenGL 3.3 core context; contexts are made after this.
void RequestCoreContext();

}  // namespace rastro
