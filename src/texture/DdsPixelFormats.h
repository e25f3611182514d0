// The DDS file type's pixel-format descriptions, shared by the DDS decoder and writer so that
// what one writes the other reads back.
#pragma once

#include "WindowsTypes.h"
#include "d3d9types.h"

namespace rastro {

inline constexpr DWORD kDdsFourCcFlag = 0x4;

constexpr DWORD DdsFourCc(char a, char b, char c, char d) { return MAKEFOURCC(a, b, c, d); }

struct DdsPixelFormatRow {
  D3DFORMAT format;
  DWORD flags;
  DWORD fourCc;
  DWORD bitCount;
  DWORD red, green, blue, alpha;
};

// How each format is described in a DDS file. Reading, the first row whose fields match the
// file's pixel format gives the image format; writing, a format's own row describes it. Formats
// that masks cannot describe are named by their own value as a FourCC. The 10-bit colour and
// bump rows carry red and blue masks the way files written by the platform's tools always have.
inline constexpr DdsPixelFormatRow kDdsPixelFormats[] = {
    {D3DFMT_R8G8B8, 0x40, 0, 24, 0xFF0000, 0xFF00, 0xFF, 0},
    {D3DFMT_A8R8G8B8, 0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {D3DFMT_X8R8G8B8, 0x40, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0},
    {D3DFMT_R5G6B5, 0x40, 0, 16, 0xF800, 0x7E0, 0x1F, 0},
    {D3DFMT_X1R5G5B5, 0x40, 0, 16, 0x7C00, 0x3E0, 0x1F, 0},
    {D3DFMT_A1R5G5B5, 0x41, 0, 16, 0x7C00, 0x3E0, 0x1F, 0x8000},
    {D3DFMT_A4R4G4B4, 0x41, 0, 16, 0xF00, 0xF0, 0xF, 0xF000},
    {D3DFMT_R3G3B2, 0x40, 0, 8, 0xE0, 0x1C, 0x3, 0},
    {D3DFMT_A8, 0x2, 0, 8, 0, 0, 0, 0xFF},
    {D3DFMT_A8R3G3B2, 0x41, 0, 16, 0xE0, 0x1C, 0x3, 0xFF00},
    {D3DFMT_X4R4G4B4, 0x40, 0, 16, 0xF00, 0xF0, 0xF, 0},
    {D3DFMT_A2B10G10R10, 0x41, 0, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000},
    {D3DFMT_A8B8G8R8, 0x41, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000},
    {D3DFMT_X8B8G8R8, 0x40, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0},
    {D3DFMT_G16R16, 0x40, 0, 32, 0xFFFF, 0xFFFF0000, 0, 0},
    {D3DFMT_A2R10G10B10, 0x41, 0, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000},
    {D3DFMT_A8P8, 0x21, 0, 16, 0, 0, 0, 0xFF00},
    {D3DFMT_P8, 0x20, 0, 8, 0, 0, 0, 0},
    {D3DFMT_L8, 0x20000, 0, 8, 0xFF, 0, 0, 0},
    {D3DFMT_A8L8, 0x20001, 0, 16, 0xFF, 0, 0, 0xFF00},
    {D3DFMT_A4L4, 0x20001, 0, 8, 0xF, 0, 0, 0xF0},
    {D3DFMT_L16, 0x20000, 0, 16, 0xFFFF, 0, 0, 0},
    {D3DFMT_V8U8, 0x80000, 0, 16, 0xFF, 0xFF00, 0, 0},
    {D3DFMT_L6V5U5, 0x40000, 0, 16, 0x1F, 0x3E0, 0xFC00, 0},
    {D3DFMT_X8L8V8U8, 0x40000, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0},
    {D3DFMT_Q8W8V8U8, 0x80000, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000},
    {D3DFMT_V16U16, 0x80000, 0, 32, 0xFFFF, 0xFFFF0000, 0, 0},
    {D3DFMT_A2W10V10U10, 0x80001, 0, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000},
    {D3DFMT_UYVY, kDdsFourCcFlag, DdsFourCc('U', 'Y', 'V', 'Y'), 0, 0, 0, 0, 0},
    {D3DFMT_R8G8_B8G8, kDdsFourCcFlag, DdsFourCc('R', 'G', 'B', 'G'), 0, 0, 0, 0, 0},
    {D3DFMT_YUY2, kDdsFourCcFlag, DdsFourCc('Y', 'U', 'Y', '2'), 0, 0, 0, 0, 0},
    {D3DFMT_G8R8_G8B8, kDdsFourCcFlag, DdsFourCc('G', 'R', 'G', 'B'), 0, 0, 0, 0, 0},
    {D3DFMT_DXT1, kDdsFourCcFlag, DdsFourCc('D', 'X', 'T', '1'), 0, 0, 0, 0, 0},
    {D3DFMT_DXT2, kDdsFourCcFlag, DdsFourCc('D', 'X', 'T', '2'), 0, 0, 0, 0, 0},
    {D3DFMT_DXT3, kDdsFourCcFlag, DdsFourCc('D', 'X', 'T', '3'), 0, 0, 0, 0, 0},
    {D3DFMT_DXT4, kDdsFourCcFlag, DdsFourCc('D', 'X', 'T', '4'), 0, 0, 0, 0, 0},
    {D3DFMT_DXT5, kDdsFourCcFlag, DdsFourCc('D', 'X', 'T', '5'), 0, 0, 0, 0, 0},
    {D3DFMT_D16_LOCKABLE, 0x400, 0, 16, 0, 0xFFFF, 0, 0},
    // Formats without a FourCC of their own carry their numeric value there.
    {D3DFMT_D32F_LOCKABLE, kDdsFourCcFlag, D3DFMT_D32F_LOCKABLE, 0, 0, 0, 0, 0},
    {D3DFMT_A16B16G16R16, kDdsFourCcFlag, D3DFMT_A16B16G16R16, 0, 0, 0, 0, 0},
    {D3DFMT_Q16W16V16U16, kDdsFourCcFlag, D3DFMT_Q16W16V16U16, 0, 0, 0, 0, 0},
    {D3DFMT_R16F, kDdsFourCcFlag, D3DFMT_R16F, 0, 0, 0, 0, 0},
    {D3DFMT_G16R16F, kDdsFourCcFlag, D3DFMT_G16R16F, 0, 0, 0, 0, 0},
    {D3DFMT_A16B16G16R16F, kDdsFourCcFlag, D3DFMT_A16B16G16R16F, 0, 0, 0, 0, 0},
    {D3DFMT_R32F, kDdsFourCcFlag, D3DFMT_R32F, 0, 0, 0, 0, 0},
    {D3DFMT_G32R32F, kDdsFourCcFlag, D3DFMT_G32R32F, 0, 0, 0, 0, 0},
    {D3DFMT_A32B32G32R32F, kDdsFourCcFlag, D3DFMT_A32B32G32R32F, 0, 0, 0, 0, 0},
    {D3DFMT_CxV8U8, kDdsFourCcFlag, D3DFMT_CxV8U8, 0, 0, 0, 0, 0},
};

}  // namespace rastro
