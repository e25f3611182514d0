// The size the X server gives the current GLX drawable: what a window really is, whatever SDL
// or a window manager believe.
#pragma once

namespace rastro {

// False when the current context is no GLX context on X11 (offscreen, EGL, Wayland).
bool CurrentGlxDrawableSize(int& width, int& height);

}  // namespace rastro
