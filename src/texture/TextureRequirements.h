// The size, level count and format a texture will really get on a device, from what a caller
// asks for and what the device can do.
#pragma once

#include "d3d9.h"

namespace rastro {

// Settles a texture's width, height, depth, level count and format for `device`: formats the
// device lacks become the closest one it has, sizes are clamped to its limits and raised to
// powers of two where it needs them, and the level count follows its mip-map caps. Every
// in/out pointer may be null: its value then counts as D3DX_DEFAULT (the format as
// D3DFMT_UNKNOWN) and nothing is written back. Scratch textures ignore the device's caps.
// D3DERR_INVALIDCALL for a missing device, a usage bit no texture takes or an unknown pool;
// D3DERR_NOTAVAILABLE when no format will do.
HRESULT ResolveTextureRequirements(IDirect3DDevice9* device, UINT* width, UINT* height, UINT* depth, UINT* mipLevels,
                                   DWORD usage, D3DFORMAT* format, D3DPOOL pool, D3DRESOURCETYPE resourceType);

}  // namespace rastro
