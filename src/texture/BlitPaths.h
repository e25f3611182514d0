// The ways the conversion engine can serve a request, tried in this order by BlitRegion. Each
// returns S_OK when it served the request, or a failure when it does not apply to it or ran
// out of memory; the engine then tries the next.
#pragma once

#include "PixelCodec.h"

namespace rastro {

// Byte copy between regions of one format and size (whole 4 x 4 blocks for DXT formats).
HRESULT CopyDirect(PixelCodec& destination, PixelCodec& source);
// Same-size conversion between the 32-bit RGB formats that differ only in their fourth byte,
// done on the packed pixels; gives exactly what the float conversion gives.
HRESULT RepackSameSize(PixelCodec& destination, PixelCodec& source);
// Row-by-row conversion between regions of one size.
HRESULT ConvertSameSize(PixelCodec& destination, PixelCodec& source);
// D3DX_FILTER_NONE: the source at the top-left corner, the rest transparent black.
HRESULT CopyUnfiltered(PixelCodec& destination, PixelCodec& source);
// D3DX_FILTER_POINT: nearest sample in 16.16 fixed-point steps, no half-pixel offset.
HRESULT SamplePoint(PixelCodec& destination, PixelCodec& source);
// D3DX_FILTER_BOX when the destination is exactly half the source (surfaces and volumes).
HRESULT HalveBox(PixelCodec& destination, PixelCodec& source, DWORD filter);
// D3DX_FILTER_LINEAR: bilinear for surfaces, trilinear for volumes.
HRESULT FilterLinear(PixelCodec& destination, PixelCodec& source, DWORD filter);
// The tent filter: serves D3DX_FILTER_TRIANGLE and whatever the earlier paths left.
HRESULT FilterTriangle(PixelCodec& destination, PixelCodec& source, DWORD filter);

// Float RGBA rows sized for the widest row a path reads, or null when memory runs out.
inline std::unique_ptr<FloatRgba[]> AllocateZeroedRow(std::size_t pixels) {
  auto row = PixelCodec::AllocateRow(pixels ? pixels : 1);
  if (row) {
    for (std::size_t i = 0; i < (pixels ? pixels : 1); ++i) row[i] = FloatRgba{0, 0, 0, 0};
  }
  return row;
}

// Both sides gamma-encoded: the curves would cancel, so neither side converts.
inline void DropPairedGamma(PixelCodec& destination, PixelCodec& source) {
  if (destination.Flags().Srgb && source.Flags().Srgb) {
    destination.Flags().Srgb = false;
    source.Flags().Srgb = false;
  }
}

}  // namespace rastro
