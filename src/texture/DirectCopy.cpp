// Byte copies: the cheapest path, taken whenever nothing about the pixels has to change.
#include <cstring>

#include "BlitPaths.h"
#include "LockGeometry.h"

namespace rastro {

namespace {

bool SamePalette(const PALETTEENTRY* a, const PALETTEENTRY* b) {
  if (a == b) return true;
  if (!a || !b) return false;
  return std::memcmp(a, b, 256 * sizeof(PALETTEENTRY)) == 0;
}

bool OnBlockEdges(const D3DBOX& box) { return (box.Left | box.Top | box.Right | box.Bottom) % 4 == 0; }

// DXT regions copy as whole 4 x 4 blocks, so both must start and end on block edges.
HRESULT CopyBlocks(PixelCodec& destination, PixelCodec& source) {
  if (!IsBlockFormat(destination.Format())) return E_FAIL;
  const D3DBOX& to = destination.Region();
  const D3DBOX& from = source.Region();
  if (!OnBlockEdges(to) || !OnBlockEdges(from)) return E_FAIL;
  const std::size_t blockBytes = destination.Format() == D3DFMT_DXT1 ? 8 : 16;
  auto firstBlock = [blockBytes](const PixelCodec& codec) {
    const D3DBOX& box = codec.Region();
    return codec.Data() + std::size_t{box.Top / 4} * codec.RowPitch() + std::size_t{box.Front} * codec.SlicePitch() +
           blockBytes * (box.Left / 4);
  };
  BYTE* out = firstBlock(destination);
  const BYTE* in = firstBlock(source);
  const std::size_t rowBytes = blockBytes * (destination.Width() / 4);
  for (UINT z = 0; z < destination.Depth(); ++z) {
    for (UINT y = 0, blockRow = 0; y < destination.Height(); y += 4, ++blockRow) {
      std::memcpy(out + std::size_t{z} * destination.SlicePitch() + std::size_t{blockRow} * destination.RowPitch(),
                  in + std::size_t{z} * source.SlicePitch() + std::size_t{blockRow} * source.RowPitch(), rowBytes);
    }
  }
  return S_OK;
}

}  // namespace

HRESULT CopyDirect(PixelCodec& destination, PixelCodec& source) {
  if (destination.Format() != source.Format() || source.Flags().ColorKeyed) return E_FAIL;
  if (destination.Width() != source.Width() || destination.Height() != source.Height() ||
      destination.Depth() != source.Depth()) {
    return E_FAIL;
  }
  if (destination.Flags().Srgb != source.Flags().Srgb) return E_FAIL;
  if (!destination.Flags().RegionRebased) return CopyBlocks(destination, source);
  if (destination.Flags().Palettized && !SamePalette(destination.Palette(), source.Palette())) return E_FAIL;
  destination.Flags().Srgb = false;
  source.Flags().Srgb = false;
  const std::size_t rowBytes = destination.RowBytes();
  for (UINT z = 0; z < destination.Depth(); ++z) {
    for (UINT y = 0; y < destination.Height(); ++y) {
      BYTE* out = destination.Base() + std::size_t{y} * destination.RowPitch() + std::size_t{z} * destination.SlicePitch();
      const BYTE* in = source.Base() + std::size_t{y} * source.RowPitch() + std::size_t{z} * source.SlicePitch();
      std::memmove(out, in, rowBytes);
    }
  }
  return S_OK;
}

}  // namespace rastro
