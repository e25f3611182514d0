#include "TextureFromFile.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "BlitRegion.h"
#include "BoxFastPath.h"
#include "ComPtr.h"
#include "DecodeImage.h"
#include "FormatCatalogue.h"
#include "LockGeometry.h"
#include "MappedFile.h"
#include "PixelRegion.h"
#include "StreamingBoxChain.h"
#include "SurfaceLock.h"
#include "TextureRequirements.h"
#include "decoders/ImageDecoder.h"

namespace rastro {

namespace {

constexpr DWORD kDefaultFilter = D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER;
constexpr DWORD kDefaultMipFilter = D3DX_FILTER_BOX;
// Usage bits that only ask questions of the device; creation refuses them.
constexpr DWORD kCreationUsageMask = 0xFFE07FFF;
constexpr UINT kCubeFaces = 6;
// More levels than any texture can have (one per bit of a 32-bit size).
constexpr UINT kMaxLevels = 33;

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
DWORD ColorKeyAsPaletteValue(D3DCOLOR key) { return (key & 0xFF00FF00) | ((key >> 16) & 0xFF) | ((key & 0xFF) << 16); }

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
  const HRESULT result = texture.cube ? texture.cube->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face), level,
                                                                        surface.ReleaseAndGetAddressOf())
                                      : texture.plain->GetSurfaceLevel(level, surface.ReleaseAndGetAddressOf());
  if (FAILED(result)) return result;
  const RECT sourceRect{static_cast<LONG>(image.Box.Left), static_cast<LONG>(image.Box.Top),
                        static_cast<LONG>(image.Box.Right), static_cast<LONG>(image.Box.Bottom)};
  return D3DXLoadSurfaceFromMemory(surface.Get(), settings.destinationPalette, nullptr, image.Data,
                                   settings.sourceFormat, image.RowPitch, settings.sourcePalette, &sourceRect,
                                   settings.filter, settings.colorKey);
}

// The decoded levels of each face, largest first.
using FaceLevels = std::vector<std::vector<const ImageData*>>;

FaceLevels CollectLevels(const ImageData& image) {
  FaceLevels faces;
  for (const ImageData* face = &image; face; face = face->NextFace.get()) {
    std::vector<const ImageData*> levels;
    for (const ImageData* level = face; level; level = level->NextMip.get()) levels.push_back(level);
    faces.push_back(std::move(levels));
  }
  return faces;
}

// Everything the request and the image's description settle: what to create and how to fill it.
struct LoadPlan {
  D3DRESOURCETYPE type = D3DRTYPE_TEXTURE;
  UINT facesToFill = 1;
  Extent extent{};
  DWORD filter = kDefaultFilter;
  DWORD mipFilter = kDefaultMipFilter;
  bool filterMips = false;  // missing levels come from the mip filter, not from the image
  Palette palette{};
  D3DCOLOR colorKey = 0;
  D3DFORMAT sourceFormat = D3DFMT_UNKNOWN;
  D3DFORMAT format = D3DFMT_UNKNOWN;
  DWORD requestedUsage = 0;
  bool staged = false;
};

