#include "TextureFromFile.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#include "ComPtr.h"
#include "DecodeImage.h"
#include "FormatCatalogue.h"
#include "MappedFile.h"
#include "TextureRequirements.h"

namespace rastro {

namespace {

constexpr DWORD kFilterTypeMask = 0xFFFF;
constexpr DWORD kDefaultFilter = D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER;
constexpr DWORD kDefaultMipFilter = D3DX_FILTER_BOX;
// Usage bits that only ask questions of the device; creation refuses them.
constexpr DWORD kCreationUsageMask = 0xFFE07FFF;
constexpr UINT kCubeFaces = 6;

using Palette = std::array<PALETTEENTRY, 256>;

UINT SizeFromImage(UINT requested, UINT imageSize) {
  if (requested == D3DX_DEFAULT_NONPOW2) return imageSize;
  if (requested == 0 || requested == D3DX_DEFAULT) {
    if (imageSize <= 1) return 1;
    return static_cast<UINT>(std::min<std::uint64_t>(std::bit_ceil(std::uint64_t{imageSize}), 0x80000000u));
  }
  return requested;
}

DWORD PaletteValue(const PALETTEENTRY& entry) {
  return DWORD{entry.peRed} | DWORD{entry.peGreen} << 8 | DWORD{entry.peBlue} << 16 | DWORD{entry.peFlags} << 24;
}

// A D3DCOLOR (alpha, red, green, blue from the top byte down) as a palette entry read as one
// 32-bit value (red in the low byte).
DWORD ColorKeyAsPaletteValue(D3DCOLOR key) {
  return (key & 0xFF00FF00) | ((key >> 16) & 0xFF) | ((key & 0xFF) << 16);
}

bool IsGreyRamp(const Palette& palette) {
  for (UINT i = 0; i < 256; ++i) {
    const PALETTEENTRY& e = palette[i];
    if (e.peRed != i || e.peGreen != i || e.peBlue != i || e.peFlags != 255) return false;
  }
  return true;
}

// The palette an R3G3B2 image would have: every index spelled out as its colour.
bool IsR3G3B2Ramp(const Palette& palette) {
  static constexpr BYTE kThreeBits[8] = {0, 36, 73, 109, 146, 182, 219, 255};
  static constexpr BYTE kTwoBits[4] = {0, 85, 170, 255};
  for (UINT k = 0; k < 256; ++k) {
    const PALETTEENTRY& e = palette[k];
    if (e.peRed != kThreeBits[k / 32] || e.peGreen != kThreeBits[(k / 4) % 8] || e.peBlue != kTwoBits[k % 4] ||
        e.peFlags != 255) {
      return false;
    }
  }
  return true;
}

// The texture being built, in its concrete kind.
struct TextureObjects {
  ComPtr<IDirect3DTexture9> plain;
  ComPtr<IDirect3DCubeTexture9> cube;
  ComPtr<IDirect3DVolumeTexture9> volume;

