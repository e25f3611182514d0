#include "PlainCodec.h"

#include <new>

#include "CxV8U8Codec.h"
#include "FloatCodec.h"
#include "FormatCatalogue.h"
#include "PackedCodec.h"
#include "PaletteCodec.h"

namespace rastro {

namespace {

constexpr PackedField U(std::uint8_t shift, std::uint8_t bits) { return {shift, bits, false}; }
constexpr PackedField S(std::uint8_t shift, std::uint8_t bits) { return {shift, bits, true}; }
constexpr PackedField None{};

// Bit fields of the little-endian pixel integer, in the order R, G, B, A.
constexpr PackedLayout kR8G8B8{3, RangeUnsigned, U(16, 8), U(8, 8), U(0, 8), None};
constexpr PackedLayout kA8R8G8B8{4, RangeUnsigned, U(16, 8), U(8, 8), U(0, 8), U(24, 8)};
constexpr PackedLayout kX8R8G8B8{4, RangeUnsigned, U(16, 8), U(8, 8), U(0, 8), None};
constexpr PackedLayout kR5G6B5{2, RangeUnsigned, U(11, 5), U(5, 6), U(0, 5), None};
constexpr PackedLayout kX1R5G5B5{2, RangeUnsigned, U(10, 5), U(5, 5), U(0, 5), None};
constexpr PackedLayout kA1R5G5B5{2, RangeUnsigned, U(10, 5), U(5, 5), U(0, 5), U(15, 1)};
constexpr PackedLayout kA4R4G4B4{2, RangeUnsigned, U(8, 4), U(4, 4), U(0, 4), U(12, 4)};
constexpr PackedLayout kR3G3B2{1, RangeUnsigned, U(5, 3), U(2, 3), U(0, 2), None};
constexpr PackedLayout kA8{1, RangeUnsigned, None, None, None, U(0, 8), false, 0.0f};
constexpr PackedLayout kA8R3G3B2{2, RangeUnsigned, U(5, 3), U(2, 3), U(0, 2), U(8, 8)};
constexpr PackedLayout kX4R4G4B4{2, RangeUnsigned, U(8, 4), U(4, 4), U(0, 4), None};
constexpr PackedLayout kA2B10G10R10{4, RangeUnsigned, U(0, 10), U(10, 10), U(20, 10), U(30, 2)};
constexpr PackedLayout kA8B8G8R8{4, RangeUnsigned, U(0, 8), U(8, 8), U(16, 8), U(24, 8)};
constexpr PackedLayout kX8B8G8R8{4, RangeUnsigned, U(0, 8), U(8, 8), U(16, 8), None};
constexpr PackedLayout kG16R16{4, RangeUnsigned, U(0, 16), U(16, 16), None, None};
constexpr PackedLayout kA2R10G10B10{4, RangeUnsigned, U(20, 10), U(10, 10), U(0, 10), U(30, 2)};
constexpr PackedLayout kA16B16G16R16{8, RangeUnsigned, U(0, 16), U(16, 16), U(32, 16), U(48, 16)};
constexpr PackedLayout kR16{6, RangeUnsigned, U(32, 16), U(16, 16), U(0, 16), None};

// Luminance: the red field holds L.
constexpr PackedLayout kL8{1, RangeUnsigned, U(0, 8), None, None, None, true};
constexpr PackedLayout kA8L8{2, RangeUnsigned, U(0, 8), None, None, U(8, 8), true};
constexpr PackedLayout kA4L4{1, RangeUnsigned, U(0, 4), None, None, U(4, 4), true};
constexpr PackedLayout kL16{2, RangeUnsigned, U(0, 16), None, None, None, true};
constexpr PackedLayout kAL16{4, RangeUnsigned, U(0, 16), None, None, U(16, 16), true};

// Bump maps: U reads into R, V into G, W into B, Q into A; the luminance of L6V5U5 and
// X8L8V8U8 travels in A.
constexpr PackedLayout kV8U8{2, RangeSignedRgb, S(0, 8), S(8, 8), None, None};
constexpr PackedLayout kL6V5U5{2, RangeSignedRgb, S(0, 5), S(5, 5), None, U(10, 6)};
constexpr PackedLayout kX8L8V8U8{4, RangeSignedRgb, S(0, 8), S(8, 8), None, U(16, 8)};
constexpr PackedLayout kQ8W8V8U8{4, RangeSigned, S(0, 8), S(8, 8), S(16, 8), S(24, 8)};
constexpr PackedLayout kV16U16{4, RangeSignedRgb, S(0, 16), S(16, 16), None, None};
constexpr PackedLayout kA2W10V10U10{4, RangeSignedRgb, S(0, 10), S(10, 10), S(20, 10), U(30, 2)};
constexpr PackedLayout kQ16W16V16U16{8, RangeSigned, S(0, 16), S(16, 16), S(32, 16), S(48, 16)};

template <typename Codec>
std::unique_ptr<PixelCodec> Make(const PixelRegion& region) {
  return std::unique_ptr<PixelCodec>(new (std::nothrow) Codec(region));
}

}  // namespace

std::unique_ptr<PixelCodec> CreatePlainCodec(const PixelRegion& region) {
  switch (region.Format) {
    case D3DFMT_R8G8B8: return Make<PackedCodec<kR8G8B8>>(region);
    case D3DFMT_A8R8G8B8: return Make<PackedCodec<kA8R8G8B8>>(region);
    case D3DFMT_X8R8G8B8: return Make<PackedCodec<kX8R8G8B8>>(region);
    case D3DFMT_R5G6B5: return Make<PackedCodec<kR5G6B5>>(region);
    case D3DFMT_X1R5G5B5: return Make<PackedCodec<kX1R5G5B5>>(region);
    case D3DFMT_A1R5G5B5: return Make<PackedCodec<kA1R5G5B5>>(region);
    case D3DFMT_A4R4G4B4: return Make<PackedCodec<kA4R4G4B4>>(region);
    case D3DFMT_R3G3B2: return Make<PackedCodec<kR3G3B2>>(region);
    case D3DFMT_A8: return Make<PackedCodec<kA8>>(region);
    case D3DFMT_A8R3G3B2: return Make<PackedCodec<kA8R3G3B2>>(region);
    case D3DFMT_X4R4G4B4: return Make<PackedCodec<kX4R4G4B4>>(region);
    case D3DFMT_A2B10G10R10: return Make<PackedCodec<kA2B10G10R10>>(region);
    case D3DFMT_A8B8G8R8: return Make<PackedCodec<kA8B8G8R8>>(region);
    case D3DFMT_X8B8G8R8: return Make<PackedCodec<kX8B8G8R8>>(region);
    case D3DFMT_G16R16: return Make<PackedCodec<kG16R16>>(region);
    case D3DFMT_A2R10G10B10: return Make<PackedCodec<kA2R10G10B10>>(region);
    case D3DFMT_A16B16G16R16: return Make<PackedCodec<kA16B16G16R16>>(region);
    case D3DFMT_A8P8: return Make<PaletteCodec<true>>(region);
    case D3DFMT_P8: return Make<PaletteCodec<false>>(region);
    case D3DFMT_L8: return Make<PackedCodec<kL8>>(region);
    case D3DFMT_A8L8: return Make<PackedCodec<kA8L8>>(region);
    case D3DFMT_A4L4: return Make<PackedCodec<kA4L4>>(region);
    case D3DFMT_V8U8: return Make<PackedCodec<kV8U8>>(region);
    case D3DFMT_L6V5U5: return Make<PackedCodec<kL6V5U5>>(region);
    case D3DFMT_X8L8V8U8: return Make<PackedCodec<kX8L8V8U8>>(region);
    case D3DFMT_Q8W8V8U8: return Make<PackedCodec<kQ8W8V8U8>>(region);
    case D3DFMT_V16U16: return Make<PackedCodec<kV16U16>>(region);
    case D3DFMT_A2W10V10U10: return Make<PackedCodec<kA2W10V10U10>>(region);
    case D3DFMT_D16_LOCKABLE: return Make<PackedCodec<kL16>>(region);
    case D3DFMT_L16: return Make<PackedCodec<kL16>>(region);
    case D3DFMT_D32F_LOCKABLE: return Make<FloatCodec<1, false>>(region);
    case D3DFMT_Q16W16V16U16: return Make<PackedCodec<kQ16W16V16U16>>(region);
    case D3DFMT_R16F: return Make<FloatCodec<1, true>>(region);
    case D3DFMT_G16R16F: return Make<FloatCodec<2, true>>(region);
    case D3DFMT_A16B16G16R16F: return Make<FloatCodec<4, true>>(region);
    case D3DFMT_R32F: return Make<FloatCodec<1, false>>(region);
    case D3DFMT_G32R32F: return Make<FloatCodec<2, false>>(region);
    case D3DFMT_A32B32G32R32F: return Make<FloatCodec<4, false>>(region);
    case D3DFMT_CxV8U8: return Make<CxV8U8Codec>(region);
    default: break;
  }
  if (region.Format == FORMAT_AL16) return Make<PackedCodec<kAL16>>(region);
  if (region.Format == FORMAT_R16) return Make<PackedCodec<kR16>>(region);
  return nullptr;
}

}  // namespace rastro
