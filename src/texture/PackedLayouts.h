// The bit fields of every packed pixel format, shared by the packed codecs and the fast row
// conversions between packed formats.
#pragma once

#include "PackedCodec.h"

namespace rastro::layouts {

constexpr PackedField U(std::uint8_t shift, std::uint8_t bits) { return {shift, bits, false}; }
constexpr PackedField S(std::uint8_t shift, std::uint8_t bits) { return {shift, bits, true}; }
inline constexpr PackedField None{};

// Bit fields of the little-endian pixel integer, in the order R, G, B, A.
inline constexpr PackedLayout kR8G8B8{3, RangeUnsigned, U(16, 8), U(8, 8), U(0, 8), None};
inline constexpr PackedLayout kA8R8G8B8{4, RangeUnsigned, U(16, 8), U(8, 8), U(0, 8), U(24, 8)};
inline constexpr PackedLayout kX8R8G8B8{4, RangeUnsigned, U(16, 8), U(8, 8), U(0, 8), None};
inline constexpr PackedLayout kR5G6B5{2, RangeUnsigned, U(11, 5), U(5, 6), U(0, 5), None};
inline constexpr PackedLayout kX1R5G5B5{2, RangeUnsigned, U(10, 5), U(5, 5), U(0, 5), None};
inline constexpr PackedLayout kA1R5G5B5{2, RangeUnsigned, U(10, 5), U(5, 5), U(0, 5), U(15, 1)};
inline constexpr PackedLayout kA4R4G4B4{2, RangeUnsigned, U(8, 4), U(4, 4), U(0, 4), U(12, 4)};
inline constexpr PackedLayout kR3G3B2{1, RangeUnsigned, U(5, 3), U(2, 3), U(0, 2), None};
inline constexpr PackedLayout kA8{1, RangeUnsigned, None, None, None, U(0, 8), false, 0.0f};
inline constexpr PackedLayout kA8R3G3B2{2, RangeUnsigned, U(5, 3), U(2, 3), U(0, 2), U(8, 8)};
inline constexpr PackedLayout kX4R4G4B4{2, RangeUnsigned, U(8, 4), U(4, 4), U(0, 4), None};
inline constexpr PackedLayout kA2B10G10R10{4, RangeUnsigned, U(0, 10), U(10, 10), U(20, 10), U(30, 2)};
inline constexpr PackedLayout kA8B8G8R8{4, RangeUnsigned, U(0, 8), U(8, 8), U(16, 8), U(24, 8)};
inline constexpr PackedLayout kX8B8G8R8{4, RangeUnsigned, U(0, 8), U(8, 8), U(16, 8), None};
inline constexpr PackedLayout kG16R16{4, RangeUnsigned, U(0, 16), U(16, 16), None, None};
inline constexpr PackedLayout kA2R10G10B10{4, RangeUnsigned, U(20, 10), U(10, 10), U(0, 10), U(30, 2)};
inline constexpr PackedLayout kA16B16G16R16{8, RangeUnsigned, U(0, 16), U(16, 16), U(32, 16), U(48, 16)};
inline constexpr PackedLayout kR16{6, RangeUnsigned, U(32, 16), U(16, 16), U(0, 16), None};

// Luminance: the red field holds L.
inline constexpr PackedLayout kL8{1, RangeUnsigned, U(0, 8), None, None, None, true};
inline constexpr PackedLayout kA8L8{2, RangeUnsigned, U(0, 8), None, None, U(8, 8), true};
inline constexpr PackedLayout kA4L4{1, RangeUnsigned, U(0, 4), None, None, U(4, 4), true};
inline constexpr PackedLayout kL16{2, RangeUnsigned, U(0, 16), None, None, None, true};
inline constexpr PackedLayout kAL16{4, RangeUnsigned, U(0, 16), None, None, U(16, 16), true};

// Bump maps: U reads into R, V into G, W into B, Q into A; the luminance of L6V5U5 and
// X8L8V8U8 travels in A.
inline constexpr PackedLayout kV8U8{2, RangeSignedRgb, S(0, 8), S(8, 8), None, None};
inline constexpr PackedLayout kL6V5U5{2, RangeSignedRgb, S(0, 5), S(5, 5), None, U(10, 6)};
inline constexpr PackedLayout kX8L8V8U8{4, RangeSignedRgb, S(0, 8), S(8, 8), None, U(16, 8)};
inline constexpr PackedLayout kQ8W8V8U8{4, RangeSigned, S(0, 8), S(8, 8), S(16, 8), S(24, 8)};
inline constexpr PackedLayout kV16U16{4, RangeSignedRgb, S(0, 16), S(16, 16), None, None};
inline constexpr PackedLayout kA2W10V10U10{4, RangeSignedRgb, S(0, 10), S(10, 10), S(20, 10), U(30, 2)};
inline constexpr PackedLayout kQ16W16V16U16{8, RangeSigned, S(0, 16), S(16, 16), S(32, 16), S(48, 16)};

}  // namespace rastro::layouts
