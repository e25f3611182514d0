// SDL's video subsystem, shared by every Direct3D object: the first user starts it (choosing
// the offscreen driver when no display is announced), the last one stops it.
#pragma once

#include <SDL2/SDL.h>

namespace rastro {

bool AcquireSdlVideo();
void ReleaseSdlVideo();
// Rendering goes nowhere visible: the offscreen (or dummy) driver is in use.
bool SdlVideoHeadless();

// Sets the attributes of an OpenGL 3.3 core context; contexts are made after this.
void RequestCoreContext();

}  // namespace rastro
