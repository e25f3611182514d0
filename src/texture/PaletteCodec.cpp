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

template <bool SeparateAlpha>
BYTE PaletteCodec<SeparateAlpha>::CachedNearest(const FloatRgba& pixel) {
  if (!cache_) {
    cache_.reset(new (std::nothrow) CacheEntry[std::size_t{1} << kCacheBits]());
    if (!cache_) return Nearest(pixel);
  }
  std::uint32_t bits[4];
  std::memcpy(bits, &pixel, sizeof bits);
  if constexpr (SeparateAlpha) bits[3] = 0;  // the search ignores alpha
  const std::uint32_t hash =
      (bits[0] * 0x9E3779B1u) ^ (bits[1] * 0x85EBCA77u) ^ (bits[2] * 0xC2B2AE3Du) ^ (bits[3] * 0x27D4EB2Fu);
  CacheEntry& entry = cache_[(hash ^ (hash >> 15)) & ((1u << kCacheBits) - 1)];
  FloatRgba key = pixel;
  std::memcpy(&key.A, &bits[3], sizeof key.A);
  if (entry.used && std::memcmp(&entry.pixel, &key, sizeof key) == 0) return entry.index;
  entry = {key, Nearest(pixel), true};
  return entry.index;
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
  for (UINT x = 0; x < width_; ++x) {
    const FloatRgba& p = row[x];
    const BYTE index = CachedNearest(p);
    if constexpr (SeparateAlpha) {
      destination[2 * x] = index;
      destination[2 * x + 1] = static_cast<BYTE>(QuantizeUnsigned(p.A, 255.0f, offsets[x & 3]));
    } else {
      destination[x] = index;
    }
  }
  return S_OK;
}

template class PaletteCodec<false>;
template class PaletteCodec<true>;

}  // namespace rastro
