#include "VideoEnvironment.h"

#include <cstdlib>

namespace rastro {

bool DisplayServerAnnounced() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

const char* RequestedVideoDriver() {
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  return driver && *driver ? driver : nullptr;
}

}  // namespace rastro
