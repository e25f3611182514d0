#include "PairCodec.h"

#include <cstring>

#include "Bt601.h"
#include "FloatRounding.h"
#include "PixelFields.h"

namespace rastro {

namespace {

inline float Clamp01(float v) { return v < 0.0f ? 0.0f : (v < 1.0f ? v : 1.0f); }

}  // namespace

bool PairCodec::Handles(D3DFORMAT format) {
  return format == D3DFMT_YUY2 || format == D3DFMT_UYVY || format == D3DFMT_R8G8_B8G8 || format == D3DFMT_G8R8_G8B8;
}

PairCodec::PairCodec(const PixelRegion& region)
    : PixelCodec(region, 0, RangeUnsigned),
      alignedLeft_(region_.Left & ~1u),
      alignedRight_((region_.Right + 1) & ~1u),
      alignedWidth_(alignedRight_ - alignedLeft_),
      yuv_(format_ == D3DFMT_YUY2 || format_ == D3DFMT_UYVY),
      lumaShift_(format_ == D3DFMT_YUY2 || format_ == D3DFMT_R8G8_B8G8 ? 0 : 8),
      chromaShift_(8 - lumaShift_) {
  // A region ending at 0xFFFFFFFF would wrap; such an image cannot exist.
  if (alignedRight_ < alignedLeft_) {
    alignedRight_ = alignedLeft_;
    alignedWidth_ = 0;
  }
  cache_ = AllocateRow(alignedWidth_);
}

PairCodec::~PairCodec() { Flush(); }

const BYTE* PairCodec::GroupAddress(UINT x, UINT y, UINT z) const {
  return data_ + static_cast<std::size_t>(y) * rowPitch_ + static_cast<std::size_t>(z) * slicePitch_ +
         2 * static_cast<std::size_t>(x & ~1u);
}

HRESULT PairCodec::Fetch(UINT y, UINT z, bool needRead) {
  if (!cache_) return E_OUTOFMEMORY;
  if (hasCachedRow_ && cachedY_ == y && cachedZ_ == z) return S_OK;
  Flush();
  hasCachedRow_ = true;
  cachedY_ = y;
  cachedZ_ = z;
  if (needRead) DecodeSpan(y, z);
  return S_OK;
}

void PairCodec::Flush() {
  if (!dirty_ || !cache_) return;
  EncodeSpan(cachedY_, cachedZ_);
  dirty_ = false;
}

void PairCodec::DecodeSpan(UINT y, UINT z) {
  FloatRgba* pixel = cache_.get();
  for (UINT x = alignedLeft_; x < alignedRight_; x += 2, pixel += 2) {
    const BYTE* group = GroupAddress(x, y, z);
    const std::uint32_t word0 = group[0] | (group[1] << 8);
    const std::uint32_t word1 = group[2] | (group[3] << 8);
    const std::uint32_t luma0 = (word0 >> lumaShift_) & 0xFF, luma1 = (word1 >> lumaShift_) & 0xFF;
    const std::uint32_t chroma0 = (word0 >> chromaShift_) & 0xFF, chroma1 = (word1 >> chromaShift_) & 0xFF;
    if (yuv_) {
      const float u = static_cast<float>(static_cast<int>(chroma0) - 128);
      const float v = static_cast<float>(static_cast<int>(chroma1) - 128);
      const float lumas[2] = {static_cast<float>(static_cast<int>(luma0) - 16) * 0.00456621f,
                              static_cast<float>(static_cast<int>(luma1) - 16) * 0.00456621f};
      for (int k = 0; k < 2; ++k) {
        const float l = lumas[k];
        pixel[k] = {Clamp01(l + 0.00625893f * v), Clamp01(l - 0.00153632f * u - 0.00318811f * v),
                    Clamp01(l + 0.00791071f * u), 1.0f};
      }
    } else {
      const float red = kUnsignedTable<8>[chroma0], blue = kUnsignedTable<8>[chroma1];
      pixel[0] = {red, kUnsignedTable<8>[luma0], blue, 1.0f};
      pixel[1] = {red, kUnsignedTable<8>[luma1], blue, 1.0f};
    }
  }
}

void PairCodec::EncodeSpan(UINT y, UINT z) {
  RoundTowardZeroScope rounding;
  const FloatRgba* pixel = cache_.get();
  for (UINT x = alignedLeft_; x < alignedRight_; x += 2, pixel += 2) {
    const FloatRgba& p0 = pixel[0];
    const FloatRgba& p1 = pixel[1];
    std::uint32_t luma0, luma1, chroma0, chroma1;
    if (yuv_) {
      // The chroma of a pair comes from its first pixel.
      const Bt601Bytes first = EncodeBt601(p0.R, p0.G, p0.B);
      luma0 = first.luma;
      luma1 = Bt601Luma(p1.R, p1.G, p1.B);
      chroma0 = first.blueDifference;
      chroma1 = first.redDifference;
    } else {
      luma0 = QuantizeUnsigned(p0.G, 255.0f, 0.5f);
      luma1 = QuantizeUnsigned(p1.G, 255.0f, 0.5f);
      chroma0 = QuantizeUnsigned(p0.R, 255.0f, 0.5f);
      chroma1 = QuantizeUnsigned(p0.B, 255.0f, 0.5f);
    }
    const std::uint32_t word0 = (luma0 << lumaShift_) | (chroma0 << chromaShift_);
    const std::uint32_t word1 = (luma1 << lumaShift_) | (chroma1 << chromaShift_);
    BYTE* group = const_cast<BYTE*>(GroupAddress(x, y, z));
    group[0] = static_cast<BYTE>(word0);
    group[1] = static_cast<BYTE>(word0 >> 8);
    group[2] = static_cast<BYTE>(word1);
    group[3] = static_cast<BYTE>(word1 >> 8);
  }
}

void PairCodec::ReadRow(UINT y, UINT z, FloatRgba* out) {
  RoundToNearestScope rounding;
  if (FAILED(Fetch(y + region_.Top, z + region_.Front, true))) return;
  std::memcpy(out, cache_.get() + (region_.Left - alignedLeft_), static_cast<std::size_t>(width_) * sizeof(FloatRgba));
  FinishReadRow(out);
}

HRESULT PairCodec::WriteRow(UINT y, UINT z, const FloatRgba* in) {
  const FloatRgba* row = ConvertRowForWriting(in);
  if (!row) return E_OUTOFMEMORY;
  // Only a span cut at an odd edge needs the stored partner pixels.
  if (HRESULT hr = Fetch(y + region_.Top, z + region_.Front, alignedWidth_ != width_); FAILED(hr)) return hr;
  std::memcpy(cache_.get() + (region_.Left - alignedLeft_), row, static_cast<std::size_t>(width_) * sizeof(FloatRgba));
  dirty_ = true;
  return S_OK;
}

}  // namespace rastro
