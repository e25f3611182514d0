// Codecs of the floating-point formats: one to four channels (R, G, B, A in that order) of
// 16-bit or 32-bit floats. They are never range-converted and never quantised.
#pragma once

#include "PixelCodec.h"

namespace rastro {

template <unsigned Channels, bool Half>
class FloatCodec final : public PixelCodec {
 public:
  explicit FloatCodec(const PixelRegion& region) : PixelCodec(region, Channels * (Half ? 16u : 32u), RangeFloat) {}
  void ReadRow(UINT y, UINT z, FloatRgba* out) override;
  HRESULT WriteRow(UINT y, UINT z, const FloatRgba* in) override;
};

extern template class FloatCodec<1, true>;
extern template class FloatCodec<2, true>;
extern template class FloatCodec<4, true>;
extern template class FloatCodec<1, false>;
extern template class FloatCodec<2, false>;
extern template class FloatCodec<4, false>;

}  // namespace rastro
