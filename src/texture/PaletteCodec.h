// Codecs of the palettized formats: D3DFMT_P8 (an index per pixel; alpha comes from the
// palette) and D3DFMT_A8P8 (an index and an alpha byte of its own: SeparateAlpha). Writing
// searches all 256 palette entries for the nearest colour.
#pragma once

#include "PixelCodec.h"

namespace rastro {

// The palette split into one array per channel, for searching eight entries at a time.
struct PlanarPalette {
  alignas(32) float red[256];
  alignas(32) float green[256];
  alignas(32) float blue[256];
  alignas(32) float alpha[256];
};

template <bool SeparateAlpha>
class PaletteCodec final : public PixelCodec {
 public:
  explicit PaletteCodec(const PixelRegion& region) : PixelCodec(region, SeparateAlpha ? 16u : 8u, RangeUnsigned) {}
  void ReadRow(UINT y, UINT z, FloatRgba* out) override;
  HRESULT WriteRow(UINT y, UINT z, const FloatRgba* in) override;

 private:
  BYTE Nearest(const FloatRgba& pixel);
  // Nearest() for `count` pixels into `indices`: the answer for a colour met before, or the
  // search's, remembered either way.
  void NearestRow(const FloatRgba* row, UINT count, BYTE* indices);

  // Colours already searched for: pictures repeat colours far more often than a search costs
  // to remember. Colours whose channels are all byte values over 255 (what every 8-bit
  // format reads as) are remembered by those bytes, direct-mapped: entry = bytes << 32 |
  // index << 1 | 1. A colour that collides, or that is not made of bytes, is searched again.
  static constexpr unsigned kCacheBits = 14;

  std::unique_ptr<PlanarPalette> planar_;   // made on the first vector search
  std::unique_ptr<std::uint64_t[]> cache_;  // made on the first search
};

extern template class PaletteCodec<false>;
extern template class PaletteCodec<true>;

// The index of the palette entry nearest to `pixel` by squared distance over R, G, B and (with
// `withAlpha`) A; the lowest index among equally near entries. Runs in the caller's rounding
// mode.
BYTE NearestPaletteEntry(const FloatRgba* palette, const FloatRgba& pixel, bool withAlpha);
// The same search eight entries at a time (same sums in the same order, so the same answer).
BYTE NearestPaletteEntryVector(const PlanarPalette& palette, const FloatRgba& pixel, bool withAlpha);

}  // namespace rastro
