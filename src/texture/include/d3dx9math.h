// The 16-bit float type of the D3DX utility library and its array conversions, with the
// published names and signatures.
//
// The 16-bit format has a sign bit, a 5-bit exponent with bias 15 and a 10-bit fraction, and no
// infinities or NaNs: exponent 31 is an ordinary exponent, so the largest magnitude is 131008.
#pragma once

#include "WindowsTypes.h"

struct D3DXFLOAT16;

// Converts n 32-bit floats to 16 bits: nearest value with ties to even; magnitudes beyond the
// largest (infinities and NaNs included) become the largest with the input's sign; values below
// the smallest denormal become a zero that keeps the sign. Returns pOut.
D3DXFLOAT16* D3DXFloat32To16Array(D3DXFLOAT16* pOut, const FLOAT* pIn, UINT n);
// Converts n 16-bit floats to 32 bits exactly. Returns pOut.
FLOAT* D3DXFloat16To32Array(FLOAT* pOut, const D3DXFLOAT16* pIn, UINT n);

struct D3DXFLOAT16 {
  D3DXFLOAT16() = default;
  D3DXFLOAT16(FLOAT f) { D3DXFloat32To16Array(this, &f, 1); }
  operator FLOAT() const {
    FLOAT f;
    D3DXFloat16To32Array(&f, this, 1);
    return f;
  }
  bool operator==(const D3DXFLOAT16& other) const { return value == other.value; }
  bool operator!=(const D3DXFLOAT16& other) const { return value != other.value; }

  // The bits as stored.
  WORD value;
};
static_assert(sizeof(D3DXFLOAT16) == 2);
