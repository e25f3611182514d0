#include "BlitRegion.h"

#include "BlitPaths.h"
#include "d3dx9tex.h"

namespace rastro {

HRESULT BlitRegion(const PixelRegion& destinationRegion, const PixelRegion& sourceRegion, DWORD filter) {
  DWORD type = filter & kFilterTypeMask;
  if (type == 0 || type > 5 || filter >= kFirstUndefinedFilterBit) return D3DERR_INVALIDCALL;

  PixelRegion sourceSide = sourceRegion;
  PixelRegion destinationSide = destinationRegion;
  sourceSide.Srgb = (filter & D3DX_FILTER_SRGB_IN) != 0;
  destinationSide.Srgb = (filter & D3DX_FILTER_SRGB_OUT) != 0;
  destinationSide.Dither = (filter & D3DX_FILTER_DITHER) != 0;

  std::unique_ptr<PixelCodec> destination = CreatePixelCodec(destinationSide);
  if (!destination) return E_FAIL;
  std::unique_ptr<PixelCodec> source = CreatePixelCodec(sourceSide);
  if (!source) return E_FAIL;
  if (HRESULT hr = LinkCodecs(*destination, *source); FAILED(hr)) return hr;

  if (!destination->Width() || !destination->Height() || !destination->Depth()) return S_OK;  // nothing to write
  // Resampling needs at least one source pixel to sample; placing nothing at the corner
  // (D3DX_FILTER_NONE) only clears.
  bool sourceEmpty = !source->Width() || !source->Height() || !source->Depth();
  bool sameSize = source->Width() == destination->Width() && source->Height() == destination->Height() &&
                  source->Depth() == destination->Depth();
  if (sourceEmpty && !sameSize && type != 1) return D3DERR_INVALIDCALL;

  if (SUCCEEDED(CopyDirect(*destination, *source))) return S_OK;
  if (SUCCEEDED(ConvertSameSize(*destination, *source))) return S_OK;
  if (type == 1 && SUCCEEDED(CopyUnfiltered(*destination, *source))) return S_OK;
  if (type == 2 && SUCCEEDED(SamplePoint(*destination, *source))) return S_OK;
  if (type == 5 && SUCCEEDED(HalveBox(*destination, *source, filter))) return S_OK;
  if (type == 3 && SUCCEEDED(FilterLinear(*destination, *source, filter))) return S_OK;
  if (!sourceEmpty && SUCCEEDED(FilterTriangle(*destination, *source, filter))) return S_OK;
  return E_FAIL;
}

HRESULT ConvertSameSize(PixelCodec& destination, PixelCodec& source) {
  if (source.Width() != destination.Width() || source.Height() != destination.Height() ||
      source.Depth() != destination.Depth()) {
    return E_FAIL;
  }
  DropPairedGamma(destination, source);
  if (SUCCEEDED(RepackSameSize(destination, source))) return S_OK;
  auto row = AllocateZeroedRow(destination.Width());
  if (!row) return E_OUTOFMEMORY;
  for (UINT z = 0; z < destination.Depth(); ++z) {
    for (UINT y = 0; y < destination.Height(); ++y) {
      source.ReadRow(y, z, row.get());
      destination.WriteRow(y, z, row.get());
    }
  }
  return S_OK;
}

HRESULT CopyUnfiltered(PixelCodec& destination, PixelCodec& source) {
  DropPairedGamma(destination, source);
  const UINT width = destination.Width();
  const UINT sourceWidth = source.Width();
  auto row = AllocateZeroedRow(sourceWidth > width ? sourceWidth : width);
  auto blank = AllocateZeroedRow(width);
  if (!row || !blank) return E_OUTOFMEMORY;
  const UINT height = destination.Height() < source.Height() ? destination.Height() : source.Height();
  const UINT depth = destination.Depth() < source.Depth() ? destination.Depth() : source.Depth();
  for (UINT z = 0; z < destination.Depth(); ++z) {
    for (UINT y = 0; y < destination.Height(); ++y) {
      if (z < depth && y < height) {
        // Columns past the source's width keep the zeros the row was made with.
        source.ReadRow(y, z, row.get());
        destination.WriteRow(y, z, row.get());
      } else {
        destination.WriteRow(y, z, blank.get());
      }
    }
  }
  return S_OK;
}

}  // namespace rastro
