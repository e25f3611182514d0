// The conversion engine: moves the pixels of one PixelRegion into another, converting their
// format through the two regions' codecs and, when the sizes differ, resampling them with the
// filter named by the filter word (the D3DX_FILTER_* values of d3dx9tex.h).
#pragma once

#include "PixelRegion.h"

namespace rastro {

// S_OK, D3DERR_INVALIDCALL (a filter word outside the defined values, or a non-empty
// destination to be resampled from an empty source), E_FAIL (a format without a codec, or no
// way to serve the request) or E_OUTOFMEMORY.
HRESULT BlitRegion(const PixelRegion& destination, const PixelRegion& source, DWORD filter);

// A filter word's type (low 16 bits) and the bits above it that the engine knows.
constexpr DWORD kFilterTypeMask = 0xFFFF;
constexpr DWORD kFirstUndefinedFilterBit = 0x400000;

}  // namespace rastro
