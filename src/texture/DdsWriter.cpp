#include "DdsWriter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "ComPtr.h"
#include "FormatCatalogue.h"

namespace rastro {

namespace {

constexpr DWORD kMagic = 0x20534444;  // "DDS "
constexpr DWORD kHeaderSize = 124;
constexpr DWORD kPixelFormatSize = 32;
constexpr DWORD kPaletteBytes = 256 * 4;

// Header flags.
constexpr DWORD kHasCaps = 0x1, kHasHeight = 0x2, kHasWidth = 0x4, kHasPitch = 0x8, kHasPixelFormat = 0x1000,
                kHasMipCount = 0x20000, kHasLinearSize = 0x80000, kHasDepth = 0x800000;
// Pixel-format flags.
constexpr DWORD kFourCc = 0x4;
// Capabilities.
constexpr DWORD kCapsComplex = 0x8, kCapsTexture = 0x1000, kCapsMipMap = 0x400000;
constexpr DWORD kCaps2CubeMap = 0x200, kCaps2AllFaces = 0xFC00, kCaps2Volume = 0x200000;

struct PixelFormatRow {
  D3DFORMAT format;
  DWORD flags;
  DWORD fourCc;
  DWORD bits;
  DWORD red, green, blue, alpha;  // for bump formats U, V, W (or L), Q
};

// How each format is described, the same table the DDS decoder matches against; formats that
// masks cannot describe are named by their own value as a FourCC. The 10-bit colour and bump
// rows carry red and blue masks the way files written by the platform's tools always have,
// so that those files and ours read back alike.
constexpr PixelFormatRow kPixelFormats[] = {
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
    {D3DFMT_UYVY, kFourCc, D3DFMT_UYVY, 0, 0, 0, 0, 0},
    {D3DFMT_R8G8_B8G8, kFourCc, D3DFMT_R8G8_B8G8, 0, 0, 0, 0, 0},
    {D3DFMT_YUY2, kFourCc, D3DFMT_YUY2, 0, 0, 0, 0, 0},
    {D3DFMT_G8R8_G8B8, kFourCc, D3DFMT_G8R8_G8B8, 0, 0, 0, 0, 0},
    {D3DFMT_DXT1, kFourCc, D3DFMT_DXT1, 0, 0, 0, 0, 0},
    {D3DFMT_DXT2, kFourCc, D3DFMT_DXT2, 0, 0, 0, 0, 0},
    {D3DFMT_DXT3, kFourCc, D3DFMT_DXT3, 0, 0, 0, 0, 0},
    {D3DFMT_DXT4, kFourCc, D3DFMT_DXT4, 0, 0, 0, 0, 0},
    {D3DFMT_DXT5, kFourCc, D3DFMT_DXT5, 0, 0, 0, 0, 0},
    {D3DFMT_D16_LOCKABLE, 0x400, 0, 16, 0, 0xFFFF, 0, 0},
    {D3DFMT_D32F_LOCKABLE, kFourCc, D3DFMT_D32F_LOCKABLE, 0, 0, 0, 0, 0},
    {D3DFMT_A16B16G16R16, kFourCc, D3DFMT_A16B16G16R16, 0, 0, 0, 0, 0},
    {D3DFMT_Q16W16V16U16, kFourCc, D3DFMT_Q16W16V16U16, 0, 0, 0, 0, 0},
    {D3DFMT_R16F, kFourCc, D3DFMT_R16F, 0, 0, 0, 0, 0},
    {D3DFMT_G16R16F, kFourCc, D3DFMT_G16R16F, 0, 0, 0, 0, 0},
    {D3DFMT_A16B16G16R16F, kFourCc, D3DFMT_A16B16G16R16F, 0, 0, 0, 0, 0},
    {D3DFMT_R32F, kFourCc, D3DFMT_R32F, 0, 0, 0, 0, 0},
    {D3DFMT_G32R32F, kFourCc, D3DFMT_G32R32F, 0, 0, 0, 0, 0},
    {D3DFMT_A32B32G32R32F, kFourCc, D3DFMT_A32B32G32R32F, 0, 0, 0, 0, 0},
    {D3DFMT_CxV8U8, kFourCc, D3DFMT_CxV8U8, 0, 0, 0, 0, 0},
};

const PixelFormatRow* FindPixelFormat(D3DFORMAT format) {
  for (const PixelFormatRow& row : kPixelFormats) {
    if (row.format == format) return &row;
  }
  return nullptr;
}

bool IsPairFormat(D3DFORMAT format) {
  return format == D3DFMT_UYVY || format == D3DFMT_YUY2 || format == D3DFMT_R8G8_B8G8 ||
         format == D3DFMT_G8R8_G8B8;
}

// The bytes of one stored row (of 4 x 4 blocks for DXT formats) and the rows of a level, as
// the file type lays them out: tightly, without padding.
struct LevelLayout {
  std::uint64_t rowBytes;
  UINT rows;
};

bool IsBlockFormat(D3DFORMAT format) {
  return format == D3DFMT_DXT1 || format == D3DFMT_DXT2 || format == D3DFMT_DXT3 || format == D3DFMT_DXT4 ||
         format == D3DFMT_DXT5;
}

LevelLayout LayoutOf(D3DFORMAT format, UINT width, UINT height) {
  if (IsBlockFormat(format)) {
    return {std::uint64_t{(width + 3) / 4} * (format == D3DFMT_DXT1 ? 8 : 16), (height + 3) / 4};
  }
  if (IsPairFormat(format)) return {std::uint64_t{(width + 1) / 2} * 4, height};
  return {std::uint64_t{width} * (LookupFormatInfo(format).BitsPerPixel / 8), height};
}

void Put32(std::vector<BYTE>& out, DWORD value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<BYTE>(value >> (8 * i)));
}

// Appends `rows` rows of `rowBytes` from memory `pitch` bytes apart.
void PutRows(std::vector<BYTE>& out, const BYTE* data, INT pitch, std::uint64_t rowBytes, UINT rows) {
  for (UINT y = 0; y < rows; ++y) {
    const BYTE* row = data + static_cast<std::ptrdiff_t>(y) * pitch;
    out.insert(out.end(), row, row + rowBytes);
  }
}

// The texture in its concrete kind, one level or face at a time.
struct TextureParts {
  ComPtr<IDirect3DTexture9> plain;
  ComPtr<IDirect3DCubeTexture9> cube;
  ComPtr<IDirect3DVolumeTexture9> volume;
};

HRESULT AppendSurface(std::vector<BYTE>& out, D3DFORMAT format, UINT width, UINT height, const D3DLOCKED_RECT& lock) {
  const LevelLayout layout = LayoutOf(format, width, height);
  if (!lock.pBits || (layout.rows > 1 && static_cast<std::uint64_t>(std::max(lock.Pitch, 0)) < layout.rowBytes)) {
    return D3DERR_INVALIDCALL;
  }
  PutRows(out, static_cast<const BYTE*>(lock.pBits), lock.Pitch, layout.rowBytes, layout.rows);
  return D3D_OK;
}

}  // namespace

