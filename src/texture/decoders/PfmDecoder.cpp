// Portable float maps: "PF" (colour) and "Pf" (grey) with 32-bit float samples, big-endian
// when the scale is not negative.
#include <cstdio>
#include <cstring>
#include <string>

#include "ImageDecoder.h"
#include "decoders/ByteCursor.h"

namespace rastro {

namespace {

constexpr std::size_t kMaxSizeLine = 256;

// The text up to the next line feed (which the cursor moves past), at most `limit` bytes
// away; false when there is none.
bool ReadLine(ByteCursor& in, std::size_t limit, std::string& line) {
  const BYTE* start = in.Here();
  std::size_t span = in.Remaining() < limit ? in.Remaining() : limit;
  const void* end = std::memchr(start, '\n', span);
  if (!end) return false;
  std::size_t length = static_cast<const BYTE*>(end) - start;
  line.assign(reinterpret_cast<const char*>(start), length);
  in.Skip(length + 1);
  return true;
}

float LoadSample(const BYTE* bytes, bool bigEndian) {
  BYTE ordered[4] = {bytes[0], bytes[1], bytes[2], bytes[3]};
  if (bigEndian) ordered[0] = bytes[3], ordered[1] = bytes[2], ordered[2] = bytes[1], ordered[3] = bytes[0];
  float value;
  std::memcpy(&value, ordered, 4);
  return value;
}

}  // namespace

bool SniffPfm(FileBytes bytes) {
  return bytes.size() >= 4 && bytes[0] == 'P' && (bytes[1] == 'F' || bytes[1] == 'f') && bytes[2] == '\n';
}

HRESULT DecodePfm(ImageData& image, FileBytes bytes) {
  if (!SniffPfm(bytes)) return Malformed("no \"PF\" or \"Pf\" line");
  const bool colour = bytes[1] == 'F';
  ByteCursor in(bytes.data(), bytes.size());
  in.Skip(3);

  std::string line;
  unsigned width = 0, height = 0;
  char rest[kMaxSizeLine + 1];
  if (!ReadLine(in, kMaxSizeLine, line)) return Malformed("no size line of at most %zu bytes", kMaxSizeLine);
  if (std::sscanf(line.c_str(), "%u %u%256s", &width, &height, rest) != 2) {
    return Malformed("the size line does not hold exactly a width and a height");
  }
  float scale = 0;
  // The scale line is not bounded; its copy is as long as it is.
  std::string restOfScale;
  if (!ReadLine(in, in.Remaining(), line)) return Malformed("no scale line");
  restOfScale.resize(line.size() + 1);
  if (std::sscanf(line.c_str(), "%f%s", &scale, restOfScale.data()) != 1) {
    return Malformed("the scale line does not hold exactly one number");
  }

  const std::uint64_t channels = colour ? 3 : 1;
  if (!PitchFits(std::uint64_t{width} * 16, height)) return E_FAIL;
  const std::uint64_t sampleBytes = std::uint64_t{width} * height * channels * 4;
  const BYTE* samples = in.Take(sampleBytes);
  if (!samples) {
    return Malformed("%u x %u pixels need %llu bytes of samples, more than the %zu left", width, height,
                     static_cast<unsigned long long>(sampleBytes), in.Remaining());
  }

  image.Format = D3DFMT_A32B32G32R32F;
  image.Width = width;
  image.Height = height;
  image.Depth = 1;
  image.RowPitch = width * 16;
  if (!image.LoadPixels) return S_OK;
  const std::size_t imageBytes = ImageBytesWithinCap(width, height, image.RowPitch);
  if (imageBytes == 0) return E_FAIL;

  float* out = reinterpret_cast<float*>(image.AllocateData(imageBytes, false));
  if (!out) return E_OUTOFMEMORY;
  const bool bigEndian = !(scale < 0);
  for (std::uint64_t p = 0; p < std::uint64_t{width} * height; ++p, out += 4) {
    out[0] = LoadSample(samples, bigEndian);
    out[1] = colour ? LoadSample(samples + 4, bigEndian) : out[0];
    out[2] = colour ? LoadSample(samples + 8, bigEndian) : out[0];
    out[3] = 1.0f;
    samples += channels * 4;
  }
  return S_OK;
}

}  // namespace rastro
