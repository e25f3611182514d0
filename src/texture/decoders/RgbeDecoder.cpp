// Radiance RGBE (.hdr) files: flat and run-length scanlines, every axis order, exposure.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "ImageDecoder.h"
#include "decoders/ByteCursor.h"

namespace rastro {

namespace {

constexpr std::string_view kMagic = "#?RADIANCE";
constexpr std::size_t kMaxResolutionLine = 256;

// The text up to the next line feed (which the cursor moves past), at most `limit` bytes
// away; false when there is none.
bool ReadLine(ByteCursor& in, std::size_t limit, std::string_view& line) {
  const BYTE* start = in.Here();
  std::size_t span = in.Remaining() < limit ? in.Remaining() : limit;
  const void* end = std::memchr(start, '\n', span);
  if (!end) return false;
  std::size_t length = static_cast<const BYTE*>(end) - start;
  line = std::string_view(reinterpret_cast<const char*>(start), length);
  in.Skip(length + 1);
  return true;
}

std::string_view SkipBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  return text;
}

// Reads the header lines up to the empty line that ends them.
bool ReadHeader(ByteCursor& in, float& exposure) {
  bool formatSeen = false;
  exposure = 1.0f;
  for (;;) {
    std::string_view line;
    if (!ReadLine(in, in.Remaining(), line)) return Refuse("the header does not end with an empty line");
    if (line.empty()) break;
    if (line.starts_with("FORMAT=")) {
      std::string_view value = SkipBlanks(line.substr(7));
      if (!value.starts_with("32-bit_rle_rgbe") && !value.starts_with("32-bit_rle_xyze")) {
        return Refuse("the pixel format \"%.*s\" is not 32-bit_rle_rgbe or 32-bit_rle_xyze",
                      static_cast<int>(value.size() < 40 ? value.size() : 40), value.data());
      }
      formatSeen = true;
    } else if (line.starts_with("EXPOSURE=")) {
      std::string text(SkipBlanks(line.substr(9)));
      std::string rest(text.size() + 1, '\0');
      float value = 0;
      if (std::sscanf(text.c_str(), "%f%s", &value, rest.data()) != 1)
        return Refuse("an exposure that is not a number");
      exposure *= value;
    }
  }
  return formatSeen || Refuse("the header names no pixel format");
}

struct Axis {
  char sign = 0;
  char letter = 0;
  unsigned count = 0;
};

// One entry of the resolution line: a sign, an axis letter and a number.
bool ReadAxis(std::string_view& text, Axis& axis) {
  text = SkipBlanks(text);
  if (text.size() < 2) return Refuse("the resolution line lacks an axis");
  axis.sign = text[0];
  axis.letter = text[1];
  if ((axis.sign != '-' && axis.sign != '+') || (axis.letter != 'X' && axis.letter != 'Y')) {
    return Refuse("the resolution line names an axis \"%c%c\", not -Y, +Y, -X or +X", axis.sign, axis.letter);
  }
  std::string number(text.substr(2));
  int used = 0;
  if (std::sscanf(number.c_str(), "%u%n", &axis.count, &used) != 1) {
    return Refuse("the resolution line gives no size for axis %c", axis.letter);
  }
  text.remove_prefix(2 + used);
  return true;
}

// Where the pixels of the scanlines go: pixel i of scanline s lands at
// origin + s * scanlineStep + i * pixelStep (in pixels of the output image).
struct Placement {
  std::int64_t origin, scanlineStep, pixelStep;
  std::uint64_t scanlines, scanlineLength;
};

Placement PlaceScanlines(const Axis& first, const Axis& second, std::int64_t width, std::int64_t height) {
  auto step = [&](const Axis& axis) -> std::int64_t {
    // Y runs top to bottom with minus, X left to right with plus.
    if (axis.letter == 'Y') return axis.sign == '-' ? width : -width;
    return axis.sign == '+' ? 1 : -1;
  };
  auto start = [&](const Axis& axis) -> std::int64_t {
    if (axis.letter == 'Y') return axis.sign == '-' ? 0 : (height - 1) * width;
    return axis.sign == '+' ? 0 : width - 1;
  };
  return {start(first) + start(second), step(first), step(second), first.count, second.count};
}

using Rgbe = BYTE[4];

bool ReadRunLengthScanline(ByteCursor& in, std::uint64_t length, BYTE* scanline) {
  for (int component = 0; component < 4; ++component) {
    std::uint64_t x = 0;
    while (x < length) {
      BYTE count = 0;
      if (!in.Byte(count)) return Refuse("the file ends inside a scanline");
      if (count > 128) {
        BYTE value = 0;
        count -= 128;
        if (count > length - x) return Refuse("a run reaches past the end of its scanline");
        if (!in.Byte(value)) return Refuse("the file ends inside a scanline");
        for (BYTE i = 0; i < count; ++i, ++x) scanline[x * 4 + component] = value;
      } else {
        const BYTE* literal = in.Take(count);
        if (count > length - x) return Refuse("a literal run reaches past the end of its scanline");
        if (!literal) return Refuse("the file ends inside a scanline");
        for (BYTE i = 0; i < count; ++i, ++x) scanline[x * 4 + component] = literal[i];
      }
    }
  }
  return true;
}

// Flat scanlines: four bytes a pixel, (1, 1, 1, n) repeating the previous pixel.
bool ReadFlatScanline(ByteCursor& in, std::uint64_t length, const BYTE* first, BYTE* scanline, bool& havePrevious,
                      Rgbe& previous) {
  std::uint64_t x = 0;
  unsigned shift = 0;
  const BYTE* pixel = first;
  for (;;) {
    if (pixel[0] == 1 && pixel[1] == 1 && pixel[2] == 1) {
      std::uint64_t repeat = shift < 32 ? std::uint64_t{pixel[3]} << shift : ~std::uint64_t{0};
      if (!havePrevious) return Refuse("a repeat code with no pixel before it");
      if (repeat > length - x) return Refuse("a repeat reaches past the end of its scanline");
      for (; repeat; --repeat, ++x) std::memcpy(scanline + x * 4, previous, 4);
      shift += 8;
    } else {
      std::memcpy(scanline + x * 4, pixel, 4);
      std::memcpy(previous, pixel, 4);
      havePrevious = true;
      ++x;
      shift = 0;
    }
    if (x == length) return true;
    if (!(pixel = in.Take(4))) return Refuse("the file ends inside a scanline");
  }
}

}  // namespace

