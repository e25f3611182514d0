// Portable pixmaps: P3 (decimal samples) and P6 (raw bytes).
#include "ImageDecoder.h"
#include "decoders/ByteCursor.h"

namespace rastro {

namespace {

bool IsSpace(BYTE c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// Header values and P3 samples above this are refused rather than overflowing.
constexpr std::uint64_t kMaxNumber = 0xFFFFFFFFu;

// Skips white space and comments ("#" to the end of the line).
void SkipSpace(ByteCursor& in) {
  BYTE c = 0;
  while (in.Peek(c)) {
    if (IsSpace(c)) {
      in.Skip(1);
    } else if (c == '#') {
      while (in.Byte(c) && c != '\n') {
      }
    } else {
      break;
    }
  }
}

// The next white-space separated token as a decimal number. False at the end of the bytes,
// for a token with anything but digits, or for a number above kMaxNumber.
bool ReadNumber(ByteCursor& in, std::uint64_t& value) {
  SkipSpace(in);
  BYTE c = 0;
  value = 0;
  bool digits = false;
  while (in.Peek(c) && !IsSpace(c) && c != '#') {
    if (c < '0' || c > '9') return Refuse("a number with the character 0x%02X in it", c);
    value = value * 10 + (c - '0');
    if (value > kMaxNumber) return Refuse("a number above %llu", static_cast<unsigned long long>(kMaxNumber));
    digits = true;
    in.Skip(1);
  }
  return digits || Refuse("the file ends where a number should be");
}

// Sample scaled to 0..255. A sample above the maximum value (malformed) saturates.
BYTE Scale(std::uint64_t sample, std::uint64_t maxValue) {
  std::uint64_t scaled = sample * 255 / maxValue;
  return static_cast<BYTE>(scaled > 255 ? 255 : scaled);
}

}  // namespace

bool SniffPpm(FileBytes bytes) { return bytes.size() >= 2 && bytes[0] == 'P' && (bytes[1] == '3' || bytes[1] == '6'); }

HRESULT DecodePpm(ImageData& image, FileBytes bytes) {
  if (!SniffPpm(bytes)) return Malformed("no \"P3\" or \"P6\" signature");
  const bool raw = bytes[1] == '6';
  ByteCursor in(bytes.data(), bytes.size());
  in.Skip(2);
  std::uint64_t width = 0, height = 0, maxValue = 0;
  if (!ReadNumber(in, width) || !ReadNumber(in, height) || !ReadNumber(in, maxValue)) return E_FAIL;
  if (width == 0 || height == 0 || maxValue == 0) {
    return Malformed("a size of %llu x %llu pixels with a maximum value of %llu",
                     static_cast<unsigned long long>(width), static_cast<unsigned long long>(height),
                     static_cast<unsigned long long>(maxValue));
  }
  if (raw && maxValue > 255) {
    return Malformed("raw samples with a maximum value of %llu, above 255", static_cast<unsigned long long>(maxValue));
  }
  if (!PitchFits(width * 4, height)) return E_FAIL;
  const std::uint64_t samples = width * height * 3;

  const BYTE* rawSamples = nullptr;
  if (raw) {
    // Exactly one white-space byte ends the header; a carriage return takes the byte after it
    // along.
    BYTE separator = 0;
    if (!in.Byte(separator) || !IsSpace(separator)) return Malformed("no white space after the maximum value");
    if (separator == '\r' && !in.Skip(1)) return Malformed("the file ends in the header");
    if (!(rawSamples = in.Take(samples))) {
      return Malformed("%llu samples need more than the %zu bytes left", static_cast<unsigned long long>(samples),
                       in.Remaining());
    }
  } else if (in.Remaining() < samples * 2 - 1) {
    // Each decimal sample takes a digit and all but the last a separator.
    return Malformed("%llu decimal samples cannot fit the %zu bytes left", static_cast<unsigned long long>(samples),
                     in.Remaining());
  }

  image.Format = D3DFMT_X8R8G8B8;
  image.Width = static_cast<UINT>(width);
  image.Height = static_cast<UINT>(height);
  image.Depth = 1;
  image.RowPitch = static_cast<UINT>(width * 4);
  if (!image.LoadPixels) return S_OK;
  const std::size_t imageBytes = ImageBytesWithinCap(width, height, image.RowPitch);
  if (imageBytes == 0) return E_FAIL;

  BYTE* out = image.AllocateData(imageBytes, false);
  if (!out) return E_OUTOFMEMORY;
  if (raw) {
    BYTE table[256];
    for (UINT i = 0; i < 256; ++i) table[i] = Scale(i, maxValue);
    for (std::uint64_t p = 0; p < width * height; ++p, rawSamples += 3, out += 4) {
      out[0] = table[rawSamples[2]];
      out[1] = table[rawSamples[1]];
      out[2] = table[rawSamples[0]];
      out[3] = 0xFF;
    }
    return S_OK;
  }
  for (std::uint64_t p = 0; p < width * height; ++p, out += 4) {
    std::uint64_t red = 0, green = 0, blue = 0;
    if (!ReadNumber(in, red) || !ReadNumber(in, green) || !ReadNumber(in, blue)) return E_FAIL;
    out[0] = Scale(blue, maxValue);
    out[1] = Scale(green, maxValue);
    out[2] = Scale(red, maxValue);
    out[3] = 0xFF;
  }
  // Exactly the image's samples: anything after them but white space and comments is refused.
  SkipSpace(in);
  return in.AtEnd() ? S_OK : Malformed("more than the image's %llu samples", static_cast<unsigned long long>(samples));
}

}  // namespace rastro
