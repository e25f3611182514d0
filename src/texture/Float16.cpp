#include "Float16.h"

#include <bit>
#include <cstring>

#include "d3dx9math.h"

namespace rastro {

float HalfToFloat(std::uint16_t half) {
  const std::uint32_t sign = (half & 0x8000u) << 16;
  const std::uint32_t exponent = (half >> 10) & 0x1Fu;
  std::uint32_t fraction = half & 0x3FFu;
  if (exponent != 0) return std::bit_cast<float>(sign | ((exponent + 112) << 23) | (fraction << 13));
  if (fraction == 0) return std::bit_cast<float>(sign);
  // A denormal, f * 2^-24: normalise it.
  std::int32_t e = -14;
  while (!(fraction & 0x400u)) {
    fraction <<= 1;
    --e;
  }
  fraction &= 0x3FFu;
  return std::bit_cast<float>(sign | (static_cast<std::uint32_t>(e + 127) << 23) | (fraction << 13));
}

std::uint16_t FloatToHalf(float value) {
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
  const std::uint32_t sign = (bits >> 16) & 0x8000u;
  const std::uint32_t magnitude = bits & 0x7FFFFFFFu;
  // Beyond the largest value (infinities and NaNs too): the largest, keeping the sign.
  if (magnitude > 0x47FFEFFFu) return static_cast<std::uint16_t>(sign | 0x7FFFu);
  if (magnitude >= 0x38800000u) {
    // Re-bias the exponent by -112 and round the fraction to 10 bits, ties to even.
    return static_cast<std::uint16_t>(((magnitude + ((magnitude >> 13) & 1u) - 0x37FFF001u) >> 13) | sign);
  }
  // Denormal results: line the fraction (with its hidden bit) up with 2^-24, then round.
  const std::uint32_t shift = 113 - (magnitude >> 23);
  const std::uint32_t c = shift >= 24 ? 0 : ((magnitude & 0x7FFFFFu) | 0x800000u) >> shift;
  return static_cast<std::uint16_t>(((c + ((c >> 13) & 1u) + 0xFFFu) >> 13) | sign);
}

void HalvesToFloats(const std::uint8_t* in, float* out, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    std::uint16_t half;
    std::memcpy(&half, in + 2 * i, 2);
    out[i] = HalfToFloat(half);
  }
}

void FloatsToHalves(const float* in, std::uint8_t* out, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint16_t half = FloatToHalf(in[i]);
    std::memcpy(out + 2 * i, &half, 2);
  }
}

}  // namespace rastro

D3DXFLOAT16* D3DXFloat32To16Array(D3DXFLOAT16* pOut, const FLOAT* pIn, UINT n) {
  for (UINT i = 0; i < n; ++i) pOut[i].value = rastro::FloatToHalf(pIn[i]);
  return pOut;
}

FLOAT* D3DXFloat16To32Array(FLOAT* pOut, const D3DXFLOAT16* pIn, UINT n) {
  for (UINT i = 0; i < n; ++i) pOut[i] = rastro::HalfToFloat(pIn[i].value);
  return pOut;
}
