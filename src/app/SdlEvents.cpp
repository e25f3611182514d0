#include "SdlEvents.h"

#include <SDL.h>

#include "VirtualKeys.h"

namespace rastro {

bool SdlEvents::Poll(InputEvent& event) {
  SDL_Event sdl;
  while (SDL_PollEvent(&sdl)) {
    switch (sdl.type) {
      case SDL_KEYDOWN:
      case SDL_KEYUP:
        if (const auto key = VirtualKeyFromSdl(sdl.key.keysym.sym)) {
          event.kind = sdl.type == SDL_KEYDOWN ? InputEvent::Kind::kKeyDown : InputEvent::Kind::kKeyUp;
          event.virtualKey = *key;
          return true;
        }
        break;
      case SDL_WINDOWEVENT:
        if (sdl.window.event == SDL_WINDOWEVENT_CLOSE) {
          event.kind = InputEvent::Kind::kClose;
          return true;
        }
        break;
      case SDL_QUIT:  // the last window closed, or an interrupt signal
        event.kind = InputEvent::Kind::kClose;
        return true;
      default: break;
    }
  }
  return false;
}

}  // namespace rastro
