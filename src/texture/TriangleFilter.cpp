// The tent filter. Every source pixel spreads itself over the destination with a tent of
// height 1 whose base is two source pixels wide, centred on the pixel's centre; a destination
// pixel is the weighted sum of the tents over it. Destination rows (or slices) are accumulated
// while source rows stream past, and written as soon as the last source row touching them
// has been added; their accumulators are then recycled through a free list.
#include <cmath>
#include <cstdint>
#include <new>
#include <vector>

#include "BlitPaths.h"
#include "d3dx9tex.h"

namespace rastro {

namespace {

struct Weight {
  UINT index;  // destination pixel
  float weight;
};

// For each source index, the destination pixels it contributes to and with what weight.
struct WeightLists {
  std::vector<UINT> start;  // entries of source index i: [start[i], start[i + 1])
  std::vector<Weight> entries;

  const Weight* begin(UINT i) const { return entries.data() + start[i]; }
  const Weight* end(UINT i) const { return entries.data() + start[i + 1]; }
};

constexpr float kNegligibleWeight = 0.00001f;

// Throws std::bad_alloc when memory runs out; the caller turns that into E_OUTOFMEMORY.
WeightLists BuildWeights(UINT sourceSize, UINT destinationSize, bool wrap) {
  WeightLists lists;
  lists.start.reserve(std::size_t{sourceSize} + 1);
  const float scale = static_cast<float>(destinationSize) / static_cast<float>(sourceSize);
  const float half = 0.5f / scale;
  const float destinationEnd = static_cast<float>(destinationSize);
  const std::int64_t d = destinationSize;
  for (UINT i = 0; i < sourceSize; ++i) {
    lists.start.push_back(static_cast<UINT>(lists.entries.size()));
    std::int64_t current = -1;
    float sum = 0.0f;
    auto flush = [&] {
      if (current >= 0 && sum > kNegligibleWeight) lists.entries.push_back({static_cast<UINT>(current), sum});
      current = -1;
      sum = 0.0f;
    };
    for (int h = 0; h < 2; ++h) {
      const float g = static_cast<float>(i) + static_cast<float>(h) - 0.5f;
      float lo = g * scale;
      float hi = lo + scale;
      if (!wrap) {
        if (lo < 0.0f) lo = 0.0f;
        if (hi > destinationEnd) hi = destinationEnd;
      }
      for (std::int64_t k = static_cast<std::int64_t>(std::floor(lo)); static_cast<float>(k) < hi; ++k) {
        std::int64_t pixel = k;
        if (pixel < 0)
          pixel += d;
        else if (pixel >= d)
          pixel -= d;
        if (pixel < 0 || pixel >= d) continue;  // a tent wider than the whole destination
        const float v = static_cast<float>(k) > lo ? static_cast<float>(k) : lo;
        const float w = static_cast<float>(k + 1) < hi ? static_cast<float>(k + 1) : hi;
        float a = (v + w) * half - g;
        if (!wrap) {
          if (h == 0 && g < 0.0f) a = 1.0f;
          if (h == 1 && g + 1.0f >= static_cast<float>(sourceSize)) a = 0.0f;
        }
        const float contribution = (h == 0 ? a : 1.0f - a) * (w - v);
        if (pixel != current) {
          flush();
          current = pixel;
        }
        sum += contribution;
      }
    }
    flush();
  }
  lists.start.push_back(static_cast<UINT>(lists.entries.size()));
  return lists;
}

// Holds each value within the range the source's codec reads, so that rounding in the sums
// never hands the destination a value its range does not have.
void ClampToRange(FloatRgba* row, std::size_t count, ChannelRange range) {
  auto clamp = [](float v, float low, float high) { return v < low ? low : (v > high ? high : v); };
  switch (range) {
    case RangeUnsigned:
      for (std::size_t i = 0; i < count; ++i) {
        row[i] = {clamp(row[i].R, 0, 1), clamp(row[i].G, 0, 1), clamp(row[i].B, 0, 1), clamp(row[i].A, 0, 1)};
      }
      break;
    case RangeSignedRgb:
      for (std::size_t i = 0; i < count; ++i) {
        row[i] = {clamp(row[i].R, -1, 1), clamp(row[i].G, -1, 1), clamp(row[i].B, -1, 1), clamp(row[i].A, 0, 1)};
      }
      break;
    case RangeSigned:
      for (std::size_t i = 0; i < count; ++i) {
        row[i] = {clamp(row[i].R, -1, 1), clamp(row[i].G, -1, 1), clamp(row[i].B, -1, 1), clamp(row[i].A, -1, 1)};
      }
      break;
    case RangeFloat: break;
  }
}

// Accumulators of destination rows or slices, recycled through a free list.
class AccumulatorPool {
 public:
  explicit AccumulatorPool(std::size_t pixels) : pixels_(pixels) {}
  FloatRgba* Take() {
    std::unique_ptr<FloatRgba[]> block;
    if (!free_.empty()) {
      block = std::move(free_.back());
      free_.pop_back();
    } else {
      block = PixelCodec::AllocateRow(pixels_);
      if (!block) throw std::bad_alloc();
    }
    for (std::size_t i = 0; i < pixels_; ++i) block[i] = FloatRgba{0, 0, 0, 0};
    FloatRgba* raw = block.get();
    inUse_.push_back(std::move(block));
    return raw;
  }
  void Give(FloatRgba* raw) {
    for (std::size_t i = 0; i < inUse_.size(); ++i) {
      if (inUse_[i].get() == raw) {
        free_.push_back(std::move(inUse_[i]));
        inUse_[i] = std::move(inUse_.back());
        inUse_.pop_back();
        return;
      }
    }
  }