// Works out the plan from the image's header fields, palette and face count alone. Only fails
// (E_FAIL) for a cube request on a file without six faces.
HRESULT PlanLoad(const TextureRequest& request, const ImageData& image, std::size_t faceCount, LoadPlan& plan) {
  plan.type = request.ResourceType;
  if (static_cast<UINT>(plan.type) == D3DX_DEFAULT) plan.type = image.ResourceType;
  // "Let the loader choose" asks for no special usage, as the requirements check reads it too.
  plan.requestedUsage = request.Usage == D3DX_DEFAULT ? 0 : request.Usage;
  if (plan.type == D3DRTYPE_CUBETEXTURE && faceCount != kCubeFaces) return E_FAIL;
  plan.facesToFill = plan.type == D3DRTYPE_CUBETEXTURE ? kCubeFaces : 1;

  plan.extent = {SizeFromImage(request.Width, image.Width), SizeFromImage(request.Height, image.Height),
                 SizeFromImage(request.Depth, image.Depth), request.MipLevels};

  plan.filter = request.Filter == D3DX_DEFAULT ? kDefaultFilter : request.Filter;
  plan.mipFilter = request.MipFilter == D3DX_DEFAULT ? kDefaultMipFilter : request.MipFilter;
  if (plan.type == D3DRTYPE_CUBETEXTURE) {
    // Cube faces meet at their edges: filters must not wrap around one face.
    plan.filter |= D3DX_FILTER_MIRROR;
    plan.mipFilter |= D3DX_FILTER_MIRROR;
  }
  const DWORD mipFilterType = plan.mipFilter & kFilterTypeMask;
  plan.filterMips = (plan.filter & kFilterTypeMask) == D3DX_FILTER_NONE || mipFilterType == D3DX_FILTER_POINT ||
                    mipFilterType == D3DX_FILTER_BOX;

  Palette& palette = plan.palette;
  palette.fill(PALETTEENTRY{255, 255, 255, 255});
  plan.colorKey = request.ColorKey;
  plan.sourceFormat = image.Format;
  if (image.Palette) {
    std::memcpy(palette.data(), image.Palette, sizeof palette);
    const DWORD key = ColorKeyAsPaletteValue(plan.colorKey);
    for (PALETTEENTRY& entry : palette) {
      if (PaletteValue(entry) == key) entry = PALETTEENTRY{0, 0, 0, 0};
    }
    plan.colorKey = 0;  // the palette carries it now
    if (request.Format != D3DFMT_P8 && plan.sourceFormat == D3DFMT_P8) {
      if (IsGreyRamp(palette)) {
        plan.sourceFormat = D3DFMT_L8;
      } else if (IsR3G3B2Ramp(palette)) {
        plan.sourceFormat = D3DFMT_R3G3B2;
      }
    }
  }

  D3DFORMAT format = request.Format;
  if (format == D3DFMT_UNKNOWN) {
    format = plan.sourceFormat;
    const FormatInfo& info = LookupFormatInfo(plan.sourceFormat);
    const bool keyable =
        info.Kind == FormatKind::Rgb || info.Kind == FormatKind::Palette || info.Kind == FormatKind::Luminance;
    if (plan.colorKey != 0 && keyable && info.AlphaBits == 0) {
      // The colour key needs somewhere to put its transparency.
      FormatInfo withAlpha = info;
      withAlpha.Format = D3DFMT_UNKNOWN;
      withAlpha.AlphaBits = 1;
      const D3DFORMAT keyed = ChooseDeviceFormat(nullptr, plan.requestedUsage, plan.type, withAlpha);
      if (keyed != D3DFMT_UNKNOWN) format = keyed;
    }
    format = ToPublicFormat(format);
    if (request.Pool != D3DPOOL_SCRATCH && format == D3DFMT_R8G8B8) format = D3DFMT_X8R8G8B8;
  }
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
  plan.format = format;

  // Default-pool textures cannot be locked; their levels are filled in system memory first.
  plan.staged = request.Pool == D3DPOOL_DEFAULT && !(plan.requestedUsage & D3DUSAGE_DYNAMIC);
  return S_OK;
}

void HandOutPalette(const TextureRequest& request, const LoadPlan& plan) {
  if (request.Palette) std::memcpy(request.Palette, plan.palette.data(), sizeof plan.palette);
}

HRESULT ResolvePlan(const TextureRequest& request, LoadPlan& plan) {
  return ResolveTextureRequirements(request.Device, &plan.extent.width, &plan.extent.height, &plan.extent.depth,
                                    &plan.extent.levels, plan.requestedUsage, &plan.format, request.Pool, plan.type);
}

// The texture handed out and, for the default pool, the system-memory texture filled first.
struct Textures {
  TextureObjects final;
  TextureObjects staging;
  bool staged = false;

  const TextureObjects& Filled() const { return staged ? staging : final; }
};

