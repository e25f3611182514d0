#include "GlxDrawable.h"

#include <SDL2/SDL.h>
#include <epoxy/glx.h>

#include <cstring>

namespace rastro {

bool CurrentGlxDrawableSize(int& width, int& height) {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver || std::strcmp(driver, "x11") != 0) return false;
  Display* display = glXGetCurrentDisplay();
  GLXDrawable drawable = glXGetCurrentDrawable();
  if (!display || !drawable) return false;
  unsigned int w = 0, h = 0;
  glXQueryDrawable(display, drawable, GLX_WIDTH, &w);
  glXQueryDrawable(display, drawable, GLX_HEIGHT, &h);
  if (w == 0 || h == 0) return false;
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  return true;
}

}  // namespace rastro
