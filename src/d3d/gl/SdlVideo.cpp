#include "SdlVideo.h"

#include <cstring>

#include "VideoEnvironment.h"

namespace rastro {

namespace {
int users = 0;
}  // namespace

bool AcquireSdlVideo() {
  if (users == 0 && !SDL_WasInit(SDL_INIT_VIDEO) && !RequestedVideoDriver() && !DisplayServerAnnounced()) {
    // Nothing to show windows on: render with no display at all.
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
  }
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
  ++users;
  return true;
}

void ReleaseSdlVideo() {
  if (users == 0) return;
  --users;
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

bool SdlVideoHeadless() {
  const char* driver = SDL_GetCurrentVideoDriver();
  return !driver || std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0;
}

D3DFORMAT DisplayFormatOf(Uint32 pixelFormat) {
  if (SDL_ISPIXELFORMAT_INDEXED(pixelFormat) || SDL_ISPIXELFORMAT_FOURCC(pixelFormat)) return D3DFMT_UNKNOWN;
  switch (pixelFormat) {
    case SDL_PIXELFORMAT_ARGB2101010: return D3DFMT_A2R10G10B10;
    case SDL_PIXELFORMAT_RGB565:
    case SDL_PIXELFORMAT_BGR565: return D3DFMT_R5G6B5;
    case SDL_PIXELFORMAT_RGB555:
    case SDL_PIXELFORMAT_BGR555:
    case SDL_PIXELFORMAT_ARGB1555:
    case SDL_PIXELFORMAT_ABGR1555: return D3DFMT_X1R5G5B5;
    default: break;
  }
  int bits = SDL_BITSPERPIXEL(pixelFormat);
  int bytes = SDL_BYTESPERPIXEL(pixelFormat);
  return (bits == 24 || bits == 32) && (bytes == 3 || bytes == 4) ? D3DFMT_X8R8G8B8 : D3DFMT_UNKNOWN;
}

void RequestCoreContext() {
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  // The device draws into framebuffer objects; the window's own buffer only receives blits.
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
}

}  // namespace rastro
