// The codec of the four formats that pack two horizontally adjacent pixels into one 32-bit
// group: D3DFMT_YUY2 and D3DFMT_UYVY (luma per pixel, chroma shared by the pair) and
// D3DFMT_R8G8_B8G8 and D3DFMT_G8R8_G8B8 (green per pixel, red and blue shared).
//
// A region may start or end in the middle of a pair, so the codec works through a cache of one
// pair-aligned row: reading decodes the whole span once; writing fills the cache and encodes
// it when another row is touched or the codec is destroyed. A partial pair at an edge is read
// back first, so that the partner pixel outside the region keeps its stored value.
#pragma once

#include "PixelCodec.h"

namespace rastro {

class PairCodec final : public PixelCodec {
 public:
  explicit PairCodec(const PixelRegion& region);
  ~PairCodec() override;

  void ReadRow(UINT y, UINT z, FloatRgba* out) override;
  HRESULT WriteRow(UINT y, UINT z, const FloatRgba* in) override;
  // The key stays as built from the colour-key bytes.
  void PrepareColorKey() override {}

  static bool Handles(D3DFORMAT format);

 private:
  // Makes (y, z), in image coordinates, the cached row; decodes it when `needRead`.
  HRESULT Fetch(UINT y, UINT z, bool needRead);
  // Encodes the cached row into memory if it holds unwritten pixels.
  void Flush();
  void DecodeSpan(UINT y, UINT z);
  void EncodeSpan(UINT y, UINT z);
  const BYTE* GroupAddress(UINT x, UINT y, UINT z) const;

  UINT alignedLeft_;
  UINT alignedRight_;
  UINT alignedWidth_;
  std::unique_ptr<FloatRgba[]> cache_;
  bool hasCachedRow_ = false;
  UINT cachedY_ = 0;
  UINT cachedZ_ = 0;
  bool dirty_ = false;
  bool yuv_;
  unsigned lumaShift_;
  unsigned chromaShift_;
};

}  // namespace rastro
