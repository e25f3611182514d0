#include "DisplayCheck.h"

#include <SDL.h>

#include <cstdlib>

#include "VideoEnvironment.h"

namespace rastro {

std::string OpenAnnouncedDisplay() {
  if (RequestedVideoDriver()) return {};
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const bool hasX11 = x11 && *x11;
  const bool hasWayland = wayland && *wayland;
  if (!hasX11 && !hasWayland) return "no display is set (DISPLAY, WAYLAND_DISPLAY); use --headless to run without one";

  // Only the announced servers: SDL's own list ends in drivers that need no display at all.
  SDL_SetHint(SDL_HINT_VIDEODRIVER, hasWayland && hasX11 ? "wayland,x11" : hasWayland ? "wayland" : "x11");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return {};

  std::string named;
  if (hasWayland) named += std::string("Wayland display '") + wayland + "'";
  if (hasX11) named += std::string(named.empty() ? "" : " or ") + "X display '" + x11 + "'";
  return "cannot open the " + named + " (" + SDL_GetError() + "); use --headless to run without a display";
}

}  // namespace rastro
