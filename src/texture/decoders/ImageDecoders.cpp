#include "ImageDecoder.h"

namespace rastro {

namespace {

// Ambiguous bytes go to the earlier entry; headerless DIB data, which almost anything could
// start like, comes last.
constexpr ImageDecoder kDecoders[] = {
    {D3DXIFF_BMP, "BMP", SniffBmp, DecodeBmp},
    {D3DXIFF_PPM, "PPM", SniffPpm, DecodePpm},
    {D3DXIFF_DDS, "DDS", SniffDds, DecodeDds},
    {D3DXIFF_JPG, "JPEG", SniffJpeg, DecodeJpeg},
    {D3DXIFF_PNG, "PNG", SniffPng, DecodePng},
    {D3DXIFF_PFM, "PFM", SniffPfm, DecodePfm},
    {D3DXIFF_HDR, "Radiance RGBE", SniffRgbe, DecodeRgbe},
    {D3DXIFF_TGA, "TGA", SniffTga, DecodeTga},
    {D3DXIFF_DIB, "DIB", SniffDib, DecodeDib},
};

}  // namespace

std::span<const ImageDecoder> ImageDecoders() { return kDecoders; }

const char* FileFormatName(D3DXIMAGE_FILEFORMAT fileFormat) {
  for (const ImageDecoder& decoder : kDecoders) {
    if (decoder.FileFormat == fileFormat) return decoder.Name;
  }
  return "unknown";
}

}  // namespace rastro
