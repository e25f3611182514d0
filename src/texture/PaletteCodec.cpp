#include "PaletteCodec.h"

#include <cstring>

#include "FloatRounding.h"
#include "PixelFields.h"

namespace rastro {

BYTE NearestPaletteEntry(const FloatRgba* palette, const FloatRgba& pixel, bool withAlpha) {
  float best = 3.4028235e38f;
  int index = 0;
  for (int i = 0; i < 256; ++i) {
    const FloatRgba& e = palette[i];
    const float dr = e.R - pixel.R, dg = e.G - pixel.G, db = e.B - pixel.B;
    float distance = dr * dr + dg * dg + db * db;
    if (withAlpha) {
      const float da = e.A - pixel.A;
      distance = distance + da * da;
    }
    if (distance < best) {
      best = distance;
      index = i;
    }
  }
  return static_cast<BYTE>(index);
}

template <bool SeparateAlpha>
void PaletteCodec<SeparateAlpha>::ReadRow(UINT y, UINT z, FloatRgba* out) {
  const BYTE* source = RowAddress(y, z);
  const FloatRgba* palette = paletteTable_.get();
  for (UINT x = 0; x < width_; ++x) {
    if constexpr (SeparateAlpha) {
      const FloatRgba& e = palette[source[2 * x]];
      out[x] = {e.R, e.G, e.B, kUnsignedTable<8>[source[2 * x + 1]]};
    } else {
      out[x] = palette[source[x]];
    }
  }
  FinishReadRow(out);
}

template <bool SeparateAlpha>
void PaletteCodec<SeparateAlpha>::WriteRow(UINT y, UINT z, const FloatRgba* in) {
  const FloatRgba* row = ConvertRowForWriting(in);
  if (!row) return;
  BYTE* destination = RowAddress(y, z);
  const FloatRgba* palette = paletteTable_.get();
  const float* offsets = DitherRow(y, z);
  RoundTowardZeroScope rounding;
  // Neighbouring pixels are often equal: reuse the last search when the colour repeats.
  FloatRgba last{};
  BYTE lastIndex = 0;
  bool haveLast = false;
  for (UINT x = 0; x < width_; ++x) {
    const FloatRgba& p = row[x];
    const bool same = haveLast && p.R == last.R && p.G == last.G && p.B == last.B && (!SeparateAlpha || p.A == last.A);
    if (!same) {
      lastIndex = NearestPaletteEntry(palette, p, !SeparateAlpha);
      last = p;
      haveLast = true;
    }
    if constexpr (SeparateAlpha) {
      destination[2 * x] = lastIndex;
      destination[2 * x + 1] = static_cast<BYTE>(QuantizeUnsigned(p.A, 255.0f, offsets[x & 3]));
    } else {
      destination[x] = lastIndex;
    }
  }
}

template class PaletteCodec<false>;
template class PaletteCodec<true>;

}  // namespace rastro
