// Bilinear (surfaces) and trilinear (volumes) resampling. Each axis has a table of two taps per
// destination index; taps that fall off an edge wrap to the other side, or with the axis's
// mirror bit stay at the edge.
#include <cstdint>
#include <utility>
#include <vector>

#include "BlitPaths.h"
#include "d3dx9tex.h"

namespace rastro {

namespace {

struct Taps {
  UINT first;
  float firstWeight;
  UINT second;
  float secondWeight;
};

// One entry per destination index, or empty when memory runs out.
std::unique_ptr<Taps[]> BuildTaps(UINT sourceSize, UINT destinationSize, bool wrap) {
  std::unique_ptr<Taps[]> taps(new (std::nothrow) Taps[destinationSize]);
  if (!taps) return taps;
  const float scale = static_cast<float>(sourceSize) / static_cast<float>(destinationSize);
  for (UINT i = 0; i < destinationSize; ++i) {
    const float m = (static_cast<float>(i) + 0.5f) * scale + 0.5f;
    const std::int64_t n = static_cast<std::int64_t>(m);
    std::int64_t first = n - 1;
    std::int64_t second = n;
    const float firstWeight = static_cast<float>(n + 1) - m;
    if (first < 0) first = wrap ? sourceSize - 1 : 0;
    if (second >= sourceSize) second = wrap ? 0 : sourceSize - 1;
    taps[i] = {static_cast<UINT>(first), firstWeight, static_cast<UINT>(second), 1.0f - firstWeight};
  }
  return taps;
}

inline FloatRgba Mix(const FloatRgba& a, float wa, const FloatRgba& b, float wb) {
  return {wa * a.R + wb * b.R, wa * a.G + wb * b.G, wa * a.B + wb * b.B, wa * a.A + wb * b.A};
}

// The horizontal taps of one row.
inline FloatRgba Horizontal(const FloatRgba* row, const Taps& x) {
  return Mix(row[x.first], x.firstWeight, row[x.second], x.secondWeight);
}

HRESULT Bilinear(PixelCodec& destination, PixelCodec& source, DWORD filter) {
  const UINT width = destination.Width();
  auto columns = BuildTaps(source.Width(), width, !(filter & D3DX_FILTER_MIRROR_U));
  auto rows = BuildTaps(source.Height(), destination.Height(), !(filter & D3DX_FILTER_MIRROR_V));
  auto row0 = AllocateZeroedRow(source.Width());
  auto row1 = AllocateZeroedRow(source.Width());
  auto out = AllocateZeroedRow(width);
  if (!columns || !rows || !row0 || !row1 || !out) return E_OUTOFMEMORY;
  std::int64_t previousFirst = -1;
  std::int64_t heldSecond = -1;  // the source row in row1, or -1
  for (UINT y = 0; y < destination.Height(); ++y) {
    const Taps& t = rows[y];
    if (static_cast<std::int64_t>(t.first) != previousFirst) {
      if (static_cast<std::int64_t>(t.first) == heldSecond) {
        std::swap(row0, row1);
        heldSecond = -1;
      } else {
        source.ReadRow(t.first, 0, row0.get());
      }
      previousFirst = t.first;
    }
    if (static_cast<std::int64_t>(t.second) != heldSecond) {
      source.ReadRow(t.second, 0, row1.get());
      heldSecond = t.second;
    }
    for (UINT x = 0; x < width; ++x) {
      out[x] =
          Mix(Horizontal(row0.get(), columns[x]), t.firstWeight, Horizontal(row1.get(), columns[x]), t.secondWeight);
    }
    destination.WriteRow(y, 0, out.get());
  }
  return S_OK;
}

// A decoded source row remembered by its slice and row.
struct CachedRow {
  std::unique_ptr<FloatRgba[]> pixels;
  std::int64_t slice = -1;
  std::int64_t row = -1;

  const FloatRgba* Fetch(PixelCodec& source, UINT z, UINT y) {
    if (slice != z || row != y) {
      source.ReadRow(y, z, pixels.get());
      slice = z;
      row = y;
    }
    return pixels.get();
  }
};

HRESULT Trilinear(PixelCodec& destination, PixelCodec& source, DWORD filter) {
  const UINT width = destination.Width();
  auto columns = BuildTaps(source.Width(), width, !(filter & D3DX_FILTER_MIRROR_U));
  auto rows = BuildTaps(source.Height(), destination.Height(), !(filter & D3DX_FILTER_MIRROR_V));
  auto slices = BuildTaps(source.Depth(), destination.Depth(), !(filter & D3DX_FILTER_MIRROR_W));
  auto out = AllocateZeroedRow(width);
  if (!columns || !rows || !slices || !out) return E_OUTOFMEMORY;
  CachedRow cache[4];
  for (CachedRow& cached : cache) {
    cached.pixels = AllocateZeroedRow(source.Width());
    if (!cached.pixels) return E_OUTOFMEMORY;
  }
  for (UINT z = 0; z < destination.Depth(); ++z) {
    const Taps& tz = slices[z];
    for (UINT y = 0; y < destination.Height(); ++y) {
      const Taps& ty = rows[y];
      const FloatRgba* near0 = cache[0].Fetch(source, tz.first, ty.first);
      const FloatRgba* near1 = cache[1].Fetch(source, tz.first, ty.second);
      const FloatRgba* far0 = cache[2].Fetch(source, tz.second, ty.first);
      const FloatRgba* far1 = cache[3].Fetch(source, tz.second, ty.second);
      for (UINT x = 0; x < width; ++x) {
        const Taps& tx = columns[x];
        FloatRgba near = Mix(Horizontal(near0, tx), ty.firstWeight, Horizontal(near1, tx), ty.secondWeight);
        FloatRgba far = Mix(Horizontal(far0, tx), ty.firstWeight, Horizontal(far1, tx), ty.secondWeight);
        out[x] = Mix(near, tz.firstWeight, far, tz.secondWeight);
      }
      destination.WriteRow(y, z, out.get());
    }
  }
  return S_OK;
}

}  // namespace

HRESULT FilterLinear(PixelCodec& destination, PixelCodec& source, DWORD filter) {
  if (source.Depth() == 1 && destination.Depth() == 1) return Bilinear(destination, source, filter);
  return Trilinear(destination, source, filter);
}

}  // namespace rastro