HRESULT CreateTextures(const TextureRequest& request, const LoadPlan& plan, Textures& textures) {
  const DWORD usage = plan.requestedUsage & kCreationUsageMask;
  HRESULT result =
      CreateTextureObjects(request.Device, plan.type, plan.extent, usage, plan.format, request.Pool, textures.final);
  if (FAILED(result)) return result;
  if (!textures.final.Base()) return E_FAIL;
  textures.staged = plan.staged;
  if (plan.staged) {
    result = CreateTextureObjects(request.Device, plan.type, plan.extent, 0, plan.format, D3DPOOL_SYSTEMMEM,
                                  textures.staging);
    if (FAILED(result)) return result;
    if (!textures.staging.Base()) return E_FAIL;
  }
  return S_OK;
}

// Loads every level that comes from the image, from `firstLevel` on in the first face (the
// levels above it already hold their pixels) and from level 0 in the others.
HRESULT FillLevels(const TextureRequest& request, const LoadPlan& plan, const FaceLevels& faces,
                   const TextureObjects& filled, UINT firstLevel) {
  const UINT textureLevels = filled.Base()->GetLevelCount();
  for (UINT face = 0; face < plan.facesToFill; ++face) {
    const std::vector<const ImageData*>& levels = faces[face];
    for (UINT level = face == 0 ? firstLevel : 0; level < textureLevels; ++level) {
      const bool fromImage = level < levels.size();
      if (!fromImage && plan.filterMips) break;  // built by the mip filter below
      const LoadSettings settings{request.Palette, plan.palette.data(), plan.sourceFormat, plan.filter, plan.colorKey};
      const HRESULT result = LoadLevel(filled, face, level, fromImage ? *levels[level] : *levels.back(), settings);
      if (FAILED(result)) return result;
    }
  }
  return S_OK;
}

// The levels below `mipSourceLevel` of a block-compressed texture, filtered in an A8R8G8B8
// copy loaded from the image as `filled` was, then compressed level by level.
HRESULT FilterMipsFromImage(const TextureRequest& request, const LoadPlan& plan, const FaceLevels& faces,
                            const TextureObjects& filled, UINT mipSourceLevel) {
  LoadPlan uncompressed = plan;
  uncompressed.format = D3DFMT_A8R8G8B8;
  TextureObjects copy;
  HRESULT result =
      CreateTextureObjects(request.Device, plan.type, plan.extent, 0, uncompressed.format, D3DPOOL_SYSTEMMEM, copy);
  if (SUCCEEDED(result) && !copy.Base()) result = E_FAIL;
  if (SUCCEEDED(result)) result = FillLevels(request, uncompressed, faces, copy, 0);
  if (SUCCEEDED(result)) result = D3DXFilterTexture(copy.Base(), plan.palette.data(), mipSourceLevel, plan.mipFilter);
  const UINT levels = filled.Base()->GetLevelCount();
  for (UINT face = 0; face < plan.facesToFill && SUCCEEDED(result); ++face) {
    for (UINT level = mipSourceLevel + 1; level < levels && SUCCEEDED(result); ++level) {
      if (filled.volume) {
        ComPtr<IDirect3DVolume9> from, to;
        result = copy.volume->GetVolumeLevel(level, from.ReleaseAndGetAddressOf());
        if (SUCCEEDED(result)) result = filled.volume->GetVolumeLevel(level, to.ReleaseAndGetAddressOf());
        if (SUCCEEDED(result)) {
          result =
              D3DXLoadVolumeFromVolume(to.Get(), nullptr, nullptr, from.Get(), nullptr, nullptr, D3DX_FILTER_NONE, 0);
        }
        continue;
      }
      ComPtr<IDirect3DSurface9> from, to;
      const auto cubeFace = static_cast<D3DCUBEMAP_FACES>(face);
      result = copy.cube ? copy.cube->GetCubeMapSurface(cubeFace, level, from.ReleaseAndGetAddressOf())
                         : copy.plain->GetSurfaceLevel(level, from.ReleaseAndGetAddressOf());
      if (SUCCEEDED(result)) {
        result = filled.cube ? filled.cube->GetCubeMapSurface(cubeFace, level, to.ReleaseAndGetAddressOf())
                             : filled.plain->GetSurfaceLevel(level, to.ReleaseAndGetAddressOf());
      }
      if (SUCCEEDED(result)) {
        result =
            D3DXLoadSurfaceFromSurface(to.Get(), nullptr, nullptr, from.Get(), nullptr, nullptr, D3DX_FILTER_NONE, 0);
      }
    }
  }
  return result;
}

