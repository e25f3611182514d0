#include "FloatCodec.h"

#include <cstring>

#include "Float16.h"
#include "FloatRounding.h"

namespace rastro {

namespace {

template <bool Half>
void LoadChannels(const BYTE* pixel, float* values, std::size_t count) {
  if constexpr (Half) {
    HalvesToFloats(pixel, values, count);
  } else {
    std::memcpy(values, pixel, count * sizeof(float));
  }
}

template <bool Half>
void StoreChannels(const float* values, BYTE* pixel, std::size_t count) {
  if constexpr (Half) {
    FloatsToHalves(values, pixel, count);
  } else {
    std::memcpy(pixel, values, count * sizeof(float));
  }
}

}  // namespace

template <unsigned Channels, bool Half>
void FloatCodec<Channels, Half>::ReadRow(UINT y, UINT z, FloatRgba* out) {
  RoundToNearestScope rounding;
  const BYTE* source = RowAddress(y, z);
  if constexpr (Channels == 4) {
    // Stored R, G, B, A per pixel, like the float row.
    LoadChannels<Half>(source, &out->R, static_cast<std::size_t>(width_) * 4);
  } else {
    constexpr std::size_t kStride = Channels * (Half ? 2 : 4);
    for (UINT x = 0; x < width_; ++x) {
      float values[4] = {1.0f, 1.0f, 1.0f, 1.0f};
      LoadChannels<Half>(source + x * kStride, values, Channels);
      out[x] = {values[0], values[1], values[2], values[3]};
    }
  }
  FinishReadRow(out);
}

template <unsigned Channels, bool Half>
HRESULT FloatCodec<Channels, Half>::WriteRow(UINT y, UINT z, const FloatRgba* in) {
  const FloatRgba* row = ConvertRowForWriting(in);
  if (!row) return E_OUTOFMEMORY;
  BYTE* destination = RowAddress(y, z);
  if constexpr (Channels == 4) {
    StoreChannels<Half>(&row->R, destination, static_cast<std::size_t>(width_) * 4);
  } else {
    constexpr std::size_t kStride = Channels * (Half ? 2 : 4);
    for (UINT x = 0; x < width_; ++x) {
      const float values[4] = {row[x].R, row[x].G, row[x].B, row[x].A};
      StoreChannels<Half>(values, destination + x * kStride, Channels);
    }
  }
  return S_OK;
}

template class FloatCodec<1, true>;
template class FloatCodec<2, true>;
template class FloatCodec<4, true>;
template class FloatCodec<1, false>;
template class FloatCodec<2, false>;
template class FloatCodec<4, false>;

}  // namespace rastro
