#include "DdsWriter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "ComPtr.h"
#include "DdsPixelFormats.h"
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
// Capabilities.
constexpr DWORD kCapsComplex = 0x8, kCapsTexture = 0x1000, kCapsMipMap = 0x400000;
constexpr DWORD kCaps2CubeMap = 0x200, kCaps2AllFaces = 0xFC00, kCaps2Volume = 0x200000;

const DdsPixelFormatRow* FindPixelFormat(D3DFORMAT format) {
  for (const DdsPixelFormatRow& row : kDdsPixelFormats) {
    if (row.format == format) return &row;
  }
  return nullptr;
}

bool IsPairFormat(D3DFORMAT format) {
  return format == D3DFMT_UYVY || format == D3DFMT_YUY2 || format == D3DFMT_R8G8_B8G8 || format == D3DFMT_G8R8_G8B8;
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
    result =
        texture->QueryInterface(IID_IDirect3DTexture9, reinterpret_cast<void**>(parts.plain.ReleaseAndGetAddressOf()));
    D3DSURFACE_DESC desc{};
    if (SUCCEEDED(result)) result = parts.plain->GetLevelDesc(0, &desc);
    width = desc.Width, height = desc.Height, format = desc.Format;
  } else if (type == D3DRTYPE_CUBETEXTURE) {
    result = texture->QueryInterface(IID_IDirect3DCubeTexture9,
                                     reinterpret_cast<void**>(parts.cube.ReleaseAndGetAddressOf()));
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
  const DdsPixelFormatRow* pixelFormat = FindPixelFormat(format);
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
  Put32(out, pixelFormat->bitCount);
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
