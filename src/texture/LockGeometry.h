// The lock granularity of the block-compressed (4 x 4) and pair-packed (2 x 1) formats: the
// rectangle or box a lock asks for is widened to whole blocks or pairs.
#pragma once

#include "d3d9types.h"

namespace rastro {

inline bool IsBlockFormat(D3DFORMAT format) {
  return format == D3DFMT_DXT1 || format == D3DFMT_DXT2 || format == D3DFMT_DXT3 || format == D3DFMT_DXT4 ||
         format == D3DFMT_DXT5;
}

inline bool IsPairFormat(D3DFORMAT format) {
  return format == D3DFMT_YUY2 || format == D3DFMT_UYVY || format == D3DFMT_R8G8_B8G8 || format == D3DFMT_G8R8_G8B8;
}

// Widens [left, right) x [top, bottom) of a width x height level to whole blocks or pairs,
// never beyond the level's edge.
inline void WidenToLockUnits(D3DFORMAT format, UINT width, UINT height, UINT& left, UINT& top, UINT& right,
                             UINT& bottom) {
  auto atMost = [](UINT value, UINT limit) { return value < limit ? value : limit; };
  if (IsBlockFormat(format)) {
    left &= ~3u;
    top &= ~3u;
    right = atMost((right + 3) & ~3u, width);
    bottom = atMost((bottom + 3) & ~3u, height);
  } else if (IsPairFormat(format)) {
    left &= ~1u;
    right = atMost((right + 1) & ~1u, width);
  }
}

}  // namespace rastro
