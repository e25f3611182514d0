// Where a block of pixels lies in memory and which box of it a conversion reads or writes.
// Filled for a locked surface or volume, or for an image in the caller's memory, and handed
// to CreatePixelCodec.
#pragma once

#include "d3d9types.h"

namespace rastro {

struct PixelRegion {
  // The pixel (or 4x4 block) at x = 0, y = 0, z = 0 of the coordinates that Region uses.
  void* Data = nullptr;
  D3DFORMAT Format = D3DFMT_UNKNOWN;
  // Bytes from one row to the next; for block formats, from one row of 4x4 blocks to the next.
  UINT RowPitch = 0;
  UINT SlicePitch = 0;
  // The whole image. Only the block codec looks at it, to know which blocks a write cuts.
  D3DBOX Extent{};
  // The part of the image read or written; Right, Bottom and Back are exclusive.
  D3DBOX Region{};
  // Writes use ordered dithering.
  BOOL Dither = FALSE;
  // The stored data is sRGB-encoded (handled as a gamma 2.2 curve).
  BOOL Srgb = FALSE;
  // Colour read as transparent black (A in bits 24-31, then R, G, B); 0 means none.
  D3DCOLOR ColorKey = 0;
  // 256 entries for D3DFMT_P8 and D3DFMT_A8P8 images (peFlags is the entry's alpha), or null.
  const PALETTEENTRY* Palette = nullptr;
};

}  // namespace rastro