bool DdsCanHold(D3DFORMAT format) { return FindPixelFormat(format) != nullptr; }

HRESULT WriteDds(IDirect3DBaseTexture9* texture, const PALETTEENTRY* palette, std::vector<BYTE>& bytes) {
  if (!texture) return D3DERR_INVALIDCALL;
  TextureParts parts;
  const D3DRESOURCETYPE type = texture->GetType();
  HRESULT result = E_NOINTERFACE;
  UINT width = 0, height = 0, depth = 1;
  D3DFORMAT format = D3DFMT_UNKNOWN;
  const UINT levels = texture->GetLevelCount();
  if (type == D3DRTYPE_TEXTURE) {
    result = texture->QueryInterface(IID_IDirect3DTexture9, reinterpret_cast<void**>(parts.plain.ReleaseAndGetAddressOf()));
    D3DSURFACE_DESC desc{};
    if (SUCCEEDED(result)) result = parts.plain->GetLevelDesc(0, &desc);
    width = desc.Width, height = desc.Height, format = desc.Format;
  } else if (type == D3DRTYPE_CUBETEXTURE) {
    result = texture->QueryInterface(IID_IDirect3DCubeTexture9, reinterpret_cast<void**>(parts.cube.ReleaseAndGetAddressOf()));
    D3DSURFACE_DESC desc{};
    if (SUCCEEDED(result)) result = parts.cube->GetLevelDesc(0, &desc);
    width = desc.Width, height = desc.Height, format = desc.Format;
  } else if (type == D3DRTYPE_VOLUMETEXTURE) {
    result = texture->QueryInterface(IID_IDirect3DVolumeTexture9,
                                     reinterpret_cast<void**>(parts.volume.ReleaseAndGetAddressOf()));
    D3DVOLUME_DESC desc{};
    if (SUCCEEDED(result)) result = parts.volume->GetLevelDesc(0, &desc);
    width = desc.Width, height = desc.Height, depth = desc.Depth, format = desc.Format;
  }
  if (FAILED(result)) return D3DERR_INVALIDCALL;
  const PixelFormatRow* pixelFormat = FindPixelFormat(format);
  if (!pixelFormat || levels == 0) return D3DERR_INVALIDCALL;
  const bool palettized = LookupFormatInfo(format).Kind == FormatKind::Palette;
  if (palettized && !palette) return D3DERR_INVALIDCALL;

  std::vector<BYTE> out;
  const LevelLayout top = LayoutOf(format, width, height);
  const bool blocks = IsBlockFormat(format);
  DWORD flags = kHasCaps | kHasHeight | kHasWidth | kHasPixelFormat | kHasMipCount;
  flags |= blocks ? kHasLinearSize : kHasPitch;
  if (type == D3DRTYPE_VOLUMETEXTURE) flags |= kHasDepth;
  DWORD caps = kCapsTexture;
  if (levels > 1) caps |= kCapsComplex | kCapsMipMap;
  if (type != D3DRTYPE_TEXTURE) caps |= kCapsComplex;
  const DWORD caps2 = type == D3DRTYPE_CUBETEXTURE     ? kCaps2CubeMap | kCaps2AllFaces
                      : type == D3DRTYPE_VOLUMETEXTURE ? kCaps2Volume
                                                       : 0;

  Put32(out, kMagic);
  Put32(out, kHeaderSize);
  Put32(out, flags);
  Put32(out, height);
  Put32(out, width);
  Put32(out, static_cast<DWORD>(blocks ? top.rowBytes * top.rows : top.rowBytes));
  Put32(out, type == D3DRTYPE_VOLUMETEXTURE ? depth : 0);
  Put32(out, levels);
  for (int i = 0; i < 11; ++i) Put32(out, 0);
  Put32(out, kPixelFormatSize);
  Put32(out, pixelFormat->flags);
  Put32(out, pixelFormat->fourCc);
  Put32(out, pixelFormat->bits);
  Put32(out, pixelFormat->red);
  Put32(out, pixelFormat->green);
  Put32(out, pixelFormat->blue);
  Put32(out, pixelFormat->alpha);
  Put32(out, caps);
  Put32(out, caps2);
  for (int i = 0; i < 3; ++i) Put32(out, 0);
  if (palettized) {
    const auto* entries = reinterpret_cast<const BYTE*>(palette);
    out.insert(out.end(), entries, entries + kPaletteBytes);
  }

  const UINT faces = type == D3DRTYPE_CUBETEXTURE ? 6 : 1;
  for (UINT face = 0; face < faces; ++face) {
    for (UINT level = 0; level < levels; ++level) {
      const UINT w = std::max(width >> std::min(level, 31u), 1u);
      const UINT h = std::max(height >> std::min(level, 31u), 1u);
      if (parts.volume) {
        const UINT d = std::max(depth >> std::min(level, 31u), 1u);
        D3DLOCKED_BOX box{};
        result = parts.volume->LockBox(level, &box, nullptr, D3DLOCK_READONLY);
        if (FAILED(result)) return result;
        const LevelLayout layout = LayoutOf(format, w, h);
        const auto rowPitch = static_cast<std::uint64_t>(std::max(box.RowPitch, 0));
        const auto slicePitch = static_cast<std::uint64_t>(std::max(box.SlicePitch, 0));
        // Rows and slices must not overlap, or the lock does not describe this level.
        const bool fits = box.pBits && (layout.rows <= 1 || rowPitch >= layout.rowBytes) &&
                          (d <= 1 || slicePitch >= rowPitch * layout.rows);
        if (fits) {
          for (UINT z = 0; z < d; ++z) {
            PutRows(out, static_cast<const BYTE*>(box.pBits) + static_cast<std::ptrdiff_t>(z) * box.SlicePitch,
                    box.RowPitch, layout.rowBytes, layout.rows);
          }
        }
        parts.volume->UnlockBox(level);
        if (!fits) return D3DERR_INVALIDCALL;
        continue;
      }
      D3DLOCKED_RECT lock{};
      if (parts.cube) {
        const auto cubeFace = static_cast<D3DCUBEMAP_FACES>(face);
        result = parts.cube->LockRect(cubeFace, level, &lock, nullptr, D3DLOCK_READONLY);
        if (FAILED(result)) return result;
        result = AppendSurface(out, format, w, h, lock);
        parts.cube->UnlockRect(cubeFace, level);
      } else {
        result = parts.plain->LockRect(level, &lock, nullptr, D3DLOCK_READONLY);
        if (FAILED(result)) return result;
        result = AppendSurface(out, format, w, h, lock);
        parts.plain->UnlockRect(level);
      }
      if (FAILED(result)) return result;
    }
  }
  bytes = std::move(out);
  return D3D_OK;
}

}  // namespace rastro
