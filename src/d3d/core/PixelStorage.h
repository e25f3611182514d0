// The memory behind a surface or volume, and the lock rules both share.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "FormatLayout.h"

namespace rastro {

// Resources larger than this are refused as out of memory rather than attempted.
constexpr std::uint64_t kMaxResourceBytes = std::uint64_t{1} << 31;

class PixelStorage {
 public:
  // Works out pitches for a width x height x depth extent; memory is taken on first use.
  // Fails (E_OUTOFMEMORY) when the size is beyond what a resource may take.
  HRESULT Describe(const FormatLayout& layout, UINT width, UINT height, UINT depth);
  // The memory, zero-filled on first use; null only when it cannot be had.
  BYTE* Bytes();
  const FormatLayout& Layout() const { return layout_; }
  UINT RowPitch() const { return rowPitch_; }
  UINT SlicePitch() const { return slicePitch_; }
  std::uint64_t Size() const { return size_; }
  // Address of the block holding pixel (x, y) of slice z.
  BYTE* Address(UINT x, UINT y, UINT z);

 private:
  FormatLayout layout_;
  UINT rowPitch_ = 0;
  UINT slicePitch_ = 0;
  std::uint64_t size_ = 0;
  struct FreeBytes {
    void operator()(BYTE* bytes) const { std::free(bytes); }
  };
  std::unique_ptr<BYTE, FreeBytes> bytes_;
  std::uint64_t allocated_ = 0;  // the size bytes_ was allocated for
};

// Whether [left, right) x [top, bottom) lies inside a width x height level and starts and ends
// on block boundaries (an end may instead be the level's edge).
bool RegionFits(const FormatLayout& layout, UINT width, UINT height, UINT left, UINT top, UINT right, UINT bottom);

// The lock flags a surface or volume lock accepts.
constexpr DWORD kSurfaceLockFlags =
    D3DLOCK_READONLY | D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK | D3DLOCK_DONOTWAIT | D3DLOCK_NO_DIRTY_UPDATE;

}  // namespace rastro
