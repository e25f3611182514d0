// Published names of the pixel formats the texture loader knows, for the tool's output.
#pragma once

#include "d3d9types.h"

namespace rastro {

// "D3DFMT_X8R8G8B8", ..., the loader's own "FORMAT_AL16" and "FORMAT_R16", or null for a value
// that is none of them.
const char* D3dFormatName(D3DFORMAT format);

}  // namespace rastro
