// The image decoders: one per file type, each a cheap test of the first bytes (Sniff) and the
// decoder proper (Decode), kept in one constant table that DecodeImage walks in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "ImageData.h"

namespace rastro {

using FileBytes = std::span<const BYTE>;

struct ImageDecoder {
  D3DXIMAGE_FILEFORMAT FileFormat;
  const char* Name;
  // Whether Sniff checks a signature of the file type, so that a file it passes is most likely
  // of that type; headerless DIB and TGA data have none.
  bool Signature;
  // False when the bytes cannot be this type; true does not promise that Decode succeeds.
  bool (*Sniff)(FileBytes bytes);
  // Fills `image` (LoadPixels, ResourceType and FileFormat already set): S_OK, E_FAIL for bytes
  // that are not this type or are malformed, E_OUTOFMEMORY. Says why it fails through
  // Malformed or Refuse. May leave partial contents on failure; the caller releases them.
  HRESULT (*Decode)(ImageData& image, FileBytes bytes);
};

// Every decoder in the order they are tried.
std::span<const ImageDecoder> ImageDecoders();
// The display name of a file type ("BMP", "JPEG", ...), or "unknown".
const char* FileFormatName(D3DXIMAGE_FILEFORMAT fileFormat);

// Why the decoder running on this thread refuses the bytes, in printf style. The first reason
// recorded since StartDecoderReport stands: it comes from the check nearest the fault, and the
// callers it returns through need not say it again. Malformed returns E_FAIL, Refuse false,
// so that a decoder or one of its helpers can return them.
[[gnu::format(printf, 1, 2)]] HRESULT Malformed(const char* format, ...);
[[gnu::format(printf, 1, 2)]] bool Refuse(const char* format, ...);

struct DecoderReport {
  std::string Reason;     // empty when the decoder gave none
  bool TooLarge = false;  // refused by ImageBytesWithinCap's cap
};
// Clears the reason before a decoder runs, and hands it over (cleared) after.
void StartDecoderReport();
DecoderReport TakeDecoderReport();

// Whether one level of `rows` rows `rowPitch` bytes apart has a pitch that fits 32 bits and is
// not empty; records why not.
bool PitchFits(std::uint64_t rowPitch, std::uint64_t rows);

// Checked before a decoder allocates pixels or writes them anywhere: the bytes of a level of
// `width` x `height` pixels whose rows lie `rowPitch` bytes apart, or 0 when it is beyond the
// cap on one image (MaxImageBytes, each pixel counted at no less than 32 bits, the least it
// takes once loaded as an ordinary texture); the refusal is recorded as too large.
std::size_t ImageBytesWithinCap(std::uint64_t width, std::uint64_t height, std::uint64_t rowPitch);

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
