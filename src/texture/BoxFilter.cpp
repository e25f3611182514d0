// Box filtering when the destination is exactly half the source in every direction (or 1
// where the source is 1): each destination pixel is the mean of a 2 x 2 (x 2) block. An odd
// source size loses its last column, row or slice.
#include "BlitPaths.h"
#include "BoxFastPath.h"
#include "d3dx9tex.h"

namespace rastro {

namespace {

bool Halves(UINT source, UINT destination) { return destination == source / 2 || (source == 1 && destination == 1); }

// The part of an odd size above 1 that halving uses.
UINT Even(UINT size) { return size > 1 ? size & ~1u : size; }

// Sums source pixels 2j and 2j + 1 of a row (pixel 0 twice when the row is one pixel wide)
// into `out`, which holds `width` destination pixels.
inline void AddPairs(const FloatRgba* row, UINT sourceWidth, UINT width, FloatRgba* out, bool first) {
  for (UINT j = 0; j < width; ++j) {
    const FloatRgba& a = row[sourceWidth == 1 ? 0 : 2 * j];
    const FloatRgba& b = row[sourceWidth == 1 ? 0 : 2 * j + 1];
    if (first) {
      out[j] = {a.R + b.R, a.G + b.G, a.B + b.B, a.A + b.A};
    } else {
      out[j] = {out[j].R + a.R + b.R, out[j].G + a.G + b.G, out[j].B + a.B + b.B, out[j].A + a.A + b.A};
    }
  }
}

HRESULT HalveSurface(PixelCodec& destination, PixelCodec& source, DWORD filter) {
  const UINT sourceWidth = Even(source.Width());
  const UINT sourceHeight = Even(source.Height());
  if (!(filter & D3DX_FILTER_DITHER) && destination.Format() == source.Format() && sourceWidth > 1 &&
      sourceHeight > 1 && !source.Flags().Srgb && !destination.Flags().Srgb &&
      SUCCEEDED(HalveWithIntegers(source, destination, sourceWidth, sourceHeight))) {
    return S_OK;
  }
  const UINT width = destination.Width();
  auto upper = AllocateZeroedRow(source.Width());
  auto lower = AllocateZeroedRow(source.Width());
  auto out = AllocateZeroedRow(width);
  if (!upper || !lower || !out) return E_OUTOFMEMORY;
  for (UINT i = 0; i < destination.Height(); ++i) {
    source.ReadRow(sourceHeight == 1 ? 0 : 2 * i, 0, upper.get());
    source.ReadRow(sourceHeight == 1 ? 0 : 2 * i + 1, 0, lower.get());
    for (UINT j = 0; j < width; ++j) {
      const UINT left = sourceWidth == 1 ? 0 : 2 * j;
      const UINT right = sourceWidth == 1 ? 0 : 2 * j + 1;
      const FloatRgba &a = upper[left], &b = upper[right], &c = lower[left], &d = lower[right];
      out[j] = {(((a.R + b.R) + c.R) + d.R) * 0.25f, (((a.G + b.G) + c.G) + d.G) * 0.25f,
                (((a.B + b.B) + c.B) + d.B) * 0.25f, (((a.A + b.A) + c.A) + d.A) * 0.25f};
    }
    destination.WriteRow(i, 0, out.get());
  }
  return S_OK;
}

HRESULT HalveVolume(PixelCodec& destination, PixelCodec& source) {
  const UINT sourceWidth = Even(source.Width());
  const UINT sourceHeight = Even(source.Height());
  const UINT width = destination.Width();
  auto row = AllocateZeroedRow(source.Width());
  auto sum = AllocateZeroedRow(width);
  if (!row || !sum) return E_OUTOFMEMORY;
  for (UINT k = 0; k < destination.Depth(); ++k) {
    for (UINT i = 0; i < destination.Height(); ++i) {
      bool first = true;
      for (UINT dz = 0; dz < 2; ++dz) {
        for (UINT dy = 0; dy < 2; ++dy) {
          source.ReadRow(sourceHeight == 1 ? 0 : 2 * i + dy, 2 * k + dz, row.get());
          AddPairs(row.get(), sourceWidth, width, sum.get(), first);
          first = false;
        }
      }
      for (UINT j = 0; j < width; ++j) {
        sum[j] = {sum[j].R * 0.125f, sum[j].G * 0.125f, sum[j].B * 0.125f, sum[j].A * 0.125f};
      }
      destination.WriteRow(i, k, sum.get());
    }
  }
  return S_OK;
}

}  // namespace

HRESULT HalveBox(PixelCodec& destination, PixelCodec& source, DWORD filter) {
  if (!Halves(source.Width(), destination.Width()) || !Halves(source.Height(), destination.Height())) return E_FAIL;
  if (source.Depth() == 1 && destination.Depth() == 1) return HalveSurface(destination, source, filter);
  if (destination.Depth() == source.Depth() / 2) return HalveVolume(destination, source);
  return E_FAIL;
}

}  // namespace rastro
