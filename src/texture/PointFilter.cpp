// Nearest-sample resampling in 16.16 fixed point: destination pixel i takes source pixel
// (i * step) >> 16 with step = source size * 65536 / destination size, so pixel 0 always
// samples pixel 0 (no half-pixel offset).
#include <cstdint>
#include <new>

#include "BlitPaths.h"

namespace rastro {

namespace {

// 64-bit steps keep sizes beyond 65535 from wrapping; below that they equal 32-bit ones.
std::uint64_t Step(UINT sourceSize, UINT destinationSize) {
  return (std::uint64_t{sourceSize} << 16) / destinationSize;
}

}  // namespace

HRESULT SamplePoint(PixelCodec& destination, PixelCodec& source) {
  DropPairedGamma(destination, source);
  const UINT width = destination.Width();
  auto sourceRow = AllocateZeroedRow(source.Width());
  auto row = AllocateZeroedRow(width);
  if (!sourceRow || !row) return E_OUTOFMEMORY;
  std::unique_ptr<UINT[]> columns(new (std::nothrow) UINT[width]);
  if (!columns) return E_OUTOFMEMORY;
  const std::uint64_t stepX = Step(source.Width(), width);
  const std::uint64_t stepY = Step(source.Height(), destination.Height());
  const std::uint64_t stepZ = Step(source.Depth(), destination.Depth());
  std::uint64_t position = 0;
  for (UINT i = 0; i < width; ++i, position += stepX) columns[i] = static_cast<UINT>(position >> 16);

  std::uint64_t positionZ = 0;
  for (UINT k = 0; k < destination.Depth(); ++k, positionZ += stepZ) {
    const UINT sourceSlice = static_cast<UINT>(positionZ >> 16);
    std::uint64_t positionY = 0;
    std::int64_t decodedRow = -1;
    for (UINT j = 0; j < destination.Height(); ++j, positionY += stepY) {
      const UINT sourceRowIndex = static_cast<UINT>(positionY >> 16);
      if (static_cast<std::int64_t>(sourceRowIndex) != decodedRow) {
        source.ReadRow(sourceRowIndex, sourceSlice, sourceRow.get());
        decodedRow = sourceRowIndex;
        for (UINT i = 0; i < width; ++i) row[i] = sourceRow[columns[i]];
      }
      destination.WriteRow(j, k, row.get());
    }
  }
  return S_OK;
}

}  // namespace rastro
