// Writes textures as DirectDraw Surface (DDS) files: every level, every cube face and every
// volume slice, with the pixel-format description other tools read.
#pragma once

#include <vector>

#include "d3d9.h"

namespace rastro {

// Whether a DDS file can describe `format` (the texture formats of the catalogue; not the
// depth-only ones nor the loader's internal ones).
bool DdsCanHold(D3DFORMAT format);

// The DDS file of `texture` (a 2D, cube or volume texture in a lockable pool), all its levels
// in the file type's order. `palette` (256 entries) is written for palettized formats and is
// then required. D3DERR_INVALIDCALL for a missing texture, a missing palette or a texture the
// file type cannot hold; lock failures are passed on. `bytes` is only changed on success.
HRESULT WriteDds(IDirect3DBaseTexture9* texture, const PALETTEENTRY* palette, std::vector<BYTE>& bytes);

}  // namespace rastro
