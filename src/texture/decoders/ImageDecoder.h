// The image decoders: one per file type, each a cheap test of the first bytes (Sniff) and the
// decoder proper (Decode), kept in one constant table that DecodeImage walks in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "ImageData.h"

namespace rastro {

using FileBytes = std::span<const BYTE>;

struct ImageDecoder {
  D3DXIMAGE_FILEFORMAT FileFormat;
  const char* Name;
  // False when the bytes cannot be this type; true does not promise that Decode succeeds.
  bool (*Sniff)(FileBytes bytes);
  // Fills `image` (LoadPixels, ResourceType and FileFormat already set): S_OK, E_FAIL for bytes
  // that are not this type or are malformed, E_OUTOFMEMORY. May leave partial contents on
  // failure; the caller releases them.
  HRESULT (*Decode)(ImageData& image, FileBytes bytes);
};

// Every decoder in the order they are tried.
std::span<const ImageDecoder> ImageDecoders();
// The display name of a file type ("BMP", "JPEG", ...), or "unknown".
const char* FileFormatName(D3DXIMAGE_FILEFORMAT fileFormat);

// Byte count of an image of `rows` rows `rowPitch` bytes apart, or 0 when it is empty, would
// not fit 32-bit pitches or exceeds kMaxImageBytes.
inline std::size_t CheckedImageBytes(std::uint64_t rowPitch, std::uint64_t rows) {
  if (rowPitch == 0 || rows == 0 || rowPitch > 0xFFFFFFFFu || rows > 0xFFFFFFFFu) return 0;
  std::uint64_t bytes = rowPitch * rows;
  return bytes <= kMaxImageBytes ? static_cast<std::size_t>(bytes) : 0;
}

bool SniffBmp(FileBytes bytes);
HRESULT DecodeBmp(ImageData& image, FileBytes bytes);
bool SniffDib(FileBytes bytes);
HRESULT DecodeDib(ImageData& image, FileBytes bytes);
bool SniffPpm(FileBytes bytes);
HRESULT DecodePpm(ImageData& image, FileBytes bytes);
bool SniffDds(FileBytes bytes);
HRESULT DecodeDds(ImageData& image, FileBytes bytes);
bool SniffJpeg(FileBytes bytes);
HRESULT DecodeJpeg(ImageData& image, FileBytes bytes);
bool SniffPng(FileBytes bytes);
HRESULT DecodePng(ImageData& image, FileBytes bytes);
bool SniffPfm(FileBytes bytes);
HRESULT DecodePfm(ImageData& image, FileBytes bytes);
bool SniffRgbe(FileBytes bytes);
HRESULT DecodeRgbe(ImageData& image, FileBytes bytes);
bool SniffTga(FileBytes bytes);
HRESULT DecodeTga(ImageData& image, FileBytes bytes);

}  // namespace rastro
