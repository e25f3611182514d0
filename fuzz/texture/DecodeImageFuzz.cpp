// DecodeImage over arbitrary file bytes, headers only and with pixels. Every level of the
// result is read in full (pixels and palette), so a level that points outside the file's bytes
// or outside its own buffer is caught by the address sanitizer.
#include <cstddef>
#include <cstdint>

#include "DecodeImage.h"

namespace {

volatile unsigned sink;

unsigned ReadLevel(const rastro::ImageData& level) {
  const D3DFORMAT format = level.Format;
  const bool blocks = format == D3DFMT_DXT1 || format == D3DFMT_DXT2 || format == D3DFMT_DXT3 ||
                      format == D3DFMT_DXT4 || format == D3DFMT_DXT5;
  const std::size_t rows = blocks ? (level.Height + 3) / 4 : level.Height;
  const std::size_t bytes =
      level.SlicePitch ? std::size_t{level.SlicePitch} * level.Depth : std::size_t{level.RowPitch} * rows;
  unsigned sum = 0;
  for (std::size_t i = 0; i < bytes; ++i) sum += level.Data[i];
  if (level.Palette) {
    for (int i = 0; i < 256; ++i) sum += level.Palette[i].peRed + level.Palette[i].peFlags;
  }
  return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 0xFFFFFFFFu) return 0;
  D3DXIMAGE_INFO info;
  {
    rastro::ImageData header;
    rastro::DecodeImage(&header, data, static_cast<UINT>(size), &info, FALSE);
  }
  rastro::ImageData image;
  if (FAILED(rastro::DecodeImage(&image, data, static_cast<UINT>(size), &info, TRUE))) return 0;
  unsigned sum = 0;
  for (const rastro::ImageData* face = &image; face; face = face->NextFace.get()) {
    for (const rastro::ImageData* level = face; level; level = level->NextMip.get()) sum += ReadLevel(*level);
  }
  sink = sum;
  return 0;
}
