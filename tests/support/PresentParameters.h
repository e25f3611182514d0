// Presentation parameters the tests create devices with.
#pragma once

#include "d3d9.h"

namespace rastro::testing {

// A full-screen device with a flip chain of one back buffer and an automatic depth buffer
// unless `depth` is D3DFMT_UNKNOWN.
inline D3DPRESENT_PARAMETERS FullScreenParameters(UINT width = 640, UINT height = 480,
                                                  D3DFORMAT backBuffer = D3DFMT_X8R8G8B8,
                                                  D3DFORMAT depth = D3DFMT_D24S8) {
  D3DPRESENT_PARAMETERS parameters{};
  parameters.BackBufferWidth = width;
  parameters.BackBufferHeight = height;
  parameters.BackBufferFormat = backBuffer;
  parameters.BackBufferCount = 1;
  parameters.SwapEffect = D3DSWAPEFFECT_FLIP;
  parameters.Windowed = FALSE;
  parameters.EnableAutoDepthStencil = depth != D3DFMT_UNKNOWN;
  parameters.AutoDepthStencilFormat = depth;
  parameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
  return parameters;
}

// A windowed device of one back buffer that frames can be read back from: lockable, presented
// at once, with an automatic depth buffer unless `depth` is D3DFMT_UNKNOWN.
inline D3DPRESENT_PARAMETERS WindowedParameters(UINT width, UINT height, D3DFORMAT backBuffer = D3DFMT_X8R8G8B8,
                                                D3DFORMAT depth = D3DFMT_UNKNOWN) {
  D3DPRESENT_PARAMETERS parameters = FullScreenParameters(width, height, backBuffer, depth);
  parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
  parameters.Windowed = TRUE;
  parameters.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
  return parameters;
}

}  // namespace rastro::testing