// Builds the levels below `mipSourceLevel` (the last level that holds its pixels), moves a
// staged texture to the device and hands the texture out. `faces` are the image's levels, or
// null when the texture was filled another way.
HRESULT FinishTexture(const TextureRequest& request, const LoadPlan& plan, UINT mipSourceLevel,
                      const Textures& textures, const FaceLevels* faces = nullptr) {
  const TextureObjects& filled = textures.Filled();
  if (plan.filterMips && mipSourceLevel + 1 < filled.Base()->GetLevelCount()) {
    const bool fromImage = request.MipsFromUncompressedImage && faces && IsBlockFormat(plan.format);
    const HRESULT result = fromImage
                               ? FilterMipsFromImage(request, plan, *faces, filled, mipSourceLevel)
                               : D3DXFilterTexture(filled.Base(), plan.palette.data(), mipSourceLevel, plan.mipFilter);
    if (FAILED(result)) return result;
  }
  if (textures.staged) {
    const HRESULT result = request.Device->UpdateTexture(textures.staging.Base(), textures.final.Base());
    if (FAILED(result)) return result;
  }
  IDirect3DBaseTexture9* handedOut = textures.final.Base();
  handedOut->AddRef();
  *request.Texture = handedOut;
  return D3D_OK;
}

// Decode, plan, create, fill: every step in order, the image decoded into memory of its own.
HRESULT BuildFromDecodedImage(const TextureRequest& request) {
  ImageData image;
  D3DXIMAGE_INFO privateInfo{};
  HRESULT result = DecodeImage(&image, request.FileData, request.FileSize,
                               request.SourceInfo ? request.SourceInfo : &privateInfo, TRUE, nullptr, request.Failure);
  if (FAILED(result)) return result;
  const FaceLevels faces = CollectLevels(image);
  LoadPlan plan;
  result = PlanLoad(request, image, faces.size(), plan);
  if (FAILED(result)) return result;
  HandOutPalette(request, plan);
  result = ResolvePlan(request, plan);
  if (FAILED(result)) return result;
  Textures textures;
  result = CreateTextures(request, plan, textures);
  if (FAILED(result)) return result;
  result = FillLevels(request, plan, faces, textures.Filled(), 0);
  if (FAILED(result)) return result;
  return FinishTexture(request, plan, static_cast<UINT>(faces[0].size()) - 1, textures, &faces);
}

// Whether loading an image level of `imageFormat` into a top level planned this way copies its
// bytes unchanged: same format and size (checked by the caller), no colour key, a filter word
// the loading call accepts, and the same encoding on both sides.
bool LoadCopiesBytes(const LoadPlan& plan, D3DFORMAT imageFormat) {
  const DWORD filterType = plan.filter & kFilterTypeMask;
  const bool srgbIn = (plan.filter & D3DX_FILTER_SRGB_IN) != 0;
  const bool srgbOut = (plan.filter & D3DX_FILTER_SRGB_OUT) != 0;
  return plan.type == D3DRTYPE_TEXTURE && plan.colorKey == 0 && filterType >= D3DX_FILTER_NONE &&
         filterType <= D3DX_FILTER_BOX && plan.filter < kFirstUndefinedFilterBit && srgbIn == srgbOut &&
         plan.sourceFormat == imageFormat && LookupFormatInfo(imageFormat).Kind != FormatKind::Palette;
}

