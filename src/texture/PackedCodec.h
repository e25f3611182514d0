// The codec of every format whose pixel is one little-endian integer of 1 to 8 bytes holding
// fixed bit fields: the RGB, alpha, luminance and bump-map formats. Each format is a constant
// PackedLayout; the codec is instantiated per layout, so every loop is specialised to its
// format's fields.
#pragma once

#include <cstdint>

#include "FloatRounding.h"
#include "PixelCodec.h"
#include "PixelFields.h"

namespace rastro {

struct PackedField {
  std::uint8_t shift = 0;
  std::uint8_t bits = 0;  // 0: the format does not store this channel
  bool isSigned = false;
};

struct PackedLayout {
  std::uint8_t bytes;
  ChannelRange range;
  // R, G, B, A. For luminance layouts `red` holds L, read into R, G and B and written from
  // their luminance.
  PackedField red, green, blue, alpha;
  bool luminance = false;
  // What R, G and B read as when not stored (alpha always reads 1).
  float missingColor = 1.0f;
};

// Weights of the luminance written by the luminance formats.
inline float Luminance(const FloatRgba& p) { return 0.2125f * p.R + 0.7154f * p.G + 0.0721f * p.B; }

template <unsigned Shift, unsigned Bits, bool Signed>
inline float ReadField(std::uint64_t pixel, float missing) {
  if constexpr (Bits == 0) {
    return missing;
  } else {
    const auto field = static_cast<std::uint32_t>((pixel >> Shift) & FieldMax(Bits));
    if constexpr (Signed) {
      return ReadSignedField<Bits>(field);
    } else {
      return ReadUnsignedField<Bits>(field);
    }
  }
}

template <unsigned Shift, unsigned Bits, bool Signed>
inline std::uint64_t WriteField(float v, float offset) {
  if constexpr (Bits == 0) {
    return 0;
  } else if constexpr (Signed) {
    return static_cast<std::uint64_t>(QuantizeSigned(v, static_cast<float>(SignedFieldMax(Bits)), offset, Bits))
           << Shift;
  } else {
    return static_cast<std::uint64_t>(QuantizeUnsigned(v, static_cast<float>(FieldMax(Bits)), offset)) << Shift;
  }
}

#define RASTRO_FIELD(f) f.shift, f.bits, f.isSigned

template <const PackedLayout& L>
inline FloatRgba DecodePacked(std::uint64_t pixel) {
  if constexpr (L.luminance) {
    const float l = ReadField<RASTRO_FIELD(L.red)>(pixel, 1.0f);
    return {l, l, l, ReadField<RASTRO_FIELD(L.alpha)>(pixel, 1.0f)};
  } else {
    return {ReadField<RASTRO_FIELD(L.red)>(pixel, L.missingColor),
            ReadField<RASTRO_FIELD(L.green)>(pixel, L.missingColor),
            ReadField<RASTRO_FIELD(L.blue)>(pixel, L.missingColor), ReadField<RASTRO_FIELD(L.alpha)>(pixel, 1.0f)};
  }
}

// Called inside a RoundTowardZeroScope.
template <const PackedLayout& L>
inline std::uint64_t EncodePacked(const FloatRgba& p, float offset) {
  if constexpr (L.luminance) {
    return WriteField<RASTRO_FIELD(L.red)>(Luminance(p), offset) | WriteField<RASTRO_FIELD(L.alpha)>(p.A, offset);
  } else {
    return WriteField<RASTRO_FIELD(L.red)>(p.R, offset) | WriteField<RASTRO_FIELD(L.green)>(p.G, offset) |
           WriteField<RASTRO_FIELD(L.blue)>(p.B, offset) | WriteField<RASTRO_FIELD(L.alpha)>(p.A, offset);
  }
}

#undef RASTRO_FIELD

// Vector paths for some layouts; each returns how many leading pixels it handled (0 when it
// has none for the layout or the processor). Defined in PackedCodecVector.cpp.
// Reading runs inside a RoundToNearestScope.
UINT ReadPackedVector(D3DFORMAT format, const BYTE* source, FloatRgba* out, UINT count);
UINT WritePackedVector(D3DFORMAT format, const FloatRgba* in, BYTE* destination, UINT count, const float* offsets);

template <const PackedLayout& L>
class PackedCodec final : public PixelCodec {
 public:
  explicit PackedCodec(const PixelRegion& region) : PixelCodec(region, L.bytes * 8u, L.range) {}

  void ReadRow(UINT y, UINT z, FloatRgba* out) override {
    RoundToNearestScope rounding;  // fields wider than the tables are divided here
    const BYTE* source = RowAddress(y, z);
    UINT x = ReadPackedVector(format_, source, out, width_);
    for (; x < width_; ++x)
      out[x] = DecodePacked<L>(LoadPixel<L.bytes>(source + static_cast<std::size_t>(x) * L.bytes));
    FinishReadRow(out);
  }

  HRESULT WriteRow(UINT y, UINT z, const FloatRgba* in) override {
    const FloatRgba* row = ConvertRowForWriting(in);
    if (!row) return E_OUTOFMEMORY;
    BYTE* destination = RowAddress(y, z);
    const float* offsets = DitherRow(y, z);
    RoundTowardZeroScope rounding;
    UINT x = WritePackedVector(format_, row, destination, width_, offsets);
    for (; x < width_; ++x) {
      StorePixel<L.bytes>(destination + static_cast<std::size_t>(x) * L.bytes, EncodePacked<L>(row[x], offsets[x & 3]));
    }
    return S_OK;
  }
};

}  // namespace rastro
