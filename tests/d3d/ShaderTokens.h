// Hand encoding of shader token streams for tests, straight from the published token layout.
#pragma once

#include <cstring>
#include <initializer_list>
#include <vector>

#include "d3d9types.h"

namespace rastro::testing {

// A register parameter token: type bits 0-2 at 28-30, bits 3-4 at 11-12, number in 0-10.
constexpr DWORD Reg(DWORD type, DWORD number) {
  return 0x80000000u | ((type & 7u) << 28) | ((type & 0x18u) << 8) | number;
}
// Destination: register, write mask (bit n: component n), result modifiers and shift.
constexpr DWORD Dst(DWORD type, DWORD number, DWORD mask = 0xF, DWORD modifiers = 0) {
  return Reg(type, number) | (mask << 16) | modifiers;
}
// Swizzle from four component numbers.
constexpr DWORD Swz(DWORD x, DWORD y, DWORD z, DWORD w) { return x | (y << 2) | (z << 4) | (w << 6); }
constexpr DWORD kIdentity = 0xE4;
// Source: register, swizzle, D3DSPSM_* modifier.
constexpr DWORD Src(DWORD type, DWORD number, DWORD swizzle = kIdentity, DWORD modifier = 0) {
  return Reg(type, number) | (swizzle << 16) | modifier;
}

inline DWORD FloatBitsOf(float value) {
  DWORD bits;
  std::memcpy(&bits, &value, 4);
  return bits;
}

// Builds a stream: version token, instructions with their length field when the version has
// one, end token.
class TokenStream {
 public:
  explicit TokenStream(DWORD version) : withLength_(((version >> 8) & 0xFF) >= 2) { tokens_.push_back(version); }

  TokenStream& Op(DWORD opcodeWithControls, std::initializer_list<DWORD> operands, DWORD flags = 0) {
    DWORD length = withLength_ ? static_cast<DWORD>(operands.size()) << 24 : 0;
    tokens_.push_back(opcodeWithControls | length | flags);
    tokens_.insert(tokens_.end(), operands.begin(), operands.end());
    return *this;
  }
  TokenStream& Def(DWORD number, float x, float y, float z, float w) {
    return Op(D3DSIO_DEF, {Dst(D3DSPR_CONST, number), FloatBitsOf(x), FloatBitsOf(y), FloatBitsOf(z), FloatBitsOf(w)});
  }
  std::vector<DWORD> End() const {
    std::vector<DWORD> out = tokens_;
    out.push_back(0x0000FFFF);
    return out;
  }

 private:
  bool withLength_;
  std::vector<DWORD> tokens_;
};

}  // namespace rastro::testing
