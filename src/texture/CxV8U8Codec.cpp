#include "CxV8U8Codec.h"

#include <cmath>

#include "FloatRounding.h"
#include "PixelFields.h"

namespace rastro {

void NormalizeVector3(float& x, float& y, float& z) {
  const float lengthSquared = x * x + y * y + z * z;
  if (std::fabs(lengthSquared - 1.0f) <= 0x1p-23f) return;
  if (!(lengthSquared > 1.1754944e-38f)) {
    x = y = z = 0.0f;
    return;
  }
  const float scale = 1.0f / std::sqrt(lengthSquared);
  x *= scale;
  y *= scale;
  z *= scale;
}

void CxV8U8Codec::ReadRow(UINT y, UINT z, FloatRgba* out) {
  RoundToNearestScope rounding;
  const BYTE* source = RowAddress(y, z);
  for (UINT x = 0; x < width_; ++x) {
    const float u = kSignedTable<8>[source[2 * x]];
    const float v = kSignedTable<8>[source[2 * x + 1]];
    const float rest = 1.0f - u * u - v * v;
    out[x] = {u, v, rest > 0.0f ? std::sqrt(rest) : 0.0f, 1.0f};
  }
  FinishReadRow(out);
}

HRESULT CxV8U8Codec::WriteRow(UINT y, UINT z, const FloatRgba* in) {
  const FloatRgba* row = ConvertRowForWriting(in);
  if (!row) return E_OUTOFMEMORY;
  BYTE* destination = RowAddress(y, z);
  const float* offsets = DitherRow(y, z);
  RoundTowardZeroScope rounding;
  for (UINT x = 0; x < width_; ++x) {
    float nx = row[x].R, ny = row[x].G, nz = row[x].B;
    NormalizeVector3(nx, ny, nz);
    destination[2 * x] = static_cast<BYTE>(QuantizeSigned(nx, 127.0f, offsets[x & 3], 8));
    destination[2 * x + 1] = static_cast<BYTE>(QuantizeSigned(ny, 127.0f, offsets[x & 3], 8));
  }
  return S_OK;
}

}  // namespace rastro
