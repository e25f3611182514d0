#include "PixelStorage.h"

#include <new>

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
  if (bytes_.size() != size_) {
    try {
      bytes_.assign(static_cast<size_t>(size_), 0);
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
  }
  return bytes_.data();
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
