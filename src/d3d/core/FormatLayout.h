// How the pixels of a format lie in memory: the size of one storage block (a single pixel for
// plain formats, a pair of pixels for the packed YUV/RGBG formats, a 4x4 tile for DXT) and the
// bytes it takes.
#pragma once

#include <cstdint>

#include "d3d9types.h"

namespace rastro {

enum class FormatClass : std::uint8_t { Plain, Pair, Block, Depth, Unknown };

struct FormatLayout {
  FormatClass kind = FormatClass::Unknown;
  UINT blockWidth = 1;
  UINT blockHeight = 1;
  UINT bytesPerBlock = 0;

  bool IsKnown() const { return kind != FormatClass::Unknown; }
  bool IsBlockCompressed() const { return kind == FormatClass::Block; }
  // Bytes of one row of blocks covering `width` pixels; partial blocks count whole.
  std::uint64_t RowBytes(UINT width) const {
    return std::uint64_t{(width + blockWidth - 1) / blockWidth} * bytesPerBlock;
  }
  // Rows of blocks covering `height` pixels.
  UINT BlockRows(UINT height) const { return (height + blockHeight - 1) / blockHeight; }
  // The pitch handed out by locks: whole rows of blocks, kept DWORD-aligned so that callers
  // never see an address that a 32-bit store would straddle.
  std::uint64_t Pitch(UINT width) const { return (RowBytes(width) + 3) & ~std::uint64_t{3}; }
  std::uint64_t SliceBytes(UINT width, UINT height) const { return Pitch(width) * BlockRows(height); }
};

// The layout of a format, or a layout whose kind is Unknown for values that are not formats.
FormatLayout DescribeFormat(D3DFORMAT format);

bool IsDepthFormat(D3DFORMAT format);
bool HasStencil(D3DFORMAT format);
bool IsLockableDepthFormat(D3DFORMAT format);
// Index formats describe buffers only: no surface, volume or texture takes them, in any pool.
bool IsBufferOnlyFormat(D3DFORMAT format);
// Size of the level `level` of a chain whose top level has this extent: halved, never below 1.
inline UINT LevelExtent(UINT extent, UINT level) {
  UINT reduced = level < 32 ? extent >> level : 0;
  return reduced ? reduced : 1;
}
// Levels of a full chain down to 1x1x1.
UINT FullChainLength(UINT width, UINT height, UINT depth = 1);

}  // namespace rastro
