// DirectDraw surface files: textures, cube maps and volumes with their mip levels, used in
// place in the file's bytes.
#include <new>

#include "DdsPixelFormats.h"
#include "FormatCatalogue.h"
#include "ImageDecoder.h"
#include "decoders/ByteCursor.h"

namespace rastro {

namespace {

constexpr DWORD kMagic = 0x20534444;  // "DDS "
constexpr std::size_t kHeaderBytes = 128;
constexpr std::size_t kPaletteBytes = 256 * 4;
constexpr DWORD kDepthFlag = 0x800000;
constexpr DWORD kCubeFaces = 0xFC00;
constexpr DWORD kFourCcFlag = kDdsFourCcFlag;

// The flags that make each field of the pixel format significant.
constexpr DWORD kBitCountFlags = 0x2 | 0x20 | 0x40 | 0x400 | 0x4000 | 0x40000 | 0x80000;
constexpr DWORD kRedFlags = 0x40 | 0x4000 | 0x20000 | 0x40000 | 0x80000;
constexpr DWORD kGreenFlags = 0x40 | 0x400 | 0x4000 | 0x40000 | 0x80000;
constexpr DWORD kBlueFlags = 0x40 | 0x4000 | 0x40000 | 0x80000;
constexpr DWORD kAlphaFlags = 0x1 | 0x2 | 0x80000;

D3DFORMAT MatchPixelFormat(const BYTE* pixelFormat) {
  auto field = [&](int index) { return ByteCursor::LoadDword(pixelFormat + 4 * index); };
  if (field(0) != 32) return D3DFMT_UNKNOWN;
  const DWORD flags = field(1), fourCc = field(2), bitCount = field(3);
  const DWORD red = field(4), green = field(5), blue = field(6), alpha = field(7);
  for (const DdsPixelFormatRow& row : kDdsPixelFormats) {
    if (flags & kFourCcFlag) {
      if (row.flags == kFourCcFlag && row.fourCc == fourCc) return row.format;
      continue;
    }
    if (row.flags != flags) continue;
    if ((flags & kBitCountFlags) && row.bitCount != bitCount) continue;
    if ((flags & kRedFlags) && row.red != red) continue;
    if ((flags & kGreenFlags) && row.green != green) continue;
    if ((flags & kBlueFlags) && row.blue != blue) continue;
    if ((flags & kAlphaFlags) && row.alpha != alpha) continue;
    return row.format;
  }
  return D3DFMT_UNKNOWN;
}

struct LevelSize {
  std::uint64_t rowPitch, sliceBytes;
};

LevelSize SizeOfLevel(D3DFORMAT format, std::uint64_t width, std::uint64_t height) {
  switch (format) {
    case D3DFMT_DXT1: {
      std::uint64_t pitch = (width + 3) / 4 * 8;
      return {pitch, pitch * ((height + 3) / 4)};
    }
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5: {
      std::uint64_t pitch = (width + 3) / 4 * 16;
      return {pitch, pitch * ((height + 3) / 4)};
    }
    case D3DFMT_UYVY:
    case D3DFMT_YUY2:
    case D3DFMT_R8G8_B8G8:
    case D3DFMT_G8R8_G8B8: {
      std::uint64_t pitch = (width + 1) / 2 * 4;
      return {pitch, pitch * height};
    }
    default: {
      std::uint64_t pitch = width * (LookupFormatInfo(format).BitsPerPixel / 8);
      return {pitch, pitch * height};
    }
  }
}

}  // namespace

bool SniffDds(FileBytes bytes) { return bytes.size() >= kHeaderBytes && ByteCursor::LoadDword(bytes.data()) == kMagic; }

HRESULT DecodeDds(ImageData& image, FileBytes bytes) {
  if (!SniffDds(bytes)) return Malformed("no \"DDS \" signature and 124-byte header");
  const BYTE* header = bytes.data();
  const DWORD flags = ByteCursor::LoadDword(header + 8);
  const DWORD height = ByteCursor::LoadDword(header + 12);
  const DWORD width = ByteCursor::LoadDword(header + 16);
  const DWORD storedDepth = ByteCursor::LoadDword(header + 24);
  const DWORD mipCount = ByteCursor::LoadDword(header + 28);
  const DWORD caps2 = ByteCursor::LoadDword(header + 112);
  // Images without pixels cannot be loaded.
  if (width == 0 || height == 0) return Malformed("a size of %u x %u pixels", width, height);

  const bool volume = (flags & kDepthFlag) != 0;
  const DWORD depth = volume && storedDepth ? storedDepth : 1;
  DWORD faces = 1;
  if ((caps2 & kCubeFaces) == kCubeFaces) {
    faces = 6;
  } else if (caps2 & kCubeFaces) {
    return Malformed("a cube map with only some of its six faces");
  }
  const DWORD levels = mipCount ? mipCount : 1;
  const D3DFORMAT format = MatchPixelFormat(header + 76);
  if (format == D3DFMT_UNKNOWN) return Malformed("a pixel format the loader does not know");

  const D3DRESOURCETYPE resourceType = volume       ? D3DRTYPE_VOLUMETEXTURE
                                       : faces == 6 ? D3DRTYPE_CUBETEXTURE
                                                    : D3DRTYPE_TEXTURE;

  ByteCursor in(bytes.data(), bytes.size());
  in.Seek(kHeaderBytes);
  const PALETTEENTRY* palette = nullptr;
  if (LookupFormatInfo(format).Kind == FormatKind::Palette) {
    const BYTE* entries = in.Take(kPaletteBytes);
    if (!entries) return Malformed("the file ends inside the palette");
    palette = reinterpret_cast<const PALETTEENTRY*>(entries);
  }

  ImageData* previousFace = nullptr;
  for (DWORD face = 0; face < faces; ++face) {
    std::uint64_t levelWidth = width, levelHeight = height, levelDepth = depth;
    ImageData* previousLevel = nullptr;
    for (DWORD level = 0; level < levels; ++level) {
      const LevelSize size = SizeOfLevel(format, levelWidth, levelHeight);
      if (size.rowPitch > 0xFFFFFFFFu || size.sliceBytes > 0xFFFFFFFFu) {
        return Malformed("level %u has slices beyond 32-bit sizes", level);
      }
      const BYTE* data = in.Take(levelDepth * size.sliceBytes);
      if (!data) return Malformed("the file ends inside level %u of face %u", level, face);

      ImageData* target = &image;
      if (previousLevel) {
        previousLevel->NextMip.reset(new (std::nothrow) ImageData);
        target = previousLevel->NextMip.get();
      } else if (previousFace) {
        previousFace->NextFace.reset(new (std::nothrow) ImageData);
        target = previousFace->NextFace.get();
      }
      if (!target) return E_OUTOFMEMORY;
      target->LoadPixels = image.LoadPixels;
      target->ResourceType = resourceType;
      target->FileFormat = image.FileFormat;
      target->Format = format;
      target->Width = static_cast<UINT>(levelWidth);
      target->Height = static_cast<UINT>(levelHeight);
      target->Depth = static_cast<UINT>(levelDepth);
      target->RowPitch = static_cast<UINT>(size.rowPitch);
      target->SlicePitch = static_cast<UINT>(size.sliceBytes);
      target->PointData(data);
      target->PointPalette(palette);
      if (!previousLevel) previousFace = target;
      previousLevel = target;

      levelWidth = levelWidth > 1 ? levelWidth / 2 : 1;
      levelHeight = levelHeight > 1 ? levelHeight / 2 : 1;
      levelDepth = levelDepth > 1 ? levelDepth / 2 : 1;
    }
  }
  return S_OK;
}

}  // namespace rastro
