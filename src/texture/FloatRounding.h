// Quantisation of floats to pixel fields is defined as truncation of the 32-bit float sum
// v * max + offset computed with the floating-point unit rounding toward zero. The scope below
// switches the mode for one row and restores the caller's mode afterwards, so that every
// product and sum inside it rounds the way the stored integers require.
#pragma once

#include <cfenv>

namespace rastro {

class RoundTowardZeroScope {
 public:
  RoundTowardZeroScope() : previous_(std::fegetround()) { std::fesetround(FE_TOWARDZERO); }
  ~RoundTowardZeroScope() { std::fesetround(previous_); }
  RoundTowardZeroScope(const RoundTowardZeroScope&) = delete;
  RoundTowardZeroScope& operator=(const RoundTowardZeroScope&) = delete;

 private:
  int previous_;
};

// Reading divides fields by their maximum with the quotient rounded to nearest, and decodes
// blocks, pairs and gamma with arithmetic whose rounding follows the mode; every ReadRow runs
// in round-to-nearest whatever mode the caller left set.
class RoundToNearestScope {
 public:
  RoundToNearestScope() : previous_(std::fegetround()) {
    if (previous_ != FE_TONEAREST) std::fesetround(FE_TONEAREST);
  }
  ~RoundToNearestScope() {
    if (previous_ != FE_TONEAREST) std::fesetround(previous_);
  }
  RoundToNearestScope(const RoundToNearestScope&) = delete;
  RoundToNearestScope& operator=(const RoundToNearestScope&) = delete;

 private:
  int previous_;
};

}  // namespace rastro
