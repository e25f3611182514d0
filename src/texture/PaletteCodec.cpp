#include "PaletteCodec.h"

#include <cstring>
#include <new>

#include "FloatRounding.h"
#include "PixelFields.h"
#include "ProcessorFeatures.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define RASTRO_X86 1
#endif

namespace rastro {

BYTE NearestPaletteEntry(const FloatRgba* palette, const FloatRgba& pixel, bool withAlpha) {
  float best = 3.4028235e38f;
  int index = 0;
  for (int i = 0; i < 256; ++i) {
    const FloatRgba& e = palette[i];
    const float dr = e.R - pixel.R, dg = e.G - pixel.G, db = e.B - pixel.B;
    float distance = dr * dr + dg * dg + db * db;
    if (withAlpha) {
      const float da = e.A - pixel.A;
      distance = distance + da * da;
    }
    if (distance < best) {
      best = distance;
      index = i;
    }
  }
  return static_cast<BYTE>(index);
}

#if RASTRO_X86
__attribute__((target("avx2"))) BYTE NearestPaletteEntryVector(const PlanarPalette& palette, const FloatRgba& pixel,
                                                               bool withAlpha) {
  const __m256 red = _mm256_set1_ps(pixel.R), green = _mm256_set1_ps(pixel.G);
  const __m256 blue = _mm256_set1_ps(pixel.B), alpha = _mm256_set1_ps(pixel.A);
  __m256 best = _mm256_set1_ps(3.4028235e38f);
  __m256i bestIndex = _mm256_setzero_si256();
  __m256i index = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  const __m256i step = _mm256_set1_epi32(8);
  for (int i = 0; i < 256; i += 8) {
    const __m256 dr = _mm256_sub_ps(_mm256_load_ps(palette.red + i), red);
    const __m256 dg = _mm256_sub_ps(_mm256_load_ps(palette.green + i), green);
    const __m256 db = _mm256_sub_ps(_mm256_load_ps(palette.blue + i), blue);
    __m256 distance = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(dr, dr), _mm256_mul_ps(dg, dg)), _mm256_mul_ps(db, db));
    if (withAlpha) {
      const __m256 da = _mm256_sub_ps(_mm256_load_ps(palette.alpha + i), alpha);
      distance = _mm256_add_ps(distance, _mm256_mul_ps(da, da));
    }
    // Strictly nearer only: each lane keeps the lowest index of its nearest entries.
    const __m256 nearer = _mm256_cmp_ps(distance, best, _CMP_LT_OQ);
    best = _mm256_blendv_ps(best, distance, nearer);
    bestIndex = _mm256_blendv_epi8(bestIndex, index, _mm256_castps_si256(nearer));
    index = _mm256_add_epi32(index, step);
  }
  alignas(32) float distances[8];
  alignas(32) std::int32_t indices[8];
  _mm256_store_ps(distances, best);
  _mm256_store_si256(reinterpret_cast<__m256i*>(indices), bestIndex);
  int chosen = 0;
  for (int lane = 1; lane < 8; ++lane) {
    if (distances[lane] < distances[chosen] ||
        (distances[lane] == distances[chosen] && indices[lane] < indices[chosen])) {
      chosen = lane;
    }
  }
  return static_cast<BYTE>(indices[chosen]);
}
#else
BYTE NearestPaletteEntryVector(const PlanarPalette&, const FloatRgba&, bool) { return 0; }
#endif

template <bool SeparateAlpha>
BYTE PaletteCodec<SeparateAlpha>::Nearest(const FloatRgba& pixel) {
  const bool withAlpha = !SeparateAlpha;
#if RASTRO_X86
  if (ActiveVectorLevel() == VectorLevel::Avx2) {
    if (!planar_) {
      planar_.reset(new (std::nothrow) PlanarPalette);
      if (planar_) {
        for (int i = 0; i < 256; ++i) {
          planar_->red[i] = paletteTable_[i].R;
          planar_->green[i] = paletteTable_[i].G;
          planar_->blue[i] = paletteTable_[i].B;
          planar_->alpha[i] = paletteTable_[i].A;
        }
      }
    }
    if (planar_) return NearestPaletteEntryVector(*planar_, pixel, withAlpha);
  }
#endif
  return NearestPaletteEntry(paletteTable_.get(), pixel, withAlpha);
}

namespace {

// The pixel's channels as bytes b with b / 255 == v exactly (what every 8-bit format reads
// as), packed R, G, B, A from the low byte, with alpha left 0 unless `withAlpha`; false when a
// channel is not such a value. Runs in the caller's rounding mode.
inline bool ByteKey(const FloatRgba& pixel, bool withAlpha, std::uint32_t& key) {
#if defined(__SSE2__)
  const __m128 v = _mm_loadu_ps(&pixel.R);
  const __m128 inRange = _mm_and_ps(_mm_cmpge_ps(v, _mm_setzero_ps()), _mm_cmple_ps(v, _mm_set1_ps(1.0f)));
  __m128i bytes = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(v, _mm_set1_ps(255.0f)), _mm_set1_ps(0.5f)));
  bytes = _mm_and_si128(bytes, _mm_set1_epi32(0xFF));
  alignas(16) std::int32_t lanes[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), bytes);
  const __m128 table = _mm_setr_ps(kUnsignedTable<8>[lanes[0]], kUnsignedTable<8>[lanes[1]],
                                   kUnsignedTable<8>[lanes[2]], kUnsignedTable<8>[lanes[3]]);
  const __m128 exact =
      _mm_and_ps(inRange, _mm_castsi128_ps(_mm_cmpeq_epi32(_mm_castps_si128(table), _mm_castps_si128(v))));
  const int matched = _mm_movemask_ps(exact) | (withAlpha ? 0 : 8);
  if (matched != 15) return false;
  key = static_cast<std::uint32_t>(lanes[0] | lanes[1] << 8 | lanes[2] << 16) |
        (withAlpha ? static_cast<std::uint32_t>(lanes[3]) << 24 : 0u);
  return true;