// Whether the mip filter would build each level below the top with the integer box halving
// (D3DXFilterTexture chaining box halvings of one format, without dithering or sRGB).
HalvingRoutine StreamedHalving(const LoadPlan& plan) {
  const DWORD filter = plan.mipFilter;
  if (!plan.filterMips || (filter & kFilterTypeMask) != D3DX_FILTER_BOX || (filter & D3DX_FILTER_DITHER) ||
      (filter & D3DX_FILTER_SRGB_OUT) || filter >= kFirstUndefinedFilterBit) {
    return nullptr;
  }
  return IntegerHalvingRoutine(plan.format);
}

// Locks the levels below the top that the integer halving builds (each made from a level of at
// least 2 x 2), as the mip filter locks the level it writes, and sets up `chain` over them.
// Returns the last level the chain builds; 0, and no chain, when there is none.
UINT LockStreamedMipLevels(const LoadPlan& plan, IDirect3DTexture9& texture, const PixelTarget& top,
                           std::array<SurfaceLock, kMaxLevels>& locks, std::optional<StreamingBoxChain>& chain) {
  const HalvingRoutine routine = StreamedHalving(plan);
  if (!routine) return 0;
  std::vector<StreamingBoxChain::Level> levels{{top.Data, top.RowPitch, top.Width, top.Height}};
  const UINT textureLevels = std::min<UINT>(texture.GetLevelCount(), kMaxLevels);
  for (UINT level = 1; level < textureLevels; ++level) {
    const StreamingBoxChain::Level& above = levels.back();
    if (above.Width < 2 || above.Height < 2) break;
    ComPtr<IDirect3DSurface9> surface;
    PixelRegion region;
    if (FAILED(texture.GetSurfaceLevel(level, surface.ReleaseAndGetAddressOf())) ||
        FAILED(locks[level].Lock(region, surface.Get(), plan.palette.data(), nullptr, 0, 0))) {
      break;
    }
    const UINT width = region.Region.Right, height = region.Region.Bottom;
    if (region.Format != top.Format || region.Region.Left != 0 || region.Region.Top != 0 || width != above.Width / 2 ||
        height != above.Height / 2) {
      locks[level].Unlock();
      break;
    }
    levels.push_back({static_cast<BYTE*>(region.Data), region.RowPitch, width, height});
  }
  if (levels.size() < 2) return 0;
  const UINT last = static_cast<UINT>(levels.size() - 1);
  chain.emplace(routine, std::move(levels));
  return last;
}