  IDirect3DBaseTexture9* Base() const {
    if (plain) return plain.Get();
    if (cube) return cube.Get();
    return volume.Get();
  }
};

struct Extent {
  UINT width, height, depth, levels;
};

HRESULT CreateTextureObjects(IDirect3DDevice9* device, D3DRESOURCETYPE type, const Extent& extent, DWORD usage,
                             D3DFORMAT format, D3DPOOL pool, TextureObjects& out) {
  switch (type) {
    case D3DRTYPE_VOLUMETEXTURE:
      return device->CreateVolumeTexture(extent.width, extent.height, extent.depth, extent.levels, usage, format, pool,
                                         out.volume.ReleaseAndGetAddressOf(), nullptr);
    case D3DRTYPE_CUBETEXTURE:
      return device->CreateCubeTexture(extent.width, extent.levels, usage, format, pool,
                                       out.cube.ReleaseAndGetAddressOf(), nullptr);
    default:
      return device->CreateTexture(extent.width, extent.height, extent.levels, usage, format, pool,
                                   out.plain.ReleaseAndGetAddressOf(), nullptr);
  }
}

struct LoadSettings {
  PALETTEENTRY* destinationPalette;
  const PALETTEENTRY* sourcePalette;
  D3DFORMAT sourceFormat;
  DWORD filter;
  D3DCOLOR colorKey;
};

// Loads level `level` of face `face` of `texture` from one decoded image level.
HRESULT LoadLevel(const TextureObjects& texture, UINT face, UINT level, const ImageData& image,
                  const LoadSettings& settings) {
  if (texture.volume) {
    ComPtr<IDirect3DVolume9> volume;
    HRESULT result = texture.volume->GetVolumeLevel(level, volume.ReleaseAndGetAddressOf());
    if (FAILED(result)) return result;
    return D3DXLoadVolumeFromMemory(volume.Get(), settings.destinationPalette, nullptr, image.Data,
                                    settings.sourceFormat, image.RowPitch, image.SlicePitch, settings.sourcePalette,
                                    &image.Box, settings.filter, settings.colorKey);
  }
  ComPtr<IDirect3DSurface9> surface;
  const HRESULT result =
      texture.cube ? texture.cube->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face), level,
                                                     surface.ReleaseAndGetAddressOf())
                   : texture.plain->GetSurfaceLevel(level, surface.ReleaseAndGetAddressOf());
  if (FAILED(result)) return result;
  const RECT sourceRect{static_cast<LONG>(image.Box.Left), static_cast<LONG>(image.Box.Top),
                        static_cast<LONG>(image.Box.Right), static_cast<LONG>(image.Box.Bottom)};
  return D3DXLoadSurfaceFromMemory(surface.Get(), settings.destinationPalette, nullptr, image.Data,
                                   settings.sourceFormat, image.RowPitch, settings.sourcePalette, &sourceRect,
                                   settings.filter, settings.colorKey);
}

}  // namespace