bool SniffRgbe(FileBytes bytes) {
  return bytes.size() > 10 && std::memcmp(bytes.data(), kMagic.data(), kMagic.size()) == 0;
}

HRESULT DecodeRgbe(ImageData& image, FileBytes bytes) {
  if (!SniffRgbe(bytes)) return Malformed("no \"#?RADIANCE\" signature");
  ByteCursor in(bytes.data(), bytes.size());
  float exposure = 1.0f;
  if (!ReadHeader(in, exposure)) return E_FAIL;

  std::string_view resolution;
  if (!ReadLine(in, kMaxResolutionLine, resolution) || resolution.size() <= 2) {
    return Malformed("no resolution line of at most %zu bytes after the header", kMaxResolutionLine);
  }
  Axis first, second;
  if (!ReadAxis(resolution, first) || !ReadAxis(resolution, second)) return E_FAIL;
  if (first.letter == second.letter) return Malformed("the resolution line names axis %c twice", first.letter);
  const std::uint64_t width = first.letter == 'X' ? first.count : second.count;
  const std::uint64_t height = first.letter == 'Y' ? first.count : second.count;
  if (!PitchFits(width * 16, height)) return E_FAIL;

  image.Format = D3DFMT_A32B32G32R32F;
  image.Width = static_cast<UINT>(width);
  image.Height = static_cast<UINT>(height);
  image.Depth = 1;
  image.RowPitch = static_cast<UINT>(width * 16);
  if (!image.LoadPixels) return S_OK;
  const std::size_t imageBytes = ImageBytesWithinCap(width, height, image.RowPitch);
  if (imageBytes == 0) return E_FAIL;

  float* out = reinterpret_cast<float*>(image.AllocateData(imageBytes, false));
  if (!out) return E_OUTOFMEMORY;
  const Placement placement =
      PlaceScanlines(first, second, static_cast<std::int64_t>(width), static_cast<std::int64_t>(height));
  std::unique_ptr<BYTE[]> scanlineStorage(new (std::nothrow) BYTE[placement.scanlineLength * 4]);
  if (!scanlineStorage) return E_OUTOFMEMORY;
  BYTE* scanline = scanlineStorage.get();
  bool havePrevious = false;
  Rgbe previous{};
  for (std::uint64_t s = 0; s < placement.scanlines; ++s) {
    const BYTE* start = in.Take(4);
    if (!start)
      return Malformed("the file ends after %llu of %llu scanlines", static_cast<unsigned long long>(s),
                       static_cast<unsigned long long>(placement.scanlines));
    if (start[0] == 2 && start[1] == 2 && start[2] < 128) {
      if (const unsigned length = start[2] << 8 | start[3]; length != placement.scanlineLength) {
        return Malformed("a run-length scanline of %u pixels in an image whose scanlines have %llu", length,
                         static_cast<unsigned long long>(placement.scanlineLength));
      }
      if (!ReadRunLengthScanline(in, placement.scanlineLength, scanline)) return E_FAIL;
    } else if (!ReadFlatScanline(in, placement.scanlineLength, start, scanline, havePrevious, previous)) {
      return E_FAIL;
    }
    std::int64_t target = placement.origin + static_cast<std::int64_t>(s) * placement.scanlineStep;
    for (std::uint64_t i = 0; i < placement.scanlineLength; ++i, target += placement.pixelStep) {
      const BYTE* rgbe = scanline + i * 4;
      float* pixel = out + target * 4;
      const int exponent = rgbe[3] - 136;
      pixel[0] = static_cast<float>(std::ldexp(rgbe[0] + 0.5, exponent) / exposure);
      pixel[1] = static_cast<float>(std::ldexp(rgbe[1] + 0.5, exponent) / exposure);
      pixel[2] = static_cast<float>(std::ldexp(rgbe[2] + 0.5, exponent) / exposure);
      pixel[3] = 1.0f;
    }
  }
  return S_OK;
}

}  // namespace rastro
