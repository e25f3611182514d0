// Studio-range BT.601: luma in 16..235 and the two colour differences in 16..240 around 128,
// from red, green and blue in [0, 1]. One definition for everything that stores YUV (the
// device's colour fill, the texture loader's pair codec), so that one colour gives the same
// bytes wherever it is converted.
//
// Each value is the 32-bit float sum below, evaluated left to right with the floating-point
// unit rounding toward zero, truncated, biased and held to a byte. Callers set that rounding
// mode around the call (the loader's rows run in it already).
#pragma once

#include <cstdint>

namespace rastro {

struct Bt601Bytes {
  std::uint8_t luma;
  std::uint8_t blueDifference;  // U, Cb
  std::uint8_t redDifference;   // V, Cr
};

// trunc(x) + bias held to a byte; out-of-range sums (from float sources) are held first.
inline std::uint8_t Bt601BiasedByte(float x, int bias) {
  x = x > -1024.0f ? x : -1024.0f;
  x = x < 1024.0f ? x : 1024.0f;
  const int v = static_cast<int>(x) + bias;
  return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

inline std::uint8_t Bt601Luma(float r, float g, float b) {
  return Bt601BiasedByte(65.481f * r + 128.553f * g + 24.966f * b + 0.5f, 16);
}

inline Bt601Bytes EncodeBt601(float r, float g, float b) {
  return {Bt601Luma(r, g, b), Bt601BiasedByte(112.0f * b - 74.203f * g - 37.797f * r + 0.5f, 128),
          Bt601BiasedByte(112.0f * r - 93.786f * g - 18.214f * b + 0.5f, 128)};
}

}  // namespace rastro
