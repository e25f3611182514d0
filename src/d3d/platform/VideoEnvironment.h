// What the environment says about displays, for choosing SDL's video driver.
#pragma once

namespace rastro {

// A display server is announced (DISPLAY or WAYLAND_DISPLAY is set).
bool DisplayServerAnnounced();
// The video driver the user asked SDL for (SDL_VIDEODRIVER), or null.
const char* RequestedVideoDriver();

}  // namespace rastro
