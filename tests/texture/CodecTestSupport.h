// Images in memory for codec tests: a byte buffer with the PixelRegion that describes it.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "PixelCodec.h"

namespace rastro::testing {

struct TestImage {
  // An image of width x height x depth pixels of `bytesPerPixel` bytes, rows packed, filled
  // with `fill`.
  TestImage(D3DFORMAT format, UINT bytesPerPixel, UINT width, UINT height = 1, UINT depth = 1, BYTE fill = 0)
      : TestImage(format, width * bytesPerPixel, width, height, depth, fill, 0) {}

  // With an explicit row pitch (pair formats: 4 bytes per two pixels).
  TestImage(D3DFORMAT format, UINT rowPitch, UINT width, UINT height, UINT depth, BYTE fill, int /*pitchGiven*/)
      : bytes(static_cast<std::size_t>(rowPitch) * height * depth, fill) {
    region.Data = bytes.data();
    region.Format = format;
    region.RowPitch = rowPitch;
    region.SlicePitch = rowPitch * height;
    region.Extent = {0, 0, width, height, 0, depth};
    region.Region = region.Extent;
  }

  BYTE* Pixel(UINT x, UINT y, UINT z, UINT bytesPerPixel) {
    return bytes.data() + static_cast<std::size_t>(z) * region.SlicePitch +
           static_cast<std::size_t>(y) * region.RowPitch + static_cast<std::size_t>(x) * bytesPerPixel;
  }

  std::unique_ptr<PixelCodec> Codec() const { return CreatePixelCodec(region); }

  std::vector<BYTE> bytes;
  PixelRegion region;
};

inline std::uint64_t LoadLittleEndian(const BYTE* p, unsigned bytes) {
  std::uint64_t v = 0;
  for (unsigned i = 0; i < bytes; ++i) v |= static_cast<std::uint64_t>(p[i]) << (8 * i);
  return v;
}

inline void StoreLittleEndian(BYTE* p, unsigned bytes, std::uint64_t v) {
  for (unsigned i = 0; i < bytes; ++i) p[i] = static_cast<BYTE>(v >> (8 * i));
}

// The ordered-dither matrix: the offset of a pixel is (k + 0.5) / 16 with k at row (y & 3),
// column ((x + z) & 3).
inline constexpr int kDitherMatrix[4][4] = {{15, 7, 13, 5}, {3, 11, 1, 9}, {12, 4, 14, 6}, {0, 8, 2, 10}};

inline float DitherOffset(UINT x, UINT y, UINT z) {
  return (static_cast<float>(kDitherMatrix[y & 3][(x + z) & 3]) + 0.5f) / 16.0f;
}

}  // namespace rastro::testing