 private:
  std::size_t pixels_;
  std::vector<std::unique_ptr<FloatRgba[]>> inUse_;
  std::vector<std::unique_ptr<FloatRgba[]>> free_;
};

// Adds one decoded source row, times `factor`, into the destination row `out` through the
// horizontal weight lists.
inline void Spread(const FloatRgba* row, UINT sourceWidth, const WeightLists& columns, float factor, FloatRgba* out) {
  for (UINT c = 0; c < sourceWidth; ++c) {
    const FloatRgba& p = row[c];
    for (const Weight* x = columns.begin(c); x != columns.end(c); ++x) {
      const float w = x->weight * factor;
      FloatRgba& q = out[x->index];
      q.R += p.R * w;
      q.G += p.G * w;
      q.B += p.B * w;
      q.A += p.A * w;
    }
  }
}

HRESULT TriangleSurface(PixelCodec& destination, PixelCodec& source, DWORD filter) {
  const UINT width = destination.Width();
  const UINT height = destination.Height();
  WeightLists columns = BuildWeights(source.Width(), width, !(filter & D3DX_FILTER_MIRROR_U));
  WeightLists rows = BuildWeights(source.Height(), height, !(filter & D3DX_FILTER_MIRROR_V));
  std::vector<UINT> pending(height, 0);
  for (const Weight& w : rows.entries) ++pending[w.index];
  std::vector<FloatRgba*> accumulators(height, nullptr);
  AccumulatorPool pool(width);
  auto sourceRow = AllocateZeroedRow(source.Width());
  if (!sourceRow) return E_OUTOFMEMORY;
  for (UINT r = 0; r < source.Height(); ++r) {
    for (const Weight* y = rows.begin(r); y != rows.end(r); ++y) {
      if (!accumulators[y->index]) accumulators[y->index] = pool.Take();
    }
    source.ReadRow(r, 0, sourceRow.get());
    for (const Weight* y = rows.begin(r); y != rows.end(r); ++y) {
      Spread(sourceRow.get(), source.Width(), columns, y->weight, accumulators[y->index]);
    }
    for (const Weight* y = rows.begin(r); y != rows.end(r); ++y) {
      if (--pending[y->index] != 0) continue;
      FloatRgba* finished = accumulators[y->index];
      ClampToRange(finished, width, source.Range());
      destination.WriteRow(y->index, 0, finished);
      pool.Give(finished);
      accumulators[y->index] = nullptr;
    }
  }
  return S_OK;
}

HRESULT TriangleVolume(PixelCodec& destination, PixelCodec& source, DWORD filter) {
  const UINT width = destination.Width();
  const UINT height = destination.Height();
  const UINT depth = destination.Depth();
  WeightLists columns = BuildWeights(source.Width(), width, !(filter & D3DX_FILTER_MIRROR_U));
  WeightLists rows = BuildWeights(source.Height(), height, !(filter & D3DX_FILTER_MIRROR_V));
  WeightLists slices = BuildWeights(source.Depth(), depth, !(filter & D3DX_FILTER_MIRROR_W));
  std::vector<UINT> pending(depth, 0);
  for (const Weight& w : slices.entries) ++pending[w.index];
  std::vector<FloatRgba*> accumulators(depth, nullptr);
  const std::size_t slicePixels = std::size_t{width} * height;
  AccumulatorPool pool(slicePixels);
  auto sourceRow = AllocateZeroedRow(source.Width());
  if (!sourceRow) return E_OUTOFMEMORY;
  for (UINT s = 0; s < source.Depth(); ++s) {
    for (const Weight* z = slices.begin(s); z != slices.end(s); ++z) {
      if (!accumulators[z->index]) accumulators[z->index] = pool.Take();
    }
    for (UINT r = 0; r < source.Height(); ++r) {
      source.ReadRow(r, s, sourceRow.get());
      for (const Weight* z = slices.begin(s); z != slices.end(s); ++z) {
        for (const Weight* y = rows.begin(r); y != rows.end(r); ++y) {
          Spread(sourceRow.get(), source.Width(), columns, y->weight * z->weight,
                 accumulators[z->index] + std::size_t{y->index} * width);
        }
      }
    }
    for (const Weight* z = slices.begin(s); z != slices.end(s); ++z) {
      if (--pending[z->index] != 0) continue;
      FloatRgba* finished = accumulators[z->index];
      ClampToRange(finished, slicePixels, source.Range());
      for (UINT y = 0; y < height; ++y) destination.WriteRow(y, z->index, finished + std::size_t{y} * width);
      pool.Give(finished);
      accumulators[z->index] = nullptr;
    }
  }
  return S_OK;
}

}  // namespace

HRESULT FilterTriangle(PixelCodec& destination, PixelCodec& source, DWORD filter) {
  try {
    if (source.Depth() == 1 && destination.Depth() == 1) return TriangleSurface(destination, source, filter);
    return TriangleVolume(destination, source, filter);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace rastro
