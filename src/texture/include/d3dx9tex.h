// The texture loader's public entry points, with the published D3DX names, values and
// signatures: filter words, image information, loading surfaces and volumes, filtering mip
// chains and creating textures from image files.
#pragma once

#include <cfloat>

#include "WindowsTypes.h"
#include "d3d9.h"

// "Let the operation choose" for sizes, level counts, formats and filters.
#define D3DX_DEFAULT (static_cast<UINT>(-1))
#define D3DX_DEFAULT_NONPOW2 (static_cast<UINT>(-2))
#define D3DX_DEFAULT_FLOAT FLT_MAX
#define D3DX_FROM_FILE (static_cast<UINT>(-3))
#define D3DFMT_FROM_FILE (static_cast<D3DFORMAT>(-3))

// The filter word: a filter type in the low 16 bits, then edge and conversion flags.
#define D3DX_FILTER_NONE (1u << 0)
#define D3DX_FILTER_POINT (2u << 0)
#define D3DX_FILTER_LINEAR (3u << 0)
#define D3DX_FILTER_TRIANGLE (4u << 0)
#define D3DX_FILTER_BOX (5u << 0)
#define D3DX_FILTER_MIRROR_U (1u << 16)
#define D3DX_FILTER_MIRROR_V (2u << 16)
#define D3DX_FILTER_MIRROR_W (4u << 16)
#define D3DX_FILTER_MIRROR (7u << 16)
#define D3DX_FILTER_DITHER (1u << 19)
// sRGB flags as the Direct3D 9 D3DX of this program's time laid them out: the bits right
// above D3DX_FILTER_DITHER. Everything from 1 << 22 upward is undefined in a filter word.
#define D3DX_FILTER_SRGB_IN (1u << 20)
#define D3DX_FILTER_SRGB_OUT (1u << 21)
#define D3DX_FILTER_SRGB (3u << 20)

// Mip levels of a DDS file to skip, carried in the top bits of a filter word.
#define D3DX_SKIP_DDS_MIP_LEVELS_MASK 0x1Fu
#define D3DX_SKIP_DDS_MIP_LEVELS_SHIFT 26u
#define D3DX_SKIP_DDS_MIP_LEVELS(levels, filter)                                  \
  ((((levels)&D3DX_SKIP_DDS_MIP_LEVELS_MASK) << D3DX_SKIP_DDS_MIP_LEVELS_SHIFT) | \
   ((filter) == D3DX_DEFAULT ? D3DX_FILTER_BOX : (filter)))

enum D3DXIMAGE_FILEFORMAT : DWORD {
  D3DXIFF_BMP = 0,
  D3DXIFF_JPG = 1,
  D3DXIFF_TGA = 2,
  D3DXIFF_PNG = 3,
  D3DXIFF_DDS = 4,
  D3DXIFF_PPM = 5,
  D3DXIFF_DIB = 6,
  D3DXIFF_HDR = 7,
  D3DXIFF_PFM = 8,
  D3DXIFF_FORCE_DWORD = 0x7fffffff,
};

struct D3DXIMAGE_INFO {
  UINT Width;
  UINT Height;
  UINT Depth;
  UINT MipLevels;
  D3DFORMAT Format;
  D3DRESOURCETYPE ResourceType;
  D3DXIMAGE_FILEFORMAT ImageFileFormat;
};

// ---- Image information ----

// What an image file holds, from its headers alone.
HRESULT D3DXGetImageInfoFromFileA(LPCSTR pSrcFile, D3DXIMAGE_INFO* pSrcInfo);
HRESULT D3DXGetImageInfoFromFileInMemory(const void* pSrcData, UINT SrcDataSize, D3DXIMAGE_INFO* pSrcInfo);

// ---- Loading surfaces and volumes ----

HRESULT D3DXLoadSurfaceFromMemory(IDirect3DSurface9* pDestSurface, const PALETTEENTRY* pDestPalette,
                                  const RECT* pDestRect, const void* pSrcMemory, D3DFORMAT SrcFormat, UINT SrcPitch,
                                  const PALETTEENTRY* pSrcPalette, const RECT* pSrcRect, DWORD Filter,
                                  D3DCOLOR ColorKey);
HRESULT D3DXLoadSurfaceFromSurface(IDirect3DSurface9* pDestSurface, const PALETTEENTRY* pDestPalette,
                                   const RECT* pDestRect, IDirect3DSurface9* pSrcSurface,
                                   const PALETTEENTRY* pSrcPalette, const RECT* pSrcRect, DWORD Filter,
                                   D3DCOLOR ColorKey);
HRESULT D3DXLoadVolumeFromMemory(IDirect3DVolume9* pDestVolume, const PALETTEENTRY* pDestPalette,
                                 const D3DBOX* pDestBox, const void* pSrcMemory, D3DFORMAT SrcFormat, UINT SrcRowPitch,
                                 UINT SrcSlicePitch, const PALETTEENTRY* pSrcPalette, const D3DBOX* pSrcBox,
                                 DWORD Filter, D3DCOLOR ColorKey);
HRESULT D3DXLoadVolumeFromVolume(IDirect3DVolume9* pDestVolume, const PALETTEENTRY* pDestPalette,
                                 const D3DBOX* pDestBox, IDirect3DVolume9* pSrcVolume, const PALETTEENTRY* pSrcPalette,
                                 const D3DBOX* pSrcBox, DWORD Filter, D3DCOLOR ColorKey);

// ---- Mip-map filtering ----

// Rebuilds every level below SrcLevel (every face of a cube texture) from the one above it.
HRESULT D3DXFilterTexture(IDirect3DBaseTexture9* pBaseTexture, const PALETTEENTRY* pPalette, UINT SrcLevel,
                          DWORD Filter);

// ---- Textures from files ----

HRESULT D3DXCreateTextureFromFileA(IDirect3DDevice9* pDevice, LPCSTR pSrcFile, IDirect3DTexture9** ppTexture);
HRESULT D3DXCreateTextureFromFileExA(IDirect3DDevice9* pDevice, LPCSTR pSrcFile, UINT Width, UINT Height,
                                     UINT MipLevels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool, DWORD Filter,
                                     DWORD MipFilter, D3DCOLOR ColorKey, D3DXIMAGE_INFO* pSrcInfo,
                                     PALETTEENTRY* pPalette, IDirect3DTexture9** ppTexture);
HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice9* pDevice, const void* pSrcData, UINT SrcDataSize,
                                            UINT Width, UINT Height, UINT MipLevels, DWORD Usage, D3DFORMAT Format,
                                            D3DPOOL Pool, DWORD Filter, DWORD MipFilter, D3DCOLOR ColorKey,
                                            D3DXIMAGE_INFO* pSrcInfo, PALETTEENTRY* pPalette,
                                            IDirect3DTexture9** ppTexture);
