// The 16-bit float conversions behind D3DXFloat16To32Array and D3DXFloat32To16Array, for
// rows of packed pixels at any alignment.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rastro {

float HalfToFloat(std::uint16_t half);
std::uint16_t FloatToHalf(float value);

// n values; the byte side may lie at any address.
void HalvesToFloats(const std::uint8_t* in, float* out, std::size_t n);
void FloatsToHalves(const float* in, std::uint8_t* out, std::size_t n);

}  // namespace rastro
