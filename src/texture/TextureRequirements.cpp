#include "TextureRequirements.h"

#include <algorithm>
#include <bit>
#include <cstdint>

#include "FormatCatalogue.h"
#include "d3dx9tex.h"

namespace rastro {

namespace {

// Usage bits a texture may carry: the creation bits and the query-only ones.
constexpr DWORD kRejectedUsage = 0xFFE039EC;

// Sizes never grow beyond this, so that rounding up cannot wrap around to zero.
constexpr std::uint64_t kLargestSize = 0x80000000u;

UINT NextPowerOfTwo(UINT value) {
  if (value <= 1) return 1;
  return static_cast<UINT>(std::min<std::uint64_t>(std::bit_ceil(std::uint64_t{value}), kLargestSize));
}

bool IsPowerOfTwo(UINT value) { return std::has_single_bit(value); }

UINT ClampTo(UINT value, std::uint64_t limit) { return static_cast<UINT>(std::min<std::uint64_t>(value, limit)); }

bool IsBlockCompressed(D3DFORMAT format) {
  return format == D3DFMT_DXT1 || format == D3DFMT_DXT2 || format == D3DFMT_DXT3 || format == D3DFMT_DXT4 ||
         format == D3DFMT_DXT5;
}

// floor(log2(value)) + 1; 0 for 0.
UINT SignificantBits(UINT value) { return static_cast<UINT>(std::bit_width(value)); }

}  // namespace

HRESULT ResolveTextureRequirements(IDirect3DDevice9* device, UINT* width, UINT* height, UINT* depth, UINT* mipLevels,
                                   DWORD usage, D3DFORMAT* format, D3DPOOL pool, D3DRESOURCETYPE resourceType) {
  if (!device) return D3DERR_INVALIDCALL;
  if (usage == D3DX_DEFAULT) usage = 0;
  if (usage & kRejectedUsage) return D3DERR_INVALIDCALL;
  if (static_cast<DWORD>(pool) > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
  const bool scratch = pool == D3DPOOL_SCRATCH;
  const bool volume = resourceType == D3DRTYPE_VOLUMETEXTURE;
  const bool cube = resourceType == D3DRTYPE_CUBETEXTURE;

  D3DFORMAT chosenFormat = format ? *format : D3DFMT_UNKNOWN;
  if (!scratch) {
    chosenFormat = ChooseDeviceFormat(device, usage, resourceType, LookupFormatInfo(chosenFormat));
    if (chosenFormat == D3DFMT_UNKNOWN) return D3DERR_NOTAVAILABLE;
  } else if (chosenFormat == D3DFMT_UNKNOWN) {
    chosenFormat = D3DFMT_A8R8G8B8;
  }

  UINT w = width ? *width : D3DX_DEFAULT;
  UINT h = height ? *height : D3DX_DEFAULT;
  if (w == D3DX_DEFAULT && h == D3DX_DEFAULT) {
    w = h = 256;
  } else if (w == D3DX_DEFAULT) {
    w = h;
  } else if (h == D3DX_DEFAULT) {
    h = w;
  }
  w = std::max(w, 1u);
  h = std::max(h, 1u);
  if (cube) w = h = std::max(w, h);
  UINT d = depth ? *depth : D3DX_DEFAULT;
  if (d == D3DX_DEFAULT || d == 0) d = 1;

  const UINT requestedLevels = mipLevels ? *mipLevels : D3DX_DEFAULT;
  D3DCAPS9 caps{};
  if (!scratch) {
    const HRESULT capsResult = device->GetDeviceCaps(&caps);
    if (FAILED(capsResult)) return capsResult;
    if (volume) {
      d = ClampTo(d, caps.MaxVolumeExtent);
      w = ClampTo(w, caps.MaxVolumeExtent);
      h = ClampTo(h, caps.MaxVolumeExtent);
    } else {
      w = ClampTo(w, caps.MaxTextureWidth);
      h = ClampTo(h, caps.MaxTextureHeight);
      if (!cube) {
        const std::uint64_t aspect = (caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) ? 1 : caps.MaxTextureAspectRatio;
        if (aspect != 0) {
          w = ClampTo(w, std::uint64_t{h} * aspect);
          h = ClampTo(h, std::uint64_t{w} * aspect);
        }
      }
    }
    DWORD powerOfTwoCap = volume ? D3DPTEXTURECAPS_VOLUMEMAP_POW2
                          : cube ? D3DPTEXTURECAPS_CUBEMAP_POW2
                                 : D3DPTEXTURECAPS_POW2;
    // A single-level texture may have any size on devices with conditional support.
    if (requestedLevels == 1 && (caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL)) powerOfTwoCap = 0;
    if (caps.TextureCaps & powerOfTwoCap) {
      w = NextPowerOfTwo(w);
      h = NextPowerOfTwo(h);
      d = NextPowerOfTwo(d);
    }
  }

  if (IsBlockCompressed(chosenFormat)) {
    // Whole 4 x 4 blocks only.
    w = ClampTo((std::uint64_t{w} + 3) & ~std::uint64_t{3}, 0xFFFFFFFC);
    h = ClampTo((std::uint64_t{h} + 3) & ~std::uint64_t{3}, 0xFFFFFFFC);
  }

  UINT levels = 0;
  const DWORD mipCap = volume ? D3DPTEXTURECAPS_MIPVOLUMEMAP
                       : cube ? D3DPTEXTURECAPS_MIPCUBEMAP
                              : D3DPTEXTURECAPS_MIPMAP;
  const bool unevenSizes = !IsPowerOfTwo(w) || !IsPowerOfTwo(h) || !IsPowerOfTwo(d);
  if (!scratch &&
      (!(caps.TextureCaps & mipCap) || ((caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) && unevenSizes))) {
    levels = 1;
  } else {
    UINT largest = std::max(w, h);
    if (volume) largest = std::max(largest, d);
    const UINT fullChain = SignificantBits(largest);
    levels = (requestedLevels == 0 || requestedLevels > fullChain) ? fullChain : requestedLevels;
    // The device builds the chain itself; creation asks for 0 levels then.
    if (levels != 1 && (usage & D3DUSAGE_AUTOGENMIPMAP)) levels = 0;
  }

  if (width) *width = w;
  if (height) *height = h;
  if (depth) *depth = d;
  if (mipLevels) *mipLevels = levels;
  if (format) *format = chosenFormat;
  return D3D_OK;
}

}  // namespace rastro