// The same pipeline for a file whose single level would be copied byte for byte into the top
// level of the texture: the texture is planned from the file's header and created first, and
// the decoder writes the pixels straight into that level, which saves a buffer the size of the
// image (and the fresh memory it takes) and the copy out of it. Every result is the one the
// decode-first order gives: a file that fails to decode fails with the decoder's error and the
// caller's palette and information untouched. S_FALSE when the file does not qualify, or when
// a step before the decode fails (the decode-first order then reports whichever failure comes
// first); nothing is handed out then.
HRESULT BuildDecodingInPlace(const TextureRequest& request) {
  // Other files are not worth reading twice.
  if (!SniffJpeg(FileBytes(static_cast<const BYTE*>(request.FileData), request.FileSize))) return S_FALSE;
  ImageData header;
  D3DXIMAGE_INFO headerInfo{};
  // Bytes whose header does not decode do not decode with their pixels either.
  const HRESULT headerRead =
      DecodeImage(&header, request.FileData, request.FileSize, &headerInfo, FALSE, nullptr, request.Failure);
  if (FAILED(headerRead)) return headerRead;
  // JPEG is the decoder that takes a target: its images are one level with no palette.
  if (header.FileFormat != D3DXIFF_JPG || header.NextMip || header.NextFace || header.Palette) return S_FALSE;
  // An image beyond the cap is refused by the decode before any texture is made for it.
  if (!ImageBytesWithinCap(header.Width, header.Height, header.RowPitch)) return S_FALSE;
  LoadPlan plan;
  if (FAILED(PlanLoad(request, header, 1, plan)) || !LoadCopiesBytes(plan, header.Format)) return S_FALSE;
  if (FAILED(ResolvePlan(request, plan))) return S_FALSE;
  // Levels below the top must come from the mip filter, which reads the texture, not the image.
  if (plan.format != header.Format || plan.extent.width != header.Width || plan.extent.height != header.Height ||
      !(plan.filterMips || plan.extent.levels == 1)) {
    return S_FALSE;
  }
  Textures textures;
  if (FAILED(CreateTextures(request, plan, textures))) return S_FALSE;
  const TextureObjects& filled = textures.Filled();
  if (!filled.plain || !(plan.filterMips || filled.plain->GetLevelCount() == 1)) return S_FALSE;

  ImageData image;
  UINT mipSourceLevel = 0;
  {
    // Locked as the loading call locks the level it fills.
    ComPtr<IDirect3DSurface9> top;
    if (FAILED(filled.plain->GetSurfaceLevel(0, top.ReleaseAndGetAddressOf()))) return S_FALSE;
    SurfaceLock lock;
    PixelRegion region;
    if (FAILED(lock.Lock(region, top.Get(), request.Palette, nullptr, 0, 0))) return S_FALSE;
    if (region.Region.Left != 0 || region.Region.Top != 0) return S_FALSE;
    PixelTarget target{static_cast<BYTE*>(region.Data), region.RowPitch, region.Format, region.Region.Right,
                       region.Region.Bottom};
    // The mip filter's halvings, done row by row as the decoder delivers the rows.
    std::array<SurfaceLock, kMaxLevels> mipLocks;
    std::optional<StreamingBoxChain> chain;
    const UINT streamed = LockStreamedMipLevels(plan, *filled.plain, target, mipLocks, chain);
    if (chain) {
      target.RowsDone = [](void* context, UINT rows) {
        static_cast<StreamingBoxChain*>(context)->FirstLevelRowsDone(rows);
      };
      target.Context = &*chain;
    }
    D3DXIMAGE_INFO privateInfo{};
    const HRESULT decoded =
        DecodeImage(&image, request.FileData, request.FileSize, request.SourceInfo ? request.SourceInfo : &privateInfo,
                    TRUE, &target, request.Failure);
    if (FAILED(decoded)) return decoded;
    if (image.Data != target.Data || image.FileFormat != header.FileFormat || image.Format != header.Format ||
        image.Width != header.Width || image.Height != header.Height || image.NextMip || image.NextFace ||
        image.Palette) {
      return S_FALSE;
    }
    // Should the rows not all have come, the mip filter builds every level again from the top.
    if (chain && chain->Complete()) mipSourceLevel = streamed;
  }
  HandOutPalette(request, plan);
  const HRESULT result = FillLevels(request, plan, CollectLevels(image), filled, 1);
  if (FAILED(result)) return result;
  return FinishTexture(request, plan, mipSourceLevel, textures);
}

}  // namespace

HRESULT BuildTextureFromFileData(const TextureRequest& request) {
  if (!request.Device || !request.FileData || request.FileSize == 0 || !request.Texture) return D3DERR_INVALIDCALL;
  const HRESULT inPlace = BuildDecodingInPlace(request);
  if (inPlace != S_FALSE) return inPlace;
  return BuildFromDecodedImage(request);
}

}  // namespace rastro

using rastro::TextureRequest;

HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice9* pDevice, const void* pSrcData, UINT SrcDataSize,
                                            UINT Width, UINT Height, UINT MipLevels, DWORD Usage, D3DFORMAT Format,
                                            D3DPOOL Pool, DWORD Filter, DWORD MipFilter, D3DCOLOR ColorKey,
                                            D3DXIMAGE_INFO* pSrcInfo, PALETTEENTRY* pPalette,
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
  return D3DXCreateTextureFromFileInMemoryEx(pDevice, file.View(), file.Size(), Width, Height, MipLevels, Usage, Format,
                                             Pool, Filter, MipFilter, ColorKey, pSrcInfo, pPalette, ppTexture);
}

HRESULT D3DXCreateTextureFromFileA(IDirect3DDevice9* pDevice, LPCSTR pSrcFile, IDirect3DTexture9** ppTexture) {
  return D3DXCreateTextureFromFileExA(pDevice, pSrcFile, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN,
                                      D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, ppTexture);
}
