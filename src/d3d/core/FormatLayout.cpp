#include "FormatLayout.h"

#include <algorithm>

namespace rastro {

namespace {

struct LayoutEntry {
  D3DFORMAT format;
  FormatClass kind;
  UINT blockWidth;
  UINT blockHeight;
  UINT bytesPerBlock;
};

constexpr LayoutEntry kLayouts[] = {
    {D3DFMT_R8G8B8, FormatClass::Plain, 1, 1, 3},
    {D3DFMT_A8R8G8B8, FormatClass::Plain, 1, 1, 4},
    {D3DFMT_X8R8G8B8, FormatClass::Plain, 1, 1, 4},
    {D3DFMT_R5G6B5, FormatClass::Plain, 1, 1, 2},
    {D3DFMT_X1R5G5B5, FormatClass::Plain, 1, 1, 2},
    {D3DFMT_A1R5G5B5, FormatClass::Plain, 1, 1, 2},
    {D3DFMT_A4R4G4B4, FormatClass::Plain, 1, 1, 2},
    {D3DFMT_R3G3B2, FormatClass::Plain, 1, 1, 1},
    {D3DFMT_A8, FormatClass::Plain, 1, 1, 1},
    {D3DFMT_A8R3G3B2, FormatClass::Plain, 1, 1, 2},
    {D3DFMT_X4R4G4B4, FormatClass::Plain, 1, 1, 2},
    {D3DFMT_A2B10G10R10, FormatClass::Plain, 1, 1, 4},
    {D3DFMT_A8B8G8R8, FormatClass::Plain, 1, 1, 4},
    {D3DFMT_X8B8G8R8, FormatClass::Plain, 1, 1, 4},
    {D3DFMT_G16R16, FormatClass::Plain, 1, 1, 4},
    {D3DFMT_A2R10G10B10, FormatClass::Plain, 1, 1, 4},
    {D3DFMT_A16B16G16R16, FormatClass::Plain, 1, 1, 8},
    {D3DFMT_A8P8, FormatClass::Plain, 1, 1, 2},
    {D3DFMT_P8, FormatClass::Plain, 1, 1, 1},
    {D3DFMT_L8, FormatClass::Plain, 1, 1, 1},
    {D3DFMT_A8L8, FormatClass::Plain, 1, 1, 2},
    {D3DFMT_A4L4, FormatClass::Plain, 1, 1, 1},
    {D3DFMT_V8U8, FormatClass::Plain, 1, 1, 2},
    {D3DFMT_L6V5U5, FormatClass::Plain, 1, 1, 2},
    {D3DFMT_X8L8V8U8, FormatClass::Plain, 1, 1, 4},
    {D3DFMT_Q8W8V8U8, FormatClass::Plain, 1, 1, 4},
    {D3DFMT_V16U16, FormatClass::Plain, 1, 1, 4},
    {D3DFMT_A2W10V10U10, FormatClass::Plain, 1, 1, 4},
    {D3DFMT_UYVY, FormatClass::Pair, 2, 1, 4},
    {D3DFMT_R8G8_B8G8, FormatClass::Pair, 2, 1, 4},
    {D3DFMT_YUY2, FormatClass::Pair, 2, 1, 4},
    {D3DFMT_G8R8_G8B8, FormatClass::Pair, 2, 1, 4},
    {D3DFMT_DXT1, FormatClass::Block, 4, 4, 8},
    {D3DFMT_DXT2, FormatClass::Block, 4, 4, 16},
    {D3DFMT_DXT3, FormatClass::Block, 4, 4, 16},
    {D3DFMT_DXT4, FormatClass::Block, 4, 4, 16},
    {D3DFMT_DXT5, FormatClass::Block, 4, 4, 16},
    {D3DFMT_D16_LOCKABLE, FormatClass::Depth, 1, 1, 2},
    {D3DFMT_D32, FormatClass::Depth, 1, 1, 4},
    {D3DFMT_D15S1, FormatClass::Depth, 1, 1, 2},
    {D3DFMT_D24S8, FormatClass::Depth, 1, 1, 4},
    {D3DFMT_D24X8, FormatClass::Depth, 1, 1, 4},
    {D3DFMT_D24X4S4, FormatClass::Depth, 1, 1, 4},
    {D3DFMT_D16, FormatClass::Depth, 1, 1, 2},
    {D3DFMT_D32F_LOCKABLE, FormatClass::Depth, 1, 1, 4},
    {D3DFMT_D24FS8, FormatClass::Depth, 1, 1, 4},
    {D3DFMT_L16, FormatClass::Plain, 1, 1, 2},
    {D3DFMT_INDEX16, FormatClass::Plain, 1, 1, 2},
    {D3DFMT_INDEX32, FormatClass::Plain, 1, 1, 4},
    {D3DFMT_Q16W16V16U16, FormatClass::Plain, 1, 1, 8},
    {D3DFMT_R16F, FormatClass::Plain, 1, 1, 2},
    {D3DFMT_G16R16F, FormatClass::Plain, 1, 1, 4},
    {D3DFMT_A16B16G16R16F, FormatClass::Plain, 1, 1, 8},
    {D3DFMT_R32F, FormatClass::Plain, 1, 1, 4},
    {D3DFMT_G32R32F, FormatClass::Plain, 1, 1, 8},
    {D3DFMT_A32B32G32R32F, FormatClass::Plain, 1, 1, 16},
    {D3DFMT_CxV8U8, FormatClass::Plain, 1, 1, 2},
};

}  // namespace

FormatLayout DescribeFormat(D3DFORMAT format) {
  for (const LayoutEntry& entry : kLayouts) {
    if (entry.format == format) return {entry.kind, entry.blockWidth, entry.blockHeight, entry.bytesPerBlock};
  }
  return {};
}

bool IsDepthFormat(D3DFORMAT format) { return DescribeFormat(format).kind == FormatClass::Depth; }

bool HasStencil(D3DFORMAT format) {
  return format == D3DFMT_D15S1 || format == D3DFMT_D24S8 || format == D3DFMT_D24X4S4 || format == D3DFMT_D24FS8;
}

bool IsLockableDepthFormat(D3DFORMAT format) { return format == D3DFMT_D16_LOCKABLE || format == D3DFMT_D32F_LOCKABLE; }

bool IsBufferOnlyFormat(D3DFORMAT format) { return format == D3DFMT_INDEX16 || format == D3DFMT_INDEX32; }

UINT FullChainLength(UINT width, UINT height, UINT depth) {
  UINT largest = std::max({width, height, depth, 1u});
  UINT levels = 1;
  while (largest > 1) {
    largest >>= 1;
    ++levels;
  }
  return levels;
}

}  // namespace rastro