HRESULT BuildTextureFromFileData(const TextureRequest& request) {
  IDirect3DDevice9* device = request.Device;
  if (!device || !request.FileData || request.FileSize == 0 || !request.Texture) return D3DERR_INVALIDCALL;

  ImageData image;
  D3DXIMAGE_INFO privateInfo{};
  HRESULT result = DecodeImage(&image, request.FileData, request.FileSize,
                               request.SourceInfo ? request.SourceInfo : &privateInfo, TRUE);
  if (FAILED(result)) return result;
  D3DRESOURCETYPE type = request.ResourceType;
  if (static_cast<UINT>(type) == D3DX_DEFAULT) type = image.ResourceType;
  // "Let the loader choose" asks for no special usage, as the requirements check reads it too.
  const DWORD requestedUsage = request.Usage == D3DX_DEFAULT ? 0 : request.Usage;

  // The decoded levels of each face, largest first.
  std::vector<std::vector<const ImageData*>> faces;
  for (const ImageData* face = &image; face; face = face->NextFace.get()) {
    std::vector<const ImageData*> levels;
    for (const ImageData* level = face; level; level = level->NextMip.get()) levels.push_back(level);
    faces.push_back(std::move(levels));
  }
  if (type == D3DRTYPE_CUBETEXTURE && faces.size() != kCubeFaces) return E_FAIL;
  const UINT facesToFill = type == D3DRTYPE_CUBETEXTURE ? kCubeFaces : 1;
  const UINT imageLevels = static_cast<UINT>(faces[0].size());

  Extent extent{SizeFromImage(request.Width, image.Width), SizeFromImage(request.Height, image.Height),
                SizeFromImage(request.Depth, image.Depth), request.MipLevels};

  DWORD filter = request.Filter == D3DX_DEFAULT ? kDefaultFilter : request.Filter;
  DWORD mipFilter = request.MipFilter == D3DX_DEFAULT ? kDefaultMipFilter : request.MipFilter;
  if (type == D3DRTYPE_CUBETEXTURE) {
    // Cube faces meet at their edges: filters must not wrap around one face.
    filter |= D3DX_FILTER_MIRROR;
    mipFilter |= D3DX_FILTER_MIRROR;
  }
  const DWORD mipFilterType = mipFilter & kFilterTypeMask;
  const bool filterMips = (filter & kFilterTypeMask) == D3DX_FILTER_NONE || mipFilterType == D3DX_FILTER_POINT ||
                          mipFilterType == D3DX_FILTER_BOX;

  Palette palette;
  palette.fill(PALETTEENTRY{255, 255, 255, 255});
  D3DCOLOR colorKey = request.ColorKey;
  D3DFORMAT sourceFormat = image.Format;
  if (image.Palette) {
    std::memcpy(palette.data(), image.Palette, sizeof palette);
    const DWORD key = ColorKeyAsPaletteValue(colorKey);
    for (PALETTEENTRY& entry : palette) {
      if (PaletteValue(entry) == key) entry = PALETTEENTRY{0, 0, 0, 0};
    }
    colorKey = 0;  // the palette carries it now
    if (request.Format != D3DFMT_P8 && sourceFormat == D3DFMT_P8) {
      if (IsGreyRamp(palette)) {
        sourceFormat = D3DFMT_L8;
      } else if (IsR3G3B2Ramp(palette)) {
        sourceFormat = D3DFMT_R3G3B2;
      }
    }
  }

  D3DFORMAT format = request.Format;
  if (format == D3DFMT_UNKNOWN) {
    format = sourceFormat;
    const FormatInfo& info = LookupFormatInfo(sourceFormat);
    const bool keyable = info.Kind == FormatKind::Rgb || info.Kind == FormatKind::Palette ||
                         info.Kind == FormatKind::Luminance;
    if (colorKey != 0 && keyable && info.AlphaBits == 0) {
      // The colour key needs somewhere to put its transparency.
      FormatInfo withAlpha = info;
      withAlpha.Format = D3DFMT_UNKNOWN;
      withAlpha.AlphaBits = 1;
      const D3DFORMAT keyed = ChooseDeviceFormat(nullptr, requestedUsage, type, withAlpha);
      if (keyed != D3DFMT_UNKNOWN) format = keyed;
    }
    format = ToPublicFormat(format);
    if (request.Pool != D3DPOOL_SCRATCH && format == D3DFMT_R8G8B8) format = D3DFMT_X8R8G8B8;
  }

  if (request.Palette) std::memcpy(request.Palette, palette.data(), sizeof palette);
  if (!(request.Palette && image.Palette)) {
    // A palettized texture only makes sense when the caller takes its palette.
    if (format == D3DFMT_A8P8) {
      format = D3DFMT_A8R8G8B8;
    } else if (format == D3DFMT_P8) {
      const bool translucent =
          std::any_of(palette.begin(), palette.end(), [](const PALETTEENTRY& e) { return e.peFlags != 255; });
      format = translucent ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    }
  }

  // Default-pool textures cannot be locked; their levels are filled in system memory first.
  const bool staged = request.Pool == D3DPOOL_DEFAULT && !(requestedUsage & D3DUSAGE_DYNAMIC);

  result = ResolveTextureRequirements(device, &extent.width, &extent.height, &extent.depth, &extent.levels,
                                      requestedUsage, &format, request.Pool, type);
  if (FAILED(result)) return result;

  const DWORD usage = requestedUsage & kCreationUsageMask;
  TextureObjects final;
  result = CreateTextureObjects(device, type, extent, usage, format, request.Pool, final);
  if (FAILED(result)) return result;
  if (!final.Base()) return E_FAIL;
  TextureObjects staging;
  if (staged) {
    result = CreateTextureObjects(device, type, extent, 0, format, D3DPOOL_SYSTEMMEM, staging);
    if (FAILED(result)) return result;
    if (!staging.Base()) return E_FAIL;
  }
  const TextureObjects& filled = staged ? staging : final;

  const UINT textureLevels = filled.Base()->GetLevelCount();
  for (UINT face = 0; face < facesToFill; ++face) {
    const std::vector<const ImageData*>& levels = faces[face];
    for (UINT level = 0; level < textureLevels; ++level) {
      const bool fromImage = level < levels.size();
      if (!fromImage && filterMips) break;  // built by the mip filter below
      const LoadSettings settings{request.Palette, palette.data(), sourceFormat, filter, colorKey};
      result = LoadLevel(filled, face, level, fromImage ? *levels[level] : *levels.back(), settings);
      if (FAILED(result)) return result;
    }
  }
  if (filterMips && imageLevels < textureLevels) {
    result = D3DXFilterTexture(filled.Base(), palette.data(), imageLevels - 1, mipFilter);
    if (FAILED(result)) return result;
  }
  if (staged) {
    result = device->UpdateTexture(staging.Base(), final.Base());
    if (FAILED(result)) return result;
  }

  IDirect3DBaseTexture9* handedOut = final.Base();
  handedOut->AddRef();
  *request.Texture = handedOut;
  return D3D_OK;
}

}  // namespace rastro