#else
  std::uint32_t packed = 0;
  const float channels[4] = {pixel.R, pixel.G, pixel.B, pixel.A};
  for (int c = 0; c < (withAlpha ? 4 : 3); ++c) {
    const float v = channels[c];
    if (!(v >= 0.0f && v <= 1.0f)) return false;
    const int b = static_cast<int>(v * 255.0f + 0.5f);
    if (std::memcmp(&kUnsignedTable<8>[b], &v, sizeof v) != 0) return false;
    packed |= static_cast<std::uint32_t>(b) << (8 * c);
  }
  key = packed;
  return true;
#endif
}

}  // namespace

template <bool SeparateAlpha>
void PaletteCodec<SeparateAlpha>::NearestRow(const FloatRgba* row, UINT count, BYTE* indices) {
  if (!cache_) cache_.reset(new (std::nothrow) std::uint64_t[std::size_t{1} << kCacheBits]());
  if (!cache_) {
    for (UINT x = 0; x < count; ++x) indices[x] = Nearest(row[x]);
    return;
  }
  // Keys first, fetching their entries early, then the answers: the entries' memory latency
  // overlaps instead of adding up.
  std::uint64_t* const cache = cache_.get();
  constexpr UINT kStep = 64;
  std::uint32_t keys[kStep];
  std::uint32_t slots[kStep];
  for (UINT start = 0; start < count; start += kStep) {
    const UINT n = count - start < kStep ? count - start : kStep;
    for (UINT i = 0; i < n; ++i) {
      std::uint32_t key = 0;
      if (ByteKey(row[start + i], !SeparateAlpha, key)) {
        keys[i] = key;
        slots[i] = (key * 0x9E3779B1u) >> (32 - kCacheBits);
#if defined(__SSE2__)
        _mm_prefetch(reinterpret_cast<const char*>(&cache[slots[i]]), _MM_HINT_T0);
#endif
      } else {
        slots[i] = ~0u;
      }
    }
    for (UINT i = 0; i < n; ++i) {
      const FloatRgba& pixel = row[start + i];
      if (slots[i] == ~0u) {
        indices[start + i] = Nearest(pixel);
        continue;
      }
      std::uint64_t& entry = cache[slots[i]];
      if ((entry & 1) && static_cast<std::uint32_t>(entry >> 32) == keys[i]) {
        indices[start + i] = static_cast<BYTE>(entry >> 1);
        continue;
      }
      const BYTE index = Nearest(pixel);
      entry = std::uint64_t{keys[i]} << 32 | std::uint64_t{index} << 1 | 1u;
      indices[start + i] = index;
    }
  }
}

template <bool SeparateAlpha>
void PaletteCodec<SeparateAlpha>::ReadRow(UINT y, UINT z, FloatRgba* out) {
  RoundToNearestScope rounding;
  const BYTE* source = RowAddress(y, z);
  const FloatRgba* palette = paletteTable_.get();
  for (UINT x = 0; x < width_; ++x) {
    if constexpr (SeparateAlpha) {
      const FloatRgba& e = palette[source[2 * x]];
      out[x] = {e.R, e.G, e.B, kUnsignedTable<8>[source[2 * x + 1]]};
    } else {
      out[x] = palette[source[x]];
    }
  }
  FinishReadRow(out);
}

template <bool SeparateAlpha>
HRESULT PaletteCodec<SeparateAlpha>::WriteRow(UINT y, UINT z, const FloatRgba* in) {
  const FloatRgba* row = ConvertRowForWriting(in);
  if (!row) return E_OUTOFMEMORY;
  BYTE* destination = RowAddress(y, z);
  const float* offsets = DitherRow(y, z);
  RoundTowardZeroScope rounding;
  if constexpr (SeparateAlpha) {
    BYTE indices[256];
    for (UINT start = 0; start < width_; start += 256) {
      const UINT n = width_ - start < 256 ? width_ - start : 256;
      NearestRow(row + start, n, indices);
      for (UINT i = 0; i < n; ++i) {
        const UINT x = start + i;
        destination[2 * x] = indices[i];
        destination[2 * x + 1] = static_cast<BYTE>(QuantizeUnsigned(row[x].A, 255.0f, offsets[x & 3]));
      }
    }
  } else {
    NearestRow(row, width_, destination);
  }
  return S_OK;
}

template class PaletteCodec<false>;
template class PaletteCodec<true>;

}  // namespace rastro
