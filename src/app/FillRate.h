// Millions of pixels per second from a test's measured frames.
#pragma once

#include "d3d9types.h"

namespace rastro {

// One millionth as a single-precision constant (0x358637BD), not the double 1e-6: every rate in
// a results file is scaled by it, and its last printed digits depend on which one is used.
inline constexpr float kOneMillionth = 1e-6f;

// PixelFactor x (W x H x 1e-6) x frames / seconds, evaluated left to right in double precision
// with the integers exact and `seconds` in single precision.
inline double FillRate(unsigned pixelFactor, UINT width, UINT height, UINT countedFrames, float seconds) {
  return static_cast<double>(pixelFactor) *
         (static_cast<double>(width) * static_cast<double>(height) * static_cast<double>(kOneMillionth)) *
         static_cast<double>(countedFrames) / static_cast<double>(seconds);
}

}  // namespace rastro
