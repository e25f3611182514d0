// The texture loader's front door: an image file in memory becomes a texture, cube texture or
// volume texture of the size, level count and format the caller and the device agree on, with
// every level filled.
#pragma once

#include "DecodeImage.h"
#include "d3d9.h"
#include "d3dx9tex.h"

namespace rastro {

// What a caller asks of the pipeline. Sizes and level counts take D3DX_DEFAULT (or 0) for
// "from the image"; Width, Height and Depth also take D3DX_DEFAULT_NONPOW2 for "exactly the
// image's size".
struct TextureRequest {
  IDirect3DDevice9* Device = nullptr;
  const void* FileData = nullptr;
  UINT FileSize = 0;
  UINT Width = D3DX_DEFAULT;
  UINT Height = D3DX_DEFAULT;
  UINT Depth = 1;
  UINT MipLevels = D3DX_DEFAULT;
  DWORD Usage = 0;
  D3DFORMAT Format = D3DFMT_UNKNOWN;  // D3DFMT_UNKNOWN: from the image
  D3DPOOL Pool = D3DPOOL_MANAGED;
  DWORD Filter = D3DX_DEFAULT;           // for the levels loaded from the image
  DWORD MipFilter = D3DX_DEFAULT;        // for the levels built from them
  D3DCOLOR ColorKey = 0;                 // made transparent black; 0 for none
  D3DXIMAGE_INFO* SourceInfo = nullptr;  // receives what the file holds
  PALETTEENTRY* Palette = nullptr;       // 256 entries; asks for a palettized texture where it fits
  // D3DRTYPE_TEXTURE, D3DRTYPE_VOLUMETEXTURE, D3DRTYPE_CUBETEXTURE, or D3DX_DEFAULT for the
  // file's own kind.
  D3DRESOURCETYPE ResourceType = D3DRTYPE_TEXTURE;
  IDirect3DBaseTexture9** Texture = nullptr;  // receives the texture, the caller's reference
  // Block-compressed textures whose smaller levels the mip filter builds: filter them from an
  // uncompressed copy of the image and compress each, rather than from the compressed level
  // above, so that compression errors do not add up level by level.
  bool MipsFromUncompressedImage = false;
  DecodeFailure* Failure = nullptr;  // receives why the file did not decode, if it did not
};

// Decodes the file, settles size, levels and format, creates the texture and fills every
// level (through a system-memory copy for the default pool). On failure nothing is left
// behind and *Texture is untouched.
HRESULT BuildTextureFromFileData(const TextureRequest& request);

}  // namespace rastro
