#include "PixelStorage.h"

#include <cstdlib>

namespace rastro {

HRESULT PixelStorage::Describe(const FormatLayout& layout, UINT width, UINT height, UINT depth) {
  layout_ = layout;
  std::uint64_t pitch = layout.Pitch(width);
  std::uint64_t slice = pitch * layout.BlockRows(height);
  std::uint64_t size = slice * depth;
  if (pitch > kMaxResourceBytes || slice > kMaxResourceBytes || size > kMaxResourceBytes) return E_OUTOFMEMORY;
  rowPitch_ = static_cast<UINT>(pitch);
  slicePitch_ = static_cast<UINT>(slice);
  size_ = size;
  return S_OK;
}

BYTE* PixelStorage::Bytes() {
  if (size_ == 0) return nullptr;
  if (!bytes_ || allocated_ != size_) {
    // calloc rather than allocate-and-clear: large blocks come as fresh pages that are zero
    // already, so a surface that is about to be written whole is not first cleared in a
    // separate pass over memory.
    bytes_.reset(static_cast<BYTE*>(std::calloc(static_cast<std::size_t>(size_), 1)));
    allocated_ = bytes_ ? size_ : 0;
  }
  return bytes_.get();
}

BYTE* PixelStorage::Address(UINT x, UINT y, UINT z) {
  BYTE* base = Bytes();
  if (!base) return nullptr;
  return base + std::uint64_t{z} * slicePitch_ + std::uint64_t{y / layout_.blockHeight} * rowPitch_ +
         std::uint64_t{x / layout_.blockWidth} * layout_.bytesPerBlock;
}

bool RegionFits(const FormatLayout& layout, UINT width, UINT height, UINT left, UINT top, UINT right, UINT bottom) {
  if (left > right || top > bottom || right > width || bottom > height) return false;
  UINT bw = layout.blockWidth;
  UINT bh = layout.blockHeight;
  if (left % bw || top % bh) return false;
  if (right % bw && right != width) return false;
  if (bottom % bh && bottom != height) return false;
  return true;
}

}  // namespace rastro
