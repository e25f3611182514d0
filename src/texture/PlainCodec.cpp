#include "PlainCodec.h"

#include <new>

#include "CxV8U8Codec.h"
#include "FloatCodec.h"
#include "FormatCatalogue.h"
#include "PackedCodec.h"
#include "PackedLayouts.h"
#include "PaletteCodec.h"

namespace rastro {

namespace {

using namespace layouts;

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
