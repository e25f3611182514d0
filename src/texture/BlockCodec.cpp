#include "BlockCodec.h"

#include <cstring>
#include <limits>
#include <new>

#include "FloatRounding.h"

namespace rastro {
namespace {

float QuantizeKey(float v, float levels) { return static_cast<float>(static_cast<int>(v * levels + 0.5f)) / levels; }

constexpr UINT RoundDown4(UINT v) { return v & ~3u; }
constexpr UINT RoundUp4(UINT v) { return (v + 3u) & ~3u; }

}  // namespace

std::unique_ptr<PixelCodec> BlockCodec::Create(const PixelRegion& region) {
  UINT blockBytes = kDxt2To5BlockBytes;
  DxtKind kind;
  float alphaScale = 255.0f;
  switch (region.Format) {
    case D3DFMT_DXT1:
      blockBytes = kDxt1BlockBytes;
      kind = DxtKind::Dxt1;
      break;
    case D3DFMT_DXT2:
      kind = DxtKind::Dxt2;
      alphaScale = 15.0f;
      break;
    case D3DFMT_DXT3:
      kind = DxtKind::Dxt3;
      alphaScale = 15.0f;
      break;
    case D3DFMT_DXT4: kind = DxtKind::Dxt4; break;
    case D3DFMT_DXT5: kind = DxtKind::Dxt5; break;
    default: return nullptr;
  }
  const D3DBOX& box = region.Region;
  constexpr UINT kLargest = std::numeric_limits<UINT>::max() - 3;
  if (box.Right < box.Left || box.Bottom < box.Top || box.Back < box.Front) return nullptr;
  if (box.Right > kLargest || box.Bottom > kLargest) return nullptr;
  return std::unique_ptr<PixelCodec>(new (std::nothrow) BlockCodec(region, blockBytes, kind, alphaScale));
}

BlockCodec::BlockCodec(const PixelRegion& region, UINT blockBytes, DxtKind kind, float alphaScale)
    : PixelCodec(region, 0, RangeUnsigned),
      extent_(region.Extent),
      blockLeft_(RoundDown4(region.Region.Left)),
      blockTop_(RoundDown4(region.Region.Top)),
      blockRight_(RoundUp4(region.Region.Right)),
      blockBottom_(RoundUp4(region.Region.Bottom)),
      blocksAcross_((blockRight_ - blockLeft_) / 4),
      blockRowsDown_((blockBottom_ - blockTop_) / 4),
      blockBytes_(blockBytes),
      kind_(kind),
      alphaScale_(alphaScale) {}

BlockCodec::~BlockCodec() = default;

BYTE* BlockCodec::BlockAddress(UINT x, UINT y, UINT z) const {
  return data_ + static_cast<std::size_t>(y / 4) * rowPitch_ + static_cast<std::size_t>(x / 4) * blockBytes_ +
         static_cast<std::size_t>(z) * slicePitch_;
}

std::unique_ptr<BlockPixels[]> BlockCodec::AllocateBlockRow() const {
  // Zeroed, so that pixels a write never reaches encode the same way every time.
  return std::unique_ptr<BlockPixels[]>(new (std::nothrow) BlockPixels[blocksAcross_ == 0 ? 1 : blocksAcross_]());
}

void BlockCodec::DecodeBlockRow(BlockPixels* pixels, UINT blockY, UINT z, UINT firstBlock, UINT endBlock) const {
  // Blocks must not depend on the rounding mode a caller left behind.
  RoundToNearestScope rounding;
  if (endBlock > firstBlock) {
    DecodeDxtBlocks(kind_, BlockAddress(blockLeft_ + 4 * firstBlock, blockY, z), pixels + firstBlock,
                    endBlock - firstBlock);
  }
}

void BlockCodec::ReadRow(UINT y, UINT z, FloatRgba* out) {
  RoundToNearestScope rounding;
  if (y >= height_ || z >= depth_) return;
  const UINT absoluteY = y + region_.Top;
  const UINT absoluteZ = z + region_.Front;
  const UINT blockY = RoundDown4(absoluteY);
  if (!cacheValid_ || cacheY_ != blockY || cacheZ_ != absoluteZ) {
    if (!cache_) {
      cache_ = AllocateBlockRow();
      if (!cache_) return;
    }
    DecodeBlockRow(cache_.get(), blockY, absoluteZ, 0, blocksAcross_);
    cacheValid_ = true;
    cacheY_ = blockY;
    cacheZ_ = absoluteZ;
  }

  const UINT rowInBlock = (absoluteY & 3) * 4;
  FloatRgba* destination = out;
  for (UINT x = region_.Left; x < region_.Right;) {
    const BlockPixels& block = cache_[(x - blockLeft_) / 4];
    const UINT column = x & 3;
    const UINT count = (region_.Right - x < 4 - column) ? region_.Right - x : 4 - column;
    std::memcpy(destination, block.rgba[rowInBlock + column], count * sizeof(FloatRgba));
    destination += count;
    x += count;
  }

  if (flags_.ColorKeyed) ApplyBlockColorKey(out);
  if (flags_.Srgb) DecodeGammaRow(out);
}

// Decoded pixels are compared at the precision the block stores, so that interpolated
// colours close to the key match as they would once quantized.
void BlockCodec::ApplyBlockColorKey(FloatRgba* row) const {
  for (UINT i = 0; i < width_; ++i) {
    FloatRgba& p = row[i];
    if (QuantizeKey(p.R, 31.0f) == key_.R && QuantizeKey(p.G, 63.0f) == key_.G && QuantizeKey(p.B, 31.0f) == key_.B &&
        QuantizeKey(p.A, alphaScale_) == key_.A)
      p = {0.0f, 0.0f, 0.0f, 0.0f};
  }
}

void BlockCodec::PrepareColorKey() {
  key_ = {QuantizeKey(key_.R, 31.0f), QuantizeKey(key_.G, 63.0f), QuantizeKey(key_.B, 31.0f),
          QuantizeKey(key_.A, alphaScale_)};
}

HRESULT BlockCodec::WriteRow(UINT y, UINT z, const FloatRgba* in) {
  if (y >= height_ || z >= depth_) return D3DERR_INVALIDCALL;
  const UINT absoluteY = y + region_.Top;
  const UINT absoluteZ = z + region_.Front;
  const UINT blockY = RoundDown4(absoluteY);

  if (!pending_) {
    const std::size_t entries = static_cast<std::size_t>(blockRowsDown_) * depth_;
    pending_.reset(new (std::nothrow) PendingBlockRow[entries == 0 ? 1 : entries]);
    if (!pending_) return E_OUTOFMEMORY;
  }
  const std::size_t index = static_cast<std::size_t>(z) * blockRowsDown_ + (blockY - blockTop_) / 4;
  PendingBlockRow& entry = pending_[index];
  if (!entry.pixels) {
    entry.pixels = AllocateBlockRow();
    if (!entry.pixels) return E_OUTOFMEMORY;
  }

  const FloatRgba* row = ConvertRowForWriting(in);
  if (!row) return E_OUTOFMEMORY;

  BlockPixels* pixels = entry.pixels.get();
  if (entry.rowsWritten == 15) {
    // A block row already encoded is written again: start from what the surface now holds.
    DecodeBlockRow(pixels, blockY, absoluteZ, 0, blocksAcross_);
  } else if (entry.rowsWritten == 0) {
    // The first row into this block row: bring in what the surface holds outside the region
    // wherever the region cuts a block that the image covers.
    const bool cutAbove = blockY < region_.Top && extent_.Top < region_.Top;
    const bool cutBelow = blockY + 4 > region_.Bottom && region_.Bottom < extent_.Bottom;
    if (cutAbove || cutBelow) {
      DecodeBlockRow(pixels, blockY, absoluteZ, 0, blocksAcross_);
    } else {
      if (blockLeft_ < region_.Left && extent_.Left < region_.Left) DecodeBlockRow(pixels, blockY, absoluteZ, 0, 1);
      if (region_.Right < blockRight_ && region_.Right < extent_.Right)
        DecodeBlockRow(pixels, blockY, absoluteZ, blocksAcross_ - 1, blocksAcross_);
    }
    for (UINT r = 0; r < 4; ++r)
      if (blockY + r < region_.Top || blockY + r >= region_.Bottom) entry.rowsWritten |= 1u << r;
  }

  const UINT rowInBlock = (absoluteY & 3) * 4;
  const FloatRgba* source = row;
  for (UINT x = region_.Left; x < region_.Right;) {
    BlockPixels& block = pixels[(x - blockLeft_) / 4];
    const UINT column = x & 3;
    const UINT count = (region_.Right - x < 4 - column) ? region_.Right - x : 4 - column;
    std::memcpy(block.rgba[rowInBlock + column], source, count * sizeof(FloatRgba));
    source += count;
    x += count;
  }
  entry.rowsWritten |= 1u << (absoluteY & 3);
  if (entry.rowsWritten != 15) return S_OK;

  EncodeBlockRow(pixels, blockY, absoluteZ);
  cacheValid_ = false;  // the surface changed under any block row read earlier
  // The next block row down usually comes next: let it reuse the buffer.
  const bool lastInSlice = (blockY - blockTop_) / 4 + 1 >= blockRowsDown_;
  if (!lastInSlice) {
    PendingBlockRow& next = pending_[index + 1];
    if (!next.pixels && next.rowsWritten == 0) {
      next.pixels = std::move(entry.pixels);
      return S_OK;
    }
  }
  entry.pixels.reset();
  return S_OK;
}

void BlockCodec::PadBlock(BlockPixels& block, UINT x, UINT y) const {
  static constexpr int kSource[4] = {0, 0, 0, 1};
  const UINT columnsInside = extent_.Right > x ? extent_.Right - x : 0;
  const UINT rowsInside = extent_.Bottom > y ? extent_.Bottom - y : 0;
  if (columnsInside == 0 || rowsInside == 0) return;  // wholly outside: nothing to copy from
  if (columnsInside < 4) {
    for (UINT r = 0; r < rowsInside && r < 4; ++r)
      for (UINT c = columnsInside; c < 4; ++c)
        std::memcpy(block.rgba[4 * r + c], block.rgba[4 * r + kSource[c]], sizeof block.rgba[0]);
  }
  if (rowsInside < 4) {
    for (UINT r = rowsInside; r < 4; ++r)
      std::memcpy(block.rgba[4 * r], block.rgba[4 * kSource[r]], 4 * sizeof block.rgba[0]);
  }
}

void BlockCodec::EncodeBlockRow(BlockPixels* pixels, UINT blockY, UINT z) const {
  for (UINT b = 0; b < blocksAcross_; ++b) {
    const UINT x = blockLeft_ + 4 * b;
    if (x + 4 > extent_.Right || blockY + 4 > extent_.Bottom) PadBlock(pixels[b], x, blockY);
  }
  // The blocks of a block row lie side by side in memory.
  EncodeDxtBlocks(kind_, pixels, BlockAddress(blockLeft_, blockY, z), blocksAcross_);
}

}  // namespace rastro
