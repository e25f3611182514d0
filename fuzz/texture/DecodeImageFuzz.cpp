// DecodeImage over arbitrary file bytes, headers only and with pixels. The pixels of every
// level are read at both ends (up to 64 KiB each, so that images of hundreds of megabytes stay
// quick) and the palette in full, so a level that points outside the file's bytes or outside
// its own buffer is caught by the address sanitizer.
#include <cstddef>
#include <cstdint>

#include "DecodeImage.h"
#include "FormatCatalogue.h"
#include "LockGeometry.h"

namespace {

volatile unsigned sink;

// The bytes a level spans: every row at its pitch but the last, which need only hold its
// pixels (a file may end right after them, without the padding to the next row).
std::size_t LevelBytes(const rastro::ImageData& level) {
  const D3DFORMAT format = level.Format;
  const bool blocks = rastro::IsBlockFormat(format);
  const std::size_t rows = blocks ? (level.Height + 3) / 4 : level.Height;
  std::size_t rowBytes;
  if (blocks) {
    rowBytes = std::size_t{(level.Width + 3) / 4} * (format == D3DFMT_DXT1 ? 8 : 16);
  } else if (rastro::IsPairFormat(format)) {
    rowBytes = std::size_t{(level.Width + 1) / 2} * 4;
  } else {
    rowBytes = (std::size_t{level.Width} * rastro::LookupFormatInfo(format).BitsPerPixel + 7) / 8;
  }
  if (rows == 0 || level.Depth == 0) return 0;
  const std::size_t slice = (rows - 1) * level.RowPitch + rowBytes;
  return level.SlicePitch ? std::size_t{level.Depth - 1} * level.SlicePitch + slice : slice;
}

unsigned ReadLevel(const rastro::ImageData& level) {
  const std::size_t bytes = LevelBytes(level);
  constexpr std::size_t kEnd = 64 * 1024;
  unsigned sum = 0;
  for (std::size_t i = 0; i < bytes; ++i) {
    if (i == kEnd && bytes > 2 * kEnd) i = bytes - kEnd;
    sum += level.Data[i];
  }
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
