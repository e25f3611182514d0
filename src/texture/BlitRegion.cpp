#include "BlitRegion.h"

#include <algorithm>
#include <cfenv>
#include <cstdint>
#include <vector>

#include "BlitPaths.h"
#include "FastRows.h"
#include "LockGeometry.h"
#include "WorkerPool.h"
#include "d3dx9tex.h"

namespace rastro {

namespace {

// Bands smaller than this cost more to hand out than they save.
constexpr std::uint64_t kLeastBandPixels = 32 * 1024;

UINT RegionHeight(const PixelRegion& region) { return region.Region.Bottom - region.Region.Top; }
UINT RegionWidth(const PixelRegion& region) { return region.Region.Right - region.Region.Left; }

// Whether the request can be served as independent bands of destination rows with exactly the
// bytes of one whole pass: a same-size conversion, or a box halving, of surfaces whose codecs
// keep no state across rows (the pair codecs pack neighbouring pixels; a copy between equal
// block formats may decide by the region's edges whether to copy or re-encode). Returns the
// number of destination rows that every band boundary must be a multiple of, or 0.
UINT BandGranularity(const PixelRegion& destination, const PixelRegion& source, DWORD filter) {
  for (const PixelRegion* side : {&destination, &source}) {
    const D3DBOX& box = side->Region;
    if (box.Right < box.Left || box.Bottom < box.Top || box.Back != box.Front + 1) return 0;
  }
  if (IsPairFormat(destination.Format) || IsPairFormat(source.Format)) return 0;
  if (IsBlockFormat(destination.Format) && destination.Format == source.Format) return 0;
  const UINT width = RegionWidth(destination), height = RegionHeight(destination);
  const UINT sourceWidth = RegionWidth(source), sourceHeight = RegionHeight(source);
  if (std::uint64_t{width} * height < 2 * kLeastBandPixels) return 0;
  const bool sameSize = width == sourceWidth && height == sourceHeight;
  const bool halving = (filter & kFilterTypeMask) == D3DX_FILTER_BOX && width == sourceWidth / 2 &&
                       height == sourceHeight / 2 && sourceHeight > 1 && sourceWidth > 1;
  if (!sameSize && !halving) return 0;
  // Dithering repeats every four rows of the region; blocks are four rows of the image.
  return 4;
}

HRESULT BlitRegionOnce(const PixelRegion& destinationRegion, const PixelRegion& sourceRegion, DWORD filter);

}  // namespace

HRESULT BlitRegion(const PixelRegion& destinationRegion, const PixelRegion& sourceRegion, DWORD filter) {
  const DWORD type = filter & kFilterTypeMask;
  if (type == 0 || type > 5 || filter >= kFirstUndefinedFilterBit) return D3DERR_INVALIDCALL;
  const unsigned threads = LoaderThreads();
  const UINT granularity = threads > 1 ? BandGranularity(destinationRegion, sourceRegion, filter) : 0;
  if (granularity == 0) return BlitRegionOnce(destinationRegion, sourceRegion, filter);

  // Band boundaries, as destination rows from the region's top: multiples of four rows of the
  // region and, for a block-compressed destination, of four rows of the image.
  const UINT height = RegionHeight(destinationRegion);
  const UINT top = destinationRegion.Region.Top;
  const bool blocks = IsBlockFormat(destinationRegion.Format);
  const std::uint64_t bandPixels = std::max<std::uint64_t>(
      kLeastBandPixels, std::uint64_t{RegionWidth(destinationRegion)} * height / (std::uint64_t{threads} * 4));
  const UINT bandRows = static_cast<UINT>(std::min<std::uint64_t>(
      height, (bandPixels + RegionWidth(destinationRegion) - 1) / RegionWidth(destinationRegion)));
  std::vector<UINT> starts{0};
  for (UINT row = bandRows; row < height; row += bandRows) {
    // A block-compressed destination ignores dithering, and its bands must hold whole blocks.
    const UINT boundary = blocks ? ((top + row + 3) & ~3u) - top : (row + granularity - 1) / granularity * granularity;
    if (boundary >= height) break;
    if (boundary > starts.back()) starts.push_back(boundary);
  }
  if (starts.size() < 2) return BlitRegionOnce(destinationRegion, sourceRegion, filter);

  const bool halving = RegionHeight(sourceRegion) != height;
  std::vector<HRESULT> results(starts.size(), S_OK);
  // Filters compute in the caller's rounding mode; every thread of the pool takes it on.
  const int rounding = std::fegetround();
  WorkerPool::Shared().ParallelFor(starts.size(), [&](std::size_t band) {
    const int previous = std::fegetround();
    if (previous != rounding) std::fesetround(rounding);
    const UINT first = starts[band];
    const UINT end = band + 1 < starts.size() ? starts[band + 1] : height;
    PixelRegion destination = destinationRegion;
    destination.Region.Top = top + first;
    destination.Region.Bottom = top + end;
    PixelRegion source = sourceRegion;
    const UINT scale = halving ? 2 : 1;
    source.Region.Top = sourceRegion.Region.Top + scale * first;
    // The last band keeps an odd source row, which halving drops as the whole pass does.
    if (band + 1 < starts.size()) source.Region.Bottom = sourceRegion.Region.Top + scale * end;
    results[band] = BlitRegionOnce(destination, source, filter);
    if (previous != rounding) std::fesetround(previous);
  });
  for (HRESULT result : results) {
    if (FAILED(result)) return result;
  }
  return S_OK;
}

namespace {

// One pass of the engine over the whole request, on the calling thread.
HRESULT BlitRegionOnce(const PixelRegion& destinationRegion, const PixelRegion& sourceRegion, DWORD filter) {
  DWORD type = filter & kFilterTypeMask;
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

}  // namespace

namespace {

// Below this many pixels building the conversion tables costs more than it saves.
constexpr std::uint64_t kLeastFastRowPixels = 1024;

HRESULT ConvertFastRows(PixelCodec& destination, PixelCodec& source) {
  if (std::uint64_t{destination.Width()} * destination.Height() * destination.Depth() < kLeastFastRowPixels) {
    return E_FAIL;
  }
  auto converter = FastRowConverter::Create(destination, source);
  if (!converter) return E_FAIL;
  for (UINT z = 0; z < destination.Depth(); ++z) {
    for (UINT y = 0; y < destination.Height(); ++y) {
      BYTE* out =
          destination.Base() + std::size_t{y} * destination.RowPitch() + std::size_t{z} * destination.SlicePitch();
      const BYTE* in = source.Base() + std::size_t{y} * source.RowPitch() + std::size_t{z} * source.SlicePitch();
      if (!converter->ConvertRow(in, out, destination.Width(), destination.DitherRow(y, z))) {
        // Out of memory for a table, before anything of this row was written: finish with
        // the codecs, which write every row again.
        return E_OUTOFMEMORY;
      }
    }
  }
  return S_OK;
}

}  // namespace

HRESULT ConvertSameSize(PixelCodec& destination, PixelCodec& source) {
  if (source.Width() != destination.Width() || source.Height() != destination.Height() ||
      source.Depth() != destination.Depth()) {
    return E_FAIL;
  }
  DropPairedGamma(destination, source);
  if (SUCCEEDED(RepackSameSize(destination, source))) return S_OK;
  if (SUCCEEDED(ConvertFastRows(destination, source))) return S_OK;
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
