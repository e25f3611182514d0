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

// The byte b with b / 255 == v exactly, or -1.
inline int ExactByte(float v) {
  if (!(v >= 0.0f && v <= 1.0f)) return -1;
  const int b = static_cast<int>(v * 255.0f + 0.5f);
  return std::memcmp(&kUnsignedTable<8>[b], &v, sizeof v) == 0 ? b : -1;
}

}  // namespace

template <bool SeparateAlpha>
BYTE PaletteCodec<SeparateAlpha>::CachedNearest(const FloatRgba& pixel) {
  const int r = ExactByte(pixel.R), g = ExactByte(pixel.G), b = ExactByte(pixel.B);
  const int a = SeparateAlpha ? 0 : ExactByte(pixel.A);  // the search ignores A8P8's alpha
  if ((r | g | b | a) < 0) return Nearest(pixel);
  if (!cache_) {
    cache_.reset(new (std::nothrow) std::uint64_t[std::size_t{1} << kCacheBits]());
    if (!cache_) return Nearest(pixel);
  }
  const std::uint32_t key = static_cast<std::uint32_t>(r | g << 8 | b << 16) | static_cast<std::uint32_t>(a) << 24;
  std::uint64_t& entry = cache_[(key * 0x9E3779B1u) >> (32 - kCacheBits)];
  if ((entry & 1) && static_cast<std::uint32_t>(entry >> 32) == key) return static_cast<BYTE>(entry >> 1);
  const BYTE index = Nearest(pixel);
  entry = std::uint64_t{key} << 32 | std::uint64_t{index} << 1 | 1u;
  return index;
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
