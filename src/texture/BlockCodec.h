// The pixel codec of the block-compressed formats D3DFMT_DXT1 to D3DFMT_DXT5. The engine moves
// one pixel row at a time, but blocks hold four rows: reads decode a whole block row into a
// cache, writes collect the four rows of a block row and encode its blocks once all of them
// are known. Where the region cuts blocks, the pixels outside it are decoded from the surface
// first, so that a partial write keeps them.
#pragma once

#include <memory>

#include "DxtBlock.h"
#include "PixelCodec.h"

namespace rastro {

class BlockCodec final : public PixelCodec {
 public:
  // Null when the format is not a DXT format, the region is malformed or memory runs out.
  static std::unique_ptr<PixelCodec> Create(const PixelRegion& region);
  // Block rows that never received all their rows are dropped, not written.
  ~BlockCodec() override;

  void ReadRow(UINT y, UINT z, FloatRgba* out) override;
  HRESULT WriteRow(UINT y, UINT z, const FloatRgba* in) override;
  // The key becomes what a block can reproduce: 5:6:5 colour and 4- or 8-bit alpha.
  void PrepareColorKey() override;

 private:
  struct PendingBlockRow {
    unsigned rowsWritten = 0;  // bit r: row r of the block row is known
    std::unique_ptr<BlockPixels[]> pixels;
  };

  BlockCodec(const PixelRegion& region, UINT blockBytes, DxtKind kind, float alphaScale);

  BYTE* BlockAddress(UINT x, UINT y, UINT z) const;
  std::unique_ptr<BlockPixels[]> AllocateBlockRow() const;
  void DecodeBlockRow(BlockPixels* pixels, UINT blockY, UINT z, UINT firstBlock, UINT endBlock) const;
  void EncodeBlockRow(BlockPixels* pixels, UINT blockY, UINT z) const;
  // Fills the columns and rows of a block that lie outside the image from those inside, so
  // that they do not pull the block's endpoints.
  void PadBlock(BlockPixels& block, UINT x, UINT y) const;
  void ApplyBlockColorKey(FloatRgba* row) const;

  D3DBOX extent_;
  UINT blockLeft_, blockTop_, blockRight_, blockBottom_;
  UINT blocksAcross_, blockRowsDown_;
  UINT blockBytes_;
  DxtKind kind_;
  float alphaScale_;

  std::unique_ptr<BlockPixels[]> cache_;
  bool cacheValid_ = false;
  UINT cacheY_ = 0, cacheZ_ = 0;

  std::unique_ptr<PendingBlockRow[]> pending_;
};

}  // namespace rastro