using rastro::TextureRequest;

HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice9* pDevice, const void* pSrcData, UINT SrcDataSize,
                                            UINT Width, UINT Height, UINT MipLevels, DWORD Usage,
                                            D3DFORMAT Format, D3DPOOL Pool, DWORD Filter, DWORD MipFilter,
                                            D3DCOLOR ColorKey, D3DXIMAGE_INFO* pSrcInfo, PALETTEENTRY* pPalette,
                                            IDirect3DTexture9** ppTexture) {
  if (!ppTexture) return D3DERR_INVALIDCALL;
  IDirect3DBaseTexture9* texture = nullptr;
  TextureRequest request;
  request.Device = pDevice;
  request.FileData = pSrcData;
  request.FileSize = SrcDataSize;
  request.Width = Width;
  request.Height = Height;
  request.Depth = 1;
  request.MipLevels = MipLevels;
  request.Usage = Usage;
  request.Format = Format;
  request.Pool = Pool;
  request.Filter = Filter;
  request.MipFilter = MipFilter;
  request.ColorKey = ColorKey;
  request.SourceInfo = pSrcInfo;
  request.Palette = pPalette;
  request.ResourceType = D3DRTYPE_TEXTURE;
  request.Texture = &texture;
  const HRESULT result = rastro::BuildTextureFromFileData(request);
  // A plain texture was asked for, so a plain texture came back.
  if (SUCCEEDED(result)) *ppTexture = static_cast<IDirect3DTexture9*>(texture);
  return result;
}

HRESULT D3DXCreateTextureFromFileExA(IDirect3DDevice9* pDevice, LPCSTR pSrcFile, UINT Width, UINT Height,
                                     UINT MipLevels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool, DWORD Filter,
                                     DWORD MipFilter, D3DCOLOR ColorKey, D3DXIMAGE_INFO* pSrcInfo,
                                     PALETTEENTRY* pPalette, IDirect3DTexture9** ppTexture) {
  // The decoded image may point into the mapping, so it stays open until the texture is filled.
  rastro::MappedFile file;
  const HRESULT opened = file.Open(pSrcFile);
  if (FAILED(opened)) return opened;
  return D3DXCreateTextureFromFileInMemoryEx(pDevice, file.View(), file.Size(), Width, Height, MipLevels, Usage,
                                             Format, Pool, Filter, MipFilter, ColorKey, pSrcInfo, pPalette,
                                             ppTexture);
}

HRESULT D3DXCreateTextureFromFileA(IDirect3DDevice9* pDevice, LPCSTR pSrcFile, IDirect3DTexture9** ppTexture) {
  return D3DXCreateTextureFromFileExA(pDevice, pSrcFile, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN,
                                      D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, ppTexture);
}
