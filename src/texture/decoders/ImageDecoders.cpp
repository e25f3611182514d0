#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "ImageDecoder.h"
#include "ImageSizeLimit.h"

namespace rastro {

namespace {

// Ambiguous bytes go to the earlier entry; headerless DIB data, which almost anything could
// start like, comes last.
constexpr ImageDecoder kDecoders[] = {
    {D3DXIFF_BMP, "BMP", true, SniffBmp, DecodeBmp},
    {D3DXIFF_PPM, "PPM", true, SniffPpm, DecodePpm},
    {D3DXIFF_DDS, "DDS", true, SniffDds, DecodeDds},
    {D3DXIFF_JPG, "JPEG", true, SniffJpeg, DecodeJpeg},
    {D3DXIFF_PNG, "PNG", true, SniffPng, DecodePng},
    {D3DXIFF_PFM, "PFM", true, SniffPfm, DecodePfm},
    {D3DXIFF_HDR, "Radiance RGBE", true, SniffRgbe, DecodeRgbe},
    {D3DXIFF_TGA, "TGA", false, SniffTga, DecodeTga},
    {D3DXIFF_DIB, "DIB", false, SniffDib, DecodeDib},
};

// One report per thread: decoders run on their caller's thread, and their helpers record a
// reason where they find the fault without passing it back up.
thread_local DecoderReport report;

void Record(const char* format, std::va_list arguments, bool tooLarge = false) {
  if (!report.Reason.empty()) return;
  char text[256];
  std::vsnprintf(text, sizeof text, format, arguments);
  report.Reason = text;
  report.TooLarge = tooLarge;
}

[[gnu::format(printf, 1, 2)]] void RecordTooLarge(const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  Record(format, arguments, true);
  va_end(arguments);
}

// a * b, or the largest value when the product does not fit.
std::uint64_t SaturatingProduct(std::uint64_t a, std::uint64_t b) {
  std::uint64_t product = 0;
  return __builtin_mul_overflow(a, b, &product) ? ~std::uint64_t{0} : product;
}

}  // namespace

std::span<const ImageDecoder> ImageDecoders() { return kDecoders; }

const char* FileFormatName(D3DXIMAGE_FILEFORMAT fileFormat) {
  for (const ImageDecoder& decoder : kDecoders) {
    if (decoder.FileFormat == fileFormat) return decoder.Name;
  }
  return "unknown";
}

HRESULT Malformed(const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  Record(format, arguments);
  va_end(arguments);
  return E_FAIL;
}

bool Refuse(const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  Record(format, arguments);
  va_end(arguments);
  return false;
}

void StartDecoderReport() { report = DecoderReport{}; }

DecoderReport TakeDecoderReport() {
  DecoderReport taken = std::move(report);
  report = DecoderReport{};
  return taken;
}

bool PitchFits(std::uint64_t rowPitch, std::uint64_t rows) {
  if (rowPitch == 0 || rows == 0) return Refuse("the image has no pixels");
  if (rowPitch > 0xFFFFFFFFu || rows > 0xFFFFFFFFu) {
    return Refuse("rows of %llu bytes, or %llu of them, are beyond 32-bit sizes",
                  static_cast<unsigned long long>(rowPitch), static_cast<unsigned long long>(rows));
  }
  return true;
}

std::size_t ImageBytesWithinCap(std::uint64_t width, std::uint64_t height, std::uint64_t rowPitch) {
  const std::uint64_t buffer = SaturatingProduct(rowPitch, height);
  const std::uint64_t atThirtyTwoBits = SaturatingProduct(SaturatingProduct(width, height), 4);
  const std::uint64_t counted = buffer > atThirtyTwoBits ? buffer : atThirtyTwoBits;
  const std::uint64_t cap = MaxImageBytes();
  if (counted > cap || counted > SIZE_MAX) {
    constexpr std::uint64_t kMegabyte = std::uint64_t{1} << 20;
    const std::uint64_t needed = counted / kMegabyte + (counted % kMegabyte != 0);
    RecordTooLarge(
        "%llu x %llu pixels need %llu MiB, more than the %llu MiB one image may take "
        "(RASTROMETER_MAX_IMAGE_MB)",
        static_cast<unsigned long long>(width), static_cast<unsigned long long>(height),
        static_cast<unsigned long long>(needed), static_cast<unsigned long long>(cap / kMegabyte));
    return 0;
  }
  return static_cast<std::size_t>(buffer);
}

}  // namespace rastro
