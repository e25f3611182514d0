// The codec of D3DFMT_CxV8U8: a normal map that stores only x (U) and y (V) as signed bytes;
// z is derived on reading from the vector having unit length.
#pragma once

#include "PixelCodec.h"

namespace rastro {

class CxV8U8Codec final : public PixelCodec {
 public:
  explicit CxV8U8Codec(const PixelRegion& region) : PixelCodec(region, 16, RangeSignedRgb) {}
  void ReadRow(UINT y, UINT z, FloatRgba* out) override;
  HRESULT WriteRow(UINT y, UINT z, const FloatRgba* in) override;
};

// (x, y, z) scaled to unit length: unchanged when its squared length is already within 2^-23
// of 1, (0, 0, 0) when the squared length is not above the smallest normal float.
void NormalizeVector3(float& x, float& y, float& z);

}  // namespace rastro
